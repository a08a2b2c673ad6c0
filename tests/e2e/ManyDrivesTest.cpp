// The most drives the program takes, in one unattended run: 24 file systems of their own, each
// holding the data of a deleted file, are all wiped (the data gone from every raw image) and
// left as they were; a 25th makes the start refuse before anything is written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/LoopImage.h"
#include "tests/support/ProgramCopy.h"
#include "ui/Desktop.h"

namespace fs = std::filesystem;

namespace {

const std::string kMarker = "QUELLIX-E2E-MANY-DRIVES-DELETED-MARKER-5c1e";
constexpr int kMarkerBlocks = 64;

class ManyDrives : public testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = LoopImage::skipReason(); !why.empty()) GTEST_SKIP() << why;
    }
};

TEST_F(ManyDrives, TwentyFourAreWipedInOneRunAndATwentyFifthIsRefused) {
    std::vector<std::unique_ptr<LoopImage>> images;
    std::vector<std::uint64_t> before;
    for (int i = 0; i < 25; ++i) {
        images.push_back(std::make_unique<LoopImage>(LoopImage::Options{"ext4", 16, 512}));
        LoopImage& image = *images.back();
        ASSERT_TRUE(image.ok() && image.verified()) << image.error();
        ASSERT_TRUE(image.writeAndDeleteMarkerFile(kMarker, kMarkerBlocks));
        // The deleted data is there to be found in the raw image.
        image.unmount();
        ASSERT_GE(image.markerBlocks(kMarker), static_cast<std::uint64_t>(kMarkerBlocks));
        ASSERT_TRUE(image.remount()) << image.error();
        before.push_back(image.freeBlocks());
    }
    const auto drives = [&](int count) {
        std::string list;
        for (int i = 0; i < count; ++i) {
            EXPECT_TRUE(images[static_cast<std::size_t>(i)]->verified());
            list += (list.empty() ? "" : ":") + images[static_cast<std::size_t>(i)]->mountPoint();
        }
        return list;
    };
    ProgramCopy program(images[0]->workDir());

    // 25: refused at the start, with nothing written anywhere.
    const ProgramResult refused = program.run("ALL RAND=1 RUN", drives(25));
    EXPECT_EQ(refused.status, ExitSystemPrevented) << refused.output;
    EXPECT_NE(refused.output.find("I'm sorry but there are in excess of 24 logical drives.  Now "
                                  "Exiting Quellix."),
              std::string::npos)
        << refused.output;
    for (std::size_t i = 0; i < 25; ++i) {
        EXPECT_EQ(images[i]->fillFiles(), std::vector<std::string>{}) << i;
        EXPECT_EQ(images[i]->freeBlocks(), before[i]) << i;
    }
    images.pop_back();

    // 24: every one complete, in one run.
    const ProgramResult r = program.run("ALL RAND=1 RUN", drives(24));
    EXPECT_EQ(r.status, ExitFinished) << r.output;
    const auto lines = program.reportLines();
    ASSERT_FALSE(lines.empty());
    const nlohmann::json report = nlohmann::json::parse(lines.back());
    ASSERT_EQ(report["drives"].size(), 24u) << report;
    EXPECT_EQ(report["drives"][23]["letter"], "Z:");
    for (const nlohmann::json& drive : report["drives"])
        EXPECT_EQ(drive["outcome"], "complete") << drive;

    LoopImage::run("sync");
    for (std::size_t i = 0; i < 24; ++i) {
        SCOPED_TRACE("drive " + std::to_string(i));
        LoopImage& image = *images[i];
        EXPECT_EQ(image.fillFiles(), std::vector<std::string>{});
        EXPECT_EQ(image.freeBlocks(), before[i]);
        image.unmount();
        EXPECT_EQ(image.markerBlocks(kMarker), 0u);
    }
}

}  // namespace
