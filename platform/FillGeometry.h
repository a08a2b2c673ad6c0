// The geometry of a fill: the four block sizes a pass writes in, and the fill files it writes
// them to. One home for the fill cycle, the fill data, the cleanup, the run's account and the
// platform.
#pragma once

#include <array>
#include <cstddef>

// Block sizes, largest first; each fills what the larger one leaves. The bulk block is a whole
// multiple of 512 (1875 x 512), so that it can be written unbuffered.
inline constexpr std::size_t kBulkBlock = 960000;
inline constexpr std::size_t kMediumBlock = 96000;
inline constexpr std::size_t kSmallBlock = 960;
inline constexpr std::size_t kTinyBlock = 16;

// A pass's bulk file (the bulk blocks) and tail file (the smaller ones), in a drive's root.
inline constexpr const char* kRandomBulkFile = "random00.qlk";
inline constexpr const char* kRandomTailFile = "random01.qlk";
inline constexpr const char* kQuotesBulkFile = "quote00.qlk";
inline constexpr const char* kQuotesTailFile = "quote01.qlk";

// Every fill file, in the order the cleanup looks for them.
inline constexpr std::array<const char*, 4> kFillFiles{kRandomBulkFile, kRandomTailFile,
                                                       kQuotesBulkFile, kQuotesTailFile};

// The directory the names stage works in, in a drive's root; the cleanups remove it with the
// fill files.
inline constexpr const char* kNamesDirectory = "names00.qlk";
