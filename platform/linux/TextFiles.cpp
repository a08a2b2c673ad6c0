// Line-oriented reading and writing of the program's own text files.
#include "platform/linux/TextFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/Errors.h"
#include "platform/linux/FileHandles.h"
#include "runtime/RuntimeError.h"

TextHandle TextFiles::open(const std::string& path, TextMode mode) {
    int flags = O_CLOEXEC;
    switch (mode) {
        case TextMode::Input:
            flags |= O_RDONLY;
            break;
        case TextMode::Output:
            flags |= O_WRONLY | O_CREAT | O_TRUNC;
            break;
        case TextMode::Append:
            flags |= O_WRONLY | O_CREAT | O_APPEND;
            break;
    }
    UniqueFd fd(::open(path.c_str(), flags, 0666));
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
