// The free-space probe and CLargeInt on the fake platform: the two units, the classic call,
// unreadable free space and the paging-file question.
#include <gtest/gtest.h>

#include "run/Declares.h"
#include "tests/support/WindowFixture.h"

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

using DiskFreeSpace = WindowFixture;

TEST_F(DiskFreeSpace, SmallSpaceIsKeptInBothUnits) {
    addDrive("C:\\", 123456789);
    w.DiskFreeSpace("C:\\");
    EXPECT_EQ(w.FreeSpaceK, 123457);
    EXPECT_EQ(w.FreeSpaceBytes, 123456789);
    EXPECT_FALSE(w.LargeFreeSpace);
    EXPECT_EQ(p.classicProbes, 0);
}

TEST_F(DiskFreeSpace, TwoMillionThousandBytesAreLargeAndLeaveTheByteCountAlone) {
    addDrive("C:\\", 2000000499);
    w.FreeSpaceBytes = 777;
    w.DiskFreeSpace("C:\\");
    EXPECT_EQ(w.FreeSpaceK, 2000000);
    EXPECT_TRUE(w.LargeFreeSpace);
    EXPECT_EQ(w.FreeSpaceBytes, 777);

    addDrive("D:\\", 1999999499);
    w.DiskFreeSpace("D:\\");
    EXPECT_EQ(w.FreeSpaceK, 1999999);
    EXPECT_EQ(w.FreeSpaceBytes, 1999999499);
    EXPECT_FALSE(w.LargeFreeSpace);
}

TEST_F(DiskFreeSpace, CountsBeyondTwoTerabytesAreExact) {
    addDrive("C:\\", 5000000000000500);  // 5 PB and a half thousand: rounds to even
    w.DiskFreeSpace("C:\\");
    EXPECT_EQ(w.FreeSpaceK, 5000000000000);
    EXPECT_TRUE(w.LargeFreeSpace);
    EXPECT_EQ(p.errLog(), "");
}

// The classic call reports a chosen cluster geometry.
class GeometryPlatform : public FakePlatform {
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

TEST(DiskFreeSpaceClassic, FirstWin95ReleaseUsesOnlyTheClassicCall) {
    GeometryPlatform p;
    FakeDesktop d;
    frmQuellix w(p, d);
    p.addVolume("C:\\", 1);
    w.IsFirstWin95Release = true;
    w.LargeFreeSpace = true;
    w.DiskFreeSpace("C:\\");
    EXPECT_EQ(w.FreeSpaceBytes, 4096000);
    EXPECT_EQ(w.FreeSpaceK, 4096);
    EXPECT_FALSE(w.LargeFreeSpace);
    EXPECT_EQ(p.extendedProbes, 0);
    EXPECT_EQ(p.classicProbes, 1);
}

TEST(DiskFreeSpaceClassic, ProductBeyond32BitsIsLoggedAndChangesNothing) {
    GeometryPlatform p;
    FakeDesktop d;
    frmQuellix w(p, d);
    p.addVolume("C:\\", 1);
    w.IsFirstWin95Release = true;
    p.sectorsPerCluster = 64;
    p.freeClusters = 100000;  // 3,276,800,000 bytes
    w.FreeSpaceBytes = 5000;
    w.DiskFreeSpace("C:\\");
    EXPECT_EQ(w.FreeSpaceBytes, 5000);
    EXPECT_EQ(w.FreeSpaceK, 5);
    const auto lines = p.errLogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("#6 (Overflow) occurred in fQL DiskFreeSpace"), std::string::npos);
}

TEST_F(DiskFreeSpace, ClassicCallStandsInWhenTheExtendedCallFails) {
    addDrive("C:\\", 4096000).extendedProbeFails = true;
    w.DiskFreeSpace("C:\\");
    EXPECT_EQ(w.FreeSpaceBytes, 4096000);
    EXPECT_EQ(w.FreeSpaceK, 4096);
    EXPECT_EQ(p.extendedProbes, 1);
    EXPECT_EQ(p.classicProbes, 1);
}

