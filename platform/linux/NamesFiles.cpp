// The names stage's directory and its files.
#include "platform/linux/NamesFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/FillGeometry.h"
#include "platform/linux/DriveTable.h"
#include "platform/linux/Errors.h"
#include "platform/linux/FileHandles.h"
#include "platform/linux/FileOps.h"
#include "platform/linux/OwnMark.h"
#include "platform/linux/SysBlock.h"
#include "runtime/RuntimeError.h"

namespace {

// A directory made this often and taken away again each time is given up.
constexpr int kMakeAttempts = 5;
// Where directories are spread, every this many entries one is a directory (an empty one costs a
// block: 512 KiB of blocks for 4,096 entries of 4 KiB blocks).
constexpr std::int64_t kDirectoryEvery = 32;

std::uint64_t splitmix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

bool owns(const struct stat& st, std::optional<std::uint32_t> sharedOwner) {
    return st.st_uid == ::geteuid() || (sharedOwner && st.st_uid == *sharedOwner);
}

// A name the stage gives its files: letters and digits only, and long (as long as the file system
// takes, 255 on every file system the stage runs on). Nothing else in a leftover is removed.
constexpr std::size_t kShortestStageName = 16;
bool stageName(const std::string& name) {
    return name.size() >= kShortestStageName && std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
           });
}

// Removes one entry of the open directory: a file, or a directory only while it is empty (the
// stage's own are). A name that is not there is no failure.
int removeEntry(int dirFd, const char* name) {
    if (::unlinkat(dirFd, name, 0) == 0) return 0;
    if (errno == EISDIR && ::unlinkat(dirFd, name, AT_REMOVEDIR) == 0) return 0;
    return errno == ENOENT ? 0 : errno;
}

// Removes the entries of a proven leftover that carry the stage's names, never following a link
// (a name is removed, not what it names). The first failure is raised once all were tried.
void removeStageEntries(int dirFd, const std::string& dirPath) {
    const DirStream dir = openDirStream(dirFd, dirPath);
    int firstError = 0;
    std::string failed;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) {
            if (errno != 0 && firstError == 0) firstError = errno;
            break;
        }
        const std::string name = entry->d_name;
        if (!stageName(name)) continue;
        if (const int err = removeEntry(dirFd, name.c_str()); err != 0 && firstError == 0) {
            firstError = err;
            failed = dirPath + "/" + name;
        }
    }
    if (firstError != 0) raiseErrno(firstError, failed.empty() ? dirPath : failed);
}

bool sameObject(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes the directory open as dirFd from the top directory, where it had the stage's name, once
// empty. A name is all rmdir takes: right before, the entry under the name must still be this very
// directory. One swapped in meanwhile is left alone, and the stage's own stays, empty, wherever it
// is now.
void removeStageDirectory(int rootFd, int dirFd, const std::string& path) {
    const auto swapped = [&] {
        refuseName(kNamesDirectory,
                   "was swapped for something else during the stage: that was left alone, and "
                   "the stage's own directory stays, empty, where it was moved",
                   path);
    };
    struct stat own {};
    struct stat there {};
    if (::fstat(dirFd, &own) != 0) raiseErrno(errno, path);
    if (::fstatat(rootFd, kNamesDirectory, &there, AT_SYMLINK_NOFOLLOW) != 0 ||
        !sameObject(own, there)) {
        swapped();
    }
    // Swapped in the moment between, or holding what the stage did not make: rmdir takes no
    // directory that holds anything.
    if (::unlinkat(rootFd, kNamesDirectory, AT_REMOVEDIR) != 0 && errno != ENOENT) {
        const int err = errno;
        if (err == ENOTEMPTY || err == EEXIST || err == ENOTDIR) {
            if (::fstatat(rootFd, kNamesDirectory, &there, AT_SYMLINK_NOFOLLOW) != 0 ||
                !sameObject(own, there)) {
                swapped();
            }
            refuseName(kNamesDirectory,
                       "holds something the names stage did not make - it was left alone with "
                       "what it holds",
                       path);
        }
        raiseErrno(err, path);
    }
}

// Whether the directory is empty but for "." and "..".
bool emptyDirectory(int dirFd, const std::string& path) {
    const DirStream dir = openDirStream(dirFd, path);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") return false;
    }
    return true;
}

// The clock that stamps a new inode's birth: the kernel's coarse clock, which may lag the fine
// one by a tick.
struct timespec birthClock() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now;
}

bool bornBefore(const struct statx_timestamp& born, const struct timespec& since) {
    return born.tv_sec < since.tv_sec || (born.tv_sec == since.tv_sec &&
                                          born.tv_nsec < static_cast<std::uint32_t>(since.tv_nsec));
}

}  // namespace

