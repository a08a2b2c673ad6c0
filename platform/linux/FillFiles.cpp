// Writing fill files: direct I/O for the bulk file where the file system takes it, buffered
// otherwise; a full volume raises "Disk full".
#include "platform/linux/FillFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/FillGeometry.h"
#include "platform/linux/DriveDevices.h"
#include "platform/linux/Errors.h"
#include "platform/linux/FileHandles.h"
#include "runtime/RuntimeError.h"

namespace {

constexpr long kFuseMagic = 0x65735546;
// A name that is made anew between its removal and the create this often is given up for the
// pass: someone is racing for it.
constexpr int kCreateAttempts = 5;

bool aligned(std::uint64_t value, std::uint32_t alignment) {
    return value % alignment == 0;
}

// Frees the name for a new file: a regular file is removed (a hard link to someone's file loses
// only this name, the file stays as it is); a link, pipe, directory or device is left alone.
void clearName(int dirFd, const std::string& name, const std::string& hostPath) {
    struct stat st {};
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return;
        raiseErrno(errno, hostPath);
    }
    if (!S_ISREG(st.st_mode)) {
        refuseName(name,
                   "is " + entryKindWords(st.st_mode) + ", not a fill file - it was left alone",
                   hostPath);
    }
    if (::unlinkat(dirFd, name.c_str(), 0) != 0 && errno != ENOENT) {
        refuseName(
            name,
            std::string("could not be removed (") + std::strerror(errno) + ") - it was left alone",
            hostPath);
    }
}

}  // namespace

// A file this process has just made, never one that was there: without a name (unnamed) where
// the file system has such files, else under the name, created exclusively.
UniqueFd FillFiles::createNew(int dirFd, const std::string& name, const std::string& hostPath,
                              bool& unnamed) const {
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        clearName(dirFd, name, hostPath);
        if (race_) race_(Moment::NameFreed, dirFd, name);
        if (unnamed) {
            UniqueFd fd(::openat(dirFd, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, 0600));
            if (fd) return fd;
            if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
                raiseErrno(errno, hostPath);
            }
            unnamed = false;  // no unnamed files here: a named one, unlinked once open
        }
        UniqueFd fd(::openat(dirFd, name.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (fd) return fd;
        if (errno != EEXIST) raiseErrno(errno, hostPath);
    }
    refuseName(name, "was made again by someone else each time it was removed - it was not written",
               hostPath);
}

FillFiles::~FillFiles() {
    for (auto& [handle, f] : files_) {
        f.fd.reset();
        if (f.deleteDir) ::unlinkat(f.deleteDir.get(), f.deleteName.c_str(), 0);
    }
}

FillHandle FillFiles::create(int dirFd, const std::string& name, const std::string& hostPath,
                             FillKind kind, std::optional<std::uint32_t> sharedOwner) {
    // The bulk file vanishes on close and when the process dies: it has no name, or loses it
    // at once. FUSE servers keep an unlinked open file as a hidden file that outlives a crash,
    // so there it keeps its name until it is closed (a crash leaves it to the start-up cleanup).
    struct statfs fs {};
    const bool fuse = ::fstatfs(dirFd, &fs) == 0 && fs.f_type == kFuseMagic;
    bool unnamed = kind == FillKind::Bulk && !fuse;
    UniqueFd fd = createNew(dirFd, name, hostPath, unnamed);
    bool named = !unnamed;
    if (kind == FillKind::Bulk && named && !fuse) {
        if (::unlinkat(dirFd, name.c_str(), 0) != 0) {
            refuseName(name, "could not be removed once made - it was not written", hostPath);
        }
        named = false;
    }
    if (race_) race_(Moment::Opened, dirFd, name);
    // Made by this process a moment ago, it must still be a regular file of its own with no
    // other name: a link made meanwhile would keep the fill after its name is removed.
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) raiseErrno(errno, hostPath);
    const bool own = st.st_uid == ::geteuid() || (sharedOwner && st.st_uid == *sharedOwner);
    if (!S_ISREG(st.st_mode) || !own || st.st_nlink != (named ? 1u : 0u)) {
        refuseName(name,
                   "was not a new file of this program's own once open (owner " +
                       std::to_string(st.st_uid) + ", link count " + std::to_string(st.st_nlink) +
                       ") - it was not written",
                   hostPath);
    }

    File f;
    f.kind = kind;
    f.hostPath = hostPath;
    f.fd = std::move(fd);
    if (kind == FillKind::Bulk) {
        if (named) {
            f.deleteDir.reset(::fcntl(dirFd, F_DUPFD_CLOEXEC, 0));
            f.deleteName = name;
        }
        tryDirect(f);
    }
    const FillHandle handle = nextFileHandle();
    const std::lock_guard<std::mutex> lock(mutex_);
    files_.emplace(handle, std::move(f));
    return handle;
}

