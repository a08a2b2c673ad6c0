// The free-space probe and CLargeInt on the fake platform: the two units, the classic call,
// unreadable free space and the paging-file question.
#include <gtest/gtest.h>

#include "tests/support/EngineFixture.h"
#include "wipe/Declares.h"

namespace {

const std::string kNtQuestion =
    "One or more Windows NT paging files (pagefile.sys) were found on the drives\r\n"
    "that you selected.  Windows NT security prevents the overwriting of these \r\n"
    "files.  If these files contain data that you want wiped, you will need to EXIT\r\n"
    "Quellix and move the paging files.  (See Windows NT Help  (F1) for \r\n"
    "information on how to relocate the paging files.)\r\n"
    "\r\n"
    "                    Do you want to EXIT Quellix to make these changes?";

TEST(CLargeInt, ReadsBothHalvesAsUnsigned) {
    FakePlatform p;
    EXPECT_EQ(CLargeInt(p, -1, 0), 4294967295.0);
    EXPECT_EQ(CLargeInt(p, 0, 1), 4294967296.0);
    EXPECT_EQ(CLargeInt(p, -2, -1), 18446744073709551614.0);
    EXPECT_EQ(p.errLog(), "");
}

// The classic call reports a chosen cluster geometry.
class GeometryPlatform : public ProbingPlatform {
public:
    bool diskFreeSpace(const std::string&, std::int32_t& spc, std::int32_t& bps,
                       std::int32_t& clusters) override {
        ++classicProbes;
        spc = sectorsPerCluster;
        bps = 512;
        clusters = freeClusters;
        return true;
    }
    std::int32_t sectorsPerCluster = 8;
    std::int32_t freeClusters = 1000;
};

class DiskFreeSpace : public EngineFixture {
protected:
    // One probe of the drive with the plan as it stands; the figures go to space.
    ProbeOutcome probe(const std::string& root, FillTarget& on) {
        if (!probe_) probe_ = std::make_unique<FreeSpaceProbe>(plan, on, p);
        return probe_->probe(root, space, observer);
    }
    ProbeOutcome probe(const std::string& root) { return probe(root, target); }

    FreeSpace space;
    std::unique_ptr<FreeSpaceProbe> probe_;
};

TEST_F(DiskFreeSpace, SmallSpaceIsKeptInBothUnits) {
    addDrive("C:\\", 123456789);
    EXPECT_EQ(probe("C:\\"), ProbeOutcome::Read);
    EXPECT_EQ(space.FreeSpaceK, 123457);
    EXPECT_EQ(space.FreeSpaceBytes, 123456789);
    EXPECT_EQ(space.ProbedFreeBytes, 123456789);
    EXPECT_FALSE(space.LargeFreeSpace);
    EXPECT_EQ(p.classicProbes, 0);
}

TEST_F(DiskFreeSpace, TwoMillionThousandBytesAreLargeAndLeaveTheByteCountAlone) {
    addDrive("C:\\", 2000000499);
    space.FreeSpaceBytes = 777;
    probe("C:\\");
    EXPECT_EQ(space.FreeSpaceK, 2000000);
    EXPECT_TRUE(space.LargeFreeSpace);
    EXPECT_EQ(space.FreeSpaceBytes, 777);

    addDrive("D:\\", 1999999499);
    probe("D:\\");
    EXPECT_EQ(space.FreeSpaceK, 1999999);
    EXPECT_EQ(space.FreeSpaceBytes, 1999999499);
    EXPECT_FALSE(space.LargeFreeSpace);
}

TEST_F(DiskFreeSpace, CountsBeyondTwoTerabytesAreExact) {
    addDrive("C:\\", 5000000000000500);  // 5 PB and a half thousand: rounds to even
    probe("C:\\");
    EXPECT_EQ(space.FreeSpaceK, 5000000000000);
    EXPECT_TRUE(space.LargeFreeSpace);
    EXPECT_EQ(p.errLog(), "");
}

TEST_F(DiskFreeSpace, FirstWin95ReleaseUsesOnlyTheClassicCall) {
    GeometryPlatform g;
    PlatformTarget classic(g);
    g.addVolume("C:\\", 1);
    plan.classicProbeOnly = true;
    space.LargeFreeSpace = true;
    probe("C:\\", classic);
    EXPECT_EQ(space.FreeSpaceBytes, 4096000);
    EXPECT_EQ(space.FreeSpaceK, 4096);
    EXPECT_FALSE(space.LargeFreeSpace);
    EXPECT_EQ(g.extendedProbes, 0);
    EXPECT_EQ(g.classicProbes, 1);
}

TEST_F(DiskFreeSpace, ClassicProductBeyond32BitsIsLoggedAndChangesNothing) {
    GeometryPlatform g;
    PlatformTarget classic(g);
    g.addVolume("C:\\", 1);
    plan.classicProbeOnly = true;
    g.sectorsPerCluster = 64;
    g.freeClusters = 100000;  // 3,276,800,000 bytes
    space.FreeSpaceBytes = 5000;
    probe("C:\\", classic);
    EXPECT_EQ(space.FreeSpaceBytes, 5000);
    EXPECT_EQ(space.FreeSpaceK, 5);
    const auto lines = p.errLogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("#6 (Overflow) occurred in fQL DiskFreeSpace"), std::string::npos);
}

