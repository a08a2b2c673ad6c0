// The run as the window shows it: the drive and its fill size, and the bars as the passes end.
#include <gtest/gtest.h>

#include "tests/support/WindowFixture.h"

namespace {

using RunViewTest = WindowFixture;

TEST_F(RunViewTest, FillSizeShowsDrivesBeyond32767Megabytes) {
    w.View.driveStarted({"C:\\", 40000000, 100.0 / 40000000, 0});
    EXPECT_EQ(w.lblCurrentDrive.Caption, "C:");
    EXPECT_EQ(w.lblFillSize.Caption, "38132");
    EXPECT_EQ(p.errLog(), "");
}

TEST_F(RunViewTest, EveryPassEndsWithAFullBarAndTheDriveShown) {
    addDrive("C:\\", 10000000);
    w.optRandom_Click(2);
    std::vector<std::string> drives, sizes;
    std::vector<int> barWhileRestoring;
    std::string lastStatus;
    d.everyYield([&](frmQuellix& win) {
        drives.push_back(win.lblCurrentDrive.Caption);
        sizes.push_back(win.lblFillSize.Caption);
        // The bar as the pass ends, when the restoring text first appears.
        if (win.lblCurrentStatus.Caption == "Restoring disk free-space." &&
            lastStatus != win.lblCurrentStatus.Caption) {
            barWhileRestoring.push_back(win.progbarCurrent.Value);
        }
        lastStatus = win.lblCurrentStatus.Caption;
    });
    w.cmdWipe_Click();
    // 10,000 thousand bytes are nearest(9.53) megabytes of 1,049,000 bytes; the last yields are
    // the reset's, after the display was cleared.
    ASSERT_GE(drives.size(), 3u);
    EXPECT_NE(std::find(drives.begin(), drives.end(), "C:"), drives.end());
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), "10"), sizes.end());
    EXPECT_EQ(barWhileRestoring, (std::vector<int>{100, 100, 100, 100}));
}

}  // namespace
