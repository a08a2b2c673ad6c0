// Opening a drive's top directory so that it can only be the root of the mount that was listed:
// no symbolic link is followed anywhere in its path, and the directory must be the root of that
// very mount. A user who owns a directory above a mount point could otherwise swap it for a link
// into a directory of its own on the same file system, and the fill files would go there.
#pragma once

#include <string>

#include "platform/linux/UniqueFd.h"

// How a path is resolved without symbolic links: by the kernel in one call (openat2 with
// RESOLVE_NO_SYMLINKS), or one component at a time with O_NOFOLLOW where the kernel (or a
// container's system-call filter) has no openat2. Kernel falls back to the walk by itself.
enum class PathWalk { Kernel, Components };

// Opens the directory at the absolute path for reading without following a symbolic link in
// any of its components. Empty on failure, with errno set (ELOOP or ENOTDIR for a link).
UniqueFd openDirectoryNoSymlinks(const std::string& path, PathWalk walk = PathWalk::Kernel);

// The root of the mount with the given id, opened at mountPoint as above; empty when the path
// leads anywhere else (another mount, a directory inside this one, through a link). Where the
// directory is there but cannot be opened (permissions, I/O), *openError receives the cause.
UniqueFd openMountRoot(const std::string& mountPoint, int mountId, int* openError = nullptr,
                       PathWalk walk = PathWalk::Kernel);
