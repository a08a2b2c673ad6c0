// The progress display and the window title: rounding, clamping and the caption modes.
#include <gtest/gtest.h>

#include "tests/support/FakeDesktop.h"
#include "tests/support/FakePlatform.h"
#include "ui/frmQuellix.h"

namespace {

class Progbar : public ::testing::Test {
protected:
    Progbar() : w(p, d) { d.attach(w); }
    FakePlatform p;
    FakeDesktop d;
    frmQuellix w;
};

TEST_F(Progbar, CurrentBarRoundsHalvesToEven) {
    w.DriveProgressStep = 0.5;
    w.FreeSpaceK = 25;  // 12.5 rounds to 12
    w.Progbar();
    EXPECT_EQ(w.progbarCurrent.Value, 88);
    w.FreeSpaceK = 27;  // 13.5 rounds to 14
    w.Progbar();
    EXPECT_EQ(w.progbarCurrent.Value, 86);
}

TEST_F(Progbar, CurrentBarRunsFromEmptyToFull) {
    w.DriveProgressStep = 100.0 / 7000.0;
    w.FreeSpaceK = 7000;
    w.Progbar();
    EXPECT_EQ(w.progbarCurrent.Value, 0);
    w.FreeSpaceK = 0;
    w.Progbar();
    EXPECT_EQ(w.progbarCurrent.Value, 100);
    w.FreeSpaceK = -500;  // more written than the probe reported
    w.Progbar();
    EXPECT_EQ(w.progbarCurrent.Value, 100);
}

TEST_F(Progbar, TotalBarCountsFinishedPassesAndTheCurrentOne) {
    w.TotalProgressStep = 100.0 / (3.0 * 10000.0);
    w.DoneBeforePassK = 10000;
    w.PassStartFreeK = 10000;
    w.FreeSpaceK = 5000;
    w.Progbar();
    EXPECT_EQ(w.PassDoneK, 5000);
    EXPECT_EQ(w.progbarTotal.Value, 50);
    EXPECT_EQ(d.doEvents, 1);

    w.DoneBeforePassK = 40000;  // above 100 % is shown as full
    w.Progbar();
    EXPECT_EQ(w.progbarTotal.Value, 100);
}

TEST_F(Progbar, CountsBeyondThirtyTwoBitsStillGiveTheirPercent) {
    const std::int64_t total = 3000000000;  // thousands of bytes: a 3 TB drive
    w.TotalProgressStep = 100.0 / (3.0 * static_cast<double>(total));
    w.DriveProgressStep = 100.0 / static_cast<double>(total);
    w.DoneBeforePassK = 2 * total;
    w.PassStartFreeK = total;
    w.FreeSpaceK = total / 2;
    w.Progbar();
    EXPECT_EQ(w.progbarCurrent.Value, 50);
    EXPECT_EQ(w.progbarTotal.Value, 83);
    EXPECT_EQ(p.errLog(), "");
}

TEST_F(Progbar, TitleShowsThePercentOnlyWhenNotInTheNormalState) {
    w.TotalProgressStep = 0.042;
    w.PassStartFreeK = 1000;
    w.Progbar();
    EXPECT_EQ(w.Me.Caption, "Quellix");
    w.Me.State = WindowState::Minimized;
    w.Progbar();
    EXPECT_EQ(w.Me.Caption, "Quellix (42% done)");
}

TEST_F(Progbar, UpdateCaptionByMode) {
    std::int16_t mode = 2;
    std::int32_t percent = 42;
    w.Me.Caption = "something";
    w.UpdateCaption(mode, percent);
    EXPECT_EQ(w.Me.Caption, "Quellix");  // the normal state always reads the plain name

    w.Me.State = WindowState::Minimized;
    mode = 1;
    w.UpdateCaption(mode, percent);
    EXPECT_EQ(w.Me.Caption, "Quellix (ready)");
    mode = 2;
    w.UpdateCaption(mode, percent);
    EXPECT_EQ(w.Me.Caption, "Quellix (text prep)");
    mode = 3;
    w.UpdateCaption(mode, percent);
    EXPECT_EQ(w.Me.Caption, "Quellix (42% done)");
    mode = 7;
    w.UpdateCaption(mode, percent);
    EXPECT_EQ(w.Me.Caption, "Quellix (42% done)");

    w.Me.State = WindowState::Maximized;
    mode = 1;
    w.UpdateCaption(mode, percent);
    EXPECT_EQ(w.Me.Caption, "Quellix (ready)");
}

TEST_F(Progbar, OverflowIsLoggedAndTheBarsStillMove) {
    w.DriveProgressStep = 1e300;  // a step left from another drive
    w.FreeSpaceK = 10;
    w.PassStartFreeK = 10;
    w.Progbar();
    const auto lines = p.errLogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("#6 (Overflow) occurred in fQL Progbar"), std::string::npos);
    EXPECT_EQ(d.doEvents, 1);
}

}  // namespace
