// The program's operating-system services on Linux.
//
// Drives are mounted file systems: "C:\" is the root file system (or the first entry of
// QUELLIX_DRIVES), "C:\name" is <mount point>/name. The drive table is read anew by every
// driveList() call; drive paths map through the table of the latest call, and an operation on a
// drive whose mount is no longer the one listed fails instead of reaching the directory below.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/linux/DriveDevices.h"
#include "platform/linux/DriveTable.h"
#include "platform/linux/FillFiles.h"
#include "platform/linux/FreeSpace.h"
#include "platform/linux/NamesFiles.h"
#include "platform/linux/TextFiles.h"

class LinuxPlatform : public Platform {
public:
    struct Options {
        std::vector<std::string> arguments;  // the program's arguments, without its name
        // Colon-separated mount points to list instead of QUELLIX_DRIVES (tests, demos).
        std::optional<std::string> drives;
        // The directory to report instead of that of /proc/self/exe (tests).
        std::optional<std::string> programDirectory;
        // Where an installed program run as root keeps its files, instead of /var/lib/quellix
        // (tests).
        std::optional<std::string> systemStateDirectory;
    };

    LinuxPlatform();
    explicit LinuxPlatform(Options options);
    // main()'s arguments; argv[0] is the program's name and not part of the command line.
    LinuxPlatform(int argc, const char* const* argv);

    // Qt warns on every start without XDG_RUNTIME_DIR (root outside a login session, services)
    // and then uses <temp>/runtime-<user>. This names that directory, made private to the user,
    // before Qt asks; call it before the application object exists.
    static void provideRuntimeDirectory();

    HostFamily hostFamily() override { return HostFamily::NtFamily; }
    std::string registryVersionNumber() override;
    std::vector<std::string> arguments() override;
    std::string programDirectory() override;
    std::string stateDirectory() override;
    std::string documentDirectory() override;
    void setPriority(Priority priority) override;
    std::string hostName() override;
    std::optional<std::string> environment(const std::string& name) override;

    double secondsSinceMidnight() override;
    std::string dateTimeText() override;
    void sleepFor(double seconds) override;
    double monotonicSeconds() override;
    std::string utcTimestamp() override;

    std::vector<std::string> driveList() override;
    void drivesNamed(const std::vector<std::string>& mountPoints) override;
    DriveType driveType(const std::string& root) override;
    bool diskFreeSpaceEx(const std::string& root, std::uint64_t& totalFreeBytes) override;
    bool diskFreeSpace(const std::string& root, std::int32_t& sectorsPerCluster,
                       std::int32_t& bytesPerSector, std::int32_t& freeClusters) override;
    bool mayCreateFiles(const std::string& root) override;
    DriveFacts driveFacts(const std::string& root) override;
    std::optional<std::int64_t> systemSwapFile(const std::string& path) override;

    FillHandle createFillFile(const std::string& path, FillKind kind) override;
    void writeFill(FillHandle file, std::string_view data) override;
    void closeFill(FillHandle file) override;
    FillMode fillMode(FillHandle file) override;

    NamesFacts namesFacts(const std::string& root) override;
    NamesHandle openNamesDirectory(const std::string& root) override;
    std::int64_t addNamesFiles(NamesHandle dir, std::int64_t count) override;
    void touchNamesFiles(NamesHandle dir, std::int64_t first, std::int64_t count) override;
    std::uint64_t syncNames(NamesHandle dir) override;
    void closeNamesDirectory(NamesHandle dir) override;
    bool namesLeftover(const std::string& root) override;
    void removeNamesLeftover(const std::string& root) override;
    std::optional<std::vector<FileExtent>> fillExtents(FillHandle file) override;
    std::optional<SpaceMap> spaceMap(const std::string& root,
                                     const std::vector<Extent>& within) override;
    void syncDrive(const std::string& root) override;
    DeviceHandle openDevice(const std::string& root) override;
    void readDevice(DeviceHandle device, std::uint64_t offset, char* buffer,
                    std::size_t size) override;
    void flushDevice(DeviceHandle device) override;
    void closeDevice(DeviceHandle device) override;

    bool fileExists(const std::string& path) override;
    std::int64_t fileLength(const std::string& path) override;
    void deleteFile(const std::string& path) override;
    bool shellDeleteFile(const std::string& path) noexcept override;
    void deleteMatching(const std::string& pattern) override;
    void writeNewFile(const std::string& path, std::string_view bytes) override;

    TextHandle openText(const std::string& path, TextMode mode) override;
    void writeLine(TextHandle file, std::string_view line) override;
    std::string readLine(TextHandle file) override;
    bool atEnd(TextHandle file) override;
    void closeText(TextHandle file) override;
    void closeAllText() override;
    void appendLine(const std::string& path, std::string_view line) override;

    // The drive table of the latest driveList() call (read once if there was none).
    const std::vector<Drive>& drives();

private:
    // A directory a path's file lives in, opened, and the file's name in it.
    struct Located {
        UniqueFd dir;
        std::string dirPath;  // the directory's host path, for errors
        std::string name;
        bool onDrive = false;
    };
    // The open root of a listed, mounted drive whose mount is still the one listed, reached
    // without symbolic links (platform/linux/DriveRoot.h); empty otherwise. Where the directory
    // is there but cannot be opened, openError says why. Every operation on a drive uses it.
    UniqueFd openDriveRoot(const Drive& drive, int* openError = nullptr) const;
    const Drive* driveOf(const std::string& path, std::string* name);
    // Raises 76 for an unknown drive letter or directory, 68 for a drive that is not mounted
    // (any more), and the cause when the directory is there but cannot be opened.
    Located locate(const std::string& path);
    // The open root of a fixed disk's drive, to write on: raises 76 for an unknown drive, 68 for
    // one that is no fixed disk or not mounted (any more) as listed.
    UniqueFd fixedDriveRoot(const std::string& root, const Drive*& drive);
    // The owner every file has on a file system that keeps no owner per file (the top
    // directory's); nothing elsewhere.
    static std::optional<std::uint32_t> sharedOwnerOf(const Drive& drive, int rootFd);
    // The token of the mark on what the program made in a top directory (OwnMark.h), read from
    // (or made in) the state directory once; empty when it cannot be had.
    std::string ownToken();
    // What root must prove of the files it writes for its records (TextFiles.h).
    RecordGuard recordGuard();
    // The free-space figures of a listed, mounted drive; nothing when they cannot be read.
    std::optional<FreeSpaceFacts> freeSpaceOf(const std::string& root);

    Options options_;
    std::vector<Drive> table_;
    std::vector<std::string> named_;  // normalized
    bool tableRead_ = false;
    FillFiles fills_;
    NamesFiles names_;
    DriveDevices devices_;
    TextFiles texts_;
    std::mutex stateMutex_;
    std::string stateNote_;  // the last word on a state directory refused, said once
    std::mutex tokenMutex_;
    std::optional<std::string> token_;
    int startNice_ = 0;
    int startIoPriority_ = 0;
};
