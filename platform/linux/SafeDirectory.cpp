// A directory of root's own, reached without symbolic links.
#include "platform/linux/SafeDirectory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/linux/UniqueFd.h"

std::string makeOwnDirectory(const std::string& path) {
    if (path.empty() || path.front() != '/') return "it is not an absolute path";
    std::vector<std::string> names;
    for (std::size_t at = 0; at < path.size();) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        const std::string name = path.substr(at, end - at);
        if (name == "..") return "it goes up a directory (\"..\")";
        if (!name.empty() && name != ".") names.push_back(name);
        at = end + 1;
    }
    UniqueFd dir(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    std::string reached = "/";
    for (std::size_t i = 0;; ++i) {
        if (!dir) return reached + " cannot be opened: " + std::strerror(errno);
        struct stat st {};
        if (::fstat(dir.get(), &st) != 0) return reached + ": " + std::strerror(errno);
        const bool last = i == names.size();
        if (st.st_uid != ::geteuid()) {
            return reached + " belongs to another user (" + std::to_string(st.st_uid) + ")";
        }
        // Others may write a sticky directory on the way: they cannot rename what is root's in it.
        if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (last || (st.st_mode & S_ISVTX) == 0)) {
            return reached + " may be written by others";
        }
        if (last) return {};
        const char* name = names[i].c_str();
        if (::mkdirat(dir.get(), name, i + 1 == names.size() ? 0700 : 0755) != 0 &&
            errno != EEXIST) {
            return reached + " cannot hold " + names[i] + ": " + std::strerror(errno);
        }
        // O_NOFOLLOW with O_DIRECTORY fails on a symbolic link (ENOTDIR, or ELOOP).
        dir.reset(::openat(dir.get(), name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        reached += (reached.size() > 1 ? "/" : "") + names[i];
        if (!dir && (errno == ENOTDIR || errno == ELOOP)) {
            return reached + " is a symbolic link or no directory";
        }
    }
}
