// The token in the state directory and the extended attribute that carries it.
#include "platform/linux/OwnMark.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/linux/UniqueFd.h"

namespace {

constexpr const char* kTrusted = "trusted.quellix.own";
constexpr const char* kUser = "user.quellix.own";
constexpr std::size_t kTokenLength = 32;  // 128 random bits in hex

bool wellFormed(const std::string& token) {
    return token.size() == kTokenLength &&
           token.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::string readToken(int fd) {
    struct stat st {};
    // A key anybody else could have put there or may read proves nothing.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        st.st_nlink != 1 || (st.st_mode & 077) != 0) {
        return {};
    }
    char buffer[kTokenLength + 1];
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, 0);
    if (n < static_cast<ssize_t>(kTokenLength)) return {};
    std::string token(buffer, kTokenLength);
    return wellFormed(token) ? token : std::string();
}

std::string newToken(int dirFd) {
    std::uint8_t random[kTokenLength / 2];
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return {};
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    for (const std::uint8_t byte : random) {
        token += kHex[byte >> 4];
        token += kHex[byte & 15];
    }
    const UniqueFd fd(::openat(dirFd, kOwnMarkFile,
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                               0600));
    if (!fd) return {};
    const std::string line = token + "\n";
    if (::write(fd.get(), line.data(), line.size()) != static_cast<ssize_t>(line.size()) ||
        ::fsync(fd.get()) != 0) {
        ::unlinkat(dirFd, kOwnMarkFile, 0);
        return {};
    }
    return token;
}

bool attributeIs(int fd, const char* name, const std::string& token) {
    char value[kTokenLength + 1];
    const ssize_t n = ::fgetxattr(fd, name, value, sizeof value);
    return n == static_cast<ssize_t>(kTokenLength) && std::string(value, kTokenLength) == token;
}

}  // namespace

std::string ownMarkToken(const std::string& stateDirectory) {
    const UniqueFd dir(::open(stateDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) return {};
    const UniqueFd fd(
        ::openat(dir.get(), kOwnMarkFile, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd) return readToken(fd.get());
    return errno == ENOENT ? newToken(dir.get()) : std::string();
}

bool putOwnMark(int fd, const std::string& token) {
    if (!wellFormed(token)) return false;
    if (::fsetxattr(fd, kTrusted, token.data(), token.size(), 0) == 0) return true;
    // Without CAP_SYS_ADMIN (the scheduled service): an attribute only the owner may set.
    return ::fsetxattr(fd, kUser, token.data(), token.size(), 0) == 0;
}

bool carriesOwnMark(int fd, const std::string& token) {
    if (!wellFormed(token)) return false;
    if (attributeIs(fd, kTrusted, token)) return true;
    struct stat st {};
    return ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && attributeIs(fd, kUser, token);
}
