// Where things lie on a drive's device, in bytes from its start: the pieces of a fill file, and
// who holds each stretch of the device as the drive's file system tells it. What a fill wrote is
// read back from there.
#pragma once

#include <cstdint>
#include <vector>

struct Extent {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;

    std::uint64_t end() const { return offset + length; }
    friend bool operator==(const Extent&, const Extent&) = default;
};

// A piece of a file: `length` bytes from file offset `logical` lie at device offset `physical`.
// Only a plain piece holds the file's bytes as they were written; the file system may also keep
// them packed beside its metadata, encrypted or compressed, or not say where they lie.
struct FileExtent {
    std::uint64_t logical = 0;
    std::uint64_t physical = 0;
    std::uint64_t length = 0;
    bool plain = true;

    friend bool operator==(const FileExtent&, const FileExtent&) = default;
};

// Who holds a stretch of a device: nobody (free), the file system itself (its metadata, journal,
// tables), a file, or something in use whose owner the file system does not tell (ext4, and xfs
// without its reverse map, say only that a data block is in use).
enum class SpaceOwner { Free, Metadata, File, Unknown };

struct SpaceExtent {
    Extent extent;
    SpaceOwner owner = SpaceOwner::Unknown;

    friend bool operator==(const SpaceExtent&, const SpaceExtent&) = default;
};

using SpaceMap = std::vector<SpaceExtent>;
