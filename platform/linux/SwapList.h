// The active swap areas of /proc/swaps as plain data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct SwapArea {
    std::string path;  // unescaped
    std::string type;  // "file" or "partition"
    std::uint64_t sizeKiB = 0;
};

// Parses the text of /proc/swaps (a heading line, then one area per line).
std::vector<SwapArea> parseSwaps(std::string_view text);

// Length of the first swap *file* of areas that lies directly in the open directory dirFd.
std::optional<std::int64_t> swapFileInDirectory(const std::vector<SwapArea>& areas, int dirFd);
