// xfs's geometry query in its first version, which every kernel answers; declared here since
// the xfs headers are not part of every system.
#pragma once

#include <sys/ioctl.h>

#include <cstdint>

struct XfsGeometryV1 {
    std::uint32_t blocksize, rtextsize, agblocks, agcount, logblocks, sectsize, inodesize, imaxpct;
    std::uint64_t datablocks, rtblocks, rtextents, logstart;
    unsigned char uuid[16];
    std::uint32_t sunit, swidth;
    std::int32_t version;
    std::uint32_t flags, logsectsize, rtsectsize, dirblocksize;
};
static_assert(sizeof(XfsGeometryV1) == 112);
constexpr unsigned long kXfsGeometryV1 = _IOR('X', 100, XfsGeometryV1);
// Geometry flags: a v5 superblock (metadata checksums, 176-byte logged inode cores), large extent
// counts.
constexpr std::uint32_t kXfsV5Superblock = 1u << 15;
constexpr std::uint32_t kXfsLargeExtentCounts = 1u << 23;

// File-system magic numbers as statfs reports them.
constexpr long kExtMagic = 0xEF53;
constexpr long kXfsMagic = 0x58465342;
constexpr std::uint32_t kBtrfsMagic = 0x9123683E;
