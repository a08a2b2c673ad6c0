// One drive's fill on the fakes: stage counts, passes and their texts, stop requests, a full
// disk, and the faults a fill must survive (no free space, short blocks, no fill file, a drive
// that can no longer be read).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "tests/support/EngineFixture.h"

namespace {

using Counts = std::array<std::size_t, 5>;

const char* const kRestoring = "Restoring disk free-space.";

class DriveFillTest : public EngineFixture {
protected:
    // Probe 0 is the one at the start of the drive; every pass probes before each of its five
    // stages and once more when the last one ends, so pass j (1-based) starts with probe 6j - 5.
    static std::size_t passProbe(std::size_t pass) { return 6 * pass - 5; }

    // The smallest free space the drive had at any yield.
    void watchFreeSpace(const std::string& root) {
        observer.everyYield = [this, root] {
            minFree = std::min(minFree, p.volume(root).freeBytes);
        };
    }
    std::uint64_t minFree = UINT64_MAX;
};

TEST_F(DriveFillTest, WorkedExampleGivesTheStageCountsInEveryPassAndLeaves16Bytes) {
    addDrive("C:\\", 10000000);
    fillBlocks();
    watchFreeSpace("C:\\");
    FillCycles("C:\\");

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
    EXPECT_EQ(handle00, 0);
    EXPECT_EQ(handle01, 0);
    EXPECT_EQ(p.closedFills.size(), p.fills.size());
    EXPECT_EQ(p.errLog(), "");
}

TEST_F(DriveFillTest, StageACountsFromThousandsOfBytesWhenTheSpaceIsLarge) {
    // 5,000,000,000 bytes: FreeSpaceK 5,000,000 gives nearest(5208.33 - 1) bulk writes. The
    // fake keeps only lengths, not the bytes written.
    addDrive("C:\\", 5000000000);
    fillBlocks();
    plan.randomPasses = 1;
    random.Randomize(20240601);
    FillCycles("C:\\");

    const Counts pass1 = stageWrites(passProbe(1));
    EXPECT_EQ(pass1[0], 5207u);
    EXPECT_EQ(pass1[1], 0u);

    // Block choice over the stage: block 2 about twice as often as block 1 and as block 3. The
    // seed is fixed, so the counts are always the same; the bounds are far from them anyway.
    std::array<int, 4> chosen{};
    for (std::size_t i = 0; i < 5207; ++i) {
        for (std::size_t k = 1; k <= 3; ++k) {
            if (p.writes[i].data == sets.RandomBlock960000[k].data()) ++chosen[k];
        }
    }
    EXPECT_EQ(chosen[1] + chosen[2] + chosen[3], 5207);
    EXPECT_GT(chosen[2], 1.6 * chosen[1]);
    EXPECT_LT(chosen[2], 2.5 * chosen[1]);
    EXPECT_GT(chosen[2], 1.6 * chosen[3]);
    EXPECT_LT(chosen[2], 2.5 * chosen[3]);
}

// One random pass over a drive of the given free space, on fakes of its own.
struct OnePass : EngineFixture {
    void TestBody() override {}
    Counts stages(std::uint64_t free) {
        addDrive("C:\\", free);
        fillBlocks();
        plan.randomPasses = 1;
        FillCycles("C:\\");
        return stageWrites(1);
    }
};

// Up to three bulk blocks stage A writes nothing and stage B writes them from its own probe:
// nearest(3 - 1); just above, stage A writes two.
TEST(DriveFillStageA, BeginsAboveThreeBulkBlocks) {
    const struct {
        std::uint64_t free;
        std::size_t stageA, stageB;
    } cases[] = {{2880000, 0, 2}, {2880001, 2, 0}};
    for (const auto& c : cases) {
        const Counts stages = OnePass().stages(c.free);
        EXPECT_EQ(stages[0], c.stageA) << c.free;
        EXPECT_EQ(stages[1], c.stageB) << c.free;
    }
}

TEST_F(DriveFillTest, ThreeRandomPassesShowTheirTextsInOrder) {
    addDrive("C:\\", 10000000);
    fillBlocks();
    plan.randomPasses = 3;
    FillCycles("C:\\");

    const std::vector<std::string> expected{
        "Filling free-space with random characters ( pass  1 of  3 )",
        kRestoring,
        "Filling free-space with random characters ( pass  2 of  3 )",
        kRestoring,
        "Filling free-space with random characters ( pass  3 of  3 )",
        kRestoring,
        "Filling free-space with selected quotes.",
        kRestoring,
    };
    EXPECT_EQ(observer.statusLines, expected);
    ASSERT_EQ(observer.drivesStarted.size(), 1u);
    EXPECT_EQ(observer.drivesStarted[0].root, "C:\\");
    EXPECT_EQ(observer.drivesStarted[0].freeSpaceK, 10000);
    EXPECT_DOUBLE_EQ(observer.drivesStarted[0].driveProgressStep, 100.0 / 10000.0);
    EXPECT_EQ(observer.passesStarted.size(), 4u);
    EXPECT_EQ(observer.drivesDone, std::vector<std::string>{"C:\\"});
    // The account of the drive: four passes, each ending with 16 bytes free.
    const DriveAccount& drive = account.drives.at(account.index("C:\\"));
    ASSERT_EQ(drive.passes.size(), 4u);
    EXPECT_TRUE(drive.finished);
    for (const PassAccount& pass : drive.passes)
        EXPECT_EQ(pass.freeAtEnd, 16);
}

TEST_F(DriveFillTest, DiskFullInStageAEndsThatPassOnlyAndIsNotLogged) {
    FakePlatform::Volume& c = addDrive("C:\\", 10000000);
    fillBlocks();
    plan.randomPasses = 1;
    c.diskFullAfter = 3 * 960000 + 100;  // the fourth bulk write finds the disk full
    observer.everyYield = [&] {
        if (!observer.statusLines.empty() && observer.statusLines.back() == kRestoring) {
            c.diskFullAfter.reset();
        }
    };
    FillCycles("C:\\");

    EXPECT_EQ(stageWrites(passProbe(1)), (Counts{3, 0, 0, 0, 0}));
    // Both files of the pass were made and closed.
    EXPECT_TRUE(created("C:\\random01.qlk"));
    EXPECT_EQ(p.closedFills.size(), p.fills.size());
    // The next pass fills normally.
    EXPECT_EQ(stageWrites(passProbe(2)), (Counts{9, 0, 13, 116, 39}));
    EXPECT_FALSE(diskFull);
    EXPECT_EQ(p.errLog(), "");
}

TEST_F(DriveFillTest, StopAlreadyRequestedWritesNothing) {
    addDrive("C:\\", 10000000);
    fillBlocks();
    run().requestStop();
    FillCycles("C:\\");

    EXPECT_TRUE(p.writes.empty());
    // The bulk file was made and closed again; the tail file never existed.
    EXPECT_TRUE(created("C:\\random00.qlk"));
    EXPECT_FALSE(created("C:\\random01.qlk"));
    EXPECT_EQ(p.closedFills.size(), p.fills.size());
    EXPECT_EQ(handle00, 0);
    EXPECT_TRUE(std::find(observer.statusLines.begin(), observer.statusLines.end(),
                          "Filling free-space with random characters ( pass  1 of  2 )") !=
                observer.statusLines.end());
    EXPECT_EQ(p.volume("C:\\").freeBytes, 10000000u);
}

TEST_F(DriveFillTest, StopAtAYieldInStageAEndsTheCycleQuietly) {
    addDrive("C:\\", 10000000);
    fillBlocks();
    observer.everyYield = [&] {
        if (p.writes.size() == 3) run().requestStop();
    };
    FillCycles("C:\\");

    EXPECT_EQ(p.writes.size(), 3u);
    EXPECT_FALSE(created("C:\\random01.qlk"));
    EXPECT_EQ(p.closedFills.size(), p.fills.size());
    EXPECT_TRUE(p.volume("C:\\").files.empty());
    // The last cleanup is silent: the window, reset after a stop, keeps its ready text.
    EXPECT_NE(observer.statusLines.back(), kRestoring);
    EXPECT_FALSE(account.drives.at(0).finished);
}

TEST_F(DriveFillTest, DriveWithNoFreeSpaceLogsTheDivisionAndDoesNothingElse) {
    addDrive("C:\\", 0);
    fillBlocks();
    FillCycles("C:\\");
    const auto lines = p.errLogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("#11 (Division by zero) occurred in fQL Fill Cycles"),
              std::string::npos);
    EXPECT_TRUE(p.fills.empty());
    EXPECT_TRUE(p.writes.empty());
}

