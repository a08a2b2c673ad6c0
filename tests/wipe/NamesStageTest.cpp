// The names stage on the fakes: where it runs in a drive's fill, how many files and rounds it
// takes, the outcomes it reports and what they make of the drive, and a stop in its middle.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "platform/FillGeometry.h"
#include "tests/support/EngineFixture.h"
#include "wipe/NamesStage.h"

namespace {

const char* const kClearing = "Clearing the names of deleted files.";
const char* const kRestoring = "Restoring disk free-space.";

// A journal of 16 MiB; every file made or touched rewrites one 256-byte inode's share.
NamesFacts journalFacts() {
    return {.supported = true, .rewriteBytes = 16 << 20, .bytesPerFile = 256};
}

class NamesStageTest : public EngineFixture {
protected:
    FakePlatform::Volume& addJournaledDrive(const std::string& root) {
        FakePlatform::Volume& v = addDrive(root, 10000000);
        v.names = journalFacts();
        fillBlocks();
        plan.randomPasses = 1;
        return v;
    }
    const DriveAccount& drive(const std::string& root) {
        return account.drives.at(account.index(root));
    }
    const FakePlatform::NamesDir& onlyDir() const {
        EXPECT_EQ(p.namesDirs.size(), 1u);
        return p.namesDirs.begin()->second;
    }
};

// A directory a stage left is removed by the first sweep, before the first pass.
TEST_F(NamesStageTest, RunsAfterTheLastPassUntilTheJournalIsRewrittenAndLeavesNothing) {
    FakePlatform::Volume& v = addJournaledDrive("C:\\");
    v.namesLeftover = true;
    FillCycles("C:\\");
    EXPECT_FALSE(v.namesLeftover);
    EXPECT_EQ(std::count(p.deleted.begin(), p.deleted.end(), std::string("C:\\") + kNamesDirectory),
              1);

    const std::vector<std::string> expected{
        "Filling free-space with random characters ( pass  1 of  1 )", kRestoring,
        "Filling free-space with selected quotes.", kRestoring, kClearing};
    EXPECT_EQ(observer.statusLines, expected);
    const FakePlatform::NamesDir& dir = onlyDir();
    EXPECT_FALSE(dir.open);
    // 16 MiB in rounds of 4,096 files of 256 bytes: the making and 15 rounds more.
    EXPECT_EQ(dir.files, 4096);
    EXPECT_EQ(dir.syncs, 16);
    EXPECT_EQ(dir.touches, 15 * 4096);

    const DriveAccount& c = drive("C:\\");
    EXPECT_EQ(c.names.outcome, NamesOutcome::Complete) << c.names.reason;
    AssessOutcomes(account);
    EXPECT_EQ(c.outcome, DriveOutcome::Complete) << c.reason;
    EXPECT_EQ(p.errLog(), "");
    EXPECT_NE(SummaryLines(account).at(0).find("names of deleted files cleared"),
              std::string::npos);
    const nlohmann::json d =
        nlohmann::json::parse(RunReportLine(account, "1.0", "host", 0))["drives"][0];
    EXPECT_EQ(d["names_stage"], "complete");
    EXPECT_EQ(d["journal_bytes_rewritten"], 16 << 20);
    EXPECT_TRUE(d["names_seconds"].is_number());
}

// The files: enough for about 16 rounds, at least 1,000 and at most 2^20, one for every inode
// slot deleted files left and 64 more, never more than the file system allows.
TEST_F(NamesStageTest, FilesWantedFollowTheJournalTheFreedSlotsAndTheLimits) {
    struct Row {
        std::uint64_t rewriteBytes;
        std::int64_t freedSlots;
        std::int64_t maxFiles;
        std::int64_t wanted;
    };
    const Row rows[] = {
        {16 << 20, 0, -1, 4096},                   // 16 MiB / (256 x 16)
        {16 << 20 | 1, 0, -1, 4097},               // a byte more: one file more
        {1 << 20, 0, -1, 1000},                    // a small journal: the least
        {std::uint64_t{1} << 40, 0, -1, 1 << 20},  // a huge one: the most
        {16 << 20, 10000, -1, 10064},              // every freed slot, and a margin
        {16 << 20, 10000, 3000, 3000},             // never more than the file system allows
        {0, 0, -1, 1000},                          // nothing to rewrite: slots only
    };
    for (const Row& row : rows) {
        NamesFacts facts = journalFacts();
        facts.rewriteBytes = row.rewriteBytes;
        facts.freedInodeSlots = row.freedSlots;
        facts.maxFiles = row.maxFiles;
        EXPECT_EQ(NamesStage::FilesWanted(facts), row.wanted)
            << row.rewriteBytes << " bytes, " << row.freedSlots << " slots";
    }
}

// What the stage reports, and what it makes of the drive: only a stage that could not do its
// work leaves the drive short; one that does not apply leaves no trace but its account.
struct OutcomeRow {
    const char* scene;
    void (*setUp)(FakePlatform& p, FakePlatform::Volume& v, WipePlan& plan);
    NamesOutcome outcome;
    const char* reasonHas;  // in the stage's reason, and (when short) the drive's
    bool dirMade;
    bool driveComplete;
};

void PrintTo(const OutcomeRow& row, std::ostream* os) {
    *os << row.scene;
}

class NamesOutcomeTest : public NamesStageTest, public testing::WithParamInterface<OutcomeRow> {};

TEST_P(NamesOutcomeTest, SaysWhatTheStageDidAndOnlyAShortfallMakesTheDriveIncomplete) {
    const OutcomeRow& row = GetParam();
    row.setUp(p, addJournaledDrive("C:\\"), plan);
    FillCycles("C:\\");
    AssessOutcomes(account);
    const DriveAccount& c = drive("C:\\");
    EXPECT_EQ(c.names.outcome, row.outcome) << c.names.reason;
    EXPECT_NE(c.names.reason.find(row.reasonHas), std::string::npos) << c.names.reason;
    EXPECT_EQ(p.namesDirs.size(), row.dirMade ? 1u : 0u);
    // Whatever the stage met, its directory is gone and the fill went on to its end.
    for (const auto& [handle, dir] : p.namesDirs)
        EXPECT_FALSE(dir.open);
    EXPECT_TRUE(c.finished);
    EXPECT_EQ(std::count(observer.statusLines.begin(), observer.statusLines.end(), kRestoring), 2);
    EXPECT_EQ(c.outcome == DriveOutcome::Complete, row.driveComplete) << c.reason;
    if (!row.driveComplete) {
        EXPECT_NE(c.reason.find(row.reasonHas), std::string::npos) << c.reason;
    }
    // Its failures are logged under its own label; nothing else is.
    EXPECT_EQ(p.errLog().find("fQL Clear Names") != std::string::npos,
              row.outcome == NamesOutcome::Failed)
        << p.errLog();
}

using P = FakePlatform;
const OutcomeRow kScenes[] = {
    {"no journal", [](P&, P::Volume& v, WipePlan&) { v.names.reset(); }, NamesOutcome::Unsupported,
     "fakefs keeps no journal", false, true},
    {"--no-names", [](P&, P::Volume&, WipePlan& plan) { plan.clearNames = false; },
     NamesOutcome::Skipped, "", false, true},
    {"size estimated", [](P&, P::Volume& v, WipePlan&) { v.names->caveat = "estimated"; },
     NamesOutcome::Partial, "estimated", true, false},
    {"slots uncounted",
     [](P&, P::Volume& v, WipePlan&) {
         v.names->freedInodeSlots = -1;
         v.names->slotsUnknown = "no right to read the device";
     },
     NamesOutcome::Partial, "no right to read the device", true, false},
    {"slots out of reach",
     [](P&, P::Volume& v, WipePlan&) {
         v.names->freedInodeSlots = 500;
         v.slotsOutOfReach = 7;
     },
     NamesOutcome::Partial, "7 inode slots", true, false},
    {"no room", [](P&, P::Volume& v, WipePlan&) { v.namesRoom = 0; }, NamesOutcome::Partial,
     "0 MB of 16 MB", true, false},
    // Fewer files than wanted: more rounds make up for them.
    {"room for a few", [](P&, P::Volume& v, WipePlan&) { v.namesRoom = 100; },
     NamesOutcome::Complete, "", true, true},
    {"planted name",
     [](P& p, P::Volume&, WipePlan&) { p.refusedNames["C:\\"] = "names00.qlk is a symbolic link"; },
     NamesOutcome::Failed, "is a symbolic link", false, false},
    {"commit fails", [](P& p, P::Volume&, WipePlan&) { p.failNamesSync.insert("C:\\"); },
     NamesOutcome::Failed, "Device I/O error", true, false},
    // A superblock built to claim a journal of 8 PB: the stage ends within the drive's budget.
    {"budget spent",
     [](P&, P::Volume& v, WipePlan&) {
         v.names->rewriteBytes = std::uint64_t{1} << 53;
         v.names->budgetBytes = 32 << 20;
     },
     NamesOutcome::Partial, "as much as the drive's size allows", true, false}};
INSTANTIATE_TEST_SUITE_P(Scenes, NamesOutcomeTest, testing::ValuesIn(kScenes));

TEST_F(NamesStageTest, AStopInTheStageEndsItAtOnceRemovesItsFilesAndStopsTheDrive) {
    addJournaledDrive("C:\\");
    int yieldsInStage = 0;
    observer.everyYield = [&] {
        if (observer.statusLines.empty() || observer.statusLines.back() != kClearing) return;
        if (++yieldsInStage == 3) run().requestStop();
    };
    FillCycles("C:\\");

    const FakePlatform::NamesDir& dir = onlyDir();
    EXPECT_FALSE(dir.open);
    // Two batches made and then nothing more: no round began.
    EXPECT_EQ(dir.files, 2 * NamesStage::kBatch);
    EXPECT_EQ(dir.touches, 0);
    const DriveAccount& c = drive("C:\\");
    EXPECT_EQ(c.names.outcome, NamesOutcome::Stopped);
    EXPECT_FALSE(c.finished);
    AssessOutcomes(account);
    EXPECT_EQ(c.outcome, DriveOutcome::Stopped);
    // Nothing follows the stage after a stop.
    EXPECT_EQ(observer.statusLines.back(), kClearing);
}

TEST_F(NamesStageTest, AStopBeforeTheStageLeavesItUnrun) {
    addJournaledDrive("C:\\");
    observer.everyYield = [&] {
        if (!observer.statusLines.empty() &&
            observer.statusLines.back() == "Filling free-space with selected quotes.") {
            run().requestStop();
        }
    };
    FillCycles("C:\\");
    EXPECT_TRUE(p.namesDirs.empty());
    EXPECT_EQ(drive("C:\\").names.outcome, NamesOutcome::NotRun);
    EXPECT_EQ(std::count(observer.statusLines.begin(), observer.statusLines.end(), kClearing), 0);
}

}  // namespace