TEST_F(DiskFreeSpace, ClassicCallStandsInWhenTheExtendedCallFails) {
    addDrive("C:\\", 4096000).extendedProbeFails = true;
    probe("C:\\");
    EXPECT_EQ(space.FreeSpaceBytes, 4096000);
    EXPECT_EQ(space.FreeSpaceK, 4096);
    EXPECT_EQ(p.extendedProbes, 1);
    EXPECT_EQ(p.classicProbes, 1);
}

TEST_F(DiskFreeSpace, UnreadableSpaceTellsTheUser) {
    FakePlatform::Volume& c = addDrive("C:\\", 10000000);
    c.extendedProbeFails = true;
    c.classicProbeFails = true;
    EXPECT_EQ(probe("C:\\"), ProbeOutcome::Unreadable);
    ASSERT_EQ(observer.messages.size(), 1u);
    EXPECT_EQ(observer.messages[0].text,
              "I'm sorry but Quellix was not able to read  the free-space on drive C:.\r\n\r\n"
              "This is an abnormal condition and, for protection of the system, Quellix will \r\n"
              "now quit.  You should run ScanDisk to verify the integrity of all drives before"
              "\r\nusing Quellix again.");
    EXPECT_EQ(observer.messages[0].style, vbOKOnly);
}

TEST_F(DiskFreeSpace, PagingFileQuestionIsAskedOnceAndNoGoesOn) {
    addDrive("C:\\", 10000000);
    addDrive("D:\\", 20000000);
    p.swapFiles["D:\\pagefile.sys"] = 1 << 20;
    observer.answers.push_back(vbNo);
    probe("C:\\");
    EXPECT_TRUE(observer.messages.empty());
    EXPECT_TRUE(probe_->questionPending());

    EXPECT_EQ(probe("D:\\"), ProbeOutcome::Read);
    ASSERT_EQ(observer.messages.size(), 1u);
    EXPECT_EQ(observer.messages[0].text, kNtQuestion);
    EXPECT_EQ(observer.messages[0].style, vbYesNo + vbDefaultButton2);
    EXPECT_FALSE(probe_->questionPending());
    EXPECT_EQ(space.FreeSpaceK, 20000);  // No: the measurement follows at once

    probe("D:\\");
    EXPECT_EQ(observer.messages.size(), 1u);
}

TEST_F(DiskFreeSpace, Win95SwapFileHasItsOwnQuestion) {
    addDrive("C:\\", 10000000);
    plan.swapFileName = "Win386.swp";
    p.swapFiles["C:\\Win386.swp"] = 4096;
    observer.answers.push_back(vbNo);
    probe("C:\\");
    ASSERT_EQ(observer.messages.size(), 1u);
    EXPECT_EQ(observer.messages[0].text,
              "A Windows 95 swap file (Win386.swp) was found on drive C:.  Data is\r\n"
              "still contained in the swap file that you may want to erase. If you reboot the\r\n"
              "Windows just before running Quellix the swap file will be reset to zero.\r\n\r\n"
              "     Would you like to EXIT Quellix so that you can reboot Windows?\r\n\r\n"
              "                    Press Yes to EXIT Quellix or No to continue");
}

TEST_F(DiskFreeSpace, EmptyPagingFileAsksNothingAndYesChoosesTheEnd) {
    addDrive("C:\\", 10000000);
    p.swapFiles["C:\\pagefile.sys"] = 0;
    probe("C:\\");
    EXPECT_TRUE(observer.messages.empty());
    EXPECT_TRUE(probe_->questionPending());

    p.swapFiles["C:\\pagefile.sys"] = 1 << 20;
    observer.answers.push_back(vbYes);
    EXPECT_EQ(probe("C:\\"), ProbeOutcome::ExitChosen);
}

}  // namespace
