// The open fill files: the bulk file (unbuffered where the file system takes 960000-byte direct
// writes, gone when closed or when the process dies) and the tail file (buffered, stays).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/Platform.h"
#include "platform/linux/UniqueFd.h"

// Drives that fill at the same time create, write and close their files from threads of their
// own: the table of open files is shared, each file is used by one thread at a time.
class FillFiles {
public:
    FillFiles() = default;
    FillFiles(const FillFiles&) = delete;
    FillFiles& operator=(const FillFiles&) = delete;
    ~FillFiles();

    // Creates or truncates name in the directory dirFd (a drive's root); hostPath names the file
    // in errors.
    FillHandle create(int dirFd, const std::string& name, const std::string& hostPath,
                      FillKind kind);
    void write(FillHandle file, std::string_view data);
    // Makes the written data reach the device, then closes (and so releases the bulk file).
    void close(FillHandle file);
    FillMode mode(FillHandle file) const;

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
    static void tryDirect(File& f);
    static void toBuffered(File& f);

    // Guards the table, not the files: a File stays where it is until its own thread closes it.
    mutable std::mutex mutex_;
    std::map<FillHandle, File> files_;
};
