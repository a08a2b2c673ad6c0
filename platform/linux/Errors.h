// The run time's error numbers for the system's error codes.
#pragma once

#include <string>

// ENOENT 53, EACCES/EPERM/EROFS 70, ENOSPC/EDQUOT/EFBIG 61, EIO 57, EMFILE/ENFILE 67,
// ENOTDIR 76, ENXIO/ENODEV 68, everything else 75.
int errorNumberForErrno(int err);

// Raises the run-time error that matches err, with the system's text for it and the path the
// failed operation concerned (its control characters escaped: runtime/EscapedName.h).
[[noreturn]] void raiseErrno(int err, const std::string& path = {});

// What a directory entry of the given mode is, in words: "a directory", "a symbolic link" ...
std::string entryKindWords(unsigned mode);

// Something under a name of the program's own that is not the program's own: raises 58 "File
// already exists" with the reason in words that name it ("quote00.qlk in the top directory is a
// directory, not a fill file - it was left alone").
[[noreturn]] void refuseName(const std::string& name, const std::string& what,
                             const std::string& hostPath);
