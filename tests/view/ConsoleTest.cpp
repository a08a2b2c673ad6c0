// The window on a terminal: printed message boxes, questions with and without a terminal, and
// status and progress lines.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/FakeDesktop.h"
#include "tests/support/FakePlatform.h"
#include "ui/frmQuellix.h"
#include "ui/qt/Console.h"

namespace {

constexpr int kQuestion = vbYesNo | vbDefaultButton2;

TEST(Console, MessageIsPrintedWithItsLineBreaksAndABlankLine) {
    std::ostringstream out;
    std::istringstream in;
    Console console(out, in, false);
    EXPECT_EQ(console.messageBox("I'm sorry but Quellix did not detect any logical drives.  "
                                 "Now Exiting Quellix.",
                                 vbOKOnly),
              vbOK);
    EXPECT_EQ(console.messageBox("line one\r\n\r\n   line three", vbOKOnly), vbOK);
    EXPECT_EQ(out.str(),
              "I'm sorry but Quellix did not detect any logical drives.  Now Exiting Quellix.\n\n"
              "line one\n\n   line three\n\n");
}

TEST(Console, ErrorsGoToTheirOwnStreamNamedByTheProgram) {
    std::ostringstream out, err;
    std::istringstream in;
    Console console(out, in, false, &err);
    console.printError("unknown option '--x'\r\nTry quellix --help");
    console.print("status");
    EXPECT_EQ(err.str(), "quellix: unknown option '--x'\nTry quellix --help\n");
    EXPECT_EQ(out.str(), "status\n");
}

TEST(Console, WithoutATerminalAQuestionTakesItsDefaultButton) {
    std::ostringstream out;
    std::istringstream in("yes\n");
    Console console(out, in, false);
    EXPECT_EQ(console.messageBox("EXIT?", kQuestion), vbNo);
    EXPECT_EQ(console.messageBox("Go on?", vbYesNo), vbYes);
    EXPECT_EQ(out.str(), "EXIT?\n(No)\n\nGo on?\n(Yes)\n\n");
}

TEST(Console, OnATerminalAQuestionIsAskedUntilAnswered) {
    std::ostringstream out;
    std::istringstream in("maybe\n  Y \n\nno\n");
    Console console(out, in, true);
    EXPECT_EQ(console.messageBox("EXIT?", kQuestion), vbYes);
    EXPECT_EQ(out.str(), "EXIT?\nYes or No [No]: Yes or No [No]: \n");
    // An empty answer is the default button; so is the end of the input.
    EXPECT_EQ(console.messageBox("EXIT?", kQuestion), vbNo);
    EXPECT_EQ(console.messageBox("EXIT?", vbYesNo), vbNo);
    EXPECT_EQ(console.messageBox("EXIT?", kQuestion), vbNo);
    EXPECT_EQ(console.messageBox("EXIT?", vbYesNo), vbYes);
}

TEST(Console, StatusChangesAreLinesAndProgressAtMostOneLineASecond) {
    FakePlatform platform;
    FakeDesktop desktop;
    frmQuellix w(platform, desktop);
    std::ostringstream out;
    std::istringstream in;
    Console console(out, in, false);

    w.lblCurrentStatus.Caption = "Preparing large-block random and quotes sets";
    console.observe(w, 10.0);
    console.observe(w, 10.1);  // nothing new
    w.lblCurrentDrive.Caption = "C:";
    w.lblFillSize.Caption = "42";
    w.lblCurrentStatus.Caption = "Filling free-space with random characters ( pass  1 of  2 )";
    w.progbarCurrent.Value = 5;
    w.progbarTotal.Value = 1;
    console.observe(w, 10.2);
    w.progbarCurrent.Value = 9;
    console.observe(w, 10.7);  // too soon after the last progress line
    w.progbarCurrent.Value = 14;
    w.progbarTotal.Value = 2;
    console.observe(w, 11.3);
    console.observe(w, 13.0);  // no change, no line
    w.lblCurrentDrive.Caption = "";
    w.lblCurrentStatus.Caption = "";
    w.progbarCurrent.Value = 0;
    w.progbarTotal.Value = 0;
    console.observe(w, 14.5);  // the display cleared: no line for it
    EXPECT_EQ(out.str(),
              "Preparing large-block random and quotes sets\n"
              "Filling free-space with random characters ( pass  1 of  2 )\n"
              "Drive C:, fill size 42 MBytes\n"
              "Current cycle 5%, all cycles 1%\n"
              "Current cycle 14%, all cycles 2%\n");
}

}  // namespace
