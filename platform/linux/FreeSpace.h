// The free bytes of a mounted file system that this process can really fill.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/linux/MountInfo.h"

struct FreeSpaceFacts {
    std::uint64_t blockSize = 0;    // f_frsize
    std::uint64_t freeBlocks = 0;   // f_bfree
    std::uint64_t availBlocks = 0;  // f_bavail
    // The process may use the blocks an ext file system keeps for root (root, CAP_SYS_RESOURCE,
    // the reserve's own user or group). Other file systems have no such reserve.
    bool mayUseRootReserve = false;
    // What f_bfree counts but no data write can take (ext4's reserved clusters).
    std::uint64_t internalReserveBytes = 0;
    // What every allocating write must leave free (xfs keeps room for a full extent-tree split).
    std::uint64_t perWriteReserveBytes = 0;
    // Free space the file system keeps from data writes beyond the above: what btrfs counts in
    // f_bfree but only its metadata can use, xfs's reserve pool and allocation-group reserves.
    std::uint64_t hiddenReserveBytes = 0;
    bool extFileSystem = false;
};

// Free space that this process's fill cannot reach, by whom it is kept.
struct ReserveFacts {
    std::uint64_t rootBytes = 0;        // kept for root; this process may not use it
    std::uint64_t fileSystemBytes = 0;  // no data write of anyone can take it
};
ReserveFacts reservesOf(const FreeSpaceFacts& facts);

std::uint64_t fillableBytes(const FreeSpaceFacts& facts);

// The classic form: sectors per cluster x bytes per sector x free clusters, clusters clamped to
// the largest signed 32-bit number.
struct ClassicFreeSpace {
    std::int32_t sectorsPerCluster = 0;
    std::int32_t bytesPerSector = 0;
    std::int32_t freeClusters = 0;
};
ClassicFreeSpace classicFreeSpace(std::uint64_t fillable, std::uint64_t blockSize);

// Height of the largest extent tree of an xfs data fork: how many blocks an allocating write
// must find free beyond its data.
unsigned xfsDataForkMaxLevels(std::uint32_t blockSize, bool crc, bool largeExtentCounts);

// Measures the file system mounted as mount, through an open directory of it. Nothing when the
// file system cannot be asked.
std::optional<FreeSpaceFacts> measureFreeSpace(int dirFd, const MountEntry& mount);
