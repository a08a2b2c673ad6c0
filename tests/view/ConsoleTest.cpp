// The window on a terminal: printed message boxes, questions with and without a terminal, and
// status and progress lines.
#include <gtest/gtest.h>

#include <sstream>

#include "ui/qt/Console.h"
#include "wipe/WipePlan.h"

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
    std::ostringstream out;
    std::istringstream in;
    Console console(out, in, false);
    double now = 9.0;
    console.setClock([&] { return now; });
    const auto at = [&](double t, DriveProgress d) {
        now = t;
        return d;
    };

    console.preparing(0);  // nothing shown yet, nothing to say
    now = 10.0;
    console.statusText("", "Preparing large-block random and quotes sets");
    now = 10.1;
    console.statusText("", "Preparing large-block random and quotes sets");  // nothing new
    console.runStarted(WipePlan{});
    console.driveStarted(at(10.2, {"C:\\", 44058, 0.01, 0.0015}));
    console.statusText("", "Filling free-space with random characters ( pass  1 of  2 )");
    console.passStarted(at(10.2, {"C:\\", 10000, 0.01, 0.0015}));  // 0 %: no change yet
    console.progress(at(10.3, {"C:\\", 9500, 0.01, 0.0015}));
    console.progress(at(10.7, {"C:\\", 9100, 0.01, 0.0015}));  // too soon after the last line
    console.progress(at(11.3, {"C:\\", 8600, 0.01, 0.0015}));
    console.progress(at(13.0, {"C:\\", 8600, 0.01, 0.0015}));  // no change, no line
    EXPECT_EQ(out.str(),
              "Preparing large-block random and quotes sets\n"
              "Drive C:, fill size 42 MBytes\n"
              "Filling free-space with random characters ( pass  1 of  2 )\n"
              "Current cycle 5%, all cycles 1%\n"
              "Current cycle 14%, all cycles 2%\n");
}

TEST(Console, DrivesFillingAtOnceNameTheirLines) {
    std::ostringstream out;
    std::istringstream in;
    Console console(out, in, false);
    console.setClock([] { return 100.0; });
    WipePlan plan;
    plan.drives = {"C:\\", "D:\\"};
    plan.parallel = true;
    console.runStarted(plan);
    console.statusText("C:\\", "Filling free-space with selected quotes.");
    console.statusText("D:\\", "Filling free-space with selected quotes.");
    console.passStarted({"D:\\", 1000, 0.1, 0.05});
    console.progress({"D:\\", 500, 0.1, 0.05});
    EXPECT_EQ(out.str(),
              "C: Filling free-space with selected quotes.\n"
              "D: Filling free-space with selected quotes.\n"
              "D: Current cycle 50%, all cycles 25%\n");
}

}  // namespace
