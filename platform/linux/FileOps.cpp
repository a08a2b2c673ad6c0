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

std::string joined(const std::string& dirPath, const std::string& name) {
    if (dirPath.empty() || dirPath.back() == '/') return dirPath + name;
    return dirPath + "/" + name;
}

// A name that is not there (or not below a directory) is absent; any other failure to look is
// raised with its cause.
bool isRegular(int dirFd, const std::string& name, bool follow, const std::string& dirPath) {
    struct stat st {};
    if (::fstatat(dirFd, name.c_str(), &st, follow ? 0 : AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return false;
        raiseErrno(errno, joined(dirPath, name));
    }
    return S_ISREG(st.st_mode);
}

// Names of the directory's regular files that match the pattern. A directory that cannot be
// read raises its cause.
std::vector<std::string> matches(int dirFd, const std::string& pattern, bool follow,
                                 const std::string& dirPath) {
    std::vector<std::string> names;
    const DirStream dir = openDirStream(dirFd, dirPath);
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) {
            if (errno != 0) raiseErrno(errno, dirPath);
            break;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (wildcardMatch(pattern, name) && isRegular(dirFd, name, follow, dirPath)) {
            names.push_back(name);
        }
    }
    return names;
}

}  // namespace

DirStream openDirStream(int dirFd, const std::string& dirPath) {
    const int own = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (own < 0) raiseErrno(errno, dirPath);
    DirStream dir(::fdopendir(own), ::closedir);
    if (!dir) {
        const int err = errno;
        ::close(own);
        raiseErrno(err, dirPath);
    }
    return dir;
}

bool regularFileExists(int dirFd, const std::string& pattern, bool follow,
                       const std::string& dirPath) {
    if (pattern.empty()) return false;
    if (pattern.find('*') == std::string::npos) return isRegular(dirFd, pattern, follow, dirPath);
    return !matches(dirFd, pattern, follow, dirPath).empty();
}

std::int64_t regularFileLength(int dirFd, const std::string& name, bool follow,
                               const std::string& dirPath) {
    struct stat st {};
    if (name.empty()) Raise(Err::FileNotFound);
    if (::fstatat(dirFd, name.c_str(), &st, follow ? 0 : AT_SYMLINK_NOFOLLOW) != 0) {
        raiseErrno(errno, joined(dirPath, name));
    }
    if (S_ISDIR(st.st_mode)) Raise(Err::FileNotFound);
    return static_cast<std::int64_t>(st.st_size);
}

void deleteEntry(int dirFd, const std::string& name, const std::string& dirPath) {
    if (name.empty()) Raise(Err::FileNotFound);
    if (::unlinkat(dirFd, name.c_str(), 0) != 0) raiseErrno(errno, joined(dirPath, name));
}

void deleteMatchingFiles(int dirFd, const std::string& pattern, bool follow,
                         const std::string& dirPath) {
    const std::vector<std::string> doomed = matches(dirFd, pattern, follow, dirPath);
    if (doomed.empty()) Raise(Err::FileNotFound);
    std::optional<std::pair<int, std::string>> firstError;
    for (const auto& name : doomed) {
        if (::unlinkat(dirFd, name.c_str(), 0) != 0 && errno != ENOENT && !firstError) {
            firstError.emplace(errno, name);
        }
    }
    if (firstError) raiseErrno(firstError->first, joined(dirPath, firstError->second));
}
