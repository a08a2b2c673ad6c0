// What a pass wrote to each of its fill files, by file offset: which block (of which set, at
// which size) went where, enough to tell the bytes again without keeping a copy of them; and,
// noted before a file is closed, where its data lies on the device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "platform/DiskMap.h"
#include "platform/Platform.h"

class PassLedger {
public:
    struct Write {
        std::uint64_t offset;  // in the file
        const char* block;     // the fill block written (it outlives the pass)
        std::size_t size;      // its first size bytes
    };
    struct File {
        std::vector<Write> writes;  // in file order, without gaps
        std::uint64_t length = 0;   // bytes written, all of them noted
        // Where the data lies on the device: nothing when the file system did not tell, or
        // the file was closed before it was asked.
        std::optional<std::vector<FileExtent>> extents;

        // Whether the size bytes at file offset `at` are what was written there; false also
        // where the ledger does not cover them all.
        bool holds(std::uint64_t at, const char* bytes, std::size_t size) const;
    };

    // A write that reached the file, appended at its end.
    void wrote(FillHandle file, const char* block, std::size_t size);
    void placed(FillHandle file, std::optional<std::vector<FileExtent>> extents);
    const std::map<FillHandle, File>& files() const { return files_; }
    void clear() { files_.clear(); }

private:
    std::map<FillHandle, File> files_;
};
