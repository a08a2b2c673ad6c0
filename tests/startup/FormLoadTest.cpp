// The start-up sequence: host check, defaults, drive discovery and the silent cleanup.
#include <string>

#include "tests/startup/StartupTest.h"

namespace {

using FormLoad = StartupTest;

TEST_F(FormLoad, AnEmptyCommandLineLeavesEveryDefault) {
    addDrives(2);
    // Values that start-up must put right.
    w.chkExitWhenDone.Value = 1;
    w.chkToolTip.Value = 1;
    w.lblCurrentDrive.Caption = "X:";
    w.lblFillSize.Caption = "12";
    w.progbarCurrent.Value = 40;
    w.progbarTotal.Value = 60;
    w.StopRequested = w.RunInProgress = true;
    w.DoneBeforePassK = 99;

    EXPECT_EQ(load(), std::nullopt);

    EXPECT_EQ(checkedDrives(), "");
    for (const Control& o : w.optRandom)
        EXPECT_EQ(o.Value, o.Index == 1 ? 1 : 0);
    EXPECT_EQ(w.lblRandomPasses.Caption, " 2");
    EXPECT_EQ(w.chkExitWhenDone.Value, 0);
    EXPECT_EQ(w.chkToolTip.Value, 0);
    EXPECT_EQ(w.chkNewRndTxt.Value, 0);
    EXPECT_EQ(w.lblCurrentStatus.Caption, "Ready to clean free-space in the drives checked above.");
    EXPECT_EQ(w.lblCurrentDrive.Caption, "");
    EXPECT_EQ(w.lblFillSize.Caption, "");
    EXPECT_EQ(w.progbarCurrent.Value, 0);
    EXPECT_EQ(w.progbarTotal.Value, 0);
    EXPECT_EQ(w.imgDisk.Picture, 101);
    EXPECT_EQ(w.imgBroom.Picture, 102);
    EXPECT_EQ(w.CaptionMode, 1);
    EXPECT_FALSE(w.StopRequested);
    EXPECT_FALSE(w.RunInProgress);
    EXPECT_TRUE(w.SwapFileCheckPending);
    EXPECT_EQ(w.DoneBeforePassK, 0);
    EXPECT_EQ(w.DriveCount, 2);
    EXPECT_TRUE(w.Me.Visible);
    // The defaults were drawn once before the drives were looked at.
    EXPECT_GE(desktop.doEvents, 1);
    EXPECT_TRUE(desktop.boxes.empty());
    EXPECT_TRUE(platform.errLog().empty());
}

TEST_F(FormLoad, TheNtFamilyLooksForPagefileAndNeverReadsTheRegistry) {
    addDrives(1);
    platform.family = HostFamily::NtFamily;
    EXPECT_EQ(load(), std::nullopt);
    EXPECT_EQ(w.SwapFileName, "pagefile.sys");
    EXPECT_FALSE(w.IsFirstWin95Release);
    // The fake's registry is unreadable: a read would have been logged.
    EXPECT_TRUE(platform.errLog().empty());
}

TEST_F(FormLoad, OnWin9xOnlyTheFirstReleaseVersionTextCounts) {
    struct Case {
        std::optional<std::string> version;
        bool firstRelease;
        bool logged;
    };
    const std::vector<Case> cases{
        {std::string("4.00.950\0", 9), true, false},
        {std::string("4.00.950"), true, false},
        {std::string("4.00.950   "), true, false},
        {std::string("4.00.1111\0", 10), false, false},
        {std::string("4.00.950a"), false, false},
        {std::string("4.00.9500"), false, false},
        {std::string(""), false, false},
        {std::nullopt, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version.value_or("(unreadable)"));
        FakePlatform p;
        FakeDesktop d;
        frmQuellix x(p, d);
        d.attach(x);
        p.addVolume("C:\\", 0);
        p.family = HostFamily::Win9x;
        p.versionNumber = c.version;
        EXPECT_NO_THROW(x.Form_Load());
        EXPECT_EQ(x.SwapFileName, "Win386.swp");
        EXPECT_EQ(x.IsFirstWin95Release, c.firstRelease);
        EXPECT_EQ(p.errLog().find("occurred in fQL Load") != std::string::npos, c.logged);
        EXPECT_TRUE(x.Me.Visible);
    }
}

TEST_F(FormLoad, AnUnsupportedHostEndsTheProgramBeforeAnyDefault) {
    struct Case {
        HostFamily family;
        std::string message;
    };
    const std::vector<Case> cases{
        {HostFamily::Win32s,
         "I'm sorry but this program does not run under Windows 3.11.\r\n"
         "It only runs under Windows 95/98 or Windows NT.\r\n"
         "Now exiting Quellix."},
        {HostFamily::Other,
         "I'm sorry but this program does not run under the currently installed\r\n"
         "operating system.  If the OS is Windows 2000 and you are a registered\r\n"
         "user of Quellix, please contact Brenlow for a free upgrade.  See \r\n"
         "the readme.txt file which is in the same directory as Quellix.  Now Exiting Quellix."},
    };
    for (const Case& c : cases) {
        FakePlatform p;
        FakeDesktop d;
        frmQuellix x(p, d);
        d.attach(x);
        p.addVolume("C:\\", 0);
        p.family = c.family;
        p.argumentLine = "C: RUN";
        std::optional<int> ended;
        try {
            x.Form_Load();
        } catch (const ProgramEnded& e) {
            ended = e.status;
        }
        EXPECT_EQ(ended, ExitSystemPrevented);
        ASSERT_EQ(d.boxes.size(), 1u);
        EXPECT_EQ(d.boxes[0].text, c.message);
        EXPECT_EQ(d.boxes[0].style, vbOKOnly);
        EXPECT_EQ(d.boxes[0].title, "Quellix");
        // No default was applied (the exit path may write its own status text).
        EXPECT_EQ(x.lblRandomPasses.Caption, "");
        EXPECT_EQ(x.imgDisk.Picture, 0);
        EXPECT_EQ(x.DriveCount, 0);
        EXPECT_FALSE(x.Me.Visible);
    }
}

TEST_F(FormLoad, TooManyOrNoDrivesEndStartUpBeforeTheCommandLine) {
    platform.argumentLine = "ALL RUN";
    EXPECT_EQ(load(), ExitSystemPrevented);
    EXPECT_EQ(messages(), std::vector<std::string>{"I'm sorry but Quellix did not detect any "
                                                   "logical drives.  Now Exiting Quellix."});
    EXPECT_FALSE(w.Me.Visible);
    EXPECT_TRUE(w.SwapFileCheckPending);
}

// Whether Cleanup is the real one: the stand-in deletes nothing.
bool cleanupIsBuilt() {
    FakePlatform p;
    FakeDesktop d;
    frmQuellix x(p, d);
    d.attach(x);
    p.addVolume("C:\\", 0).files["random00.qlk"] = 1;
    x.Cleanup("C:\\", false);
    return p.volume("C:\\").files.empty();
}

TEST_F(FormLoad, LeftoverFillFilesGoSilentlyFromSelectableDrivesOnly) {
    if (!cleanupIsBuilt()) {
        GTEST_SKIP() << "Cleanup is still a stand-in on this branch; the start-up cleanup "
                        "cannot be observed";
    }
    auto& c = platform.addVolume("C:\\", 1000, DRIVE_FIXED, "C: /");
    c.files = {{"random01.qlk", 500}, {"quote01.qlk", 300}, {"notes.txt", 10}};
    auto& e = platform.addVolume("E:\\", 0, DRIVE_REMOVABLE, "E: /media/stick");
    e.files = {{"random00.qlk", 70}, {"quote00.qlk", 70}};

    EXPECT_EQ(load(), std::nullopt);

    EXPECT_EQ(platform.volume("C:\\").files,
              (std::map<std::string, std::int64_t>{{"notes.txt", 10}}));
    EXPECT_EQ(platform.volume("C:\\").freeBytes, 1800u);
    EXPECT_EQ(platform.volume("E:\\").files.size(), 2u);
    EXPECT_TRUE(desktop.boxes.empty());
    EXPECT_EQ(w.lblCurrentStatus.Caption, "Ready to clean free-space in the drives checked above.");
    EXPECT_TRUE(platform.errLog().empty());
}

}  // namespace
