// A drive's top directory, reached without symbolic links and checked to be its mount's root.
#include "platform/linux/DriveRoot.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// One component at a time: every directory on the way is opened with O_NOFOLLOW and
// O_DIRECTORY, which fails (ENOTDIR) on a symbolic link. The directories above need only be
// searchable (O_PATH), as for an ordinary lookup.
UniqueFd walkComponents(const std::string& path) {
    std::vector<std::string> names;
    for (std::size_t at = 0; at < path.size();) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        if (end > at) names.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    if (names.empty()) return UniqueFd(::open("/", kDirectoryFlags));
    UniqueFd dir(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (std::size_t i = 0; dir && i < names.size(); ++i) {
        const bool last = i + 1 == names.size();
        const int flags = (last ? kDirectoryFlags : O_PATH | O_DIRECTORY | O_CLOEXEC) | O_NOFOLLOW;
        const int next = ::openat(dir.get(), names[i].c_str(), flags);
        const int err = errno;  // closing the directory above must not hide why
        dir.reset(next);
        errno = err;
    }
    return dir;
}

}  // namespace

UniqueFd openDirectoryNoSymlinks(const std::string& path, PathWalk walk) {
    if (path.empty() || path.front() != '/') {
        errno = ENOENT;
        return {};
    }
    if (walk == PathWalk::Kernel) {
        open_how how{};
        how.flags = kDirectoryFlags;
        how.resolve = RESOLVE_NO_SYMLINKS;
        const long fd = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
        // Kernels before 5.6 lack the call; some containers' filters refuse it with EPERM.
        if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) {
            return UniqueFd(static_cast<int>(fd));
        }
    }
    return walkComponents(path);
}

UniqueFd openMountRoot(const std::string& mountPoint, int mountId, int* openError, PathWalk walk) {
    UniqueFd dir = openDirectoryNoSymlinks(mountPoint, walk);
    if (!dir) {
        // Gone, or a link on the way: not the listed mount, which is never looked for elsewhere.
        if (openError != nullptr && errno != ENOENT && errno != ELOOP && errno != ENOTDIR) {
            *openError = errno;
        }
        return {};
    }
    // The very mount that was listed, and its root: after an unmount the path leads to the file
    // system below, and a directory inside the mount is not its top directory.
    struct statx sx {};
    if (::statx(dir.get(), "", AT_EMPTY_PATH, STATX_MNT_ID, &sx) != 0) return {};
    const bool listedMount =
        (sx.stx_mask & STATX_MNT_ID) != 0 && sx.stx_mnt_id == static_cast<std::uint64_t>(mountId);
    const bool mountRoot = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
                           (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    if (!listedMount || !mountRoot) return {};
    return dir;
}
