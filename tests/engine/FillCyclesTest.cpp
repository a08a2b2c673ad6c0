// The fill cycle on the fake platform: stage counts, passes and their texts, the request flags,
// a full disk, and the faults a fill must survive (no free space, short blocks, no fill file).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "tests/support/WindowFixture.h"

namespace {

using Counts = std::array<std::size_t, 5>;

class FillCycles : public WindowFixture {
protected:
    // Probe 0 is the one at the start of the drive; every pass probes before each of its five
    // stages and once more when the last one ends, so pass j (1-based) starts with probe 6j - 5.
    static std::size_t passProbe(std::size_t pass) { return 6 * pass - 5; }

    // The smallest free space the drive had at any yield.
    void watchFreeSpace(const std::string& root) {
        d.everyYield(
            [this, root](frmQuellix&) { minFree = std::min(minFree, p.volume(root).freeBytes); });
    }
    std::uint64_t minFree = UINT64_MAX;
};

TEST_F(FillCycles, WorkedExampleGivesTheStageCountsInEveryPassAndLeaves16Bytes) {
    addDrive("C:\\", 10000000);
    fillBlocks();
    watchFreeSpace("C:\\");
    w.FillCycles("C:\\");

    for (std::size_t pass = 1; pass <= 3; ++pass) {
        EXPECT_EQ(stageWrites(passProbe(pass)), (Counts{9, 0, 13, 116, 39})) << "pass " << pass;
    }
    EXPECT_EQ(minFree, 16u);
    EXPECT_EQ(writesTo("C:\\random00.qlk", 960000), 18);
    EXPECT_EQ(writesTo("C:\\random01.qlk", 96000), 26);
    EXPECT_EQ(writesTo("C:\\quote00.qlk", 960000), 9);
    EXPECT_EQ(writesTo("C:\\quote01.qlk", 16), 39);
    // Every pass gives its space back: nothing is left on the drive and no file is open.
    EXPECT_EQ(p.volume("C:\\").freeBytes, 10000000u);
    EXPECT_TRUE(p.volume("C:\\").files.empty());
    EXPECT_EQ(w.FillFileHandle00, 0);
    EXPECT_EQ(w.FillFileHandle01, 0);
    EXPECT_EQ(p.closedFills.size(), p.fills.size());
    EXPECT_EQ(p.errLog(), "");
}

TEST_F(FillCycles, StageACountsFromThousandsOfBytesWhenTheSpaceIsLarge) {
    // 5,000,000,000 bytes: FreeSpaceK 5,000,000 gives nearest(5208.33 - 1) bulk writes. The
    // fake keeps only lengths, not the bytes written.
    addDrive("C:\\", 5000000000);
    fillBlocks();
    w.lblRandomPasses.Caption = " 1";
    w.Random.Randomize(20240601);
    w.FillCycles("C:\\");

    const Counts pass1 = stageWrites(passProbe(1));
    EXPECT_EQ(pass1[0], 5207u);
    EXPECT_EQ(pass1[1], 0u);

    // Block choice over the stage: block 2 about twice as often as block 1 and as block 3. The
    // seed is fixed, so the counts are always the same; the bounds are far from them anyway.
    std::array<int, 4> chosen{};
    for (std::size_t i = 0; i < 5207; ++i) {
        for (std::size_t k = 1; k <= 3; ++k) {
            if (p.writes[i].data == w.RandomBlock960000[k].data()) ++chosen[k];
        }
    }
    EXPECT_EQ(chosen[1] + chosen[2] + chosen[3], 5207);
    EXPECT_GT(chosen[2], 1.6 * chosen[1]);
    EXPECT_LT(chosen[2], 2.5 * chosen[1]);
    EXPECT_GT(chosen[2], 1.6 * chosen[3]);
    EXPECT_LT(chosen[2], 2.5 * chosen[3]);
}

TEST_F(FillCycles, StageAWritesNothingUpToThreeBulkBlocks) {
    addDrive("C:\\", 2880000);
    fillBlocks();
    w.lblRandomPasses.Caption = " 1";
    w.FillCycles("C:\\");
    // Stage B then writes the bulk blocks from its own probe: nearest(3 - 1).
    EXPECT_EQ(stageWrites(passProbe(1))[0], 0u);
    EXPECT_EQ(stageWrites(passProbe(1))[1], 2u);
}

TEST_F(FillCycles, StageAWritesTwoBlocksJustAboveThreeBulkBlocks) {
    addDrive("C:\\", 2880001);
    fillBlocks();
    w.lblRandomPasses.Caption = " 1";
    w.FillCycles("C:\\");
    EXPECT_EQ(stageWrites(passProbe(1))[0], 2u);
    EXPECT_EQ(stageWrites(passProbe(1))[1], 0u);
}

TEST_F(FillCycles, ThreeRandomPassesShowTheirTextsAndTheDriveInOrder) {
    addDrive("C:\\", 10000000);
    fillBlocks();
    w.lblRandomPasses.Caption = " 3";
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
    w.FillCycles("C:\\");

    const std::string restoring = "Restoring disk free-space.";
    const std::vector<std::string> expected{
        "Ready to clean free-space in the drives checked above.",
        "Filling free-space with random characters ( pass  1 of  3 )",
        restoring,
        "Filling free-space with random characters ( pass  2 of  3 )",
        restoring,
        "Filling free-space with random characters ( pass  3 of  3 )",
        restoring,
        "Filling free-space with selected quotes.",
        restoring,
    };
    EXPECT_EQ(d.statusLines, expected);
    // 10,000 thousand bytes are nearest(9.53) megabytes of 1,049,000 bytes.
    EXPECT_EQ(drives.back(), "C:");
    EXPECT_EQ(sizes.back(), "10");
    // The current-pass bar ends every pass full.
    EXPECT_EQ(barWhileRestoring, (std::vector<int>{100, 100, 100, 100}));
}

TEST_F(FillCycles, FillSizeShowsDrivesBeyond32767Megabytes) {
    addDrive("C:\\", 40000000000);
    fillBlocks();
    w.StopRequested = true;  // only the display is wanted here
    std::string size;
    d.everyYield([&](frmQuellix& win) {
        if (!win.lblFillSize.Caption.empty()) size = win.lblFillSize.Caption;
    });
    w.FillCycles("C:\\");
    EXPECT_EQ(size, "38132");
    EXPECT_EQ(p.errLog(), "");
}

TEST_F(FillCycles, DiskFullInStageAEndsThatPassOnlyAndIsNotLogged) {
    FakePlatform::Volume& c = addDrive("C:\\", 10000000);
    fillBlocks();
    w.lblRandomPasses.Caption = " 1";
    c.diskFullAfter = 3 * 960000 + 100;  // the fourth bulk write finds the disk full
    d.everyYield([&](frmQuellix& win) {
        if (win.lblCurrentStatus.Caption == "Restoring disk free-space.") c.diskFullAfter.reset();
    });
    w.FillCycles("C:\\");

    EXPECT_EQ(stageWrites(passProbe(1)), (Counts{3, 0, 0, 0, 0}));
    // Both files of the pass were made and closed.
    EXPECT_TRUE(created("C:\\random01.qlk"));
    EXPECT_EQ(p.closedFills.size(), p.fills.size());
    // The next pass fills normally.
    EXPECT_EQ(stageWrites(passProbe(2)), (Counts{9, 0, 13, 116, 39}));
    EXPECT_FALSE(w.DiskFull);
    EXPECT_EQ(p.errLog(), "");
}

TEST_F(FillCycles, StopAlreadyRequestedWritesNothing) {
    addDrive("C:\\", 10000000);
    fillBlocks();
    w.StopRequested = true;
    w.FillCycles("C:\\");

    EXPECT_TRUE(p.writes.empty());
    // The bulk file was made, then closed by RunEnd; the tail file never existed.
    EXPECT_TRUE(created("C:\\random00.qlk"));
    EXPECT_FALSE(created("C:\\random01.qlk"));
    EXPECT_EQ(p.closedFills.size(), p.fills.size());
    EXPECT_EQ(w.FillFileHandle00, 0);
    EXPECT_TRUE(std::find(d.statusLines.begin(), d.statusLines.end(),
                          "Filling free-space with random characters ( pass  1 of  2 )") !=
                d.statusLines.end());
    EXPECT_EQ(p.volume("C:\\").freeBytes, 10000000u);
}

TEST_F(FillCycles, StopAtAYieldInStageAEndsTheCycleQuietly) {
    addDrive("C:\\", 10000000);
    fillBlocks();
    d.everyYield([&](frmQuellix& win) {
        if (p.writes.size() == 3 && !win.StopHandled) win.cmdStop_Click();
    });
    w.FillCycles("C:\\");

    EXPECT_EQ(p.writes.size(), 3u);
    EXPECT_FALSE(created("C:\\random01.qlk"));
    EXPECT_EQ(p.closedFills.size(), p.fills.size());
    EXPECT_TRUE(p.volume("C:\\").files.empty());
    // The window was reset by RunEnd and keeps its ready text.
    EXPECT_FALSE(w.StopRequested);
    EXPECT_EQ(w.lblCurrentStatus.Caption, "Ready to clean free-space in the drives checked above.");
}

TEST_F(FillCycles, DriveWithNoFreeSpaceLogsTheDivisionAndDoesNothingElse) {
    addDrive("C:\\", 0);
    fillBlocks();
    w.FillCycles("C:\\");
    const auto lines = p.errLogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("#11 (Division by zero) occurred in fQL Fill Cycles"),
              std::string::npos);
    EXPECT_TRUE(p.fills.empty());
    EXPECT_TRUE(p.writes.empty());
}

