// The operating-system services the program uses, in the program's own terms.
//
// Paths come in two forms. A drive path starts with a drive root such as "C:\" and names a file
// on that drive ("C:\random00.qlk"); the platform maps the letter to the drive's mount point.
// Any other path is a path of the host (the program's directory and the files in it).
//
// Failures are reported by throwing RuntimeError (log/RuntimeError.h) with the run time's error
// number, unless a method says otherwise.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DiskMap.h"

// A handle of an open file; 0 means "no file". Fill files and text files have handles of kinds
// of their own, so that a text file's handle can never be handed to a fill call or the other way
// round.
template <class Kind>
class Handle {
public:
    constexpr Handle() = default;
    constexpr Handle(std::int64_t value) : value_(value) {}  // NOLINT: 0 reads as "no file"
    constexpr std::int64_t value() const { return value_; }
    friend constexpr auto operator<=>(Handle, Handle) = default;

private:
    std::int64_t value_ = 0;
};
using FillHandle = Handle<struct FillFileKind>;
using TextHandle = Handle<struct TextFileKind>;
using NamesHandle = Handle<struct NamesDirectoryKind>;
// A drive's device, open for reading back what a fill wrote.
using DeviceHandle = Handle<struct DeviceKind>;

// Drive type codes, as the drive-type query reports them.
enum DriveType : int {
    DRIVE_UNKNOWN = 0,
    DRIVE_NO_ROOT_DIR = 1,
    DRIVE_REMOVABLE = 2,
    DRIVE_FIXED = 3,
    DRIVE_REMOTE = 4,
    DRIVE_CDROM = 5,
    DRIVE_RAMDISK = 6,
};

// Host family, as the operating-system check distinguishes them.
enum class HostFamily : int {
    Win32s = 0,    // unsupported
    Win9x = 1,     // swap file "Win386.swp", version text in the registry
    NtFamily = 2,  // paging file "pagefile.sys"; Linux counts here
    Other = 3,
};

// The two kinds of fill file: the bulk file is written in 960000-byte blocks, unbuffered where
// the file system allows it, and disappears when closed; the tail file is buffered and stays.
enum class FillKind { Bulk, Tail };

// How a bulk file is actually written (tests and benchmarks look at it).
enum class FillMode { Direct, Buffered };

enum class TextMode { Output, Input, Append };

enum class Priority { Normal, High };

// What the program reports about a drive beyond its type: where and what it is, and how much of
// its free space no fill of this process can reach.
struct DriveFacts {
    // Where and what the drive is, to be shown: control characters in these names are escaped
    // (runtime/EscapedName.h), since anybody who may mount a FUSE file system chooses them.
    std::string mountPoint;  // the host path of the drive's root
    std::string fsType;      // "ext4", "xfs" ...
    std::string device;      // the mount's source, e.g. "/dev/sda1"
    // The disk the file system lives on ("sda" for sda1 and sda2; a loop device is a disk of
    // its own); empty when there is none. Drives of one disk never fill at the same time.
    std::string disk;
    bool mounted = false;  // false for a listed path that is not a mount point
    bool readOnly = false;
    // The storage below is flash (the disk the kernel shows under all layers is non-rotational):
    // cells it has remapped are out of reach of any fill.
    bool flash = false;
    // Free space kept for root that this process may not write (an ordinary user on ext2/3/4).
    std::uint64_t rootReserveBytes = 0;
    // Free space that no data write of anyone can take: ext4's reserved clusters, what btrfs
    // reports free but only its metadata can use, xfs's reserve pool.
    std::uint64_t fsReserveBytes = 0;
    // The file system discards the blocks of deleted files on a device that takes discards: a
    // freed block may then read back as zeros.
    bool discardsFreedBlocks = false;
};

// What a drive's file system keeps of deleted files where no fill file reaches, as the names stage
// needs to know it: the journal or log (or, on btrfs, the free metadata) to rewrite, and the
// inode slots that deleted files left.
struct NamesFacts {
    // The stage knows this file system; otherwise `reason` says why it does nothing there.
    bool supported = false;
    std::string reason = "";
    // Bytes of journal, log or free metadata to rewrite at least once.
    std::uint64_t rewriteBytes = 0;
    // Not empty when the stage cannot know or reach all of it (its size could only be
    // estimated, a part of the journal it does not rewrite): why.
    std::string caveat = "";
    // The least a file of the stage rewrites each time its times change and are committed
    // (its share of an inode table block, of a log record, of a metadata leaf).
    std::uint64_t bytesPerFile = 256;
    // Inode slots that deleted files left and that may still hold their names or data
    // (ext2/3/4: tiny files, short symbolic links, directories stored in the inode); -1 when
    // they cannot be counted, and then `slotsUnknown` says why.
    std::int64_t freedInodeSlots = 0;
    std::string slotsUnknown = "";
    // The most files the stage may make without crowding the file system's metadata; -1: no
    // limit beyond its free inodes.
    std::int64_t maxFiles = -1;
    // The most bytes the stage may rewrite, from the drive's size, whatever the file system says
    // of its journal; 0: no limit. Where it runs out, the stage ends partial.
    std::uint64_t budgetBytes = 0;
};

