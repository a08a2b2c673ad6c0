// Free space as the bytes a fill can really write, not as statvfs reports it.
#include "platform/linux/FreeSpace.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "platform/linux/ExtSuperblock.h"
#include "platform/linux/SysBlock.h"
#include "platform/linux/UniqueFd.h"
#include "platform/linux/XfsGeometry.h"

namespace {

constexpr int kCapSysResource = 24;

// xfs's free-space counters: the free data blocks before the allocation-group reserves are set
// aside (statfs reports them after), and the reserve pool that statfs never counts.
struct XfsCounts {
    std::uint64_t freedata, freertx, freeino, allocino;
};
constexpr unsigned long kXfsFsCounts = _IOR('X', 113, XfsCounts);
struct XfsReserveBlocks {
    std::uint64_t resblks, resblksAvail;
};
constexpr unsigned long kXfsGetReserveBlocks = _IOR('X', 115, XfsReserveBlocks);

bool hasCapSysResource() {
    const auto status = readSmallFile("/proc/self/status");
    if (!status) return false;
    const auto pos = status->find("CapEff:");
    if (pos == std::string::npos) return false;
    const std::uint64_t caps = std::strtoull(status->c_str() + pos + 7, nullptr, 16);
    return (caps >> kCapSysResource) & 1u;
}

bool inGroup(gid_t gid) {
    if (::getegid() == gid) return true;
    const int n = ::getgroups(0, nullptr);
    if (n <= 0) return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(n));
    const int got = ::getgroups(n, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

// Mirrors ext4's test for who may allocate from the blocks reserved for root.
bool mayUseExtRootReserve(const MountEntry& mount) {
    std::string value;
    unsigned long resuid = 0, resgid = 0;
    if (hasOption(mount.superOptions, "resuid", &value))
        resuid = std::strtoul(value.c_str(), nullptr, 10);
    if (hasOption(mount.superOptions, "resgid", &value))
        resgid = std::strtoul(value.c_str(), nullptr, 10);
    if (::geteuid() == resuid) return true;
    if (resgid != 0 && inGroup(static_cast<gid_t>(resgid))) return true;
    return hasCapSysResource();
}

// With bigalloc ext4 reserves whole clusters; the cluster size is only in the superblock.
std::uint64_t extClusterSize(const std::string& device, std::uint64_t blockSize) {
    const auto metadata = readExtMetadata(device, false);
    return metadata ? metadata->superblock.clusterSize : blockSize;
}

std::uint64_t extInternalReserve(const MountEntry& mount, std::uint64_t blockSize) {
    const std::string device = sysBlockName(mount.major, mount.minor);
    if (device.empty()) return 0;
    const auto text = readSmallFile("/sys/fs/ext4/" + device + "/reserved_clusters");
    if (!text) return 0;
    const std::uint64_t clusters = std::strtoull(text->c_str(), nullptr, 10);
    return clusters == 0 ? 0 : clusters * extClusterSize(device, blockSize);
}

std::uint64_t xfsPerWriteReserve(int dirFd, std::uint64_t blockSize) {
    XfsGeometryV1 geometry{};
    if (::ioctl(dirFd, kXfsGeometryV1, &geometry) != 0 || geometry.blocksize == 0) {
        // Without the geometry assume the taller tree of large extent counts.
        return xfsDataForkMaxLevels(static_cast<std::uint32_t>(blockSize), true, true) * blockSize;
    }
    const bool crc = (geometry.flags & kXfsV5Superblock) != 0;
    const bool large = (geometry.flags & kXfsLargeExtentCounts) != 0;
    return std::uint64_t{xfsDataForkMaxLevels(geometry.blocksize, crc, large)} * geometry.blocksize;
}

// Free xfs blocks that statfs does not report: the allocation groups' set-aside and the reserve
// pool (readable with CAP_SYS_ADMIN only; without it that part is not counted).
std::uint64_t xfsHiddenReserve(int dirFd, std::uint64_t reportedFreeBlocks,
                               std::uint64_t blockSize) {
    std::uint64_t blocks = 0;
    XfsCounts counts{};
    if (::ioctl(dirFd, kXfsFsCounts, &counts) == 0 && counts.freedata > reportedFreeBlocks) {
        blocks += counts.freedata - reportedFreeBlocks;
    }
    XfsReserveBlocks reserve{};
    if (::ioctl(dirFd, kXfsGetReserveBlocks, &reserve) == 0) blocks += reserve.resblksAvail;
    return blocks * blockSize;
}

}  // namespace

ReserveFacts reservesOf(const FreeSpaceFacts& f) {
    ReserveFacts r;
    if (f.extFileSystem && !f.mayUseRootReserve && f.freeBlocks > f.availBlocks) {
        // Everything f_bavail leaves out of f_bfree; on ext4 that includes its own reserve.
        r.rootBytes = (f.freeBlocks - f.availBlocks) * f.blockSize;
    }
    r.fileSystemBytes = f.internalReserveBytes + f.perWriteReserveBytes + f.hiddenReserveBytes;
    return r;
}

std::uint64_t fillableBytes(const FreeSpaceFacts& f) {
    std::uint64_t bytes = 0;
    if (f.mayUseRootReserve) {
        const std::uint64_t raw = f.freeBlocks * f.blockSize;
        bytes = raw > f.internalReserveBytes ? raw - f.internalReserveBytes : 0;
    } else {
        bytes = f.availBlocks * f.blockSize;
    }
    return bytes > f.perWriteReserveBytes ? bytes - f.perWriteReserveBytes : 0;
}

ClassicFreeSpace classicFreeSpace(std::uint64_t fillable, std::uint64_t blockSize) {
    ClassicFreeSpace c;
    if (blockSize == 0) blockSize = 512;
    if (blockSize % 512 == 0 && blockSize / 512 <= 0x7FFFFFFF) {
        c.bytesPerSector = 512;
        c.sectorsPerCluster = static_cast<std::int32_t>(blockSize / 512);
    } else {
        c.bytesPerSector =
            static_cast<std::int32_t>(std::min<std::uint64_t>(blockSize, 0x7FFFFFFF));
        c.sectorsPerCluster = 1;
    }
    c.freeClusters = static_cast<std::int32_t>(
        std::min<std::uint64_t>(fillable / blockSize, std::numeric_limits<std::int32_t>::max()));
    return c;
}

unsigned xfsDataForkMaxLevels(std::uint32_t blockSize, bool crc, bool largeExtentCounts) {
    const std::uint64_t header = crc ? 72 : 24;
    if (blockSize <= header + 32) return 1;
    // Leaf records and node key/pointer pairs are both 16 bytes; a block is at least half full.
    const std::uint64_t minRecords = (blockSize - header) / 16 / 2;
    const std::uint64_t maxExtents =
        largeExtentCounts ? (std::uint64_t{1} << 48) - 1 : (std::uint64_t{1} << 31) - 1;
    constexpr std::uint64_t kRootRecords = 3;  // what the inode's fork root can hold at least
    std::uint64_t blocks = (maxExtents + minRecords - 1) / minRecords;
    unsigned level = 1;
    for (; blocks > 1; ++level) {
        blocks = blocks <= kRootRecords ? 1 : (blocks + minRecords - 1) / minRecords;
    }
    return level;
}

std::optional<FreeSpaceFacts> measureFreeSpace(int dirFd, const MountEntry& mount) {
    struct statfs fs {};
    if (::fstatfs(dirFd, &fs) != 0) return std::nullopt;
    // xfs and btrfs release the blocks of deleted files in the background, so a probe right
    // after a fill file is gone would miss them; a sync completes the release. ext4 releases
    // them at once and is spared the sync.
    if (fs.f_type != kExtMagic) ::syncfs(dirFd);
    struct statvfs vfs {};
    if (::fstatvfs(dirFd, &vfs) != 0) return std::nullopt;
    FreeSpaceFacts facts;
    facts.blockSize = vfs.f_frsize != 0 ? vfs.f_frsize : vfs.f_bsize;
    facts.freeBlocks = vfs.f_bfree;
    facts.availBlocks = vfs.f_bavail;
    if (fs.f_type == kExtMagic) {
        facts.extFileSystem = true;
        facts.mayUseRootReserve = mayUseExtRootReserve(mount);
        facts.internalReserveBytes = extInternalReserve(mount, facts.blockSize);
    } else if (fs.f_type == kXfsMagic) {
        facts.perWriteReserveBytes = xfsPerWriteReserve(dirFd, facts.blockSize);
        facts.hiddenReserveBytes = xfsHiddenReserve(dirFd, facts.freeBlocks, facts.blockSize);
    } else if (static_cast<std::uint32_t>(fs.f_type) == kBtrfsMagic) {
        // btrfs counts free space in its metadata chunks in f_bfree; only f_bavail is data's.
        // Measured on 256 MiB and 1 GiB images: a data fill ends with f_bavail at 0 while
        // f_bfree still shows 75 and 111 MiB.
        if (facts.freeBlocks > facts.availBlocks) {
            facts.hiddenReserveBytes = (facts.freeBlocks - facts.availBlocks) * facts.blockSize;
        }
    }
    return facts;
}
