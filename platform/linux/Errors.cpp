// Mapping of system error codes onto the run time's error numbers.
#include "platform/linux/Errors.h"

#include <cerrno>
#include <cstring>

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
    throw RuntimeError(number, ErrorDescription(number), std::strerror(err), path);
}
