// The drive boxes' layout rule.
#include "startup/DriveLayout.h"

#include <algorithm>
#include <array>

#include "runtime/Numeric.h"

namespace {

// The drive boxes' designed font size (box 0 in ui/frmQuellix.cpp). It is set again for one and
// two columns so that a drive set that shrank from three columns gets its normal font back.
constexpr double kDesignFontSize = 7.5;

struct Layout {
    int columns;
    int rows;  // rows of the first column; every column starts at the same height
    std::array<int, 3> left;
    int width;
    double fontSize;
};

Layout layoutFor(std::int32_t n) {
    if (n <= 8) return {1, n, {4468, 0, 0}, 2000, kDesignFontSize};
    if (n <= 16) {
        return {2, static_cast<int>(nearest(n / 2.0)), {3500, 6000, 0}, 2000, kDesignFontSize};
    }
    return {3, static_cast<int>(nearest(n / 3.0)), {2650, 4600, 6500}, 1800, 6};
}

}  // namespace

DriveBoxPlace DriveBoxPlaceFor(std::int32_t index, std::int32_t count) {
    const Layout layout = layoutFor(count);
    const int column = std::min(index / layout.rows, layout.columns - 1);
    const int row = index - column * layout.rows;
    return {layout.left[static_cast<std::size_t>(column)], 2150 - 147 * layout.rows + 295 * row,
            layout.width, layout.fontSize};
}
