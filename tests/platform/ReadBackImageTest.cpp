// Reading back on real ext4, xfs and btrfs images, as root: where a fill file lies and what the
// device holds there, who the file system says holds its blocks, and a wipe whose read-back
// meets old content written back to the device under a deleted fill file's blocks.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>

#include "platform/linux/LinuxPlatform.h"
#include "runtime/RuntimeError.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/LoopImage.h"
#include "wipe/Extents.h"

namespace {

struct Kind {
    const char* fsType;
    std::uint64_t sizeMiB;  // mkfs.xfs wants at least 300 MiB
};

std::string kindName(const testing::TestParamInfo<Kind>& kind) {
    return kind.param.fsType;
}

// A fresh image as drive C: of a platform of its own (its error log in the image's directory).
class ReadBackImage : public testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        if (const std::string reason = LoopImage::skipReason(); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
        if (LoopImage::run(std::string("command -v mkfs.") + GetParam().fsType + " >/dev/null") !=
            0) {
            GTEST_SKIP() << "mkfs." << GetParam().fsType << " is not installed";
        }
        image = std::make_unique<LoopImage>(
            LoopImage::Options{GetParam().fsType, GetParam().sizeMiB, 512});
        ASSERT_TRUE(image->ok()) << image->error();
        ASSERT_TRUE(image->verified());
        LinuxPlatform::Options options;
        options.drives = image->mountPoint();
        options.programDirectory = image->workDir();
        platform = std::make_unique<LinuxPlatform>(options);
        ASSERT_EQ(platform->driveList().size(), 1u);
    }

    std::unique_ptr<LoopImage> image;
    std::unique_ptr<LinuxPlatform> platform;
};

TEST_P(ReadBackImage, TheDeviceHoldsWhatTheFillWroteWhereTheFileSystemSaysItLies) {
    LinuxPlatform& p = *platform;
    // Three blocks of bytes of their own, as a tail file takes them.
    const Block a(96000, 'a'), b(96000, 'b'), c(96000, 'c');
    const FillHandle file = p.createFillFile("C:\\random01.qlk", FillKind::Tail);
    for (const Block* block : {&a, &b, &c})
        p.writeFill(file, std::string_view(block->data(), block->size()));
    const auto extents = p.fillExtents(file);
    const auto map = p.spaceMap("C:\\", {});
    p.closeFill(file);

    if (std::string(GetParam().fsType) == "btrfs") {
        // Its extents are at addresses of its own: never read back, and it keeps no such map.
        EXPECT_FALSE(map.has_value());
        try {
            p.openDevice("C:\\");
            ADD_FAILURE() << "btrfs's device was opened to be read back";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.systemText(),
                      "btrfs places data at addresses of its own, not at device offsets");
        }
        p.deleteFile("C:\\random01.qlk");
        return;
    }

    ASSERT_TRUE(extents.has_value());
    ASSERT_FALSE(extents->empty());
    ASSERT_TRUE(map.has_value());
    const DeviceHandle device = p.openDevice("C:\\");
    p.flushDevice(device);  // as root it may
    std::string whole;
    std::vector<Extent> places;
    // Up to the last block written: xfs holds more beyond it for a file that grows.
    constexpr std::uint64_t kWritten = 3 * 96000, kBlocks = (kWritten + 4095) / 4096 * 4096;
    for (const FileExtent& e : *extents) {
        EXPECT_TRUE(e.plain);
        if (e.logical >= kBlocks) continue;
        std::string bytes(std::min(e.length, kBlocks - e.logical), '\0');
        p.readDevice(device, e.physical, bytes.data(), bytes.size());
        whole += bytes;
        places.push_back({e.physical, bytes.size()});
    }
    p.closeDevice(device);
    whole.resize(kWritten);
    EXPECT_EQ(whole, std::string(96000, 'a') + std::string(96000, 'b') + std::string(96000, 'c'));
    // Its blocks are not free in the map, and somebody holds them.
    EXPECT_TRUE(Intersection(HeldBy(*map, SpaceOwner::Free), places).empty());
    const auto holders = p.spaceMap("C:\\", places);
    ASSERT_TRUE(holders.has_value());
    EXPECT_EQ(TotalLength(HeldBy(*holders, SpaceOwner::Free)), 0u);

    // Deleted and synced, they are free again, and still hold the fill (no discard here).
    // (xfs releases them in the background, a moment after the sync.)
    p.deleteFile("C:\\random01.qlk");
    std::uint64_t free = 0;
    for (int i = 0; i < 50 && free < TotalLength(places); ++i) {
        if (i > 0) p.sleepFor(0.1);
        p.syncDrive("C:\\");
        const auto after = p.spaceMap("C:\\", places);
        ASSERT_TRUE(after.has_value());
        free = TotalLength(HeldBy(*after, SpaceOwner::Free));
    }
    EXPECT_EQ(free, TotalLength(places));
}

INSTANTIATE_TEST_SUITE_P(FileSystems, ReadBackImage,
                         testing::Values(Kind{"ext4", 64}, Kind{"xfs", 320}, Kind{"btrfs", 256}),
                         kindName);

// The real platform, but when a pass's read-back begins (it syncs the drive first) old content
// goes to the device under the pass's largest fill extent, as a stale copy of old blocks written
// back over the fill would: at the first read-back only, or at every one.
class StaleWriteBack : public PlatformTarget {
public:
    StaleWriteBack(Platform& platform, std::string device, bool everyTime)
        : PlatformTarget(platform), device_(std::move(device)), everyTime_(everyTime) {}

    std::optional<std::vector<FileExtent>> fillExtents(FillHandle file) override {
        auto extents = PlatformTarget::fillExtents(file);
        for (const FileExtent& e : extents.value_or(std::vector<FileExtent>{})) {
            if (e.length > largest_.length) largest_ = {e.physical, e.length};
        }
        return extents;
    }
    void syncDrive(const std::string& root) override {
        PlatformTarget::syncDrive(root);
        if (injected > 0 && !everyTime_) return;
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
    bool everyTime_;
    Extent largest_;
};

struct Stale {
    Kind kind;
    bool everyTime;
};

class ReadBackStale : public testing::TestWithParam<Stale> {};

TEST_P(ReadBackStale, OldContentUnderADeletedFillFileIsNotOverwritten) {
    const Stale& k = GetParam();
    if (const std::string reason = LoopImage::skipReason(); !reason.empty()) GTEST_SKIP() << reason;
    LoopImage image(LoopImage::Options{k.kind.fsType, k.kind.sizeMiB, 512});
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
    StaleWriteBack target(platform, image.device(), k.everyTime);
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
    EXPECT_EQ(target.injected, k.everyTime ? 2 : 1);
    if (k.everyTime) {
        EXPECT_EQ(drive.outcome, DriveOutcome::Incomplete);
        EXPECT_EQ(drive.reason, "2 MB read back from the disk with other content than was written");
    } else {
        // Run once more, the pass overwrote them, and they read back as written.
        EXPECT_EQ(again.notOverwrittenBytes, 0);
        EXPECT_EQ(again.verifiedBytes, again.written);
        EXPECT_EQ(drive.outcome, DriveOutcome::Complete) << drive.reason;
    }
}

INSTANTIATE_TEST_SUITE_P(Images, ReadBackStale,
                         testing::Values(Stale{{"ext4", 128}, false}, Stale{{"xfs", 320}, true}),
                         [](const testing::TestParamInfo<Stale>& s) {
                             return std::string(s.param.kind.fsType) +
                                    (s.param.everyTime ? "EveryTime" : "Once");
                         });

}  // namespace
