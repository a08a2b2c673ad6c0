// Where the drive boxes stand: one column up to 8 drives, two up to 16, three up to 24, every
// column starting at the same height.
#pragma once

#include <cstdint>

struct DriveBoxPlace {
    int left = 0;
    int top = 0;
    int width = 0;
    double fontSize = 0;
};

// The place of box index (0-based) among count boxes, in twips; count is 1 to 24.
DriveBoxPlace DriveBoxPlaceFor(std::int32_t index, std::int32_t count);
