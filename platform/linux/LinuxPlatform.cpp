// Drives, free space, fill files and files of the Linux platform.
#include "platform/linux/LinuxPlatform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/linux/DriveRoot.h"
#include "platform/linux/Errors.h"
#include "platform/linux/FileOps.h"
#include "platform/linux/FreeSpace.h"
#include "platform/linux/OwnMark.h"
#include "platform/linux/SwapList.h"
#include "platform/linux/SysBlock.h"
#include "runtime/EscapedName.h"
#include "runtime/RuntimeError.h"

namespace {

// A mount point is a directory unless statx says otherwise; a mount point this process cannot
// look at stays listed as before.
bool isDirectoryMountPoint(const std::string& path) {
    struct statx sx {};
    if (::statx(AT_FDCWD, path.c_str(), AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC | AT_SYMLINK_NOFOLLOW,
                STATX_TYPE, &sx) != 0 ||
        (sx.stx_mask & STATX_TYPE) == 0) {
        return true;
    }
    return S_ISDIR(sx.stx_mode);
}

// File systems without owners of their own (FAT, exFAT, NTFS through the kernel or FUSE): the
// mount gives every file the same owner.
bool keepsNoOwners(const std::string& fsType) {
    return fsType == "vfat" || fsType == "msdos" || fsType == "exfat" || fsType == "ntfs" ||
           fsType == "ntfs3" || fsType == "fuseblk";
}

// QUELLIX_DRIVES when it is set and not empty.
std::optional<std::string> pinnedDrives(const std::optional<std::string>& option) {
    if (option) return option;
    const char* env = std::getenv("QUELLIX_DRIVES");
    if (env == nullptr || *env == '\0') return std::nullopt;
    return std::string(env);
}

}  // namespace

std::vector<std::string> LinuxPlatform::driveList() {
    const auto text = readSmallFile("/proc/self/mountinfo");
    table_ =
        buildDriveTable(parseMountInfo(text.value_or("")), pinnedDrives(options_.drives),
                        sysBlockFacts, isDirectoryMountPoint, DriveViewer{::geteuid(), named_});
    tableRead_ = true;
    std::vector<std::string> list;
    for (std::size_t i = 0; i < table_.size(); ++i)
        list.push_back(driveDisplayText(i, table_[i]));
    return list;
}

void LinuxPlatform::drivesNamed(const std::vector<std::string>& mountPoints) {
    named_.clear();
    for (const std::string& path : mountPoints)
        named_.push_back(normalizeMountPath(path));
}

const std::vector<Drive>& LinuxPlatform::drives() {
    if (!tableRead_) driveList();
    return table_;
}

UniqueFd LinuxPlatform::openDriveRoot(const Drive& drive, int* openError) const {
    if (!drive.mounted) return {};
    return openMountRoot(drive.mountPoint, drive.mount.mountId, openError);
}

const Drive* LinuxPlatform::driveOf(const std::string& path, std::string* name) {
    const auto split = splitDrivePath(path);
    if (!split) return nullptr;
    const auto& table = drives();
    if (split->index < 0 || static_cast<std::size_t>(split->index) >= table.size()) return nullptr;
    if (name != nullptr) *name = split->name;
    return &table[static_cast<std::size_t>(split->index)];
}

LinuxPlatform::Located LinuxPlatform::locate(const std::string& path) {
    Located where;
    if (splitDrivePath(path)) {
        const Drive* drive = driveOf(path, &where.name);
        // Only files in a drive's root directory are ever named on a drive.
        if (drive == nullptr || where.name.find('/') != std::string::npos ||
            !isContainedName(where.name)) {
            Raise(Err::PathNotFound);
        }
        int openError = 0;
        where.dir = openDriveRoot(*drive, &openError);
        if (openError != 0) raiseErrno(openError, drive->mountPoint);
        if (!where.dir) Raise(Err::DeviceUnavailable);
        where.dirPath = drive->mountPoint;
        where.onDrive = true;
        return where;
    }
    const auto slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "."
                            : slash == 0               ? "/"
                                                       : path.substr(0, slash);
    where.name = slash == std::string::npos ? path : path.substr(slash + 1);
    where.dirPath = dir;
    where.dir.reset(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!where.dir) {
        if (errno == ENOENT) Raise(Err::PathNotFound);
        raiseErrno(errno, dir);
    }
    return where;
}

