// The read-back as the window runs it: the options reach the engine, the coverage pictures are
// written where --map says (or why not is said), and a run with --verify=off reads nothing back
// and says nothing of it.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/WindowFixture.h"

namespace {

class VerifyRun : public WindowFixture {};

TEST_F(VerifyRun, TheMapOptionWritesAPictureOfEachDriveOrSaysWhyNot) {
    addDrive("C:\\", 10000000);
    addDrive("D:\\", 10000000).keepsMap = false;  // a file system that keeps no map
    fillBlocks();
    w.Options.mapDir = "/maps";
    w.chkExitWhenDone.Value = 0;
    w.cmdWipe_Click();

    EXPECT_EQ(w.ExitCode, ExitFinished);
    EXPECT_EQ(p.hostFiles["/maps/quellix-C.png"], "PNG C: quotes pass");
    EXPECT_NE(std::find(d.printed.begin(), d.printed.end(),
                        "Coverage picture of C: /fake/C: /maps/quellix-C.png"),
              d.printed.end());
    EXPECT_EQ(p.hostFiles.count("/maps/quellix-D.png"), 0u);
    const std::string noMap =
        "no coverage picture of D: /fake/D: the file system does not tell where its free space "
        "lies";
    EXPECT_EQ(d.errors, std::vector<std::string>{noMap});
    // The window's closing message says it too, with what was read back of each drive.
    ASSERT_EQ(d.boxes.size(), 1u);
    EXPECT_EQ(d.boxes[0].text,
              noMap + "\r\nC: /fake/C: verified 10 MB\r\nD: /fake/D: verified 10 MB");

    // A directory the picture cannot be written to: said, and the status stays the wipe's.
    p.readOnlyHostDirs.insert("/maps");
    d.errors.clear();
    w.cmdWipe_Click();
    EXPECT_EQ(w.ExitCode, ExitFinished);
    ASSERT_FALSE(d.errors.empty());
    EXPECT_EQ(d.errors[0],
              "the coverage picture of C: /fake/C could not be written to /maps/quellix-C.png: "
              "Permission denied");
}

TEST_F(VerifyRun, OffReadsNothingBackAndSaysNothingOfIt) {
    FakePlatform::Volume& c = addDrive("C:\\", 10000000);
    fillBlocks();
    w.Options.verify = VerifyMode::Off;
    w.chkExitWhenDone.Value = 0;
    w.cmdWipe_Click();

    EXPECT_EQ(w.ExitCode, ExitFinished);
    EXPECT_EQ(c.reads, 0);
    EXPECT_TRUE(d.boxes.empty());
    EXPECT_EQ(d.printed.at(0), "C: /fake/C: 3 passes, 10 MB per pass, complete");
}

}  // namespace
