// Four drives filled at once (--parallel), each a file system of its own on a loop device of its
// own: every drive complete, its deleted data gone, nothing left behind; and a parallel run killed
// while the drives fill leaves nothing once the next start's cleanup has run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/LoopImage.h"
#include "tests/support/ProgramCopy.h"
#include "ui/Desktop.h"

namespace fs = std::filesystem;

namespace {

const std::string kMarker = "QUELLIX-E2E-PARALLEL-DELETED-MARKER-7d2a";
constexpr int kMarkerBlocks = 64;

class Parallel : public testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = LoopImage::skipReason(); !why.empty()) GTEST_SKIP() << why;
        for (int i = 0; i < 4; ++i) {
            images.push_back(std::make_unique<LoopImage>(LoopImage::Options{"ext4", 48, 512}));
            ASSERT_TRUE(images.back()->ok() && images.back()->verified()) << images.back()->error();
            before.push_back(images.back()->freeBlocks());
        }
    }
    // The test's own mounts, checked anew, and nothing else.
    std::string drives() const {
        std::string list;
        for (const auto& image : images) {
            EXPECT_TRUE(image->verified());
            list += (list.empty() ? "" : ":") + image->mountPoint();
        }
        return list;
    }
    void expectAsBefore() const {
        LoopImage::run("sync");
        for (std::size_t i = 0; i < images.size(); ++i) {
            EXPECT_EQ(images[i]->fillFiles(), std::vector<std::string>{}) << i;
            EXPECT_EQ(images[i]->freeBlocks(), before[i]) << i;
        }
    }

    std::vector<std::unique_ptr<LoopImage>> images;
    std::vector<std::uint64_t> before;
};

TEST_F(Parallel, FourDrivesFillAtOnceAndEachIsComplete) {
    for (const auto& image : images)
        ASSERT_TRUE(image->writeAndDeleteMarkerFile(kMarker, kMarkerBlocks));
    ProgramCopy program(images[0]->workDir());
    const ProgramResult r = program.run("ALL RAND=1 RUN --parallel", drives());
    EXPECT_EQ(r.status, ExitFinished) << r.output;
    // The lines of drives filling at once name their drive.
    for (const char* line : {"C: Filling free-space with selected quotes.",
                             "F: Filling free-space with random characters ( pass  1 of  1 )"}) {
        EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;
    }
    const auto lines = program.reportLines();
    ASSERT_FALSE(lines.empty());
    const nlohmann::json report = nlohmann::json::parse(lines.back());
    ASSERT_EQ(report["drives"].size(), 4u) << report;
    for (const nlohmann::json& drive : report["drives"]) {
        EXPECT_EQ(drive["outcome"], "complete") << drive;
        EXPECT_EQ(drive["passes"].size(), 2u) << drive;
    }
    expectAsBefore();
    for (const auto& image : images) {
        image->unmount();
        EXPECT_EQ(image->markerBlocks(kMarker), 0u) << image->imagePath();
    }
}

TEST_F(Parallel, AKillWhileDrivesFillAtOnceLeavesNothingAfterTheNextStart) {
    ProgramCopy program(images[0]->workDir());
    program.start("ALL RAND=1 RUN --parallel", drives());
    // Killed once tail files are there on two drives at the same time.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int filling = 0;
    while (filling < 2 && std::chrono::steady_clock::now() < deadline) {
        filling = 0;
        for (const auto& image : images)
            filling += image->fillFiles().empty() ? 0 : 1;
    }
    EXPECT_GE(filling, 2) << program.output();
    program.signal(SIGKILL);
    const ProgramResult killed = program.finish(60);
    EXPECT_TRUE(killed.status == 128 + SIGKILL || killed.status == ExitFinished) << killed.output;

    // The next start (no options: only its start-up cleanup) removes what the kill left.
    const ProgramResult next = program.run("", drives());
    EXPECT_EQ(next.status, ExitFinished) << next.output;
    expectAsBefore();
}

TEST_F(Parallel, ASignalEndsEveryDriveFillingAtOnceAndLeavesNothing) {
    ProgramCopy program(images[0]->workDir());
    program.start("ALL RAND=1 RUN --parallel", drives());
    ASSERT_TRUE(program.waitForOutput("Filling free-space")) << program.output();
    program.signal(SIGTERM);
    const ProgramResult r = program.finish(60);
    EXPECT_EQ(r.status, ExitStopped) << r.output;
    expectAsBefore();
    const auto lines = program.reportLines();
    ASSERT_FALSE(lines.empty());
    const nlohmann::json report = nlohmann::json::parse(lines.back());
    for (const nlohmann::json& drive : report["drives"])
        EXPECT_NE(drive["outcome"], "complete") << drive;
}

}  // namespace
