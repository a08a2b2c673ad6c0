// The mark of what the program made in a drive's top directory and may have to remove after a kill
// (the names stage's directory): an extended attribute holding a random token that only the
// program's state directory knows. Owner == effective user is no proof for root: a user who may
// write a top directory can rename any directory of root's in it to the stage's name, and root
// would empty it. Only root (CAP_SYS_ADMIN) sets a "trusted." attribute; without that right the
// mark is a "user." attribute, which only the owner sets, of a value nobody else can read.
#pragma once

#include <string>

// The key file in the state directory that holds the token.
inline constexpr const char* kOwnMarkFile = "QuellixOwnMark.key";

// The token of the state directory: read from its key file, made there (0600) the first time.
// Empty when the file is not a regular file of this user's alone or cannot be read or made: then
// nothing is marked and no leftover can be proven the program's own.
std::string ownMarkToken(const std::string& stateDirectory);

// Marks the open file or directory; false when the file system keeps no such attribute, or the
// token is empty.
bool putOwnMark(int fd, const std::string& token);

// Whether the open file or directory carries the mark with this token: as a "trusted."
// attribute, or as a "user." one on an object of this user's.
bool carriesOwnMark(int fd, const std::string& token);
