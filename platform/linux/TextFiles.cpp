// Line-oriented reading and writing of the program's own text files.
#include "platform/linux/TextFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/DriveRoot.h"
#include "platform/linux/Errors.h"
#include "platform/linux/FileHandles.h"
#include "platform/linux/OwnMark.h"
#include "runtime/EscapedName.h"
#include "runtime/RuntimeError.h"

namespace {

// Opening never waits: a named pipe put under a record's name would hold the program in open()
// for as long as nobody opens its other end, deaf to the signals that should end it.
constexpr int kNeverWait = O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC;
// Records are nobody else's to change, whatever the umask: a world-writable fill text would let
// anybody choose what root writes into free space next time.
constexpr mode_t kRecordMode = 0644;

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

// Where a record lies: its directory, opened, and its name there. For root the directory is
// reached without a symbolic link anywhere on its path: a user's link to a directory of root's
// would carry the record into it.
struct Place {
    UniqueFd dir;
    std::string name;
    bool inStateDirectory = false;
};

Place locate(const std::string& path, const RecordGuard& guard) {
    Place place;
    std::string full = path;
    if (full.empty() || full.back() == '/') Raise(Err::BadFileNameOrNumber);
    if (full.front() != '/') {
        char cwd[4096];
        if (::getcwd(cwd, sizeof cwd) == nullptr) raiseErrno(errno, path);
        full = std::string(cwd) + "/" + full;
    }
    const std::size_t slash = full.rfind('/');
    const std::string dir = slash == 0 ? "/" : full.substr(0, slash);
    place.name = full.substr(slash + 1);
    if (place.name == "." || place.name == "..") Raise(Err::BadFileNameOrNumber);
    place.dir = guard.strict ? openDirectoryNoSymlinks(dir)
                             : UniqueFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!place.dir) {
        if (guard.strict && (errno == ELOOP || errno == ENOTDIR)) {
            refuseRecord(path, "its directory is reached through a symbolic link");
        }
        raiseErrno(errno, path);
    }
    struct stat here {};
    struct stat state {};
    const UniqueFd stateDir =
        guard.stateDirectory.empty() ? UniqueFd() : openDirectoryNoSymlinks(guard.stateDirectory);
    place.inStateDirectory = stateDir && ::fstat(place.dir.get(), &here) == 0 &&
                             ::fstat(stateDir.get(), &state) == 0 && here.st_dev == state.st_dev &&
                             here.st_ino == state.st_ino;
    return place;
}

// Whether root may take the record found in place: one in the state directory is the program's
// by where it lies; anywhere else (QUELLIX_REPORT, --map) only one that carries the program's
// mark, so that a name given in root's environment never makes root append to /etc/shadow.
std::string notMadeHere(const Place& place, int fd, const RecordGuard& guard) {
    if (!guard.strict || place.inStateDirectory || carriesOwnMark(fd, guard.token)) return {};
    return "it carries no mark of this program's (it was not made by it)";
}

// Outside the state directory root makes a file only under a name of the kinds it writes (a run
// report, a picture): a name from root's environment could otherwise be /etc/nologin, which
// locks every other user out by being there at all. Configuration that is read from a folder
// takes names of its own kinds (.conf, .sh) or none with a dot.
bool mayMakeHere(const Place& place, const RecordGuard& guard) {
    return !guard.strict || place.inStateDirectory || place.name.ends_with(".jsonl") ||
           place.name.ends_with(".png");
}

