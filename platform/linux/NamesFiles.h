// The names stage's directories: one per drive whose stage runs, in the drive's root, made new by
// this process (0700) and holding empty files with long random names. A name is made from the
// directory's random key and the file's number, so that a million files need no list of names.
#pragma once

#include <cstdint>
#include <functional>
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
    // Tests: called with the top directory's descriptor right after the directory was made and
    // right before it is removed, where a user who may write the top directory could swap it.
    using RaceHook = std::function<void(int rootFd)>;
    explicit NamesFiles(RaceHook race = {}) : race_(std::move(race)) {}
    NamesFiles(const NamesFiles&) = delete;
    NamesFiles& operator=(const NamesFiles&) = delete;

    // Makes kNamesDirectory in the drive's root rootFd (hostPath names that root in errors), a new
    // one of this process's own, and marks it with token (platform/linux/OwnMark.h): a leftover
    // that carries the mark is removed first, anything else under the name is refused (58), and
    // so is a directory found under the name once made that is not the new one. sharedOwner as
    // for fill files: the owner every file has where the file system keeps none of its own.
    NamesHandle open(int rootFd, const std::string& hostPath, const NamesSurvey& survey,
                     std::optional<std::uint32_t> sharedOwner, const std::string& token);
    std::int64_t add(NamesHandle dir, std::int64_t count);
    void touch(NamesHandle dir, std::int64_t first, std::int64_t count);
    std::uint64_t sync(NamesHandle dir);
    // Removes the files the stage made, by their names, through the directory's descriptor, and
    // the directory when its name still leads to it (58 when something else was swapped in: that
    // is left alone); the handle is gone even when that fails.
    void close(NamesHandle dir);

    // Whether the drive's root holds a directory a stage left: one that carries the mark.
    static bool leftover(int rootFd, const std::string& token);
    // Removes a directory a stage left, when it belongs to the effective user (or sharedOwner) and
    // carries the mark with token: the entries with the stage's names, through its descriptor,
    // then the directory itself once its name still leads to it. Anything else raises 58 and is
    // left alone, and so is whatever in it has no stage name. Nothing there is no error.
    static void removeLeftover(int rootFd, const std::string& hostPath,
                               std::optional<std::uint32_t> sharedOwner, const std::string& token);

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

    RaceHook race_;
    mutable std::mutex mutex_;
    std::map<NamesHandle, Dir> dirs_;
};