DriveType LinuxPlatform::driveType(const std::string& root) {
    const Drive* drive = driveOf(root, nullptr);
    return drive == nullptr ? DRIVE_NO_ROOT_DIR : drive->type;
}

std::optional<FreeSpaceFacts> LinuxPlatform::freeSpaceOf(const std::string& root) {
    const Drive* drive = driveOf(root, nullptr);
    if (drive == nullptr) return std::nullopt;
    const UniqueFd dir = openDriveRoot(*drive);
    if (!dir) return std::nullopt;
    return measureFreeSpace(dir.get(), drive->mount);
}

bool LinuxPlatform::diskFreeSpaceEx(const std::string& root, std::uint64_t& totalFreeBytes) {
    const auto facts = freeSpaceOf(root);
    if (!facts) return false;
    totalFreeBytes = fillableBytes(*facts);
    return true;
}

bool LinuxPlatform::diskFreeSpace(const std::string& root, std::int32_t& sectorsPerCluster,
                                  std::int32_t& bytesPerSector, std::int32_t& freeClusters) {
    const auto facts = freeSpaceOf(root);
    if (!facts) return false;
    const ClassicFreeSpace c = classicFreeSpace(fillableBytes(*facts), facts->blockSize);
    sectorsPerCluster = c.sectorsPerCluster;
    bytesPerSector = c.bytesPerSector;
    freeClusters = c.freeClusters;
    return true;
}

bool LinuxPlatform::mayCreateFiles(const std::string& root) {
    const Drive* drive = driveOf(root, nullptr);
    if (drive == nullptr) return false;
    const UniqueFd dir = openDriveRoot(*drive);
    // The effective rights, as a create would meet them (root passes unless the file system is
    // read-only or the directory immutable).
    return dir && ::faccessat(dir.get(), ".", W_OK | X_OK, AT_EACCESS) == 0;
}

DriveFacts LinuxPlatform::driveFacts(const std::string& root) {
    DriveFacts facts;
    const Drive* drive = driveOf(root, nullptr);
    if (drive == nullptr) return facts;
    // Names anybody may choose (a FUSE mount's source and type, a mount point) are shown as data.
    facts.mountPoint = EscapedName(drive->mountPoint);
    if (!drive->mounted) return facts;
    facts.mounted = true;
    facts.fsType = EscapedName(drive->mount.fsType);
    facts.device = EscapedName(drive->mount.source);
    facts.readOnly = isReadOnly(drive->mount);
    facts.flash = flashStorage(drive->mount);
    facts.disk = diskName(drive->mount);
    facts.discardsFreedBlocks = (hasOption(drive->mount.superOptions, "discard") ||
                                 hasOption(drive->mount.mountOptions, "discard")) &&
                                takesDiscards(drive->mount);
    if (const UniqueFd dir = openDriveRoot(*drive)) {
        if (const auto space = measureFreeSpace(dir.get(), drive->mount)) {
            const ReserveFacts reserves = reservesOf(*space);
            facts.rootReserveBytes = reserves.rootBytes;
            facts.fsReserveBytes = reserves.fileSystemBytes;
        }
    }
    return facts;
}

// Linux has no paging file of the Windows kind. The program asks for "<drive>pagefile.sys";
// what answers is any active swap *file* (/proc/swaps, whatever its name) that lies directly in
// the root directory of that drive, with its length. Swap partitions hold no file to wipe
// around and are not reported.
std::optional<std::int64_t> LinuxPlatform::systemSwapFile(const std::string& path) {
    const Drive* drive = driveOf(path, nullptr);
    if (drive == nullptr) return std::nullopt;
    const UniqueFd root = openDriveRoot(*drive);
    if (!root) return std::nullopt;
    const auto text = readSmallFile("/proc/swaps");
    return swapFileInDirectory(parseSwaps(text.value_or("")), root.get());
}

UniqueFd LinuxPlatform::fixedDriveRoot(const std::string& root, const Drive*& drive) {
    drive = driveOf(root, nullptr);
    if (drive == nullptr) Raise(Err::PathNotFound);
    // Only fixed disks that are still mounted as listed are ever written.
    if (drive->type != DRIVE_FIXED) Raise(Err::DeviceUnavailable);
    UniqueFd dir = openDriveRoot(*drive);
    if (!dir) Raise(Err::DeviceUnavailable);
    return dir;
}

