// Line-oriented reading and writing of the program's own text files.
#include "platform/linux/TextFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/Errors.h"
#include "platform/linux/FileHandles.h"
#include "runtime/EscapedName.h"
#include "runtime/RuntimeError.h"

namespace {

// Opening never waits: a named pipe put under a record's name would hold the program in open()
// for as long as nobody opens its other end, deaf to the signals that should end it.
constexpr int kNeverWait = O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC;

// Why what is under a record's name is not one of the program's own records, in words; empty
// when it is: a regular file of this user's with no other name. Root may be writing into a
// directory somebody else may write: a link there would carry the line into another file.
std::string notOwnRecord(const struct stat& st) {
    if (!S_ISREG(st.st_mode)) return "it is " + entryKindWords(st.st_mode);
    if (st.st_uid != ::geteuid()) {
        return "it belongs to another user (" + std::to_string(st.st_uid) + ")";
    }
    if (st.st_nlink != 1) return "it has " + std::to_string(st.st_nlink) + " names (a hard link)";
    return {};
}

[[noreturn]] void refuseRecord(const std::string& path, const std::string& why,
                               const char* untouched = "nothing was written to it") {
    throw RuntimeError(Err::PathFileAccessError, ErrorDescription(Err::PathFileAccessError),
                       why + ", not a file of this program's own - " + untouched,
                       EscapedName(path));
}

// Opens a record to append to, made when missing. What is there already is taken only when it is
// a regular file of this user's own with one name; a link is never followed, a pipe or device
// never waited for.
UniqueFd openToAppend(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | kNeverWait, 0666));
    if (!fd) {
        const int err = errno;
        struct stat st {};
        // A symbolic link (ELOOP) or a pipe without a reader (ENXIO) is named for what it is.
        if ((err == ELOOP || err == ENXIO || err == EWOULDBLOCK) &&
            ::lstat(path.c_str(), &st) == 0) {
            refuseRecord(path, notOwnRecord(st));
        }
        raiseErrno(err, path);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) raiseErrno(errno, path);
    if (const std::string why = notOwnRecord(st); !why.empty()) refuseRecord(path, why);
    return fd;
}

// A file written anew is a new file: whatever has the name is removed first, and an existing
// file is never opened and truncated (nor a link followed), so that no one else's file can be
// put under the name to be overwritten. A name made anew meanwhile is tried a few times.
UniqueFd createAnew(const std::string& path) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) break;
        UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | kNeverWait, 0666));
        if (fd || errno != EEXIST) return fd;
    }
    return {};
}

}  // namespace

TextHandle TextFiles::open(const std::string& path, TextMode mode) {
    UniqueFd fd;
    switch (mode) {
        case TextMode::Input:
            fd.reset(::open(path.c_str(), O_RDONLY | kNeverWait));
            break;
        case TextMode::Output:
            fd = createAnew(path);
            break;
        case TextMode::Append:
            fd = openToAppend(path);
            break;
    }
    if (!fd) raiseErrno(errno, path);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) raiseErrno(errno, path);
    if (S_ISDIR(st.st_mode)) Raise(Err::PathFileAccessError);
    // What is read is a file: a pipe or a device planted under the name gives nothing.
    if (!S_ISREG(st.st_mode))
        refuseRecord(path, "it is " + entryKindWords(st.st_mode), "nothing was read");
    const TextHandle handle = nextFileHandle();
    File& f = files_[handle];
    f.fd = std::move(fd);
    f.mode = mode;
    return handle;
}

TextFiles::File& TextFiles::find(TextHandle file) {
    const auto it = files_.find(file);
    if (it == files_.end()) Raise(Err::BadFileNameOrNumber);
    return it->second;
}

namespace {

// One write per line: an appended line lands whole even when another process appends too.
void writeWhole(int fd, std::string_view line, std::string_view end, const std::string& path) {
    std::string out;
    out.reserve(line.size() + end.size());
    out.append(line);
    out.append(end);
    const char* p = out.data();
    std::size_t left = out.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n > 0) {
            p += n;
            left -= static_cast<std::size_t>(n);
        } else if (n == 0) {
            Raise(Err::DiskFull);
        } else if (errno != EINTR) {
            raiseErrno(errno, path);
        }
    }
}

}  // namespace

void TextFiles::writeLine(TextHandle file, std::string_view line) {
    File& f = find(file);
    if (f.mode == TextMode::Input) Raise(Err::BadFileNameOrNumber);
    writeWhole(f.fd.get(), line, "\r\n", {});
}

void TextFiles::writeAnew(const std::string& path, std::string_view bytes) {
    const UniqueFd fd = createAnew(path);
    if (!fd) raiseErrno(errno, path);
    writeWhole(fd.get(), bytes, {}, path);
    if (::fsync(fd.get()) != 0) raiseErrno(errno, path);
}

void TextFiles::appendLine(const std::string& path, std::string_view line) {
    const UniqueFd fd = openToAppend(path);
    writeWhole(fd.get(), line, "\n", path);
}

bool TextFiles::refill(File& f) {
    f.buffer.erase(0, f.pos);
    f.pos = 0;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(f.fd.get(), chunk, sizeof chunk);
        if (n > 0) {
            f.buffer.append(chunk, static_cast<std::size_t>(n));
            return true;
        }
        if (n == 0) return false;
        if (errno != EINTR) raiseErrno(errno);
    }
}

std::string TextFiles::readLine(TextHandle file) {
    File& f = find(file);
    if (f.mode != TextMode::Input) Raise(Err::BadFileNameOrNumber);
    if (f.pos >= f.buffer.size() && !refill(f)) Raise(Err::InputPastEndOfFile);
    std::size_t searchFrom = f.pos;
    for (;;) {
        const std::size_t lf = f.buffer.find('\n', searchFrom);
        if (lf != std::string::npos) {
            std::string line = f.buffer.substr(f.pos, lf - f.pos);
            f.pos = lf + 1;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        const std::size_t consumed = f.pos;
        searchFrom = f.buffer.size() - consumed;
        if (!refill(f)) break;  // the last line has no line end
    }
    std::string line = f.buffer.substr(f.pos);
    f.pos = f.buffer.size();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

bool TextFiles::atEnd(TextHandle file) {
    File& f = find(file);
    if (f.mode != TextMode::Input) return true;
    return f.pos >= f.buffer.size() && !refill(f);
}

void TextFiles::close(TextHandle file) {
    if (files_.erase(file) == 0) Raise(Err::BadFileNameOrNumber);
}