class Platform {
public:
    // Defined in platform/Platform.cpp: the one out-of-line member anchors the vtable there.
    virtual ~Platform();

    // --- process and host ---
    virtual HostFamily hostFamily() = 0;
    // The Win9x version text ("VersionNumber"); throws when it cannot be read.
    virtual std::string registryVersionNumber() = 0;
    // The program's arguments, word by word as its caller gave them (everything after the
    // program's name). A word may hold blanks: "/srv/my disk" is one mount point.
    virtual std::vector<std::string> arguments() = 0;
    // The directory that holds the program file, as the host reports it.
    virtual std::string programDirectory() = 0;
    // The directory for the files the program writes (error log, random text, run report): the
    // program's directory when this process may write there, else a directory of the user's own,
    // made when it is asked for. An installed program keeps them where the host's conventions say.
    virtual std::string stateDirectory() = 0;
    // The directory that holds the help document: the program's directory, or where the host
    // keeps the documentation of an installed program.
    virtual std::string documentDirectory() = 0;
    virtual void setPriority(Priority priority) = 0;
    // The machine's name on the network.
    virtual std::string hostName() = 0;
    // A variable of the program's environment; nothing when it is not set.
    virtual std::optional<std::string> environment(const std::string& name) = 0;

    // --- clock ---
    // Seconds since local midnight, with a fraction.
    virtual double secondsSinceMidnight() = 0;
    // The current local date and time in the user's settings: short date, blank, time with seconds.
    virtual std::string dateTimeText() = 0;
    // Lets the processor go for the given time (the pause sleeps instead of spinning).
    virtual void sleepFor(double seconds) = 0;
    // Seconds on a clock that never goes back (for durations).
    virtual double monotonicSeconds() = 0;
    // The current time in UTC as ISO 8601 text: "2001-03-14T14:05:09Z".
    virtual std::string utcTimestamp() = 0;

    // --- drives ---
    // Display texts of the logical drives in drive-letter order ("C: /", "D: /home", ...).
    virtual std::vector<std::string> driveList() = 0;
    // The mount points the command line names: listed even where the drive list leaves such a
    // mount out otherwise (one another user made). Takes effect at the next driveList().
    virtual void drivesNamed(const std::vector<std::string>& mountPoints) { (void)mountPoints; }
    // Type of the drive whose root is given ("C:\"); DRIVE_NO_ROOT_DIR when there is none.
    virtual DriveType driveType(const std::string& root) = 0;
    // Total free bytes of the drive that this process can fill. False when unreadable.
    virtual bool diskFreeSpaceEx(const std::string& root, std::uint64_t& totalFreeBytes) = 0;
    // The classic form: sectors per cluster, bytes per sector, free clusters (clamped to 32 bits).
    virtual bool diskFreeSpace(const std::string& root, std::int32_t& sectorsPerCluster,
                               std::int32_t& bytesPerSector, std::int32_t& freeClusters) = 0;
    // Whether this process may create files in the drive's top directory.
    virtual bool mayCreateFiles(const std::string& root) = 0;
    // Where the drive is, what it is and what of its free space is out of this process's reach.
    virtual DriveFacts driveFacts(const std::string& root) = 0;
    // Length of the system's paging file that lies in the given drive's root under the given
    // name ("C:\pagefile.sys"), or nothing when there is none.
    virtual std::optional<std::int64_t> systemSwapFile(const std::string& path) = 0;

    // --- fill files ---
    // Creates (or truncates) a fill file for writing.
    virtual FillHandle createFillFile(const std::string& path, FillKind kind) = 0;
    // Writes all of data; a full volume raises 61 "Disk full".
    virtual void writeFill(FillHandle file, std::string_view data) = 0;
    virtual void closeFill(FillHandle file) = 0;
    virtual FillMode fillMode(FillHandle file) = 0;

