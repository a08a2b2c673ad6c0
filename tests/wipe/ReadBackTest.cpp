// The check of a drive's passes on the fakes: the extents' set arithmetic, which passes each mode
// reads back, old content under a deleted fill file (found, the pass run once more, what still
// fails counted), and why nothing could be read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>

#include "tests/support/EngineFixture.h"
#include "wipe/Extents.h"
#include "wipe/ReadBack.h"

namespace {

using Extents = std::vector<Extent>;

TEST(Extents, SetArithmetic) {
    struct Case {
        Extents a, b, both, aOnly;
    };
    const std::vector<Case> cases{
        {{}, {{0, 10}}, {}, {}},
        {{{0, 10}}, {{10, 5}}, {}, {{0, 10}}},                     // touching, not overlapping
        {{{0, 10}}, {{2, 3}}, {{2, 3}}, {{0, 2}, {5, 5}}},         // a hole in the middle
        {{{5, 5}, {0, 5}}, {{3, 4}}, {{3, 4}}, {{0, 3}, {7, 3}}},  // unsorted and touching
        {{{0, 100}},
         {{10, 10}, {30, 10}, {95, 10}},
         {{10, 10}, {30, 10}, {95, 5}},
         {{0, 10}, {20, 10}, {40, 55}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases.data()));
        EXPECT_EQ(Intersection(c.a, c.b), c.both);
        EXPECT_EQ(Difference(c.a, c.b), c.aOnly);
    }
    EXPECT_EQ(Joined({{5, 5}, {0, 0}, {2, 4}, {20, 1}}), (Extents{{2, 8}, {20, 1}}));
}

class ReadBackTest : public EngineFixture {
protected:
    ReadBackTest() {
        plan.verify = VerifyMode::Last;
        plan.randomPasses = 1;
    }
    // One drive of 10,000,000 bytes free, filled and assessed.
    FakePlatform::Volume& c() { return p.volume("C:\\"); }
    DriveAccount& drive() { return account.drives.at(0); }
    void fillAndAssess() {
        fillBlocks();
        run().survey();  // the drive's facts
        FillCycles("C:\\");
        AssessOutcomes(account);
    }
    // Puts content on C:'s device where a deleted fill file lay, at every read-back (or the
    // first only), before anything is read.
    void atReadBack(std::function<void()> fault, bool everyTime = true) {
        observer.everyYield = [this, fault, everyTime] {
            const bool reading =
                !observer.statusLines.empty() && observer.statusLines.back() == kReadingBackText;
            if (reading && !reading_ && (everyTime || faults_ == 0)) {
                ++faults_;
                fault();
            }
            reading_ = reading;
        };
    }
    std::uint64_t base() { return c().deviceBase; }
    // How much of the coverage map is painted in the state.
    std::uint64_t painted(BlockState state) {
        std::uint64_t n = 0;
        for (const CoverageMap::Piece& piece : drive().map.pieces)
            n += piece.state == state ? piece.extent.length : 0;
        return n;
    }

