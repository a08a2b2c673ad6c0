// An in-memory Platform for the window object's tests: volumes whose free space falls by exactly
// the bytes written, host files in a map, a clock that only moves when told, and scripted faults.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"

// The words of a line split at blanks, as a shell splits one without quotes.
std::vector<std::string> Words(const std::string& line);

class FakePlatform : public Platform {
public:
    struct Volume {
        std::string display;  // the drive list's text, e.g. "C: /"
        DriveType type = DRIVE_FIXED;
        std::uint64_t freeBytes = 0;
        // Fill writes fail with "Disk full" once this many more bytes have been written.
        std::optional<std::uint64_t> diskFullAfter;
        // Fill writes fail with writeError (a dying disk: 57) once this many more bytes have
        // been written; nothing of a failed write lands.
        std::optional<std::uint64_t> writeErrorAfter;
        int writeError = 57;
        // Whether this process may create files in the drive's top directory.
        bool writable = true;
        DriveFacts facts;  // mount point and device filled in by addVolume
        bool extendedProbeFails = false;
        bool classicProbeFails = false;
        std::map<std::string, std::int64_t> files;  // name -> length (regular files only)
        std::set<std::string> hiddenFiles;          // names that a search does not find
        // The names stage: what the file system tells it; without it the stage finds nothing
        // it knows to do. Every file made or touched rewrites names->bytesPerFile at the next
        // sync; the volume has room for namesRoom files; once the files are made,
        // slotsOutOfReach inode slots of deleted files are still left.
        std::optional<NamesFacts> names;
        std::int64_t namesRoom = std::int64_t{1} << 40;
        std::int64_t slotsOutOfReach = 0;
        bool namesLeftover = false;  // a directory a stage left

        // --- the device, as a read-back sees it ---
        // Below deviceBase lies the file system's own; fill data lands from there on, each
        // pass's bulk file from deviceBase again (a pass fills what the one before it freed).
        std::uint64_t deviceBase = 1048576;
        bool tellsExtents = true;  // fillExtents answers
        bool keepsMap = true;      // spaceMap answers
        // Why the device cannot be read back; empty: it can.
        std::string unreadableDevice;
        bool flushFails = false;  // flushDevice raises (no CAP_SYS_ADMIN)
        // Stretches other files hold, as the map tells.
        std::vector<Extent> takenByFiles;
        // A deleted fill file's blocks stay in use this many more maps (xfs releases them in
        // the background).
        int releaseAfterMaps = 0;
        std::vector<std::pair<Extent, int>> releasing;
        // What was written to the device since the pass began, in order, a later write over an
        // earlier one (data handed over, or one byte throughout); a byte not written since reads
        // as kOldContent.
        struct DeviceWrite {
            Extent extent;
            const char* data;
            char byte;
        };
        std::vector<DeviceWrite> device;
        std::uint64_t cursor = 0;
        std::map<std::string, std::vector<FileExtent>> fileExtents;  // by name, while it is there
        int flushes = 0;
        int syncs = 0;
        int reads = 0;
    };
    struct NamesDir {
        std::string root;
        std::int64_t files = 0;
        std::int64_t touches = 0;  // file times changed, over all rounds
        std::int64_t changed = 0;  // since the last sync
        int syncs = 0;
        std::uint64_t rewritten = 0;
        bool open = true;
    };
    // What a fake device holds where no fill wrote.
    static constexpr char kOldContent = 'O';
    struct Write {
        std::string path;
        std::size_t size;
        const char* data;  // the block handed over, to tell which block was written
    };
    struct OpenFill {
        std::string path;
        FillKind kind;
        bool open = true;
    };

    FakePlatform();

    // Adds a drive in drive-letter order; root is "C:\".
    Volume& addVolume(const std::string& root, std::uint64_t freeBytes,
                      DriveType type = DRIVE_FIXED, const std::string& display = "");
    Volume& volume(const std::string& root) { return volumes.at(root); }
    // Puts bytes on a volume's device as no fill wrote them: old content written back, say.
    void writeDevice(const std::string& root, Extent where, char byte);

