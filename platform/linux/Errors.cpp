// Mapping of system error codes onto the run time's error numbers.
#include "platform/linux/Errors.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "runtime/EscapedName.h"
#include "runtime/RuntimeError.h"

int errorNumberForErrno(int err) {
    switch (err) {
        case ENOENT:
            return Err::FileNotFound;
        case EACCES:
        case EPERM:
        case EROFS:  // a write-protected disk reads as "Permission denied" to the program
            return Err::PermissionDenied;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return Err::DiskFull;
        case EIO:
            return Err::DeviceIOError;
        case EMFILE:
        case ENFILE:
            return Err::TooManyFiles;
        case ENOTDIR:
            return Err::PathNotFound;
        case ENXIO:
        case ENODEV:
            return Err::DeviceUnavailable;
        default:
            return Err::PathFileAccessError;
    }
}

void raiseErrno(int err, const std::string& path) {
    const int number = errorNumberForErrno(err);
    throw RuntimeError(number, ErrorDescription(number), std::strerror(err), EscapedName(path));
}

std::string entryKindWords(unsigned mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISLNK(mode)) return "a symbolic link";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device file";
    if (S_ISREG(mode)) return "a regular file";
    return "not a regular file";
}

void refuseName(const std::string& name, const std::string& what, const std::string& hostPath) {
    throw RuntimeError(Err::FileAlreadyExists, ErrorDescription(Err::FileAlreadyExists),
                       name + " in the top directory " + what, EscapedName(hostPath));
}
