// One wipe run with the Linux platform on a small ext4 file system of the test's own: every
// pass fills it to within two blocks, and the run gives all of its free space back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/linux/LinuxPlatform.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/LoopImage.h"
#include "ui/frmQuellix.h"

namespace {

constexpr std::uint64_t kFsBlock = 4096;

TEST(WipeRunLinux, EveryPassFillsExt4ToTwoBlocksAndTheRunGivesTheSpaceBack) {
    if (const std::string reason = LoopImage::skipReason(); !reason.empty()) GTEST_SKIP() << reason;
    LoopImage image(LoopImage::Options{"ext4", 64, 512});
    ASSERT_TRUE(image.ok()) << image.error();
    ASSERT_TRUE(image.verified());

    // Only the test's own file system is offered, as drive C:.
    LinuxPlatform::Options options;
    options.drives = image.mountPoint();
    options.programDirectory = image.workDir();
    LinuxPlatform platform(options);
    FakeDesktop desktop;
    frmQuellix w(platform, desktop);
    desktop.attach(w);
    const std::vector<std::string> drives = platform.driveList();
    ASSERT_EQ(drives, std::vector<std::string>{"C: " + image.mountPoint()});
    ASSERT_EQ(platform.driveType("C:\\"), DRIVE_FIXED);

    w.SwapFileName = "pagefile.sys";
    w.SwapFileCheckPending = true;
    w.CaptionMode = 1;
    w.optRandom_Click(1);
    w.DriveCount = 1;
    w.chkDrive[0].Tag = "C:\\";
    w.chkDrive[0].Caption = drives[0];
    w.chkDrive[0].Value = 1;
    // The run builds its fill sets from the shipped quotes file in the program's directory.
    std::filesystem::copy_file(std::string(QUELLIX_SOURCE_DIR) + "/resources/QuellixQuotes.sav",
                               image.workDir() + "/QuellixQuotes.sav");

    std::uint64_t before = 0;
    ASSERT_TRUE(platform.diskFreeSpaceEx("C:\\", before));

    // What the probe reports once stage E is done (the counter is 0, the tail file still there).
    std::vector<std::uint64_t> leftAfterPass;
    bool inPass = false;
    desktop.everyYield([&](frmQuellix& win) {
        const bool done = win.FreeSpaceK == 0 && (platform.fileExists("C:\\random01.qlk") ||
                                                  platform.fileExists("C:\\quote01.qlk"));
        if (done && !inPass) {
            std::uint64_t left = 0;
            EXPECT_TRUE(platform.diskFreeSpaceEx("C:\\", left));
            leftAfterPass.push_back(left);
        }
        inPass = done;
    });
    ASSERT_TRUE(image.verified());
    w.cmdWipe_Click();

    std::uint64_t after = 0;
    ASSERT_TRUE(platform.diskFreeSpaceEx("C:\\", after));
    ASSERT_EQ(leftAfterPass.size(), 3u);
    for (std::uint64_t left : leftAfterPass)
        EXPECT_LE(left, 2 * kFsBlock);
    EXPECT_EQ(after, before);
    // The window's closing message says what was read back, and nothing else is shown.
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].style, vbOKOnly + vbInformation);
    EXPECT_EQ(desktop.boxes[0].text.rfind("C: " + image.mountPoint() + ": verified ", 0), 0u)
        << desktop.boxes[0].text;
    // The counted fill stayed below the disk's limit: no write found the disk full.
    for (const PassAccount& pass : w.Account.drives.at(0).passes)
        EXPECT_EQ(pass.noRoom, "") << "a write found the disk full";
    EXPECT_FALSE(platform.fileExists("C:\\random01.qlk"));
    EXPECT_FALSE(platform.fileExists("C:\\quote01.qlk"));
    EXPECT_FALSE(platform.fileExists(image.workDir() + "/ErrLog.txt"));
    RecordProperty("free_before", std::to_string(before));
    RecordProperty("free_after", std::to_string(after));
    for (std::size_t i = 0; i < leftAfterPass.size(); ++i) {
        RecordProperty("free_after_pass_" + std::to_string(i + 1),
                       std::to_string(leftAfterPass[i]));
    }
}

}  // namespace