TEST_F(DiskFreeSpace, UnreadableSpaceTellsTheUserAndEndsTheProgram) {
    FakePlatform::Volume& c = addDrive("C:\\", 10000000);
    c.extendedProbeFails = true;
    c.classicProbeFails = true;
    try {
        w.DiskFreeSpace("C:\\");
        FAIL() << "the probe returned";
    } catch (const ProgramEnded& e) {
        EXPECT_EQ(e.status, ExitSystemPrevented);
    }
    ASSERT_EQ(d.boxes.size(), 1u);
    EXPECT_EQ(d.boxes[0].text,
              "I'm sorry but Quellix was not able to read  the free-space on drive C:.\r\n\r\n"
              "This is an abnormal condition and, for protection of the system, Quellix will \r\n"
              "now quit.  You should run ScanDisk to verify the integrity of all drives before"
              "\r\nusing Quellix again.");
    EXPECT_EQ(d.boxes[0].style, vbOKOnly);
    EXPECT_EQ(d.boxes[0].title, "Quellix");
    EXPECT_TRUE(w.ExitRequested);
}

TEST_F(DiskFreeSpace, UnreadableSpaceDuringAFillEndsItWithoutAnotherWrite) {
    FakePlatform::Volume& c = addDrive("C:\\", 10000000);
    fillBlocks();
    // The probe before stage B finds the drive unreadable.
    d.everyYield([&](frmQuellix&) {
        if (p.writes.size() == 9) c.extendedProbeFails = c.classicProbeFails = true;
    });
    EXPECT_THROW(w.FillCycles("C:\\"), ProgramEnded);
    EXPECT_EQ(p.writes.size(), 9u);
    EXPECT_EQ(p.closedFills.size(), p.fills.size());
    EXPECT_EQ(w.FillFileHandle00, 0);
}

TEST_F(DiskFreeSpace, PagingFileQuestionIsAskedOnceAndNoGoesOn) {
    addDrive("C:\\", 10000000);
    addDrive("D:\\", 20000000);
    p.swapFiles["D:\\pagefile.sys"] = 1 << 20;
    d.answer(vbNo);
    w.DiskFreeSpace("C:\\");
    EXPECT_TRUE(d.boxes.empty());
    EXPECT_TRUE(w.SwapFileCheckPending);

    w.DiskFreeSpace("D:\\");
    ASSERT_EQ(d.boxes.size(), 1u);
    EXPECT_EQ(d.boxes[0].text, kNtQuestion);
    EXPECT_EQ(d.boxes[0].style, vbYesNo + vbDefaultButton2);
    EXPECT_EQ(d.boxes[0].title, "Quellix");
    EXPECT_FALSE(w.SwapFileCheckPending);
    EXPECT_EQ(w.FreeSpaceK, 20000);  // No: the measurement follows at once

    w.DiskFreeSpace("D:\\");
    EXPECT_EQ(d.boxes.size(), 1u);
}

TEST_F(DiskFreeSpace, Win95SwapFileHasItsOwnQuestion) {
    addDrive("C:\\", 10000000);
    w.SwapFileName = "Win386.swp";
    p.swapFiles["C:\\Win386.swp"] = 4096;
    d.answer(vbNo);
    w.DiskFreeSpace("C:\\");
    ASSERT_EQ(d.boxes.size(), 1u);
    EXPECT_EQ(d.boxes[0].text,
              "A Windows 95 swap file (Win386.swp) was found on drive C:.  Data is\r\n"
              "still contained in the swap file that you may want to erase. If you reboot the\r\n"
              "Windows just before running Quellix the swap file will be reset to zero.\r\n\r\n"
              "     Would you like to EXIT Quellix so that you can reboot Windows?\r\n\r\n"
              "                    Press Yes to EXIT Quellix or No to continue");
}

TEST_F(DiskFreeSpace, EmptyPagingFileAsksNothing) {
    addDrive("C:\\", 10000000);
    p.swapFiles["C:\\pagefile.sys"] = 0;
    w.DiskFreeSpace("C:\\");
    EXPECT_TRUE(d.boxes.empty());
    EXPECT_TRUE(w.SwapFileCheckPending);
}

TEST_F(DiskFreeSpace, YesToThePagingFileQuestionEndsTheRunBeforeAnyFillFile) {
    addDrive("C:\\", 10000000);
    fillBlocks();
    p.swapFiles["C:\\pagefile.sys"] = 1 << 20;
    d.answer(vbYes);
    try {
        w.cmdWipe_Click();
        FAIL() << "the run went on";
    } catch (const ProgramEnded& e) {
        EXPECT_EQ(e.status, ExitSystemPrevented);
    }
    EXPECT_EQ(d.boxes.size(), 1u);
    EXPECT_TRUE(p.fills.empty());
    EXPECT_TRUE(w.ExitRequested);
}

}  // namespace