TEST_F(DriveFillTest, ShortBlocksAreNeverWritten) {
    // The quotes set was never built (a stopped preparation): the random passes fill, the
    // quotes pass writes nothing and reads nothing beyond the empty blocks.
    addDrive("C:\\", 10000000);
    fillBlocks();
    for (std::size_t k = 1; k <= 3; ++k) {
        sets.QuoteBlock960000[k].clear();
        sets.QuoteBlock96000[k].clear();
        sets.QuoteBlock960[k].clear();
        sets.QuoteBlock16[k].resize(15);
    }
    FillCycles("C:\\");
    EXPECT_EQ(stageWrites(passProbe(2)), (Counts{9, 0, 13, 116, 39}));
    EXPECT_EQ(writesTo("C:\\quote00.qlk", 960000) + writesTo("C:\\quote01.qlk", 96000) +
                  writesTo("C:\\quote01.qlk", 960) + writesTo("C:\\quote01.qlk", 16),
              0);
    EXPECT_EQ(p.volume("C:\\").freeBytes, 10000000u);
}

TEST_F(DriveFillTest, BulkFileThatCannotBeCreatedIsLoggedOncePerPass) {
    addDrive("C:\\", 10000000);
    fillBlocks();
    plan.randomPasses = 1;
    p.failCreate.insert("C:\\random00.qlk");
    watchFreeSpace("C:\\");
    FillCycles("C:\\");

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

TEST_F(DriveFillTest, UnreadableSpaceDuringAFillEndsTheRunWithoutAnotherWrite) {
    FakePlatform::Volume& c = addDrive("C:\\", 10000000);
    fillBlocks();
    // The probe before stage B finds the drive unreadable.
    observer.everyYield = [&] {
        if (p.writes.size() == 9) c.extendedProbeFails = c.classicProbeFails = true;
    };
    FillCycles("C:\\");
    EXPECT_EQ(p.writes.size(), 9u);
    EXPECT_EQ(p.closedFills.size(), p.fills.size());
    EXPECT_EQ(handle00, 0);
    EXPECT_TRUE(run().prevented());
    EXPECT_TRUE(run().stopRequested());
    ASSERT_EQ(observer.messages.size(), 1u);
    EXPECT_EQ(observer.messages[0].text.rfind("I'm sorry but Quellix was not able to read", 0), 0u);
}

TEST_F(DriveFillTest, FailedCloseIsLoggedAndTheHandleGivenUp) {
    addDrive("C:\\", 10000000);
    fillBlocks();
    plan.randomPasses = 1;
    p.failClose.insert("C:\\random01.qlk");
    FillCycles("C:\\");
    EXPECT_EQ(handle01, 0);
    const auto log = p.errLogLines();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("#57 (Device I/O error) occurred in fQL Fill Cycles"), std::string::npos);
    // The file closed all the same, and the next pass went on.
    EXPECT_EQ(p.closedFills.size(), p.fills.size());
    EXPECT_EQ(writesTo("C:\\quote01.qlk", 16), 39);
}

}  // namespace
