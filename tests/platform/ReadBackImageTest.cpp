// A wipe on a real ext4 image, as root, whose first read-back meets old content written back to
// the device under a deleted fill file's blocks (what still fails after the repeat is counted on
// the fakes; what a real run reads back, and why btrfs is not, is in tests/e2e/VerifyTest.cpp).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "platform/linux/LinuxPlatform.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/LoopImage.h"

namespace {

// The real platform, but when a pass's read-back begins (it syncs the drive first) old content
// goes to the device under the pass's largest fill extent, as a stale copy of old blocks written
// back over the fill would, at the first read-back only.
class StaleWriteBack : public PlatformTarget {
public:
    StaleWriteBack(Platform& platform, std::string device)
        : PlatformTarget(platform), device_(std::move(device)) {}

    std::optional<std::vector<FileExtent>> fillExtents(FillHandle file) override {
        auto extents = PlatformTarget::fillExtents(file);
        for (const FileExtent& e : extents.value_or(std::vector<FileExtent>{})) {
            if (e.length > largest_.length) largest_ = {e.physical, e.length};
        }
        return extents;
    }
    void syncDrive(const std::string& root) override {
        PlatformTarget::syncDrive(root);
        if (injected > 0) return;
        ASSERT_GE(largest_.length, kStale + 1048576);
        const int fd = ::open(device_.c_str(), O_WRONLY | O_DIRECT | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        const Block old(kStale, 'O');
        EXPECT_EQ(
            ::pwrite(fd, old.data(), old.size(), static_cast<off_t>(largest_.offset) + 1048576),
            static_cast<ssize_t>(kStale));
        ::close(fd);
        ++injected;
        largest_ = {};
    }

    static constexpr std::size_t kStale = 2u << 20;
    int injected = 0;

private:
    std::string device_;
    Extent largest_;
};

TEST(ReadBackImage, OldContentUnderADeletedFillFileIsFoundAndThePassRunsOnceMore) {
    if (const std::string reason = LoopImage::skipReason(); !reason.empty()) GTEST_SKIP() << reason;
    LoopImage image(LoopImage::Options{"ext4", 128, 512});
    ASSERT_TRUE(image.ok()) << image.error();
    LinuxPlatform::Options options;
    options.drives = image.mountPoint();
    options.programDirectory = image.workDir();
    LinuxPlatform platform(options);
    ASSERT_EQ(platform.driveList().size(), 1u);

    WipePlan plan;
    plan.drives = {"C:\\"};
    plan.randomPasses = 1;
    plan.verify = VerifyMode::Last;
    StaleWriteBack target(platform, image.device());
    RecordingObserver observer;
    RunAccount account;
    Rnd random;
    FillSets sets;
    FillTestBlocks(sets);
    WipeRun run(plan, target, platform, observer, account, random);
    ASSERT_TRUE(image.verified());
    ASSERT_GT(run.survey(), 0);
    ASSERT_EQ(run.fill(sets), WipeRun::Result::Finished);
    AssessOutcomes(account);

    const DriveAccount& drive = account.drives.at(0);
    ASSERT_EQ(drive.passes.size(), 3u) << "the quotes pass runs once more";
    const PassAccount& found = drive.passes[1];
    const PassAccount& again = drive.passes[2];
    EXPECT_EQ(found.notOverwrittenBytes, static_cast<std::int64_t>(StaleWriteBack::kStale));
    EXPECT_TRUE(again.repeated);
    // Run once more, the pass overwrote them, and they read back as written.
    EXPECT_EQ(again.notOverwrittenBytes, 0);
    EXPECT_EQ(again.verifiedBytes, again.written);
    EXPECT_EQ(drive.outcome, DriveOutcome::Complete) << drive.reason;
}

}  // namespace
