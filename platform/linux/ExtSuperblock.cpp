// Reading the ext2/3/4 superblock and group descriptors, and jbd2's journal facts.
#include "platform/linux/ExtSuperblock.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/UniqueFd.h"

namespace {

std::uint32_t le16(std::string_view b, std::size_t at) {
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}

std::uint32_t le32(std::string_view b, std::size_t at) {
    return le16(b, at) | le16(b, at + 2) << 16;
}

// Feature bits of the ext superblock.
constexpr std::uint32_t kCompatHasJournal = 0x4;
constexpr std::uint32_t kCompatFastCommit = 0x400;
constexpr std::uint32_t kIncompatMetaBg = 0x10;
constexpr std::uint32_t kIncompat64Bit = 0x80;
constexpr std::uint32_t kRoCompatGdtCsum = 0x10;
constexpr std::uint32_t kRoCompatBigalloc = 0x200;
constexpr std::uint32_t kRoCompatMetadataCsum = 0x400;
// The superblock keeps a copy of the journal inode's block map and size.
constexpr unsigned kJournalBackupBlocks = 1;
// A group whose inode table was never used at all.
constexpr std::uint32_t kGroupInodesUninit = 0x1;

std::optional<std::string> readAt(int fd, std::uint64_t offset, std::size_t length) {
    std::string bytes(length, '\0');
    std::size_t got = 0;
    while (got < length) {
        const ssize_t n =
            ::pread(fd, bytes.data() + got, length - got, static_cast<off_t>(offset + got));
        if (n <= 0) return std::nullopt;
        got += static_cast<std::size_t>(n);
    }
    return bytes;
}

}  // namespace

std::optional<ExtSuperblock> parseExtSuperblock(std::string_view b) {
    if (b.size() < 1024 || le16(b, 0x38) != 0xEF53) return std::nullopt;
    ExtSuperblock sb;
    const std::uint32_t logBlock = le32(b, 0x18);
    const std::uint32_t logCluster = le32(b, 0x1C);
    if (logBlock > 16 || logCluster > 30) return std::nullopt;
    const std::uint32_t compat = le32(b, 0x5C);
    const std::uint32_t incompat = le32(b, 0x60);
    const std::uint32_t roCompat = le32(b, 0x64);
    sb.blockSize = std::uint64_t{1024} << logBlock;
    sb.clusterSize =
        (roCompat & kRoCompatBigalloc) != 0 ? std::uint64_t{1024} << logCluster : sb.blockSize;
    sb.blocksCount = le32(b, 0x04);
    if ((incompat & kIncompat64Bit) != 0) sb.blocksCount |= std::uint64_t{le32(b, 0x150)} << 32;
    sb.firstDataBlock = le32(b, 0x14);
    sb.blocksPerGroup = le32(b, 0x20);
    sb.inodesPerGroup = le32(b, 0x28);
    // Revision 0 has 128-byte inodes and no size field.
    if (le32(b, 0x4C) >= 1 && le16(b, 0x58) >= 128) sb.inodeSize = le16(b, 0x58);
    sb.descriptorSize =
        (incompat & kIncompat64Bit) != 0 && le16(b, 0xFE) >= 64 ? le16(b, 0xFE) : 32;
    sb.hasJournal = (compat & kCompatHasJournal) != 0;
    sb.fastCommit = (compat & kCompatFastCommit) != 0;
    sb.metaBg = (incompat & kIncompatMetaBg) != 0;
    sb.recordsUnused = (roCompat & (kRoCompatGdtCsum | kRoCompatMetadataCsum)) != 0;
    if (sb.hasJournal && le32(b, 0xE0) != 0 &&
        static_cast<unsigned char>(b[0xFD]) == kJournalBackupBlocks) {
        // s_jnl_blocks: the inode's 15 block words, then its size's high and low half.
        sb.journalBytes = std::uint64_t{le32(b, 0x10C + 15 * 4)} << 32 | le32(b, 0x10C + 16 * 4);
    }
    return sb;
}

std::optional<std::int64_t> extFreedInodeSlots(const ExtSuperblock& sb,
                                               std::string_view descriptors) {
    if (!sb.recordsUnused || sb.descriptorSize < 32) return std::nullopt;
    std::int64_t slots = 0;
    for (std::size_t at = 0; at + sb.descriptorSize <= descriptors.size();
         at += sb.descriptorSize) {
        if ((le16(descriptors, at + 0x12) & kGroupInodesUninit) != 0) continue;
        std::uint32_t free = le16(descriptors, at + 0x0E);
        std::uint32_t unused = le16(descriptors, at + 0x1C);
        if (sb.descriptorSize >= 64) {
            free |= le16(descriptors, at + 0x2E) << 16;
            unused |= le16(descriptors, at + 0x32) << 16;
        }
        if (free > unused) slots += free - unused;
    }
    return slots;
}

std::optional<std::uint64_t> jbd2JournalBlocksAtMost(std::string_view info) {
    const std::string_view key = "each up to ";
    const auto at = info.find(key);
    if (at == std::string_view::npos) return std::nullopt;
    std::uint64_t perTransaction = 0;
    std::size_t i = at + key.size();
    if (i >= info.size() || info[i] < '0' || info[i] > '9') return std::nullopt;
    for (; i < info.size() && info[i] >= '0' && info[i] <= '9'; ++i)
        perTransaction = perTransaction * 10 + static_cast<std::uint64_t>(info[i] - '0');
    if (perTransaction == 0) return std::nullopt;
    return 4 * (perTransaction + 1);
}

std::uint64_t defaultExtJournalBlocks(std::uint64_t blocks) {
    if (blocks < 2048) return 0;
    if (blocks < 32768) return 1024;
    if (blocks < 256 * 1024) return 4096;
    if (blocks < 512 * 1024) return 8192;
    if (blocks < 4096 * 1024) return 16384;
    if (blocks < 8192 * 1024) return 32768;
    if (blocks < 16384 * 1024) return 65536;
    if (blocks < 32768 * 1024) return 131072;
    return 262144;
}

std::optional<ExtMetadata> readExtMetadata(const std::string& device, bool withDescriptors) {
    if (device.empty()) return std::nullopt;
    // Read through the device's cache, which holds the file system's own live copies of these
    // blocks (the disk may still have older ones). What read-ahead adds stays in the reserved
    // descriptor blocks that follow: two pages of a 384 MiB ext4 device were cached by the read.
    const UniqueFd fd(::open(("/dev/" + device).c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return std::nullopt;
    const auto bytes = readAt(fd.get(), 1024, 1024);
    const auto sb = bytes ? parseExtSuperblock(*bytes) : std::nullopt;
    if (!sb) return std::nullopt;
    ExtMetadata m{*sb, {}};
    if (withDescriptors && !sb->metaBg && sb->blocksPerGroup > 0 &&
        sb->blocksCount > sb->firstDataBlock) {
        const std::uint64_t groups =
            (sb->blocksCount - sb->firstDataBlock + sb->blocksPerGroup - 1) / sb->blocksPerGroup;
        m.descriptors = readAt(fd.get(), (sb->firstDataBlock + 1ULL) * sb->blockSize,
                               static_cast<std::size_t>(groups * sb->descriptorSize))
                            .value_or("");
    }
    return m;
}