bool NamesFiles::leftover(int rootFd, const std::string& token) {
    const UniqueFd dir(
        ::openat(rootFd, kNamesDirectory, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return dir && carriesOwnMark(dir.get(), token);
}

void NamesFiles::removeLeftover(int rootFd, const std::string& hostPath,
                                std::optional<std::uint32_t> sharedOwner,
                                const std::string& token) {
    const std::string path = joinMountPath(hostPath, kNamesDirectory);
    struct stat st {};
    if (::fstatat(rootFd, kNamesDirectory, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return;
        raiseErrno(errno, path);
    }
    if (!S_ISDIR(st.st_mode)) {
        refuseName(kNamesDirectory,
                   "is " + entryKindWords(st.st_mode) +
                       ", not the names stage's directory - it was left alone",
                   path);
    }
    const UniqueFd dir(
        ::openat(rootFd, kNamesDirectory, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dir) raiseErrno(errno, path);
    // What is opened is what is judged, and emptied through its descriptor: the name may lead
    // elsewhere a moment later.
    if (::fstat(dir.get(), &st) != 0) raiseErrno(errno, path);
    if (!owns(st, sharedOwner)) {
        refuseName(kNamesDirectory,
                   "is a directory of another user (owner " + std::to_string(st.st_uid) +
                       "), not the names stage's - it was left alone",
                   path);
    }
    if (!carriesOwnMark(dir.get(), token)) {
        refuseName(kNamesDirectory,
                   "is a directory that carries no mark of this program's (it may be somebody's "
                   "directory renamed) - it was left alone",
                   path);
    }
    removeStageEntries(dir.get(), path);
    removeStageDirectory(rootFd, dir.get(), path);
}

NamesHandle NamesFiles::open(int rootFd, const std::string& hostPath, const NamesSurvey& survey,
                             std::optional<std::uint32_t> sharedOwner, const std::string& token) {
    Dir d;
    d.hostPath = joinMountPath(hostPath, kNamesDirectory);
    bool made = false;
    struct timespec before {};
    for (int attempt = 0; attempt < kMakeAttempts && !made; ++attempt) {
        before = birthClock();
        made = ::mkdirat(rootFd, kNamesDirectory, 0700) == 0;
        if (made) break;
        if (errno != EEXIST) raiseErrno(errno, d.hostPath);
        removeLeftover(rootFd, hostPath, sharedOwner, token);
    }
    if (!made) {
        refuseName(kNamesDirectory,
                   "was made again by someone else each time it was removed - the names "
                   "stage did not run",
                   d.hostPath);
    }
    if (race_) race_(rootFd);
    // mkdirat gives no descriptor: the directory is opened by its name, which a user who may
    // write the top directory can have pointed at another directory meanwhile (rename, exchange).
    // Only a new, empty directory of this user's, born after the mkdirat, is taken; from then on
    // everything goes through the descriptor.
    d.fd.reset(::openat(rootFd, kNamesDirectory, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!d.fd) raiseErrno(errno, d.hostPath);
    struct stat st {};
    if (::fstat(d.fd.get(), &st) != 0) raiseErrno(errno, d.hostPath);
    struct statx sx {};
    const bool knownBirth = ::statx(d.fd.get(), "", AT_EMPTY_PATH, STATX_BTIME, &sx) == 0 &&
                            (sx.stx_mask & STATX_BTIME) != 0;
    const bool bornEarlier = knownBirth && bornBefore(sx.stx_btime, before);
    if (!owns(st, sharedOwner) || bornEarlier || !emptyDirectory(d.fd.get(), d.hostPath)) {
        refuseName(kNamesDirectory,
                   "was not the new directory this program had made once opened (owner " +
                       std::to_string(st.st_uid) +
                       ") - the names stage did not run, and what was there was left alone",
                   d.hostPath);
    }
    // A kill from here on leaves a directory that the next start can prove its own. Where the
    // file system tells no birth time (ext4 with 128-byte inodes), an empty directory of this
    // user's swapped in at the very moment would have passed: the stage works in it through its
    // descriptor all the same (it only ever removes names it made), but neither marks it nor
    // changes its flags, so that no start empties it later; a leftover there is named instead.
    if (knownBirth) putOwnMark(d.fd.get(), token);
    d.root.reset(::fcntl(rootFd, F_DUPFD_CLOEXEC, 0));
    if (!d.root) raiseErrno(errno, hostPath);
    if (::getrandom(d.key, sizeof d.key, 0) != static_cast<ssize_t>(sizeof d.key)) {
        raiseErrno(errno, d.hostPath);
    }
    d.nameLength = survey.nameLength;
    d.meter = survey.meter;
    // The directories made in it are spread over the block groups as the top directory's are.
    // Without the flag they stay near it: the stage then reaches fewer slots, and says so.
    int flags = 0;
    d.spreadDirectories =
        knownBirth && survey.spreadDirectories &&
        ::ioctl(d.fd.get(), FS_IOC_GETFLAGS, &flags) == 0 &&
        (flags |= FS_TOPDIR_FL, ::ioctl(d.fd.get(), FS_IOC_SETFLAGS, &flags) == 0);
    if (!d.meter.logHeadPath.empty()) {
        d.headAtStart = parseLogHead(readSmallFile(d.meter.logHeadPath).value_or(""));
    }
    const NamesHandle handle = nextFileHandle();
    const std::lock_guard<std::mutex> lock(mutex_);
    dirs_.emplace(handle, std::move(d));
    return handle;
}

NamesFiles::Dir& NamesFiles::find(NamesHandle dir) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto it = dirs_.find(dir);
    if (it == dirs_.end()) Raise(Err::BadFileNameOrNumber);
    return it->second;
}

std::string NamesFiles::nameOf(const Dir& d, std::int64_t number) const {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::uint64_t state = d.key[0] ^ (static_cast<std::uint64_t>(number) * d.key[1] | 1);
    std::string name(d.nameLength, 'a');
    for (std::size_t i = 0; i < name.size();) {
        std::uint64_t bits = splitmix(state);
        for (int k = 0; k < 10 && i < name.size(); ++k, ++i, bits >>= 6)
            name[i] = kLetters[(bits & 63) % 62];
    }
    return name;
}

std::int64_t NamesFiles::add(NamesHandle dir, std::int64_t count) {
    Dir& d = find(dir);
    std::int64_t made = 0;
    for (; made < count; ++made) {
        const std::string name = nameOf(d, d.files);
        // A directory needs a block, a file none: where there is no block left, a file.
        const bool directory = d.spreadDirectories && d.files % kDirectoryEvery == 0;
        const bool madeDirectory = directory && ::mkdirat(d.fd.get(), name.c_str(), 0700) == 0;
        if (directory && !madeDirectory && errno != ENOSPC && errno != EDQUOT) {
            raiseErrno(errno, d.hostPath);
        }
        if (!madeDirectory) {
            const int fd = ::openat(d.fd.get(), name.c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd < 0) {
                // No room, no inode, or the user's quota: the files made so far do the work.
                if (errno == ENOSPC || errno == EDQUOT) break;
                raiseErrno(errno, d.hostPath);
            }
            ::close(fd);
        }
        ++d.files;
        ++d.changed;
    }
    return made;
}

void NamesFiles::touch(NamesHandle dir, std::int64_t first, std::int64_t count) {
    Dir& d = find(dir);
    for (std::int64_t number = first; number < first + count && number < d.files; ++number) {
        // Each round gives other times, so that every file really changes.
        const struct timespec times[2] = {{1000000000 + d.round, number % 1000000000},
                                          {1000000000 + d.round, number % 1000000000}};
        if (::utimensat(d.fd.get(), nameOf(d, number).c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
            raiseErrno(errno, d.hostPath);
        }
        ++d.changed;
    }
}

std::uint64_t NamesFiles::sync(NamesHandle dir) {
    Dir& d = find(dir);
    if (::syncfs(d.fd.get()) != 0) raiseErrno(errno, d.hostPath);
    const std::uint64_t per = std::max<std::uint64_t>(d.meter.itemsPerUnit, 1);
    d.counted += (d.changed + per - 1) / per * d.meter.unitBytes;
    d.changed = 0;
    ++d.round;
    if (d.headAtStart) {
        if (const auto head = parseLogHead(readSmallFile(d.meter.logHeadPath).value_or(""))) {
            return logHeadProgress(*d.headAtStart, *head, d.meter.logBasicBlocks) * 512;
        }
    }
    return d.counted;
}

void NamesFiles::close(NamesHandle dir) {
    Dir d;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto it = dirs_.find(dir);
        if (it == dirs_.end()) Raise(Err::BadFileNameOrNumber);
        d = std::move(it->second);
        dirs_.erase(it);
    }
    // Exactly the names the stage made, through the directory's descriptor.
    int firstError = 0;
    for (std::int64_t number = 0; number < d.files; ++number) {
        const int err = removeEntry(d.fd.get(), nameOf(d, number).c_str());
        if (err != 0 && firstError == 0) firstError = err;
    }
    if (firstError != 0) raiseErrno(firstError, d.hostPath);
    if (race_) race_(d.root.get());
    removeStageDirectory(d.root.get(), d.fd.get(), d.hostPath);
    // The removal is on the disk before the drive's last cleanup measures its free space.
    ::syncfs(d.root.get());
}
