// LinuxPlatform on real ext4 and xfs images: free space as the file system really accepts it,
// the bulk file's disappearance (also when the writer is killed), and the direct/buffered modes.
#include <gtest/gtest.h>

#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <iostream>

#include "platform/Block.h"
#include "runtime/RuntimeError.h"
#include "tests/platform/ImageDrive.h"

namespace {

constexpr std::size_t kBulk = 960000;

struct ImageKind {
    const char* fsType;
    std::uint64_t sizeMiB;  // mkfs.xfs wants at least 300 MiB
};

std::ostream& operator<<(std::ostream& out, const ImageKind& k) {
    return out << k.fsType;
}

std::string kindName(const testing::TestParamInfo<ImageKind>& kind) {
    return kind.param.fsType;
}

std::uint64_t distance(std::uint64_t a, std::uint64_t b) {
    return a > b ? a - b : b - a;
}

// A count of nearest(free / size - 1) writes, as the fill cycle makes them.
int countFor(std::uint64_t free, std::size_t size) {
    const double n = std::nearbyint(static_cast<double>(free) / static_cast<double>(size) - 1);
    return n < 1 ? 0 : static_cast<int>(n);
}

// Fills C: to the end as the fill cycle would after a probe went wrong: bulk blocks until Disk
// full, then the tail file in ever smaller blocks until Disk full. The promises are the probes
// taken just before the refused bulk write and before the tail file's first write.
struct FillOutcome {
    bool bulkFull = false;
    std::uint64_t bulkPromised = 0;
    std::uint64_t tailPromised = 0;
    std::uint64_t tailAccepted = 0;
};

FillOutcome fillToTheEnd(Platform& p, const Block& bulkBlock, const std::string& bulkName,
                         const std::string& tailName) {
    FillOutcome out;
    auto probe = [&] {
        std::uint64_t bytes = 0;
        p.diskFreeSpaceEx("C:\\", bytes);
        return bytes;
    };
    const FillHandle bulk = p.createFillFile(bulkName, FillKind::Bulk);
    for (int i = 0; i < 1000 && !out.bulkFull; ++i) {
        out.bulkPromised = probe();
        try {
            p.writeFill(bulk, bulkBlock);
        } catch (const RuntimeError& e) {
            out.bulkFull = e.number() == Err::DiskFull;
            break;
        }
    }
    const FillHandle tail = p.createFillFile(tailName, FillKind::Tail);
    out.tailPromised = probe();
    for (const std::size_t size : {96000, 960, 16}) {
        const Block block(size, 'T');
        for (int i = 0; i < 200; ++i) {
            try {
                p.writeFill(tail, block);
            } catch (const RuntimeError&) {
                break;
            }
        }
    }
    p.closeFill(tail);
    p.closeFill(bulk);
    out.tailAccepted = static_cast<std::uint64_t>(p.fileLength(tailName));
    return out;
}

class RealImage : public testing::TestWithParam<ImageKind> {
protected:
    void SetUp() override {
        if (const std::string why = LoopImage::skipReason(); !why.empty()) GTEST_SKIP() << why;
        if (!haveTool(std::string("mkfs.") + GetParam().fsType)) {
            GTEST_SKIP() << "mkfs." << GetParam().fsType << " missing";
        }
        drive_ = std::make_unique<ImageDrive>(options());
        ASSERT_TRUE(drive_->ready()) << drive_->error();
    }
    void TearDown() override {
        // Every test leaves the drive as it found it.
        if (drive_ && drive_->ready()) {
            EXPECT_TRUE(drive_->rootFiles().empty());
        }
    }
    virtual LoopImage::Options options() const {
        LoopImage::Options o;
        o.fsType = GetParam().fsType;
        o.sizeMiB = GetParam().sizeMiB;
        return o;
    }
    Platform& p() { return drive_->platform(); }
    void write(FillHandle file, const Block& block, int times) {
        for (int i = 0; i < times; ++i)
            p().writeFill(file, block);
    }

