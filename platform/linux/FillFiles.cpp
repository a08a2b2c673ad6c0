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

#include "platform/FillGeometry.h"
#include "platform/linux/Errors.h"
#include "platform/linux/FileHandles.h"
#include "runtime/RuntimeError.h"

namespace {

constexpr long kFuseMagic = 0x65735546;

bool aligned(std::uint64_t value, std::uint32_t alignment) {
    return value % alignment == 0;
}

}  // namespace

FillFiles::~FillFiles() {
    for (auto& [handle, f] : files_) {
        f.fd.reset();
        if (f.deleteDir) ::unlinkat(f.deleteDir.get(), f.deleteName.c_str(), 0);
    }
}

FillHandle FillFiles::create(int dirFd, const std::string& name, const std::string& hostPath,
                             FillKind kind) {
    // O_NOFOLLOW and the regular-file test keep a planted link or pipe of the fill file's name
    // from redirecting the writes or blocking the open.
    UniqueFd fd(::openat(dirFd, name.c_str(),
                         O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
    if (!fd) raiseErrno(errno, hostPath);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) raiseErrno(errno, hostPath);
    if (!S_ISREG(st.st_mode)) Raise(Err::PathFileAccessError);
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);

    File f;
    f.kind = kind;
    f.hostPath = hostPath;
    f.fd = std::move(fd);
    if (kind == FillKind::Bulk) {
        // Unlinked at once, the file vanishes on close and also when the process dies. FUSE
        // servers keep an unlinked open file as a hidden file that outlives a crash, so there
        // the name goes at close instead (and a crash leaves it for the start-up cleanup).
        struct statfs fs {};
        const bool fuse = ::fstatfs(f.fd.get(), &fs) == 0 && fs.f_type == kFuseMagic;
        if (fuse || ::unlinkat(dirFd, name.c_str(), 0) != 0) {
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