void FillFiles::tryDirect(File& f) {
    struct statx sx {};
    if (::statx(f.fd.get(), "", AT_EMPTY_PATH, STATX_DIOALIGN, &sx) != 0) return;
    if ((sx.stx_mask & STATX_DIOALIGN) == 0 || sx.stx_dio_offset_align == 0 ||
        sx.stx_dio_mem_align == 0 || !aligned(kBulkBlock, sx.stx_dio_offset_align)) {
        return;  // no direct I/O, or not for 960000-byte writes (4096-byte sectors)
    }
    const int flags = ::fcntl(f.fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(f.fd.get(), F_SETFL, flags | O_DIRECT) != 0) return;
    f.mode = FillMode::Direct;
    f.offsetAlign = sx.stx_dio_offset_align;
    f.memAlign = sx.stx_dio_mem_align;
}

void FillFiles::toBuffered(File& f) {
    const int flags = ::fcntl(f.fd.get(), F_GETFL);
    if (flags >= 0) ::fcntl(f.fd.get(), F_SETFL, flags & ~O_DIRECT);
    f.mode = FillMode::Buffered;
}

FillFiles::File& FillFiles::find(FillHandle file) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto it = files_.find(file);
    if (it == files_.end()) Raise(Err::BadFileNameOrNumber);
    return it->second;
}

void FillFiles::write(FillHandle file, std::string_view data) {
    File& f = find(file);
    const char* p = data.data();
    std::size_t left = data.size();
    std::unique_ptr<char, decltype(&std::free)> bounce(nullptr, &std::free);
    if (f.mode == FillMode::Direct) {
        if (!aligned(f.position, f.offsetAlign) || !aligned(left, f.offsetAlign)) {
            toBuffered(f);  // once off the alignment grid the file stays buffered
        } else if (!aligned(reinterpret_cast<std::uintptr_t>(p), f.memAlign)) {
            // Fill blocks come aligned (platform/Block.h); anything else is copied once.
            const std::size_t alignment = std::max<std::size_t>(f.memAlign, alignof(void*));
            const std::size_t size = (left + alignment - 1) / alignment * alignment;
            bounce.reset(static_cast<char*>(std::aligned_alloc(alignment, size)));
            if (!bounce) Raise(Err::OutOfMemory);
            std::memcpy(bounce.get(), p, left);
            p = bounce.get();
        }
    }
    while (left > 0) {
        const ssize_t n = ::write(f.fd.get(), p, left);
        if (n > 0) {
            p += n;
            left -= static_cast<std::size_t>(n);
            f.position += static_cast<std::uint64_t>(n);
            continue;  // a short write is continued; if the volume is full the next one says so
        }
        if (n == 0) Raise(Err::DiskFull);
        if (errno == EINTR) continue;
        if (errno == EINVAL && f.mode == FillMode::Direct) {
            // The file system or device refused this direct write after all (unusual sector
            // size, a remainder after a short write): carry on buffered.
            toBuffered(f);
            continue;
        }
        raiseErrno(errno, f.hostPath);
    }
}

void FillFiles::close(FillHandle file) {
    File f;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto it = files_.find(file);
        if (it == files_.end()) Raise(Err::BadFileNameOrNumber);
        f = std::move(it->second);
        files_.erase(it);
    }
    // Dirty pages of a file that is deleted (or of the unlinked bulk file when it is closed) are
    // dropped, never written: without this sync a buffered fill would overwrite nothing. For a
    // direct-mode file it flushes the device's write cache.
    int err = 0;
    if (::fdatasync(f.fd.get()) != 0 && errno != EINVAL && errno != EROFS) err = errno;
    if (::close(f.fd.release()) != 0 && err == 0 && errno != EINTR) err = errno;
    if (f.deleteDir) ::unlinkat(f.deleteDir.get(), f.deleteName.c_str(), 0);
    if (err != 0) raiseErrno(err, f.hostPath);
}

FillMode FillFiles::mode(FillHandle file) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto it = files_.find(file);
    if (it == files_.end()) Raise(Err::BadFileNameOrNumber);
    return it->second.mode;
}

std::optional<std::vector<FileExtent>> FillFiles::extents(FillHandle file) {
    File& f = find(file);
    try {
        return fileExtents(f.fd.get());
    } catch (const RuntimeError& e) {
        throw RuntimeError(e.number(), e.description(), e.systemText(), f.hostPath);
    }
}
