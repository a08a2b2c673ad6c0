// File existence, length and deletion relative to a directory descriptor.
#include "platform/linux/FileOps.h"

#include "platform/Wildcard.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <vector>

#include "platform/linux/Errors.h"
#include "runtime/RuntimeError.h"

namespace {

bool isRegular(int dirFd, const std::string& name, bool follow) {
    struct stat st {};
    return ::fstatat(dirFd, name.c_str(), &st, follow ? 0 : AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(st.st_mode);
}

// Names of the directory's regular files that match the pattern.
std::vector<std::string> matches(int dirFd, const std::string& pattern, bool follow) {
    std::vector<std::string> names;
    const int own = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (own < 0) return names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(own), ::closedir);
    if (!dir) {
        ::close(own);
        return names;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (wildcardMatch(pattern, name) && isRegular(dirFd, name, follow)) names.push_back(name);
    }
    return names;
}

}  // namespace

bool regularFileExists(int dirFd, const std::string& pattern, bool follow) {
    if (pattern.empty()) return false;
    if (pattern.find('*') == std::string::npos) return isRegular(dirFd, pattern, follow);
    return !matches(dirFd, pattern, follow).empty();
}

std::int64_t regularFileLength(int dirFd, const std::string& name, bool follow) {
    struct stat st {};
    if (name.empty()) Raise(Err::FileNotFound);
    if (::fstatat(dirFd, name.c_str(), &st, follow ? 0 : AT_SYMLINK_NOFOLLOW) != 0) {
        raiseErrno(errno);
    }
    if (S_ISDIR(st.st_mode)) Raise(Err::FileNotFound);
    return static_cast<std::int64_t>(st.st_size);
}

void deleteEntry(int dirFd, const std::string& name) {
    if (name.empty()) Raise(Err::FileNotFound);
    if (::unlinkat(dirFd, name.c_str(), 0) != 0) raiseErrno(errno);
}

void deleteMatchingFiles(int dirFd, const std::string& pattern, bool follow) {
    const std::vector<std::string> doomed = matches(dirFd, pattern, follow);
    if (doomed.empty()) Raise(Err::FileNotFound);
    std::optional<int> firstError;
    for (const auto& name : doomed) {
        if (::unlinkat(dirFd, name.c_str(), 0) != 0 && errno != ENOENT && !firstError) {
            firstError = errno;
        }
    }
    if (firstError) raiseErrno(*firstError);
}