    int faults_ = 0;
    bool reading_ = false;
};

struct ModeCase {
    VerifyMode mode;
    std::vector<bool> checked;  // per pass: two random passes and the quotes pass
};

void PrintTo(const ModeCase& m, std::ostream* os) {
    *os << (m.mode == VerifyMode::Last ? "last" : m.mode == VerifyMode::All ? "all" : "off");
}

class ReadBackModes : public ReadBackTest, public testing::WithParamInterface<ModeCase> {};

TEST_P(ReadBackModes, EachModeReadsBackItsPassesAndAHealthyDriveReadsBackAsWritten) {
    const ModeCase& m = GetParam();
    plan.randomPasses = 2;
    plan.verify = m.mode;
    addDrive("C:\\", 10000000);
    fillAndAssess();
    const nlohmann::json report =
        nlohmann::json::parse(RunReportLine(account, "1", "h", 0))["drives"][0];

    ASSERT_EQ(drive().passes.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const PassAccount& pass = drive().passes[i];
        SCOPED_TRACE(testing::Message() << "pass " << i);
        EXPECT_EQ(pass.checked, m.checked[i]);
        // The worked example: 9,999,984 bytes written, 16 left that no write could take.
        EXPECT_EQ(pass.verifiedBytes, m.checked[i] ? 9999984 : -1);
        EXPECT_EQ(report["passes"][i]["verified_bytes"].is_null(), !m.checked[i]);
        if (m.checked[i]) {
            EXPECT_EQ(pass.coveredBytes, 9999984);
            EXPECT_EQ(pass.notReached, (std::map<std::string, std::int64_t>{{"reserve", 16}}));
        }
    }
    const auto checks = std::count(m.checked.begin(), m.checked.end(), true);
    // Each read-back syncs the file system and drops the device's cached blocks first.
    EXPECT_EQ(c().syncs, checks);
    EXPECT_EQ(c().flushes, checks);
    EXPECT_EQ(drive().outcome, DriveOutcome::Complete);
    EXPECT_EQ(report["verification"], checks > 0 ? "verified" : "off");
    if (m.checked[2]) {  // the last pass's map: the fill read back, the 16 bytes it could not reach
        EXPECT_EQ(painted(BlockState::Verified), 9999984u);
        EXPECT_EQ(painted(BlockState::NotReached), 16u);
    }
}

INSTANTIATE_TEST_SUITE_P(LastAllOff, ReadBackModes,
                         testing::Values(ModeCase{VerifyMode::Last, {false, false, true}},
                                         ModeCase{VerifyMode::All, {true, true, true}},
                                         ModeCase{VerifyMode::Off, {false, false, false}}));

TEST_F(ReadBackTest, OldContentBackUnderADeletedFillFileIsFoundAndThePassRunsOnceMore) {
    addDrive("C:\\", 10000000);
    // Once, as a stale copy of old blocks written back over the fill would.
    atReadBack([&] { p.writeDevice("C:\\", {base() + 3 * 1048576, 8192}, 'O'); }, false);
    fillAndAssess();

    ASSERT_EQ(drive().passes.size(), 3u);
    const PassAccount& found = drive().passes[1];
    const PassAccount& again = drive().passes[2];
    EXPECT_EQ(found.notOverwrittenBytes, 8192);
    EXPECT_EQ(found.verifiedBytes, 9999984 - 8192);
    EXPECT_TRUE(again.quotes && again.repeated);
    // Run once more over the same blocks, which read back as written: complete.
    EXPECT_EQ(again.verifiedBytes, 9999984);
    EXPECT_EQ(drive().notOverwrittenBytes, 0);
    EXPECT_EQ(drive().outcome, DriveOutcome::Complete);
    // Each read-back drops the device's cached blocks, and so does the start of the repeat.
    EXPECT_EQ(c().flushes, 3);
    EXPECT_NE(SummaryLines(account).at(0).find("(1 run once more)"), std::string::npos);
}

struct OtherContent {
    const char* what;
    char byte;
    bool takenByAFile, discards, keepsMap;
    std::int64_t notOverwritten, discarded;
    int releaseAfterMaps = 0;  // the deleted fill's blocks stay in use this many more maps
};
constexpr std::int64_t kStretch = 65536;

void PrintTo(const OtherContent& k, std::ostream* os) {
    *os << k.what;
}

class ReadBackOtherContent : public ReadBackTest,
                             public testing::WithParamInterface<OtherContent> {};

TEST_P(ReadBackOtherContent, CountsOnlyWhereItIsStillFree) {
    const OtherContent& k = GetParam();
    FakePlatform::Volume& v = addDrive("C:\\", 10000000);
    v.facts.discardsFreedBlocks = k.discards;
    v.keepsMap = k.keepsMap;
    const Extent stretch{base() + 2 * 1048576, kStretch};
    atReadBack([&] {
        p.writeDevice("C:\\", stretch, k.byte);
        if (k.takenByAFile) c().takenByFiles = {stretch};
    });
    // The quotes pass's files, once deleted, are released late.
    const std::function<void()> readBack = observer.everyYield;
    observer.everyYield = [&, readBack] {
        if (!observer.statusLines.empty() &&
            observer.statusLines.back() == "Filling free-space with selected quotes.") {
            c().releaseAfterMaps = k.releaseAfterMaps;
        }
        readBack();
    };
    fillAndAssess();

    const PassAccount& first = drive().passes.at(1);
    EXPECT_EQ(first.verifiedBytes, 9999984 - kStretch);
    EXPECT_EQ(first.notOverwrittenBytes, k.notOverwritten);
    EXPECT_EQ(first.discardedBytes, k.discarded);
    EXPECT_EQ(drive().notOverwrittenBytes, k.notOverwritten);
    EXPECT_EQ(drive().outcome,
              k.notOverwritten > 0 ? DriveOutcome::Incomplete : DriveOutcome::Complete);
    EXPECT_EQ(
        drive().reason.find("read back from the disk with other content") != std::string::npos,
        k.notOverwritten > 0);
    // Still there after the pass ran once more: counted, painted, and not run over and over.
    EXPECT_EQ(faults_, k.notOverwritten > 0 ? 2 : 1);
    if (k.keepsMap) {
        EXPECT_EQ(painted(BlockState::NotOverwritten), std::uint64_t(k.notOverwritten));
    }
    // Without a map the coverage is not measured.
    EXPECT_EQ(first.coveredBytes, k.keepsMap ? 9999984 : -1);
    // Zeros the file system made are not the fill: the summary says so.
    EXPECT_EQ(SummaryLines(account).at(0).find("MB discarded") != std::string::npos,
              k.discarded > 0)
        << SummaryLines(account).at(0);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ReadBackOtherContent,
    testing::Values(OtherContent{"another file took the blocks", 'F', true, false, true, 0, 0},
                    OtherContent{"zeros where freed blocks are discarded", '\0', false, true, true,
                                 0, kStretch},
                    OtherContent{"zeros where they are not", '\0', false, false, true, kStretch, 0},
                    OtherContent{"no map tells who holds them", 'O', false, false, false, kStretch,
                                 0},
                    OtherContent{"blocks the file system releases a moment late", 'O', false, false,
                                 true, kStretch, 0, 5}));

struct Unreadable {
    const char* why;
    bool readable, tellsExtents;
};

void PrintTo(const Unreadable& k, std::ostream* os) {
    *os << k.why;
}

class ReadBackUnreadable : public ReadBackTest, public testing::WithParamInterface<Unreadable> {};

TEST_P(ReadBackUnreadable, TheOutcomeSaysWhyAndStaysAsItWas) {
    const Unreadable& k = GetParam();
    FakePlatform::Volume& v = addDrive("C:\\", 10000000);
    if (!k.readable) v.unreadableDevice = k.why;
    v.tellsExtents = k.tellsExtents;
    fillAndAssess();

    EXPECT_EQ(drive().outcome, DriveOutcome::Complete);
    EXPECT_EQ(drive().notVerified, k.why);
    EXPECT_EQ(drive().verifiedBytes, -1);
    EXPECT_EQ(v.reads, 0);
    EXPECT_NE(SummaryLines(account).at(0).find(std::string("complete, not verified (") + k.why),
              std::string::npos);
    // What the map tells is measured all the same, where the files' places are known.
    EXPECT_EQ(drive().passes.at(1).coveredBytes, k.tellsExtents ? 9999984 : -1);
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, ReadBackUnreadable,
    testing::Values(Unreadable{"reading the disk back needs root", false, true},
                    Unreadable{"the file system does not tell where a file's data lies", true,
                               false}));

TEST_F(ReadBackTest, AStopDuringTheReadBackLeavesTheDriveStoppedAndUnverified) {
    addDrive("C:\\", 10000000);
    atReadBack([&] { run().requestStop(); });
    fillAndAssess();
    EXPECT_EQ(drive().outcome, DriveOutcome::Stopped);
    EXPECT_EQ(drive().passes.at(1).notVerified, "the run was stopped during the read-back");
    EXPECT_EQ(drive().passes.size(), 2u);
}

}  // namespace
