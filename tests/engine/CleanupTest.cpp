// Fill-file cleanup: the two delete sweeps, and the status and pause.
#include <gtest/gtest.h>

#include "tests/support/FakeDesktop.h"
#include "tests/support/FakePlatform.h"
#include "ui/frmQuellix.h"

namespace {

class CleanupTest : public testing::Test {
protected:
    CleanupTest() : w(p, d) {
        d.attach(w);
        p.addVolume("C:\\", 1000000);
        w.lblCurrentStatus.Caption = "untouched";
    }
    FakePlatform::Volume& c() { return p.volume("C:\\"); }

    FakePlatform p;
    FakeDesktop d;
    frmQuellix w;
};

TEST_F(CleanupTest, LeftoverTailFilesAreDeletedInOrderWithoutStatusOrPause) {
    c().files["quote01.qlk"] = 5000;
    c().files["random01.qlk"] = 7000;
    c().files["keep.txt"] = 10;
    w.Cleanup("C:\\", false);
    EXPECT_EQ(p.deleted, (std::vector<std::string>{"C:\\random01.qlk", "C:\\quote01.qlk"}));
    EXPECT_EQ(c().files.count("keep.txt"), 1u);
    EXPECT_EQ(c().freeBytes, 1012000u);
    EXPECT_EQ(w.lblCurrentStatus.Caption, "untouched");
    EXPECT_EQ(p.slept, 0.0);
    EXPECT_EQ(d.doEvents, 1);  // it yields once at its start
    EXPECT_EQ(p.errLog(), "");
}

TEST_F(CleanupTest, ShowStatusShowsTheTextAndPausesEvenWithNothingToDelete) {
    w.Cleanup("C:\\", true);
    EXPECT_TRUE(p.deleted.empty());
    EXPECT_EQ(w.lblCurrentStatus.Caption, "Restoring disk free-space.");
    EXPECT_EQ(d.statusLines.back(), "Restoring disk free-space.");  // drawn before the pause
    EXPECT_GE(p.slept, 1.5);
    EXPECT_LE(p.slept, 2.55);
    EXPECT_EQ(p.errLog(), "");
}

TEST_F(CleanupTest, HiddenFillFileIsNotFoundAndStays) {
    c().files["random01.qlk"] = 100;
    c().hiddenFiles.insert("random01.qlk");
    w.Cleanup("C:\\", false);
    EXPECT_EQ(c().files.count("random01.qlk"), 1u);
    EXPECT_TRUE(p.deleted.empty());
}

TEST_F(CleanupTest, WhatTheShellDeleteLeavesIsDeletedDirectly) {
    c().files["random00.qlk"] = 100;
    c().files["quote01.qlk"] = 100;
    p.failShellDelete.insert("C:\\quote01.qlk");
    w.Cleanup("C:\\", false);
    EXPECT_TRUE(c().files.empty());
    EXPECT_EQ(p.deleted, (std::vector<std::string>{"C:\\random00.qlk", "C:\\quote01.qlk"}));
}

TEST_F(CleanupTest, FileThatCannotBeDeletedIsLoggedAndTheOthersStillGo) {
    for (const char* name : {"random00.qlk", "random01.qlk", "quote00.qlk", "quote01.qlk"}) {
        c().files[name] = 100;
    }
    p.failDelete.insert("C:\\random01.qlk");
    w.Cleanup("C:\\", false);
    EXPECT_EQ(c().files.size(), 1u);
    EXPECT_EQ(c().files.count("random01.qlk"), 1u);
    const auto log = p.errLogLines();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("#70 (Permission denied) occurred in fQL Cleanup"), std::string::npos);
}

}  // namespace