    std::unique_ptr<ImageDrive> drive_;
    Block bulk_ = Block(kBulk, 'R');
};

TEST_P(RealImage, ACountedFillReachesTheFloorWithoutDiskFull) {
    const std::uint64_t block = drive_->blockSize();
    const std::uint64_t before = drive_->freeBytes();
    const FillHandle bulk = p().createFillFile("C:\\random00.qlk", FillKind::Bulk);
    const FillMode mode = p().fillMode(bulk);
    // Stages A and B on the bulk file, C to E on the tail file, each counted from a fresh probe.
    ASSERT_NO_THROW(write(bulk, bulk_, countFor(drive_->freeBytes(), kBulk)));
    ASSERT_NO_THROW(write(bulk, bulk_, countFor(drive_->freeBytes(), kBulk)));
    const std::uint64_t tailStart = drive_->freeBytes();
    const FillHandle tail = p().createFillFile("C:\\random01.qlk", FillKind::Tail);
    for (const std::size_t size : {96000, 960, 16}) {
        ASSERT_NO_THROW(write(tail, Block(size, 'T'), countFor(drive_->freeBytes(), size)))
            << size << "-byte stage";
    }
    const std::uint64_t floor = drive_->freeBytes();
    EXPECT_LE(floor, 2 * block);
    std::cout << "[ measured ] " << GetParam().fsType << ": " << before << " bytes free, bulk "
              << (mode == FillMode::Direct ? "direct" : "buffered") << ", " << tailStart
              << " left for the tail file, " << floor << " left after the fill\n";
    p().closeFill(bulk);
    p().closeFill(tail);
    p().deleteFile("C:\\random01.qlk");
    EXPECT_LE(distance(drive_->freeBytes(), before), block);
}

TEST_P(RealImage, ThePromiseJustBeforeDiskFullIsWhatTheFileSystemAccepts) {
    const std::uint64_t block = drive_->blockSize();
    const FillOutcome out = fillToTheEnd(p(), bulk_, "C:\\quote00.qlk", "C:\\quote01.qlk");
    std::cout << "[ measured ] " << GetParam().fsType << " as root: " << out.bulkPromised
              << " promised before the refused bulk write; " << out.tailPromised
              << " promised for the tail file, " << out.tailAccepted << " accepted\n";
    EXPECT_TRUE(out.bulkFull);
    EXPECT_LT(out.bulkPromised, kBulk + 2 * block);
    EXPECT_LE(distance(out.tailAccepted, out.tailPromised), block);
    p().deleteFile("C:\\quote01.qlk");
}

// A process without the right to the blocks kept for root is promised only what it may fill.
TEST_P(RealImage, AnOrdinaryUserIsPromisedWhatItCanFill) {
    const std::uint64_t block = drive_->blockSize();
    ASSERT_EQ(::chmod(drive_->image().workDir().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(drive_->image().mountPoint().c_str(), 0777), 0);
    int channel[2];
    ASSERT_EQ(::pipe(channel), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FillOutcome out;
        if (::setgroups(0, nullptr) == 0 && ::setresgid(65534, 65534, 65534) == 0 &&
            ::setresuid(65534, 65534, 65534) == 0) {
            try {
                LinuxPlatform::Options o;
                o.drives = drive_->pinned();
                LinuxPlatform own(o);
                out = fillToTheEnd(own, bulk_, "C:\\random00.qlk", "C:\\random01.qlk");
            } catch (...) {
            }
        }
        const bool sent = ::write(channel[1], &out, sizeof out) == sizeof out;
        ::_exit(sent ? 0 : 1);
    }
    ::close(channel[1]);
    FillOutcome out;
    ASSERT_EQ(::read(channel[0], &out, sizeof out), static_cast<ssize_t>(sizeof out));
    ::close(channel[0]);
    ::waitpid(child, nullptr, 0);
    std::cout << "[ measured ] " << GetParam().fsType << " as a user: " << out.tailPromised
              << " promised for the tail file, " << out.tailAccepted << " accepted\n";
    EXPECT_TRUE(out.bulkFull);
    EXPECT_LE(distance(out.tailAccepted, out.tailPromised), block);
    p().deleteFile("C:\\random01.qlk");
}

TEST_P(RealImage, TheBulkFileIsGoneWhenItsWriterIsKilled) {
    const std::uint64_t block = drive_->blockSize();
    const std::uint64_t before = drive_->freeBytes();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child writes through a platform of its own, reports, and waits to be killed
        // with its bulk file open.
        auto report = [&](char status) {
            if (::write(ready[1], &status, 1) != 1) ::_exit(1);
        };
        try {
            LinuxPlatform::Options o;
            o.drives = drive_->pinned();
            LinuxPlatform own(o);
            const FillHandle bulk = own.createFillFile("C:\\random00.qlk", FillKind::Bulk);
            for (int i = 0; i < 10; ++i)
                own.writeFill(bulk, bulk_);
            report('w');
            for (;;)
                ::pause();
        } catch (...) {
            report('f');
        }
        ::_exit(1);
    }
    ::close(ready[1]);
    char status = 0;
    ASSERT_EQ(::read(ready[0], &status, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(status, 'w');
    EXPECT_LT(drive_->freeBytes(), before - 9 * kBulk);
    // Unlinked at once: no name to find even while the writer lives.
    EXPECT_FALSE(p().fileExists("C:\\random00.qlk"));
    ::kill(child, SIGKILL);
    int wstatus = 0;
    ASSERT_EQ(::waitpid(child, &wstatus, 0), child);
    EXPECT_TRUE(WIFSIGNALED(wstatus));
    EXPECT_TRUE(drive_->rootFiles().empty());
    // xfs releases an unlinked file's blocks in the background after its last close; give it
    // a moment on a loaded machine before judging.
    for (int i = 0; i < 100 && distance(drive_->freeBytes(), before) > block; ++i) {
        ::usleep(50000);
    }
    EXPECT_LE(distance(drive_->freeBytes(), before), block);
}

// The point of the program: what the fill files held is on the device once they are closed,
// although the bulk file vanishes and the tail file is deleted right after.
TEST_P(RealImage, TheFillDataReachesTheDevice) {
    const FillHandle bulk = p().createFillFile("C:\\random00.qlk", FillKind::Bulk);
    const FillHandle tail = p().createFillFile("C:\\random01.qlk", FillKind::Tail);
    write(bulk, bulk_, 10);
    write(tail, Block(96000, 'T'), 10);
    p().closeFill(bulk);
    p().closeFill(tail);
    p().deleteFile("C:\\random01.qlk");
    drive_->image().unmount();
    const std::uint64_t perFile = 10 * kBulk / 4096 - 1;
    EXPECT_GE(drive_->image().markerBlocks(std::string(64, 'R')), perFile);
    EXPECT_GE(drive_->image().markerBlocks(std::string(64, 'T')), perFile / 10);
}

INSTANTIATE_TEST_SUITE_P(Linux, RealImage,
                         testing::Values(ImageKind{"ext4", 64}, ImageKind{"xfs", 320}), kindName);

// A device with 4096-byte sectors refuses 960000-byte direct writes: the bulk file is written
// buffered, and still fills.
class LargeSectorImage : public RealImage {
protected:
    LoopImage::Options options() const override {
        LoopImage::Options o = RealImage::options();
        o.sectorSize = 4096;
        return o;
    }
};

TEST_P(LargeSectorImage, TheBulkFileFillsBuffered) {
    const std::uint64_t before = drive_->freeBytes();
    const FillHandle bulk = p().createFillFile("C:\\random00.qlk", FillKind::Bulk);
    EXPECT_EQ(p().fillMode(bulk), FillMode::Buffered);
    write(bulk, bulk_, 20);
    EXPECT_LE(distance(before - drive_->freeBytes(), 20 * kBulk), drive_->blockSize());
    EXPECT_EQ(p().fillMode(bulk), FillMode::Buffered);
    p().closeFill(bulk);
    EXPECT_LE(distance(drive_->freeBytes(), before), drive_->blockSize());
    // Buffered, the data would be dropped with the vanishing file if close did not sync it.
    drive_->image().unmount();
    EXPECT_GE(drive_->image().markerBlocks(std::string(64, 'R')), 20 * kBulk / 4096 - 1);
}

// xfs made on a file has 512-byte sectors and cannot be mounted from a 4096-byte device.
INSTANTIATE_TEST_SUITE_P(Linux, LargeSectorImage, testing::Values(ImageKind{"ext4", 64}), kindName);

}  // namespace