TEST_F(FillCycles, ShortBlocksAreNeverWritten) {
    // The quotes set was never built (a stopped preparation): the random passes fill, the
    // quotes pass writes nothing and reads nothing beyond the empty blocks.
    addDrive("C:\\", 10000000);
    fillBlocks();
    for (std::size_t k = 1; k <= 3; ++k) {
        w.QuoteBlock960000[k].clear();
        w.QuoteBlock96000[k].clear();
        w.QuoteBlock960[k].clear();
        w.QuoteBlock16[k].resize(15);
    }
    w.FillCycles("C:\\");
    EXPECT_EQ(stageWrites(passProbe(2)), (Counts{9, 0, 13, 116, 39}));
    EXPECT_EQ(writesTo("C:\\quote00.qlk", 960000) + writesTo("C:\\quote01.qlk", 96000) +
                  writesTo("C:\\quote01.qlk", 960) + writesTo("C:\\quote01.qlk", 16),
              0);
    EXPECT_EQ(p.volume("C:\\").freeBytes, 10000000u);
}

TEST_F(FillCycles, BulkFileThatCannotBeCreatedIsLoggedOncePerPass) {
    addDrive("C:\\", 10000000);
    fillBlocks();
    w.lblRandomPasses.Caption = " 1";
    p.failCreate.insert("C:\\random00.qlk");
    watchFreeSpace("C:\\");
    w.FillCycles("C:\\");

    const auto lines = p.errLogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("#70 (Permission denied) occurred in fQL Fill Cycles"),
              std::string::npos);
    // The tail file still takes the free space, in smaller blocks.
    EXPECT_EQ(stageWrites(passProbe(1))[0] + stageWrites(passProbe(1))[1], 0u);
    EXPECT_LE(minFree, 24u);
    // The quotes pass, whose files can be made, fills as usual.
    EXPECT_EQ(stageWrites(passProbe(2)), (Counts{9, 0, 13, 116, 39}));
}

}  // namespace
