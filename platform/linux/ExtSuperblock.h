// The ext2/3/4 superblock and group descriptors as plain data, read from the device (through its
// page cache, which holds the file system's own copies: the counts are today's, not those of the
// last checkpoint), and what jbd2 shows of the journal in procfs. The parsers take bytes and
// text, so that they can be tested on samples.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What the ext2/3/4 superblock (the 1024 bytes at offset 1024) says.
struct ExtSuperblock {
    std::uint64_t blockSize = 0;
    std::uint64_t blocksCount = 0;
    std::uint32_t firstDataBlock = 0;
    std::uint32_t blocksPerGroup = 0;
    std::uint32_t inodesPerGroup = 0;
    std::uint32_t inodeSize = 128;
    std::uint32_t descriptorSize = 32;
    std::uint64_t clusterSize = 0;  // bigalloc's cluster; the block size without it
    bool hasJournal = false;
    bool fastCommit = false;
    bool metaBg = false;         // group descriptors spread over the disk
    bool recordsUnused = false;  // the descriptors count each group's never-used inode slots
    // The journal's size from the superblock's copy of the journal inode; 0 when not there (an
    // external journal).
    std::uint64_t journalBytes = 0;
};
std::optional<ExtSuperblock> parseExtSuperblock(std::string_view bytes);

// The superblock of the file system on /dev/<device>, and its group descriptor table (empty
// where the descriptors are spread over the disk); nothing when the device cannot be read.
struct ExtMetadata {
    ExtSuperblock superblock;
    std::string descriptors;
};
std::optional<ExtMetadata> readExtMetadata(const std::string& device, bool withDescriptors);

// Inode slots that deleted files left, from the group descriptor table: in each group, the free
// slots below the part never used. Nothing when the file system does not record that part.
std::optional<std::int64_t> extFreedInodeSlots(const ExtSuperblock& sb,
                                               std::string_view descriptors);

// The journal's size in blocks as jbd2's info file in procfs allows to bound it: a transaction
// may take a third (older kernels: a quarter) of the journal. Nothing when the text says no size.
std::optional<std::uint64_t> jbd2JournalBlocksAtMost(std::string_view info);

// The journal mke2fs makes for a file system of that many blocks, in blocks.
std::uint64_t defaultExtJournalBlocks(std::uint64_t fileSystemBlocks);
