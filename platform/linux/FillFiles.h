// The open fill files: the bulk file (unbuffered where the file system takes 960000-byte direct
// writes, gone when closed or when the process dies) and the tail file (buffered, stays).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "platform/linux/UniqueFd.h"

// Drives that fill at the same time create, write and close their files from threads of their
// own: the table of open files is shared, each file is used by one thread at a time.
class FillFiles {
public:
    // The moments of a create at which a racing user could act: the name has just been freed,
    // or the new file has just been opened. Tests act there; the program never passes one.
    enum class Moment { NameFreed, Opened };
    using RaceHook = std::function<void(Moment, int dirFd, const std::string& name)>;

    explicit FillFiles(RaceHook race = {}) : race_(std::move(race)) {}
    FillFiles(const FillFiles&) = delete;
    FillFiles& operator=(const FillFiles&) = delete;
    ~FillFiles();

    // Creates name in the directory dirFd (a drive's root) as a new file of this process's own,
    // never opening what is there: a regular file of that name is removed first (a hard link
    // loses only that name), anything else is refused and left alone. The bulk file has no name
    // at all where the file system allows it. hostPath names the file in errors. A file that is
    // not new and this process's own once opened (a regular file owned by the effective user,
    // or by sharedOwner on a file system that gives every file one owner, with no link but its
    // own) is given up. Refusals raise 58 "File already exists" with the reason in words.
    FillHandle create(int dirFd, const std::string& name, const std::string& hostPath,
                      FillKind kind, std::optional<std::uint32_t> sharedOwner = std::nullopt);
    void write(FillHandle file, std::string_view data);
    // Makes the written data reach the device, then closes (and so releases the bulk file).
    void close(FillHandle file);
    FillMode mode(FillHandle file) const;
    // Where the open file's data lies on its device, written out first; nothing when the file
    // system does not tell.
    std::optional<std::vector<FileExtent>> extents(FillHandle file);

private:
    struct File {
        UniqueFd fd;
        FillKind kind = FillKind::Tail;
        FillMode mode = FillMode::Buffered;
        std::uint32_t offsetAlign = 1;
        std::uint32_t memAlign = 1;
        std::uint64_t position = 0;
        std::string hostPath;
        // Set where unlinking an open file is not safe (FUSE): the name is removed at close.
        UniqueFd deleteDir;
        std::string deleteName;
    };
    File& find(FillHandle file);
    UniqueFd createNew(int dirFd, const std::string& name, const std::string& hostPath,
                       bool& unnamed) const;
    static void tryDirect(File& f);
    static void toBuffered(File& f);

    RaceHook race_;
    // Guards the table, not the files: a File stays where it is until its own thread closes it.
    mutable std::mutex mutex_;
    std::map<FillHandle, File> files_;
};