std::optional<std::uint32_t> LinuxPlatform::sharedOwnerOf(const Drive& drive, int rootFd) {
    // A file system that keeps no owner per file shows every file as the mount's (uid=...):
    // there a new file belongs to whoever the top directory belongs to.
    struct stat top {};
    if (keepsNoOwners(drive.mount.fsType) && ::fstat(rootFd, &top) == 0) return top.st_uid;
    return std::nullopt;
}

FillHandle LinuxPlatform::createFillFile(const std::string& path, FillKind kind) {
    std::string name;
    if (driveOf(path, &name) == nullptr) Raise(Err::PathNotFound);
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        Raise(Err::BadFileNameOrNumber);
    }
    const Drive* drive = nullptr;
    const UniqueFd root = fixedDriveRoot(path, drive);
    return fills_.create(root.get(), name, joinMountPath(drive->mountPoint, name), kind,
                         sharedOwnerOf(*drive, root.get()));
}

void LinuxPlatform::writeFill(FillHandle file, std::string_view data) {
    fills_.write(file, data);
}

void LinuxPlatform::closeFill(FillHandle file) {
    fills_.close(file);
}

FillMode LinuxPlatform::fillMode(FillHandle file) {
    return fills_.mode(file);
}

std::optional<std::vector<FileExtent>> LinuxPlatform::fillExtents(FillHandle file) {
    return fills_.extents(file);
}

std::optional<SpaceMap> LinuxPlatform::spaceMap(const std::string& root,
                                                const std::vector<Extent>& within) {
    const Drive* drive = driveOf(root, nullptr);
    if (drive == nullptr || !drive->mounted) return std::nullopt;
    const UniqueFd dir = openDriveRoot(*drive);
    if (!dir) return std::nullopt;
    return fileSystemMap(dir.get(), drive->mount.major, drive->mount.minor, within);
}

void LinuxPlatform::syncDrive(const std::string& root) {
    const Drive* drive = driveOf(root, nullptr);
    if (drive == nullptr) Raise(Err::PathNotFound);
    const UniqueFd dir = openDriveRoot(*drive);
    if (!dir) Raise(Err::DeviceUnavailable);
    if (::syncfs(dir.get()) != 0) raiseErrno(errno, drive->mountPoint);
}

DeviceHandle LinuxPlatform::openDevice(const std::string& root) {
    const auto refuse = [&](const std::string& why) -> DeviceHandle {
        throw RuntimeError(Err::PermissionDenied, ErrorDescription(Err::PermissionDenied), why,
                           root);
    };
    const Drive* drive = driveOf(root, nullptr);
    if (drive == nullptr || !drive->mounted) Raise(Err::DeviceUnavailable);
    // The raw device holds every file of the file system: only root reads it, even where a
    // group may (disk).
    if (::geteuid() != 0) return refuse("reading the disk back needs root");
    if (drive->mount.fsType == "btrfs") {
        return refuse("btrfs places data at addresses of its own, not at device offsets");
    }
    if (drive->mount.major == 0) return refuse("the file system has no block device of its own");
    return devices_.open(drive->mount.major, drive->mount.minor);
}

void LinuxPlatform::readDevice(DeviceHandle device, std::uint64_t offset, char* buffer,
                               std::size_t size) {
    devices_.read(device, offset, buffer, size);
}

void LinuxPlatform::flushDevice(DeviceHandle device) {
    devices_.flush(device);
}

void LinuxPlatform::closeDevice(DeviceHandle device) {
    devices_.close(device);
}

bool LinuxPlatform::fileExists(const std::string& path) {
    Located where;
    try {
        where = locate(path);
    } catch (const RuntimeError& e) {
        // No such drive or directory, or a drive no longer mounted: nothing is there. A
        // directory that is there but cannot be opened raises its cause.
        if (e.number() == Err::PathNotFound || e.number() == Err::DeviceUnavailable) return false;
        throw;
    }
    return regularFileExists(where.dir.get(), where.name, !where.onDrive, where.dirPath);
}

