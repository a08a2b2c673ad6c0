// LinuxPlatform on a FUSE file system over a block device (NTFS through ntfs-3g, fuseblk): a
// fixed disk whose bulk file is deleted at close, because unlinking an open file there leaves
// a hidden file behind.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <iostream>

#include "platform/Block.h"
#include "runtime/RuntimeError.h"
#include "tests/platform/ImageDrive.h"

namespace {

constexpr std::size_t kBulk = 960000;

class FuseImage : public testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = LoopImage::skipReason(); !why.empty()) GTEST_SKIP() << why;
        struct stat st {};
        if (!haveTool("mkntfs") || !haveTool("ntfs-3g") || ::stat("/dev/fuse", &st) != 0) {
            GTEST_SKIP() << "needs ntfs-3g and /dev/fuse";
        }
        LoopImage::Options o;
        o.fsType = "ntfs";
        drive_ = std::make_unique<ImageDrive>(o);
        ASSERT_TRUE(drive_->ready()) << drive_->error();
    }
    void TearDown() override {
        if (drive_ && drive_->ready()) {
            EXPECT_TRUE(drive_->rootFiles().empty());
        }
    }
    Platform& p() { return drive_->platform(); }
    std::unique_ptr<ImageDrive> drive_;
    Block bulk_ = Block(kBulk, 'R');
};

TEST_F(FuseImage, TheBulkFileIsDeletedAtCloseWithoutAHiddenFile) {
    EXPECT_EQ(p().driveType("C:\\"), DRIVE_FIXED);
    const std::uint64_t before = drive_->freeBytes();
    const FillHandle bulk = p().createFillFile("C:\\random00.qlk", FillKind::Bulk);
    for (int i = 0; i < 5; ++i)
        p().writeFill(bulk, bulk_);
    EXPECT_EQ(drive_->rootFiles(), std::vector<std::string>{"random00.qlk"});
    const std::uint64_t whileOpen = drive_->freeBytes();
    EXPECT_LT(whileOpen, before - 4 * kBulk);
    p().closeFill(bulk);
    EXPECT_TRUE(drive_->rootFiles().empty());
    // NTFS keeps some metadata of a file it has held (its record in the MFT); the data's space
    // is given back.
    EXPECT_GE(drive_->freeBytes() - whileOpen, 5 * kBulk - drive_->blockSize());
}

// NTFS keeps no owner per file: mounted for a user, it shows every file as that user's, and the
// fill files a root run makes there are still taken as its own.
TEST_F(FuseImage, AMountForAnotherUserStillTakesARootRunsFillFiles) {
    const LoopImage& image = drive_->image();
    ASSERT_EQ(LoopImage::run("umount " + image.mountPoint() + " && mount -t ntfs-3g -o uid=65534 " +
                             image.device() + " " + image.mountPoint()),
              0);
    ASSERT_TRUE(image.verified());
    p().driveList();
    const FillHandle tail = p().createFillFile("C:\\random01.qlk", FillKind::Tail);
    p().closeFill(tail);
    p().deleteFile("C:\\random01.qlk");
}

TEST_F(FuseImage, FillingPastTheEndRaisesDiskFull) {
    const FillHandle bulk = p().createFillFile("C:\\quote00.qlk", FillKind::Bulk);
    std::cout << "[ measured ] ntfs: bulk "
              << (p().fillMode(bulk) == FillMode::Direct ? "direct" : "buffered") << "\n";
    int number = 0;
    std::uint64_t promised = 0;
    for (int i = 0; i < 100 && number == 0; ++i) {
        promised = drive_->freeBytes();
        try {
            p().writeFill(bulk, bulk_);
        } catch (const RuntimeError& e) {
            number = e.number();
        }
    }
    EXPECT_EQ(number, Err::DiskFull);
    std::cout << "[ measured ] ntfs: " << promised << " promised before the refused bulk write\n";
    const FillHandle tail = p().createFillFile("C:\\quote01.qlk", FillKind::Tail);
    promised = drive_->freeBytes();
    for (const std::size_t size : {96000, 960, 16}) {
        for (int i = 0; i < 200; ++i) {
            try {
                p().writeFill(tail, Block(size, 'T'));
            } catch (const RuntimeError& e) {
                EXPECT_EQ(e.number(), Err::DiskFull);
                break;
            }
        }
    }
    p().closeFill(tail);
    p().closeFill(bulk);
    std::cout << "[ measured ] ntfs: " << promised << " promised for the tail file, "
              << p().fileLength("C:\\quote01.qlk") << " accepted\n";
    p().deleteFile("C:\\quote01.qlk");
}

}  // namespace
