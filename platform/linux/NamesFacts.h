// What a file system keeps of deleted files beyond the reach of a fill, as the names stage needs
// it: the size of the ext journal (from the superblock, or from what jbd2 shows in procfs), the
// inode slots deleted files left (from the group descriptors), the xfs log (its geometry and
// head), btrfs's free metadata; and how the stage measures what its changes rewrote. The
// parsers take bytes and text, so that they can be tested on samples.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Platform.h"
#include "platform/linux/MountInfo.h"

// How the stage counts what its changes rewrote: each commit rewrites, for every itemsPerUnit
// files changed since the last, at least one unit of unitBytes (an inode table block, a log
// record's share, a metadata leaf). Where the file system shows its log's head (xfs), the
// head's progress is counted instead.
struct NamesMeter {
    std::uint64_t unitBytes = 256;
    std::uint64_t itemsPerUnit = 1;
    std::string logHeadPath;           // /sys/fs/xfs/<device>/log/log_head_lsn
    std::uint64_t logBasicBlocks = 0;  // the log's size in 512-byte blocks
};

// xfs's log head ("cycle:block", blocks of 512 bytes); nothing for other text.
struct LogHead {
    std::uint64_t cycle = 0;
    std::uint64_t block = 0;
};
std::optional<LogHead> parseLogHead(std::string_view text);
// The 512-byte blocks the head moved from `from` to `to` in a log of `size` such blocks.
std::uint64_t logHeadProgress(const LogHead& from, const LogHead& to, std::uint64_t size);

// The most the stage rewrites, per byte of the file system: whatever a file system tells of its
// journal, the stage ends (partial) once it has rewritten four times the drive's size.
inline constexpr std::uint64_t kNamesBudgetPerByte = 4;

struct NamesSurvey {
    NamesFacts facts;
    NamesMeter meter;
    std::size_t nameLength = 255;
    // Some of the stage's entries are directories, spread over the block groups: ext2/3/4 give a
    // file a slot in the first group of its directory's flex group, so only directories reach the
    // slots that deleted directories (and their files) left in the other groups.
    bool spreadDirectories = false;
};

// Surveys the file system mounted as mount through an open directory of it.
NamesSurvey surveyNames(int dirFd, const MountEntry& mount);