std::int64_t LinuxPlatform::fileLength(const std::string& path) {
    const Located where = locate(path);
    return regularFileLength(where.dir.get(), where.name, !where.onDrive, where.dirPath);
}

void LinuxPlatform::deleteFile(const std::string& path) {
    const Located where = locate(path);
    deleteEntry(where.dir.get(), where.name, where.dirPath);
}

bool LinuxPlatform::shellDeleteFile(const std::string& path) noexcept {
    try {
        deleteFile(path);
        return true;
    } catch (...) {
        return false;
    }
}

void LinuxPlatform::deleteMatching(const std::string& pattern) {
    const Located where = locate(pattern);
    deleteMatchingFiles(where.dir.get(), where.name, !where.onDrive, where.dirPath);
}

NamesFacts LinuxPlatform::namesFacts(const std::string& root) {
    const Drive* drive = nullptr;
    const UniqueFd dir = fixedDriveRoot(root, drive);
    return surveyNames(dir.get(), drive->mount).facts;
}

NamesHandle LinuxPlatform::openNamesDirectory(const std::string& root) {
    const Drive* drive = nullptr;
    const UniqueFd dir = fixedDriveRoot(root, drive);
    return names_.open(dir.get(), drive->mountPoint, surveyNames(dir.get(), drive->mount),
                       sharedOwnerOf(*drive, dir.get()), ownToken());
}

std::int64_t LinuxPlatform::addNamesFiles(NamesHandle dir, std::int64_t count) {
    return names_.add(dir, count);
}

void LinuxPlatform::touchNamesFiles(NamesHandle dir, std::int64_t first, std::int64_t count) {
    names_.touch(dir, first, count);
}

std::uint64_t LinuxPlatform::syncNames(NamesHandle dir) {
    return names_.sync(dir);
}

void LinuxPlatform::closeNamesDirectory(NamesHandle dir) {
    names_.close(dir);
}

bool LinuxPlatform::namesLeftover(const std::string& root) {
    const Drive* drive = driveOf(root, nullptr);
    const UniqueFd dir = drive == nullptr ? UniqueFd() : openDriveRoot(*drive);
    return dir && NamesFiles::leftover(dir.get(), ownToken());
}

void LinuxPlatform::removeNamesLeftover(const std::string& root) {
    // A drive that is not there (any more) has nothing of the stage's.
    const Drive* drive = driveOf(root, nullptr);
    if (drive == nullptr) return;
    int openError = 0;
    const UniqueFd dir = openDriveRoot(*drive, &openError);
    if (openError != 0) raiseErrno(openError, drive->mountPoint);
    if (!dir) return;
    NamesFiles::removeLeftover(dir.get(), drive->mountPoint, sharedOwnerOf(*drive, dir.get()),
                               ownToken());
}

std::string LinuxPlatform::ownToken() {
    const std::lock_guard<std::mutex> lock(tokenMutex_);
    if (!token_) token_ = ownMarkToken(stateDirectory());
    return *token_;
}

RecordGuard LinuxPlatform::recordGuard() {
    RecordGuard guard;
    guard.strict = ::geteuid() == 0;
    if (guard.strict) {
        guard.stateDirectory = stateDirectory();
        guard.token = ownToken();
    }
    return guard;
}

void LinuxPlatform::writeNewFile(const std::string& path, std::string_view bytes) {
    TextFiles::writeAnew(path, bytes, recordGuard());
}

TextHandle LinuxPlatform::openText(const std::string& path, TextMode mode) {
    return texts_.open(path, mode, mode == TextMode::Input ? RecordGuard{} : recordGuard());
}

void LinuxPlatform::writeLine(TextHandle file, std::string_view line) {
    texts_.writeLine(file, line);
}

std::string LinuxPlatform::readLine(TextHandle file) {
    return texts_.readLine(file);
}

bool LinuxPlatform::atEnd(TextHandle file) {
    return texts_.atEnd(file);
}

void LinuxPlatform::closeText(TextHandle file) {
    texts_.close(file);
}

void LinuxPlatform::closeAllText() {
    texts_.closeAll();
}

void LinuxPlatform::appendLine(const std::string& path, std::string_view line) {
    TextFiles::appendLine(path, line, recordGuard());
}
