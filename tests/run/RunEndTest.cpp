// RunEnd: the tidying every run end gets, the exit path (once) and the reset path.
#include <gtest/gtest.h>

#include "resources/StringTable.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/FakePlatform.h"
#include "ui/frmQuellix.h"

namespace {

// A desktop whose ending closes the window first, as the real one does: the close handler then
// comes back into RunEnd while the program is ending.
class ClosingDesktop : public FakeDesktop {
public:
    frmQuellix* window = nullptr;

protected:
    void endProgram(int status) override {
        if (window != nullptr) {
            std::int16_t cancel = 0;
            window->Form_QueryUnload(cancel, 0);
        }
        FakeDesktop::endProgram(status);
    }
};

class RunEndTest : public testing::Test {
protected:
    RunEndTest() : w(p, d) {
        d.attach(w);
        d.window = &w;
        // Two fixed drives and a removable one, with the boxes drive discovery gives them.
        p.addVolume("C:\\", 50000000);
        p.addVolume("D:\\", 50000000);
        p.addVolume("E:\\", 50000000, DRIVE_REMOVABLE);
        w.DriveCount = 3;
        w.chkDrive.resize(3, w.chkDrive[0]);
        const char* roots[] = {"C:\\", "D:\\", "E:\\"};
        for (std::size_t i = 0; i < 3; ++i) {
            w.chkDrive[i].Index = static_cast<int>(i);
            w.chkDrive[i].Tag = roots[i];
            w.chkDrive[i].Caption = std::string(roots[i]).substr(0, 2) + " /fake/" + roots[i][0];
            w.chkDrive[i].Enabled = i < 2;
            w.chkDrive[i].Visible = true;
        }
        w.chkDrive[0].Value = 1;
        lockAsARunDoes();
        w.progbarCurrent.Value = 40;
        w.progbarTotal.Value = 20;
        w.lblCurrentDrive.Caption = "C:";
        w.lblFillSize.Caption = "48";
        w.lblCurrentStatus.Caption = "Filling free-space with selected quotes.";
        w.CaptionMode = 3;
    }

    void lockAsARunDoes() {
        for (Control& o : w.optRandom)
            o.Enabled = false;
        for (Control* c : {&w.chkNewRndTxt, &w.chkToolTip, &w.cmdHelp, &w.cmdWipe}) {
            c->Enabled = false;
        }
        // Not RunEnd's to touch: marked so that a change would show.
        w.chkExitWhenDone.Enabled = false;
        w.cmdStop.Enabled = false;
    }

    void expectDisplayCleared() {
        EXPECT_EQ(w.progbarCurrent.Value, 0);
        EXPECT_EQ(w.progbarTotal.Value, 0);
        EXPECT_EQ(w.lblCurrentDrive.Caption, "");
        EXPECT_EQ(w.lblFillSize.Caption, "");
        EXPECT_EQ(w.CaptionMode, 1);
        ASSERT_FALSE(p.priorities.empty());
        EXPECT_EQ(p.priorities.back(), Priority::Normal);
    }

    FakePlatform p;
    ClosingDesktop d;
    frmQuellix w;
};

TEST_F(RunEndTest, NeitherFlagOnlyTidiesUp) {
    p.openText("/opt/quellix/QuellixRandom.sav", TextMode::Output);
    w.RunEnd();
    expectDisplayCleared();
    EXPECT_EQ(p.openTextCount(), 0);
    EXPECT_FALSE(w.cmdWipe.Enabled);
    EXPECT_FALSE(w.optRandom[3].Enabled);
    EXPECT_EQ(w.lblCurrentStatus.Caption, "Filling free-space with selected quotes.");
    EXPECT_EQ(p.slept, 0.0);
    EXPECT_EQ(d.doEvents, 0);
    EXPECT_EQ(d.endings, 0);
    EXPECT_FALSE(w.StopHandled);
}

TEST_F(RunEndTest, NoHandleOpenMeansNoClose) {
    w.RunEnd();
    EXPECT_TRUE(p.closedFills.empty());
    EXPECT_EQ(p.errLog(), "");
}

TEST_F(RunEndTest, StopResetsTheWindowAndCleansEverySelectableDrive) {
    for (const char* root : {"C:\\", "D:\\", "E:\\"}) {
        p.volume(root).files["random01.qlk"] = 1000;
    }
    w.StopRequested = true;
    w.RunEnd();
    expectDisplayCleared();
    EXPECT_FALSE(w.StopRequested);
    EXPECT_TRUE(w.StopHandled);
    EXPECT_EQ(w.lblCurrentStatus.Caption, LoadResString(101));
    for (const Control& o : w.optRandom)
        EXPECT_TRUE(o.Enabled);
    for (const Control* c : {&w.chkNewRndTxt, &w.chkToolTip, &w.cmdHelp, &w.cmdWipe}) {
        EXPECT_TRUE(c->Enabled) << c->Name;
    }
    EXPECT_FALSE(w.chkExitWhenDone.Enabled);
    EXPECT_FALSE(w.cmdStop.Enabled);
    // Checked C: and unchecked D: are cleaned; the removable E: never is.
    EXPECT_EQ(p.deleted, (std::vector<std::string>{"C:\\random01.qlk", "D:\\random01.qlk"}));
    EXPECT_EQ(p.volume("E:\\").files.count("random01.qlk"), 1u);
    // Silent cleanups: no restoring text, and only the reset's own pause of about a second.
    EXPECT_GE(p.slept, 0.5);
    EXPECT_LE(p.slept, 1.55);
    EXPECT_EQ(w.chkDrive[0].Value, 1);
    EXPECT_EQ(d.endings, 0);
    EXPECT_TRUE(d.boxes.empty());
}

TEST_F(RunEndTest, ExitShowsTheClosingTextPausesAndEndsOnce) {
    w.ExitRequested = true;
    w.StopRequested = true;  // exit wins
    w.ExitCode = ExitStopped;
    try {
        w.RunEnd();
        FAIL() << "the program did not end";
    } catch (const ProgramEnded& ended) {
        EXPECT_EQ(ended.status, ExitStopped);
    }
    EXPECT_EQ(d.endings, 1);
    EXPECT_EQ(d.doEvents, 1);
    EXPECT_EQ(d.statusLines.back(), LoadResString(156));
    EXPECT_GE(p.slept, 1.5);
    EXPECT_LE(p.slept, 2.55);
    expectDisplayCleared();
    EXPECT_TRUE(p.deleted.empty());  // no reset path
    EXPECT_FALSE(w.cmdWipe.Enabled);
}

TEST_F(RunEndTest, CloseRequestsWhileEndingDoNotStartASecondExit) {
    // The user closes the window while the closing text is shown, and the ending closes it too.
    d.at(1, [](frmQuellix& win) {
        std::int16_t cancel = 0;
        win.Form_QueryUnload(cancel, 0);
    });
    w.ExitRequested = true;
    EXPECT_THROW(w.RunEnd(), ProgramEnded);
    EXPECT_EQ(d.endings, 1);
    EXPECT_EQ(d.doEvents, 1);
    EXPECT_LE(p.slept, 2.55);
}

}  // namespace