    // --- the names stage: a directory of this process's own in a drive's root, full of files
    // with long random names whose times are changed until the file system has rewritten its
    // journal, log or free metadata ---
    virtual NamesFacts namesFacts(const std::string& root) = 0;
    // Makes the stage's directory (kNamesDirectory) in the drive's root, a new one of this
    // process's own: a leftover of its own is removed first; anything else under the name is
    // left alone and raises 58 with the reason in words.
    virtual NamesHandle openNamesDirectory(const std::string& root) = 0;
    // Adds up to count files with random names as long as the file system allows; returns how
    // many were made (fewer when the file system has no room or no inode left).
    virtual std::int64_t addNamesFiles(NamesHandle dir, std::int64_t count) = 0;
    // Changes the times of count files from the first'th (in the order they were made).
    virtual void touchNamesFiles(NamesHandle dir, std::int64_t first, std::int64_t count) = 0;
    // Commits what the stage changed to the disk; returns the bytes of journal, log or metadata
    // rewritten since the directory was made: as the file system counts them where it tells,
    // else the least the changes must have written.
    virtual std::uint64_t syncNames(NamesHandle dir) = 0;
    // Removes the files and the directory.
    virtual void closeNamesDirectory(NamesHandle dir) = 0;
    // Whether a stage left its directory in the drive's root.
    virtual bool namesLeftover(const std::string& root) = 0;
    // Removes such a directory with what it holds, if it is this process's own; a directory
    // of anyone else, or anything that is no directory, is left alone and raises 58.
    virtual void removeNamesLeftover(const std::string& root) = 0;
    // --- reading back what a fill wrote ---
    // Where an open fill file's data lies on its drive's device, the data made to reach the
    // device first. Nothing when the file system does not tell.
    virtual std::optional<std::vector<FileExtent>> fillExtents(FillHandle file) = 0;
    // Who holds the drive's device within the given stretches (all of it when none are given),
    // in device order, as the file system's own map tells. Nothing when the file system keeps no
    // such map or will not tell it.
    virtual std::optional<SpaceMap> spaceMap(const std::string& root,
                                             const std::vector<Extent>& within) = 0;
    // Completes what the drive's file system has pending: the blocks of deleted files released
    // and everything written on the device.
    virtual void syncDrive(const std::string& root) = 0;
    // The device the drive's file system lives on, opened to be read past every cache. Where
    // what a fill wrote cannot be read back from it, raises with the reason in words (the
    // error's system text): "reading the disk back needs root".
    virtual DeviceHandle openDevice(const std::string& root) = 0;
    // Reads exactly size bytes at the device offset into buffer. An offset, size and buffer
    // aligned to 4096 bytes are read straight from the device.
    virtual void readDevice(DeviceHandle device, std::uint64_t offset, char* buffer,
                            std::size_t size) = 0;
    // Writes out and drops what the system keeps of the device in memory, so that no stale copy
    // of a block can later be written back over what a fill wrote.
    virtual void flushDevice(DeviceHandle device) = 0;
    virtual void closeDevice(DeviceHandle device) = 0;

    // --- files ---
    // Whether a regular file exists at the path; a pattern with "*" matches any run of characters
    // in the file name.
    virtual bool fileExists(const std::string& path) = 0;
    virtual std::int64_t fileLength(const std::string& path) = 0;
    // Deletes one file; a missing file raises 53.
    virtual void deleteFile(const std::string& path) = 0;
    // Deletes one file without confirmation; never throws, and the result may be ignored.
    virtual bool shellDeleteFile(const std::string& path) noexcept = 0;
    // Deletes every file matching a pattern with "*" in its name part.
    virtual void deleteMatching(const std::string& pattern) = 0;
    // Writes bytes to a host file made anew: whatever has the name is replaced, never opened
    // (nor a link followed), so that no one else's file can be put there to be overwritten.
    virtual void writeNewFile(const std::string& path, std::string_view bytes) = 0;

    // --- sequential text files (lines end in CR LF) ---
    virtual TextHandle openText(const std::string& path, TextMode mode) = 0;
    virtual void writeLine(TextHandle file, std::string_view line) = 0;
    // Reads up to CR LF (or LF) and returns the line without it; past the end raises 62.
    virtual std::string readLine(TextHandle file) = 0;
    virtual bool atEnd(TextHandle file) = 0;
    virtual void closeText(TextHandle file) = 0;
    // Closes every text file still open.
    virtual void closeAllText() = 0;
    // Appends one line ending in a line feed (not CR LF) to a file, creating it when missing;
    // the line lands whole even when other processes append to the same file.
    virtual void appendLine(const std::string& path, std::string_view line) = 0;
};