    // --- state the tests set and read ---
    std::map<std::string, Volume> volumes;          // by root "C:\"
    std::vector<std::string> driveOrder;            // roots in drive-list order
    std::map<std::string, std::string> hostFiles;   // host path -> content
    std::set<std::string> readOnlyHostDirs;         // directories where nothing can be written
    std::map<std::string, std::int64_t> swapFiles;  // "C:\pagefile.sys" -> length
    std::string programDir = "/opt/quellix";
    std::string stateDir;  // where written files go; the program's directory when empty
    std::string docDir;    // where the help document lies; the program's directory when empty
    // The arguments as a shell splits a line without quotes; argv, where a test sets it, as
    // they are.
    std::string argumentLine;
    std::optional<std::vector<std::string>> argv;
    std::string host = "testhost";
    std::map<std::string, std::string> env;
    double monotonic = 1000.0;  // moves with the clock
    HostFamily family = HostFamily::NtFamily;
    std::optional<std::string> versionNumber;
    double clock = 36000.0;  // seconds since midnight
    double clockStep = 0.0;  // added after every reading
    double slept = 0.0;      // total time handed to sleepFor
    std::string dateTime = "3/14/2001 2:05:09 PM";
    std::vector<Priority> priorities;
    std::set<std::string> failCreate;  // drive paths whose fill file cannot be created
    // Drive paths whose fill file is given up (raising 58), with the reason in words.
    std::map<std::string, std::string> refusedCreate;
    std::set<std::string> failDelete;       // drive paths that cannot be deleted
    std::set<std::string> failShellDelete;  // drive paths the shell delete leaves in place
    std::set<std::string> failClose;  // drive paths whose fill file fails to close (57), closed
                                      // all the same
    std::set<std::string> unreadableHostFiles;  // host paths that cannot be opened for reading
    std::vector<Write> writes;
    std::vector<std::string> deleted;     // drive paths in the order they were deleted
    std::vector<std::string> factsAsked;  // roots whose driveFacts were asked for, in order
    int extendedProbes = 0;
    int classicProbes = 0;
    std::map<FillHandle, OpenFill> fills;
    std::set<FillHandle> closedFills;
    std::map<NamesHandle, NamesDir> namesDirs;
    // Roots whose stage directory is given up (raising 58), with the reason in words.
    std::map<std::string, std::string> refusedNames;
    std::set<std::string> failNamesSync;  // roots where committing the stage's files fails (57)

    // Host file helpers for tests.
    std::string errLog() const;
    std::vector<std::string> errLogLines() const;
    int openTextCount() const { return static_cast<int>(texts_.size()); }

    // --- Platform ---
    HostFamily hostFamily() override { return family; }
    std::string registryVersionNumber() override;
    std::vector<std::string> arguments() override { return argv ? *argv : Words(argumentLine); }
    std::string programDirectory() override { return programDir; }
    std::string stateDirectory() override { return stateDir.empty() ? programDir : stateDir; }
    std::string documentDirectory() override { return docDir.empty() ? programDir : docDir; }
    void setPriority(Priority priority) override { priorities.push_back(priority); }
    std::string hostName() override { return host; }
    std::optional<std::string> environment(const std::string& name) override;
    double secondsSinceMidnight() override;
    std::string dateTimeText() override { return dateTime; }
    void sleepFor(double seconds) override;
    double monotonicSeconds() override { return monotonic; }
    std::string utcTimestamp() override { return "2001-03-14T19:05:09Z"; }
    std::vector<std::string> driveList() override;
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

    // Splits "C:\name" into its root and name; false for a host path.
    static bool splitDrivePath(const std::string& path, std::string& root, std::string& name);

private:
    struct Text {
        std::string path;
        TextMode mode;
        std::size_t pos = 0;
    };
    bool hostDirReadOnly(const std::string& path) const;
    // A fill file's blocks are gone from it: free at once, or after releaseAfterMaps maps.
    static void release(Volume& v, const std::string& name);
    Volume* volumeOf(const std::string& path, std::string& name);
    NamesDir& namesDir(NamesHandle dir);

    std::int64_t next_ = 100;
    std::map<DeviceHandle, std::string> devices_;  // open devices, by root
    std::map<TextHandle, Text> texts_;
};
