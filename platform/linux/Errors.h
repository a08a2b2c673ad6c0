// The run time's error numbers for the system's error codes.
#pragma once

#include <string>

// ENOENT 53, EACCES/EPERM/EROFS 70, ENOSPC/EDQUOT/EFBIG 61, EIO 57, EMFILE/ENFILE 67,
// ENOTDIR 76, ENXIO/ENODEV 68, everything else 75.
int errorNumberForErrno(int err);

// Raises the run-time error that matches err, with the system's text for it and the path the
// failed operation concerned.
[[noreturn]] void raiseErrno(int err, const std::string& path = {});
