// The journal, log and metadata of ext2/3/4, xfs and btrfs as the names stage needs them.
#include "platform/linux/NamesFacts.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/btrfs.h>
#include <linux/btrfs_tree.h>
#include <sys/ioctl.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/linux/ExtSuperblock.h"
#include "platform/linux/SysBlock.h"
#include "platform/linux/UniqueFd.h"
#include "platform/linux/XfsGeometry.h"

namespace {

// What a btrfs file of the stage takes in a leaf: its inode item and its reference to the
// directory (with the name), each with its item header; and its two directory entries.
constexpr std::uint64_t kBtrfsLeafHeader = 101;
constexpr std::uint64_t kBtrfsItemHeader = 25;
std::uint64_t btrfsInodeBytes(std::size_t nameLength) {
    return 160 + kBtrfsItemHeader + 10 + nameLength + kBtrfsItemHeader;
}
std::uint64_t btrfsEntryBytes(std::size_t nameLength) {
    return 2 * (30 + nameLength + kBtrfsItemHeader);
}
// Free metadata is rewritten three times over: btrfs's allocator does not hand out its free
// nodes in turn, and on a 384 MiB image whose metadata had held 30,000 deleted names, twice over
// left 192 of them in one of two runs, three times over none in five (docs/effectiveness.md).
constexpr std::uint64_t kBtrfsRewrites = 3;

// The least an xfs inode whose times changed adds to the log: its log format and its core, each
// behind an operation header (176-byte cores with metadata checksums, 96 before).
constexpr std::uint64_t kXfsItemBytes = 12 + 56 + 12 + 176;
constexpr std::uint64_t kXfsItemBytesV4 = 12 + 56 + 12 + 96;

// jbd2's info file of the file system on that device, where procfs shows it.
std::optional<std::string> jbd2Info(const std::string& device) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir("/proc/fs/jbd2"), ::closedir);
    if (!dir) return std::nullopt;
    const std::string prefix = device + "-";
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.rfind(prefix, 0) == 0) return readSmallFile("/proc/fs/jbd2/" + name + "/info");
    }
    return std::nullopt;
}

// jbd2 takes no journal larger than this many blocks (mke2fs makes none larger either).
constexpr std::uint64_t kJbd2MaxJournalBlocks = 10240000;
// xfs takes no log larger than 2 GiB.
constexpr std::uint64_t kXfsMaxLogBytes = std::uint64_t{2} << 30;

std::uint64_t fileSystemBytes(const struct statvfs& vfs) {
    return static_cast<std::uint64_t>(vfs.f_blocks) * vfs.f_frsize;
}

void surveyExt(NamesSurvey& s, const MountEntry& mount, const struct statvfs& vfs) {
    NamesFacts& f = s.facts;
    f.supported = true;
    s.spreadDirectories = true;
    const std::string device = sysBlockName(mount.major, mount.minor);
    const auto metadata = readExtMetadata(device, true);
    const ExtSuperblock* sb = metadata ? &metadata->superblock : nullptr;
    const std::uint64_t blockSize = sb ? sb->blockSize : vfs.f_bsize;
    // Unread, inodes count as the smallest there are: the most to a block, the fewest blocks.
    const std::uint64_t inodeSize = sb ? sb->inodeSize : 128;
    s.meter.unitBytes = blockSize;
    s.meter.itemsPerUnit = std::max<std::uint64_t>(blockSize / inodeSize, 1);
    f.bytesPerFile = inodeSize;

    const bool journal = sb ? sb->hasJournal : mount.fsType != "ext2";
    // A superblock is what its maker wrote: a user may build an image whose superblock claims a
    // journal larger than the file system, which the kernel mounts all the same.
    const bool believable = sb && sb->journalBytes <= fileSystemBytes(vfs) &&
                            sb->journalBytes <= kJbd2MaxJournalBlocks * blockSize;
    if (sb && sb->journalBytes > 0 && believable) {
        f.rewriteBytes = sb->journalBytes;
    } else if (journal) {
        const auto info = device.empty() ? std::nullopt : jbd2Info(device);
        const auto blocks = info ? jbd2JournalBlocksAtMost(*info) : std::nullopt;
        if (blocks) {
            f.rewriteBytes = *blocks * blockSize;
        } else {
            f.rewriteBytes =
                defaultExtJournalBlocks(vfs.f_blocks * vfs.f_frsize / blockSize) * blockSize;
            f.caveat = "the journal's size could not be read, and was taken as mke2fs makes it";
        }
        if (sb && !believable) {
            f.caveat =
                "the superblock claims a journal larger than the file system can hold, "
                "which was not believed";
        }
    }
    if (sb && sb->fastCommit) f.caveat = "the journal's fast-commit area is not rewritten";

    if (metadata && !metadata->descriptors.empty()) {
        if (const auto slots = extFreedInodeSlots(*sb, metadata->descriptors)) {
            f.freedInodeSlots = *slots;
        } else {
            f.freedInodeSlots = -1;
            f.slotsUnknown =
                "this file system does not record which inode slots were used, so "
                "those of deleted files could not be counted";
        }
    } else {
        f.freedInodeSlots = -1;
        f.slotsUnknown =
            "the inode slots of deleted files could not be counted without the right "
            "to read " +
            (device.empty() ? std::string("the device") : "/dev/" + device);
    }
    f.maxFiles = static_cast<std::int64_t>(vfs.f_favail / 2);
}

