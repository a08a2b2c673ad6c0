// Tool-tip help and the Help button on the fakes.
#include <gtest/gtest.h>

#include <map>

#include "tests/support/FakeDesktop.h"
#include "tests/support/FakePlatform.h"
#include "ui/frmQuellix.h"

namespace {

class Help : public ::testing::Test {
protected:
    Help() { desktop.attach(w); }

    // Drive boxes as drive discovery leaves them.
    void drives(int count) {
        w.chkDrive.resize(static_cast<std::size_t>(count), w.chkDrive[0]);
        for (int i = 0; i < count; ++i)
            w.chkDrive[static_cast<std::size_t>(i)].Index = i;
        w.DriveCount = count;
    }

    void toggle(int value) {
        w.chkToolTip.Value = value;
        w.chkToolTip_Click();
    }

    std::map<std::string, std::string> tips() {
        std::map<std::string, std::string> all;
        for (const Control* c : w.AllControls()) {
            all[c->Index >= 0 ? c->Name + std::to_string(c->Index) : c->Name] = c->ToolTipText;
        }
        return all;
    }

    FakePlatform platform;
    FakeDesktop desktop;
    frmQuellix w{platform, desktop};
};

TEST_F(Help, SwitchedOnEveryControlOfTheTableGetsItsExactText) {
    drives(3);
    toggle(1);
    EXPECT_EQ(w.cmdWipe.ToolTipText, " Starts the Quellix free-space  cleaning cycle ");
    EXPECT_EQ(w.cmdStop.ToolTipText,
              " Ends the currently running Quellix cycle and performs cleanup ");
    EXPECT_EQ(w.cmdExit.ToolTipText,
              " Ends the currently running Quellix cycle, performs cleanup, and exits "
              "immediately ");
    const std::string passes =
        " Sets the number of times that Quellix will fill free-space with random characters "
        "(1 to 7) ";
    for (const Control& o : w.optRandom)
        EXPECT_EQ(o.ToolTipText, passes);
    EXPECT_EQ(w.lblRandomPasses.ToolTipText, passes);
    EXPECT_EQ(w.lblRandom.ToolTipText, passes);
    EXPECT_EQ(w.chkExitWhenDone.ToolTipText,
              " Selects whether or not Quellix will exit upon completion ");
    EXPECT_EQ(w.lblExitWhenDone.ToolTipText, w.chkExitWhenDone.ToolTipText);
    EXPECT_EQ(w.chkNewRndTxt.ToolTipText,
              " Selects whether or not Quellix will create new random text before starting "
              "wipes ");
    EXPECT_EQ(w.lblNewRndTxt.ToolTipText, w.chkNewRndTxt.ToolTipText);
    EXPECT_EQ(w.chkToolTip.ToolTipText,
              " Selects whether or not help information is displayed at the mouse pointer ");
    EXPECT_EQ(w.lblToolTip.ToolTipText, w.chkToolTip.ToolTipText);
    EXPECT_EQ(w.lblTitleCurrentDrive.ToolTipText,
              " Displays the drive whose free-space is being cleaned");
    EXPECT_EQ(w.lblCurrentDrive.ToolTipText, w.lblTitleCurrentDrive.ToolTipText);
    EXPECT_EQ(w.lblFillSize.ToolTipText,
              " Displays the initial free-space in megabytes of the current drive");
    EXPECT_EQ(w.lblTitleFillSize.ToolTipText, w.lblFillSize.ToolTipText);
    EXPECT_EQ(w.lblCurrentStatus.ToolTipText,
              " Displays a description of the current Quellix activity");
    EXPECT_EQ(w.lblTitleCurrentStatus.ToolTipText, w.lblCurrentStatus.ToolTipText);
    EXPECT_EQ(w.progbarCurrent.ToolTipText,
              " Graphically displays the progress of the current Quellix activity ");
    EXPECT_EQ(w.lblTitleCurrentProgress.ToolTipText, w.progbarCurrent.ToolTipText);
    EXPECT_EQ(w.progbarTotal.ToolTipText,
              " Graphically displays the total progress of all programmed Quellix activities");
    EXPECT_EQ(w.lblTitleTotal.ToolTipText, w.progbarTotal.ToolTipText);

    // The first drive box has none; the others say what the boxes are for.
    EXPECT_EQ(w.chkDrive[0].ToolTipText, "");
    EXPECT_EQ(w.chkDrive[1].ToolTipText,
              " Selects the drives to be included in the next Quellix run ");
    EXPECT_EQ(w.chkDrive[2].ToolTipText, w.chkDrive[1].ToolTipText);
    // Controls outside the table never have one.
    for (const Control* c : {&w.cmdHelp, &w.cmdMinimize, &w.lblTitleMBytes, &w.imgDisk, &w.imgBroom,
                             &w.lblBits1, &w.lblBits2, &w.lblBits3, &w.frameRed, &w.frameGreen,
                             &w.frameYellow, &w.lineTop, &w.Line2, &w.Line3}) {
        EXPECT_EQ(c->ToolTipText, "") << c->Name;
    }
    EXPECT_EQ(platform.errLog(), "");
}

TEST_F(Help, OffClearsEveryTipAndOnAgainGivesTheSameTexts) {
    drives(4);
    toggle(1);
    const auto first = tips();
    toggle(0);
    for (const auto& [name, tip] : tips())
        EXPECT_EQ(tip, "") << name;
    toggle(1);
    EXPECT_EQ(tips(), first);
    // Any checked value other than 0 counts as on.
    toggle(0);
    toggle(-1);
    EXPECT_EQ(tips(), first);
}

TEST_F(Help, WithASingleDriveNoDriveBoxHasATip) {
    drives(1);
    toggle(1);
    EXPECT_EQ(w.chkDrive[0].ToolTipText, "");
    EXPECT_NE(w.cmdWipe.ToolTipText, "");
}

TEST_F(Help, AMissingDriveBoxIsLoggedAndTheOtherControlsStillGetTheirTips) {
    drives(2);
    w.DriveCount = 3;
    toggle(1);
    EXPECT_EQ(w.chkDrive[1].ToolTipText,
              " Selects the drives to be included in the next Quellix run ");
    EXPECT_NE(w.cmdExit.ToolTipText, "");
    const auto lines = platform.errLogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("#9 (Subscript out of range) occurred in fQL Wipe"), std::string::npos);
}

TEST_F(Help, HelpButtonOpensTheDocumentBesideTheProgram) {
    w.cmdHelp_Click();
    ASSERT_EQ(desktop.helpFiles.size(), 1u);
    EXPECT_EQ(desktop.helpFiles[0], "/opt/quellix/Quellix.html");

    // A program directory given as the root keeps its separator: two slashes, as the error log.
    platform.programDir = "/";
    w.cmdHelp_Click();
    EXPECT_EQ(desktop.helpFiles.back(), "//Quellix.html");
}

TEST_F(Help, AViewerThatCannotOpenLeavesTheProgramAsItWas) {
    desktop.helpOpens = false;
    EXPECT_NO_THROW(w.cmdHelp_Click());
    EXPECT_EQ(desktop.endings, 0);
    EXPECT_TRUE(desktop.boxes.empty());
    EXPECT_EQ(platform.errLog(), "");
}

}  // namespace
