// A whole run, from the Wipe button to RunEnd, through the Linux platform on a loop-mounted ext4
// image of the test's own: deleted data in the free space must be gone afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "platform/linux/LinuxPlatform.h"
#include "resources/StringTable.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/LoopImage.h"
#include "ui/frmQuellix.h"

namespace {

namespace fs = std::filesystem;

const std::string kMarker = "QUELLIX-DELETED-DATA-MARKER-5c1e";

// The clusters ext4 keeps back for its own metadata; no data write can use them.
std::uint64_t ext4ReservedClusters(const LoopImage& image) {
    std::ifstream in("/sys/fs/ext4/" + fs::path(image.device()).filename().string() +
                     "/reserved_clusters");
    std::uint64_t clusters = 0;
    in >> clusters;
    return clusters;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> rootFiles(const LoopImage& image) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(image.mountPoint())) {
        const std::string name = entry.path().filename().string();
        if (name != "lost+found") names.push_back(name);
    }
    return names;
}

TEST(RunEndToEnd, DefaultRunOverwritesTheDeletedDataAndGivesTheSpaceBack) {
    if (const std::string why = LoopImage::skipReason(); !why.empty()) GTEST_SKIP() << why;
    LoopImage image(LoopImage::Options{});
    ASSERT_TRUE(image.ok()) << image.error();
    ASSERT_TRUE(image.verified());

    image.fillWithMarker(kMarker);
    const std::uint64_t markedBefore = image.markerBlocks(kMarker);
    ASSERT_GT(markedBefore, 10000u) << "the marker did not fill the free space";
    const std::uint64_t reserve = ext4ReservedClusters(image);

    // The program's directory is the test's own, beside the image: the random text file and any
    // error log land there.
    const std::string program = image.workDir() + "/program";
    fs::create_directory(program);
    fs::copy_file(std::string(QUELLIX_SOURCE_DIR) + "/resources/QuellixQuotes.sav",
                  program + "/QuellixQuotes.sav");
    LinuxPlatform::Options options;
    options.drives = image.mountPoint();
    options.programDirectory = program;
    LinuxPlatform platform(options);

    FakeDesktop desktop;
    frmQuellix w(platform, desktop);
    desktop.attach(w);
    // The window as start-up leaves it: two random passes, drive C: checked.
    w.SwapFileName = "pagefile.sys";
    w.SwapFileCheckPending = true;
    w.CaptionMode = 1;
    w.optRandom_Click(1);
    const auto drives = platform.driveList();
    ASSERT_EQ(drives.size(), 1u);
    w.DriveCount = 1;
    w.chkDrive[0].Caption = drives[0];
    w.chkDrive[0].Tag = "C:\\";
    w.chkDrive[0].Enabled = platform.driveType("C:\\") == DRIVE_FIXED;
    w.chkDrive[0].Visible = true;
    w.chkDrive[0].Value = 1;
    ASSERT_TRUE(w.chkDrive[0].Enabled);

    std::uint64_t freeBefore = 0;
    ASSERT_TRUE(platform.diskFreeSpaceEx("C:\\", freeBefore));
    ASSERT_TRUE(image.verified());
    w.cmdWipe_Click();

    // The window's closing message says what was read back, and nothing else is shown.
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].style, vbOKOnly + vbInformation);
    EXPECT_EQ(desktop.boxes[0].text.rfind("C: " + image.mountPoint() + ": verified ", 0), 0u)
        << desktop.boxes[0].text;
    EXPECT_FALSE(w.StopRequested);
    EXPECT_EQ(w.ExitCode, ExitFinished);
    EXPECT_EQ(w.lblCurrentStatus.Caption, LoadResString(101));
    EXPECT_EQ(fs::file_size(program + "/QuellixRandom.sav"), 220542u);
    EXPECT_FALSE(fs::exists(program + "/ErrLog.txt"));
    EXPECT_TRUE(rootFiles(image).empty());
    std::uint64_t freeAfter = 0;
    ASSERT_TRUE(platform.diskFreeSpaceEx("C:\\", freeAfter));
    EXPECT_EQ(freeAfter, freeBefore);

    // The next run reads the random text file back through the same platform and reuses it.
    const std::string randomText = contents(program + "/QuellixRandom.sav");
    w.PrepBlocks();
    EXPECT_EQ(contents(program + "/QuellixRandom.sav"), randomText);
    EXPECT_EQ(w.Blocks.QuoteBlock16[3].size(), 16u);
    EXPECT_EQ(desktop.boxes.size(), 1u);

    image.unmount();
    const std::uint64_t markedAfter = image.markerBlocks(kMarker);
    std::cout << "marker blocks: " << markedBefore << " before, " << markedAfter
              << " after; ext4 internal reserve " << reserve << " clusters\n";
    EXPECT_LE(markedAfter, reserve);
}

}  // namespace