void surveyXfs(NamesSurvey& s, int dirFd, const MountEntry& mount, const struct statvfs& vfs) {
    NamesFacts& f = s.facts;
    f.supported = true;
    f.maxFiles = static_cast<std::int64_t>(vfs.f_favail / 2);
    XfsGeometryV1 g{};
    if (::ioctl(dirFd, kXfsGeometryV1, &g) != 0 || g.blocksize == 0) {
        f.caveat = "the log's size could not be read";
        return;
    }
    f.rewriteBytes =
        std::min({std::uint64_t{g.logblocks} * g.blocksize, fileSystemBytes(vfs), kXfsMaxLogBytes});
    s.meter.unitBytes = (g.flags & kXfsV5Superblock) != 0 ? kXfsItemBytes : kXfsItemBytesV4;
    s.meter.itemsPerUnit = 1;
    f.bytesPerFile = s.meter.unitBytes;
    // Where sysfs shows the log's head, its progress is what the stage counts.
    const std::string device = sysBlockName(mount.major, mount.minor);
    const std::string head = "/sys/fs/xfs/" + device + "/log/log_head_lsn";
    if (!device.empty() && parseLogHead(readSmallFile(head).value_or(""))) {
        s.meter.logHeadPath = head;
        s.meter.logBasicBlocks = f.rewriteBytes / 512;
    }
}

void surveyBtrfs(NamesSurvey& s, int dirFd, const struct statvfs& vfs) {
    NamesFacts& f = s.facts;
    f.supported = true;
    btrfs_ioctl_fs_info_args info{};
    btrfs_ioctl_space_args count{};
    if (::ioctl(dirFd, BTRFS_IOC_FS_INFO, &info) != 0 || info.nodesize == 0 ||
        ::ioctl(dirFd, BTRFS_IOC_SPACE_INFO, &count) != 0) {
        f.caveat = "the free metadata could not be measured";
        return;
    }
    const std::size_t slots = count.total_spaces;
    std::vector<std::uint64_t> buffer(
        (sizeof(btrfs_ioctl_space_args) + slots * sizeof(btrfs_ioctl_space_info)) /
            sizeof(std::uint64_t) +
        1);
    auto* spaces = reinterpret_cast<btrfs_ioctl_space_args*>(buffer.data());
    spaces->space_slots = slots;
    if (::ioctl(dirFd, BTRFS_IOC_SPACE_INFO, spaces) != 0) {
        f.caveat = "the free metadata could not be measured";
        return;
    }
    std::uint64_t freeMetadata = 0;
    for (std::uint64_t i = 0; i < spaces->total_spaces && i < slots; ++i) {
        const btrfs_ioctl_space_info& space = spaces->spaces[i];
        if ((space.flags & BTRFS_BLOCK_GROUP_METADATA) == 0) continue;
        if ((space.flags & BTRFS_BLOCK_GROUP_DATA) != 0) {
            f.caveat = "metadata shares its space with data here, and only the passes reach it";
            continue;
        }
        if (space.total_bytes > space.used_bytes)
            freeMetadata += space.total_bytes - space.used_bytes;
    }
    const std::uint64_t node = info.nodesize;
    const std::uint64_t perLeaf =
        std::max<std::uint64_t>((node - kBtrfsLeafHeader) / btrfsInodeBytes(s.nameLength), 1);
    f.rewriteBytes = kBtrfsRewrites * std::min(freeMetadata, fileSystemBytes(vfs));
    s.meter.unitBytes = node;
    s.meter.itemsPerUnit = perLeaf;
    f.bytesPerFile = node / perLeaf;
    // The stage's files take no more than a quarter of the free metadata.
    f.maxFiles = static_cast<std::int64_t>(
        freeMetadata / 4 / (btrfsInodeBytes(s.nameLength) + btrfsEntryBytes(s.nameLength)));
}

}  // namespace

std::optional<LogHead> parseLogHead(std::string_view text) {
    LogHead head;
    std::size_t i = 0;
    auto number = [&](std::uint64_t& value) {
        const std::size_t start = i;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
            value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
        return i > start;
    };
    if (!number(head.cycle) || i >= text.size() || text[i++] != ':' || !number(head.block)) {
        return std::nullopt;
    }
    return head;
}

std::uint64_t logHeadProgress(const LogHead& from, const LogHead& to, std::uint64_t size) {
    const std::uint64_t start = from.cycle * size + from.block;
    const std::uint64_t end = to.cycle * size + to.block;
    return end > start ? end - start : 0;
}

NamesSurvey surveyNames(int dirFd, const MountEntry& mount) {
    NamesSurvey s;
    struct statfs fs {};
    struct statvfs vfs {};
    if (::fstatfs(dirFd, &fs) != 0 || ::fstatvfs(dirFd, &vfs) != 0) {
        s.facts.reason = "the file system could not be asked what it is";
        return s;
    }
    // As long as the file system takes them: the new entries cover what old names left.
    s.nameLength = std::clamp<std::size_t>(static_cast<std::size_t>(fs.f_namelen), 1, 255);
    if (fs.f_type == kExtMagic) {
        surveyExt(s, mount, vfs);
    } else if (fs.f_type == kXfsMagic) {
        surveyXfs(s, dirFd, mount, vfs);
    } else if (static_cast<std::uint32_t>(fs.f_type) == kBtrfsMagic) {
        surveyBtrfs(s, dirFd, vfs);
    } else {
        s.facts.reason = "the stage knows no journal or metadata of " + mount.fsType;
    }
    s.facts.budgetBytes = kNamesBudgetPerByte * fileSystemBytes(vfs);
    return s;
}
