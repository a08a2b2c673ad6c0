// The names stage's directories: one per drive whose stage runs, in the drive's root, made new by
// this process (0700) and holding empty files with long random names. A name is made from the
// directory's random key and the file's number, so that a million files need no list of names.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Platform.h"
#include "platform/linux/NamesFacts.h"
#include "platform/linux/UniqueFd.h"

// Drives clear their names at the same time from threads of their own: the table is shared, a
// directory is used by one thread at a time.
class NamesFiles {
public:
    NamesFiles() = default;
    NamesFiles(const NamesFiles&) = delete;
    NamesFiles& operator=(const NamesFiles&) = delete;

    // Makes kNamesDirectory in the drive's root rootFd (hostPath names that root in errors): a
    // leftover of this process's own is removed first, anything else under the name is refused
    // (58). sharedOwner as for fill files: the owner every file has where the file system keeps
    // none of its own.
    NamesHandle open(int rootFd, const std::string& hostPath, const NamesSurvey& survey,
                     std::optional<std::uint32_t> sharedOwner);
    std::int64_t add(NamesHandle dir, std::int64_t count);
    void touch(NamesHandle dir, std::int64_t first, std::int64_t count);
    std::uint64_t sync(NamesHandle dir);
    // Removes the files and the directory; the handle is gone even when that fails.
    void close(NamesHandle dir);

    // Whether the drive's root holds something under the directory's name.
    static bool leftover(int rootFd);
    // Removes a directory a stage left, with its files, when it is this process's own (owned by
    // the effective user, or by sharedOwner); anything else raises 58 and is left alone. Nothing
    // there is no error.
    static void removeLeftover(int rootFd, const std::string& hostPath,
                               std::optional<std::uint32_t> sharedOwner);

private:
    struct Dir {
        UniqueFd root;
        UniqueFd fd;
        std::string hostPath;  // the directory's
        std::size_t nameLength = 255;
        std::uint64_t key[2] = {0, 0};
        std::int64_t files = 0;
        bool spreadDirectories = false;
        NamesMeter meter;
        std::optional<LogHead> headAtStart;
        std::uint64_t changed = 0;  // files made or touched since the last sync
        std::uint64_t counted = 0;  // the least rewritten by the syncs so far
        std::int64_t round = 0;     // times given in the current round
    };
    Dir& find(NamesHandle dir);
    std::string nameOf(const Dir& d, std::int64_t number) const;

    mutable std::mutex mutex_;
    std::map<NamesHandle, Dir> dirs_;
};
