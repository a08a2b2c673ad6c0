// Existence, length and deletion of files named inside an open directory, with "*" patterns.
// dirPath is the directory's host path, for errors. Looking that fails for any reason but a
// missing name raises the system's cause: what could not be looked at is never reported as
// absent.
#pragma once

#include <dirent.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// A directory stream of its own on the open directory, which stays the caller's. A directory
// that cannot be read raises its cause.
using DirStream = std::unique_ptr<DIR, int (*)(DIR*)>;
DirStream openDirStream(int dirFd, const std::string& dirPath);

// Whether a regular file whose name matches the pattern exists in the directory. Symbolic
// links are not followed when follow is false.
bool regularFileExists(int dirFd, const std::string& pattern, bool follow,
                       const std::string& dirPath);

// Length of a regular file; a missing one raises 53.
std::int64_t regularFileLength(int dirFd, const std::string& name, bool follow,
                               const std::string& dirPath);

// Deletes one directory entry; a missing one raises 53.
void deleteEntry(int dirFd, const std::string& name, const std::string& dirPath);

// Deletes every regular file whose name matches the pattern; none raises 53. Every match is
// tried; the first failure is raised afterwards.
void deleteMatchingFiles(int dirFd, const std::string& pattern, bool follow,
                         const std::string& dirPath);
