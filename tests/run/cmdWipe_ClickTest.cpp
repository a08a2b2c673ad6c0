// The wipe run on the fakes: the survey, the progress scale, the locked settings, drive order,
// and how Stop and Exit end a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/support/WindowFixture.h"

namespace {

const char* const kNoDrives = "No drives have been selected.  Please select them now.";

class WipeRun : public WindowFixture {
protected:
    std::vector<bool> enabledStates() {
        std::vector<bool> states;
        for (Control* c : w.AllControls())
            states.push_back(c->Enabled);
        return states;
    }
    bool touched(const std::string& root) const {
        for (const auto& [handle, fill] : p.fills) {
            if (fill.path.rfind(root, 0) == 0) return true;
        }
        return false;
    }
};

TEST_F(WipeRun, NoCheckedDriveIsRefusedAndChangesNoControl) {
    addDrive("C:\\", 10000000, false);
    const auto before = enabledStates();
    w.cmdWipe_Click();

    ASSERT_EQ(d.boxes.size(), 1u);
    EXPECT_EQ(d.boxes[0].text, kNoDrives);
    EXPECT_EQ(d.boxes[0].style, vbOKOnly);
    EXPECT_EQ(d.boxes[0].title, "Quellix");
    EXPECT_EQ(p.extendedProbes, 0);
    EXPECT_EQ(enabledStates(), before);
    EXPECT_FALSE(w.RunInProgress);
    ASSERT_FALSE(p.priorities.empty());
    EXPECT_EQ(p.priorities.back(), Priority::Normal);
    EXPECT_EQ(w.CaptionMode, 1);
    EXPECT_EQ(w.ExitCode, ExitStopped);
}

TEST_F(WipeRun, CheckedDrivesWithoutFreeSpaceAreRefusedAlike) {
    addDrive("C:\\", 0);
    addDrive("D:\\", 400);  // rounds to 0 thousand bytes
    const auto before = enabledStates();
    w.cmdWipe_Click();

    ASSERT_EQ(d.boxes.size(), 1u);
    EXPECT_EQ(d.boxes[0].text, kNoDrives);
    EXPECT_EQ(p.extendedProbes, 2);
    EXPECT_EQ(enabledStates(), before);
    EXPECT_FALSE(w.RunInProgress);
    EXPECT_EQ(p.priorities.back(), Priority::Normal);
    EXPECT_TRUE(p.fills.empty());
}

TEST_F(WipeRun, TwoDrivesAreFilledOneAfterTheOtherOnOneScale) {
    addDrive("C:\\", 10000000);
    addDrive("D:\\", 20000000);
    fillBlocks();
    w.cmdWipe_Click();

    EXPECT_DOUBLE_EQ(w.TotalProgressStep, 100.0 / (3.0 * 30000.0));
    std::vector<std::string> order;
    for (const auto& [handle, fill] : p.fills)
        order.push_back(fill.path);
    const std::vector<std::string> expected{
        "C:\\random00.qlk", "C:\\random01.qlk", "C:\\random00.qlk", "C:\\random01.qlk",
        "C:\\quote00.qlk",  "C:\\quote01.qlk",  "D:\\random00.qlk", "D:\\random01.qlk",
        "D:\\random00.qlk", "D:\\random01.qlk", "D:\\quote00.qlk",  "D:\\quote01.qlk"};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(p.priorities.front(), Priority::High);
    // Finished without Exit When Done: RunEnd made the window Idle again.
    EXPECT_FALSE(w.RunInProgress);
    EXPECT_FALSE(w.StopRequested);
    EXPECT_EQ(p.priorities.back(), Priority::Normal);
    EXPECT_EQ(w.ExitCode, ExitFinished);
    EXPECT_EQ(d.endings, 0);
    EXPECT_EQ(p.errLog(), "");
}

TEST_F(WipeRun, SettingsAreLockedWhileTheDrivesFill) {
    addDrive("C:\\", 10000000);
    addDrive("D:\\", 10000000, false);
    fillBlocks();
    w.optRandom_Click(6);
    std::vector<Control> seen;
    d.at(1, [&](frmQuellix& win) {
        for (Control* c : win.AllControls())
            seen.push_back(*c);
    });
    w.cmdWipe_Click();

    EXPECT_DOUBLE_EQ(w.TotalProgressStep, 100.0 / (8.0 * 10000.0));
    ASSERT_FALSE(seen.empty());
    for (const Control& c : seen) {
        const bool staysEnabled = c.Name == "cmdStop" || c.Name == "cmdExit" ||
                                  c.Name == "cmdMinimize" || c.Name == "chkExitWhenDone";
        if (c.Name == "chkDrive" || c.Name == "optRandom" || c.Name == "chkNewRndTxt" ||
            c.Name == "chkToolTip" || c.Name == "cmdHelp" || c.Name == "cmdWipe") {
            EXPECT_FALSE(c.Enabled) << c.Name << c.Index;
        } else if (staysEnabled) {
            EXPECT_TRUE(c.Enabled) << c.Name;
        }
        if (c.Name == "optRandom") {
            EXPECT_EQ(c.Value, c.Index == 6 ? 1 : 0) << c.Index;
        }
    }
    EXPECT_EQ(writesTo("C:\\random00.qlk", 960000), 7 * 9);
    EXPECT_FALSE(touched("D:\\"));
}

TEST_F(WipeRun, StopEndsTheWholeRunWithoutConsultingExitWhenDone) {
    addDrive("C:\\", 10000000);
    addDrive("D:\\", 10000000);
    fillBlocks();
    w.chkExitWhenDone.Value = 1;
    d.everyYield([&](frmQuellix& win) {
        if (p.writes.size() == 3 && !win.StopHandled) win.cmdStop_Click();
    });
    EXPECT_NO_THROW(w.cmdWipe_Click());

    EXPECT_EQ(p.writes.size(), 3u);
    EXPECT_FALSE(created("C:\\random01.qlk"));
    EXPECT_EQ(p.closedFills.size(), p.fills.size());
    EXPECT_FALSE(touched("D:\\"));
    // Idle again: no request left, nothing running, the program still there.
    EXPECT_FALSE(w.RunInProgress);
    EXPECT_FALSE(w.StopRequested);
    EXPECT_FALSE(w.ExitRequested);
    EXPECT_EQ(d.endings, 0);
    EXPECT_EQ(w.lblCurrentStatus.Caption, "Ready to clean free-space in the drives checked above.");
    EXPECT_EQ(p.priorities.back(), Priority::Normal);
    EXPECT_EQ(w.ExitCode, ExitStopped);
}

TEST_F(WipeRun, ExitWhileTheFirstDriveFillsEndsTheProgram) {
    addDrive("C:\\", 10000000);
    addDrive("D:\\", 10000000);
    fillBlocks();
    d.everyYield([&](frmQuellix& win) {
        if (p.writes.size() == 3) win.cmdExit_Click();
    });
    EXPECT_THROW(w.cmdWipe_Click(), ProgramEnded);
    EXPECT_EQ(p.writes.size(), 3u);
    EXPECT_EQ(p.closedFills.size(), p.fills.size());
    EXPECT_FALSE(touched("D:\\"));
}

TEST_F(WipeRun, ExitPressedWhileAStopWindsDownStillEndsTheProgram) {
    addDrive("C:\\", 10000000);
    fillBlocks();
    d.everyYield([&](frmQuellix& win) {
        if (p.writes.size() == 3 && !win.StopHandled) win.cmdStop_Click();
        // The first yield after RunEnd's reset: the fill cycle's last cleanup.
        if (win.StopHandled && !win.ExitRequested) win.cmdExit_Click();
    });
    EXPECT_THROW(w.cmdWipe_Click(), ProgramEnded);
    EXPECT_EQ(p.writes.size(), 3u);
}

TEST_F(WipeRun, StopPressedWhileIdleDoesNotCancelTheNextRun) {
    addDrive("C:\\", 10000000);
    fillBlocks();
    w.cmdStop_Click();
    w.cmdWipe_Click();
    EXPECT_EQ(writesTo("C:\\random00.qlk", 960000), 18);
    EXPECT_EQ(writesTo("C:\\quote01.qlk", 16), 39);
    EXPECT_EQ(w.ExitCode, ExitFinished);
}

TEST_F(WipeRun, TotalBarStartsEveryRunAtZeroAndEndsItNearFull) {
    addDrive("C:\\", 10000000);
    fillBlocks();
    // The total bar of each run from its first fill text on.
    std::vector<std::vector<int>> bars(1);
    d.everyYield([&](frmQuellix& win) {
        if (!bars.back().empty() || win.lblCurrentStatus.Caption.rfind("Filling", 0) == 0) {
            bars.back().push_back(win.progbarTotal.Value);
        }
    });
    w.cmdWipe_Click();
    bars.emplace_back();
    w.cmdWipe_Click();

    ASSERT_EQ(bars.size(), 2u);
    for (const auto& run : bars) {
        ASSERT_FALSE(run.empty());
        EXPECT_EQ(run.front(), 0);
        EXPECT_GE(*std::max_element(run.begin(), run.end()), 99);
    }
}

TEST_F(WipeRun, FinishedRunWithExitWhenDoneEndsTheProgram) {
    addDrive("C:\\", 10000000);
    fillBlocks();
    w.chkExitWhenDone.Value = 1;
    try {
        w.cmdWipe_Click();
        FAIL() << "the program did not end";
    } catch (const ProgramEnded& e) {
        EXPECT_EQ(e.status, ExitFinished);
    }
    EXPECT_EQ(writesTo("C:\\quote01.qlk", 16), 39);
    EXPECT_FALSE(w.RunInProgress);
}

TEST_F(WipeRun, UnreadableDriveInTheSurveyEndsTheProgramBeforeAnyFill) {
    addDrive("C:\\", 10000000);
    FakePlatform::Volume& dDrive = addDrive("D:\\", 10000000);
    dDrive.extendedProbeFails = true;
    dDrive.classicProbeFails = true;
    fillBlocks();
    EXPECT_THROW(w.cmdWipe_Click(), ProgramEnded);
    EXPECT_TRUE(p.fills.empty());
    EXPECT_EQ(p.priorities.back(), Priority::Normal);
}

TEST_F(WipeRun, YesToThePagingFileQuestionEndsTheRunBeforeAnyFillFile) {
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

TEST_F(WipeRun, UnreadableSpaceDuringAFillEndsTheProgramWithoutAnotherWrite) {
    FakePlatform::Volume& c = addDrive("C:\\", 10000000);
    d.everyYield([&](frmQuellix&) {
        if (p.writes.size() == 9) c.extendedProbeFails = c.classicProbeFails = true;
    });
    try {
        w.cmdWipe_Click();
        FAIL() << "the run went on";
    } catch (const ProgramEnded& e) {
        EXPECT_EQ(e.status, ExitSystemPrevented);
    }
    EXPECT_EQ(p.writes.size(), 9u);
    EXPECT_EQ(p.closedFills.size(), p.fills.size());
    EXPECT_TRUE(w.ExitRequested);
}

TEST_F(WipeRun, TheWindowFillsOneDriveAtATimeEvenWhenAskedForMore) {
    addDrive("C:\\", 10000000);
    addDrive("D:\\", 10000000);
    w.Options.parallel = true;
    std::vector<std::string> shown;
    d.everyYield([&](frmQuellix& win) {
        if (shown.empty() || shown.back() != win.lblCurrentDrive.Caption) {
            shown.push_back(win.lblCurrentDrive.Caption);
        }
    });
    w.cmdWipe_Click();
    EXPECT_EQ(shown, (std::vector<std::string>{"", "C:", "D:", ""}));
    EXPECT_EQ(w.ExitCode, ExitFinished);
}

}  // namespace
