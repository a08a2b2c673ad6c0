// The error log's file, line format and the resume-next convention, on the fake platform.
#include <gtest/gtest.h>

#include "log/ErrorLog.h"
#include "runtime/Numeric.h"
#include "tests/support/FakePlatform.h"

namespace {

TEST(ErrorLog, FirstErrorCreatesTheFileWithOneLine) {
    FakePlatform p;
    ErrorLog(p, "fQL Progbar", 6, "Overflow");
    EXPECT_EQ(p.errLog(),
              "Quellix error #6 (Overflow) occurred in fQL Progbar at 3/14/2001 2:05:09 PM\r\n");
}

TEST(ErrorLog, LinesAreAppendedInCallOrderAcrossProgramRuns) {
    FakePlatform p;
    ErrorLog(p, "fQL Load", 53, "File not found");
    ErrorLog(p, "fQL Wipe", 11, "Division by zero");
    // A later run of the program finds the file as the first one left it.
    FakePlatform later;
    later.hostFiles = p.hostFiles;
    ErrorLog(later, "fQL Cleanup", 70, "Permission denied");
    const auto lines = later.errLogLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("#53 (File not found) occurred in fQL Load"), std::string::npos);
    EXPECT_NE(lines[1].find("#11 (Division by zero) occurred in fQL Wipe"), std::string::npos);
    EXPECT_NE(lines[2].find("#70 (Permission denied) occurred in fQL Cleanup"), std::string::npos);
}

TEST(ErrorLog, EmptyDescriptionAndNegativeNumberAreWrittenAsGiven) {
    FakePlatform p;
    ErrorLog(p, "fQL Wipe", 7, "");
    ErrorLog(p, "fQL Wipe", -5, "x");
    const auto lines = p.errLogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(0, 37), "Quellix error #7 () occurred in fQL W");
    EXPECT_EQ(lines[1].substr(0, 20), "Quellix error #-5 (x");
}

TEST(ErrorLog, RootProgramDirectoryGivesTwoSlashes) {
    FakePlatform p;
    p.programDir = "/";
    EXPECT_EQ(ErrorLogPath(p), "//ErrLog.txt");
    ErrorLog(p, "fQL Wipe", 6, "Overflow");
    EXPECT_EQ(p.hostFiles.count("//ErrLog.txt"), 1u);
}

TEST(ErrorLog, UnwritableLogLosesOnlyItsLineAndTellsOfItOnce) {
    FakePlatform p;
    TakeLostLogLines();
    p.readOnlyHostDirs.insert(p.programDir);
    EXPECT_NO_THROW(ErrorLog(p, "fQL Wipe", 6, "Overflow"));
    EXPECT_NO_THROW(ErrorLog(p, "fQL Wipe", 7, "Out of memory"));
    EXPECT_EQ(p.errLog(), "");
    EXPECT_EQ(p.openTextCount(), 0);
    EXPECT_EQ(TakeLostLogLines(),
              "the error log could not be written to /opt/quellix/ErrLog.txt: Permission denied (2 "
              "lines lost)");
    EXPECT_EQ(TakeLostLogLines(), std::nullopt);
}

TEST(ErrorHandler, LogsAFailedStatementAndGoesOnLeavingItsTargetUnchanged) {
    FakePlatform p;
    ErrorHandler on(p, "fQL Progbar");
    int target = 7;
    int after = 0;
    EXPECT_FALSE(on([&] { target = CInt(40000.0); }));
    EXPECT_TRUE(on([&] { after = 1; }));
    EXPECT_EQ(target, 7);
    EXPECT_EQ(after, 1);
    const auto lines = p.errLogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("#6 (Overflow) occurred in fQL Progbar"), std::string::npos);
}

TEST(ErrorHandler, HookTakesOverAnErrorWithoutLogging) {
    FakePlatform p;
    bool diskFull = false;
    ErrorHandler on(p, "fQL Fill Cycles", [&](const RuntimeError& e) {
        if (e.number() != Err::DiskFull) return false;
        diskFull = true;
        return true;
    });
    on([] { Raise(Err::DiskFull); });
    EXPECT_TRUE(diskFull);
    EXPECT_EQ(p.errLog(), "");
    on([] { Raise(Err::Overflow); });
    EXPECT_EQ(p.errLogLines().size(), 1u);
}

TEST(ErrorHandler, DoesNotCatchTheEndOfTheProgram) {
    FakePlatform p;
    ErrorHandler on(p, "fQL Wipe");
    struct Ending {};
    EXPECT_THROW(on([] { throw Ending{}; }), Ending);
}

}  // namespace