// Opens a record to append to, made (and marked) when missing. What is there already is taken
// only when it is a regular file of this user's own with one name and, for root, one it made; a
// link is never followed, a pipe or device never waited for.
UniqueFd openToAppend(const std::string& path, const RecordGuard& guard) {
    const Place place = locate(path, guard);
    const char* name = place.name.c_str();
    for (int attempt = 0; attempt < 5; ++attempt) {
        UniqueFd fd(::openat(place.dir.get(), name, O_WRONLY | O_APPEND | kNeverWait));
        if (fd) {
            struct stat st {};
            if (::fstat(fd.get(), &st) != 0) raiseErrno(errno, path);
            std::string why = notOwnRecord(st);
            if (why.empty()) why = notMadeHere(place, fd.get(), guard);
            if (!why.empty()) refuseRecord(path, why);
            return fd;
        }
        int err = errno;
        if (err == ENOENT && !mayMakeHere(place, guard)) {
            refuseRecord(path,
                         "root makes no file of this name outside its state directory (a "
                         "run report's name ends in .jsonl)");
        }
        if (err == ENOENT) {
            fd.reset(::openat(place.dir.get(), name,
                              O_WRONLY | O_APPEND | O_CREAT | O_EXCL | kNeverWait, kRecordMode));
            if (fd) {
                putOwnMark(fd.get(), guard.token);
                return fd;
            }
            err = errno;
            if (err == EEXIST) continue;  // made by someone else meanwhile: looked at anew
        }
        struct stat st {};
        // A symbolic link (ELOOP) or a pipe without a reader (ENXIO) is named for what it is.
        if ((err == ELOOP || err == ENXIO || err == EWOULDBLOCK) &&
            ::fstatat(place.dir.get(), name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            refuseRecord(path, notOwnRecord(st));
        }
        raiseErrno(err, path);
    }
    refuseRecord(path, "it was made anew by someone else each time it was looked at");
}

// A file written anew is a new file: whatever has the name is removed first, and an existing
// file is never opened and truncated (nor a link followed), so that no one else's file can be
// put under the name to be overwritten. Outside the state directory root removes only a file it
// made. A name made anew meanwhile is tried a few times.
UniqueFd createAnew(const std::string& path, const RecordGuard& guard) {
    const Place place = locate(path, guard);
    const char* name = place.name.c_str();
    if (!mayMakeHere(place, guard)) {
        refuseRecord(path, "root makes no file of this name outside its state directory");
    }
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (guard.strict && !place.inStateDirectory) {
            const UniqueFd there(::openat(place.dir.get(), name, O_RDONLY | kNeverWait));
            struct stat st {};
            if (there && ::fstat(there.get(), &st) == 0) {
                std::string why = S_ISREG(st.st_mode) ? "" : "it is " + entryKindWords(st.st_mode);
                if (why.empty()) why = notMadeHere(place, there.get(), guard);
                if (!why.empty()) refuseRecord(path, why, "it was left alone");
            } else if (!there && errno != ENOENT) {
                if (::fstatat(place.dir.get(), name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                    refuseRecord(path, "it is " + entryKindWords(st.st_mode), "it was left alone");
                }
                raiseErrno(errno, path);
            }
        }
        if (::unlinkat(place.dir.get(), name, 0) != 0 && errno != ENOENT) break;
        UniqueFd fd(
            ::openat(place.dir.get(), name, O_WRONLY | O_CREAT | O_EXCL | kNeverWait, kRecordMode));
        if (fd) putOwnMark(fd.get(), guard.token);
        if (fd || errno != EEXIST) return fd;
    }
    return {};
}

}  // namespace

TextHandle TextFiles::open(const std::string& path, TextMode mode, const RecordGuard& guard) {
    UniqueFd fd;
    switch (mode) {
        case TextMode::Input:
            fd.reset(::open(path.c_str(), O_RDONLY | kNeverWait));
            break;
        case TextMode::Output:
            fd = createAnew(path, guard);
            break;
        case TextMode::Append:
            fd = openToAppend(path, guard);
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

void TextFiles::writeAnew(const std::string& path, std::string_view bytes,
                          const RecordGuard& guard) {
    const UniqueFd fd = createAnew(path, guard);
    if (!fd) raiseErrno(errno, path);
    writeWhole(fd.get(), bytes, {}, path);
    if (::fsync(fd.get()) != 0) raiseErrno(errno, path);
}

void TextFiles::appendLine(const std::string& path, std::string_view line,
                           const RecordGuard& guard) {
    const UniqueFd fd = openToAppend(path, guard);
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
