// The fill data of a run: the random set and the quotes set, each in four block sizes with three
// blocks of a size to choose from. Built by PrepBlocks before the first drive, then only read.
#pragma once

#include <array>

#include "platform/Block.h"

// The three elements of a fill-block array, indexed 1 to 3 (element 0 is unused).
using BlockArray = std::array<Block, 4>;

struct FillSets {
    BlockArray RandomBlock960000, RandomBlock96000, RandomBlock960, RandomBlock16;
    BlockArray QuoteBlock960000, QuoteBlock96000, QuoteBlock960, QuoteBlock16;
};
