// Line-oriented reading and writing of the program's own text files.
#include "platform/linux/TextFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/Errors.h"
#include "platform/linux/FileHandles.h"
#include "runtime/RuntimeError.h"

namespace {

// A file written anew is a new file: whatever has the name is removed first, and an existing
// file is never opened and truncated (nor a link followed), so that no one else's file can be
// put under the name to be overwritten. A name made anew meanwhile is tried a few times.
UniqueFd createAnew(const std::string& path) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) break;
        UniqueFd fd(
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (fd || errno != EEXIST) return fd;
    }
    return {};
}

}  // namespace

TextHandle TextFiles::open(const std::string& path, TextMode mode) {
    UniqueFd fd;
    switch (mode) {
        case TextMode::Input:
            fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
            break;
        case TextMode::Output:
            fd = createAnew(path);
            break;
        case TextMode::Append:
            fd.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
            break;
    }
    if (!fd) raiseErrno(errno, path);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) raiseErrno(errno, path);
    if (S_ISDIR(st.st_mode)) Raise(Err::PathFileAccessError);
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
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
    if (!fd) raiseErrno(errno, path);
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
