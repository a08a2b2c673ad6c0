// The fill-file contract, run alike on the fake platform and on LinuxPlatform over a real
// loop-mounted ext4 image, so that the fake the window's tests rely on cannot drift from what
// the kernel does.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include "platform/Block.h"
#include "runtime/RuntimeError.h"
#include "tests/platform/ImageDrive.h"
#include "tests/support/FakePlatform.h"

namespace {

constexpr std::size_t kBulk = 960000;

// The fake: one fixed volume C: and a removable D:.
struct FakeDrives {
    static std::string skipReason() { return ""; }
    void start() {
        fake.addVolume("C:\\", 50'000'000);
        fake.addVolume("D:\\", 50'000'000, DRIVE_REMOVABLE);
    }
    bool ready() const { return true; }
    Platform& platform() { return fake; }
    // How far the free space may differ from the bytes written: the fake counts bytes.
    std::uint64_t tolerance() const { return 0; }
    FakePlatform fake;
};

// The kernel: C: is a 64 MiB ext4 image, D: a listed directory that is no mount point.
struct LinuxDrives {
    static std::string skipReason() { return LoopImage::skipReason(); }
    void start() {
        char templ[] = "/tmp/quellix-nomount-XXXXXX";
        notMounted = mkdtemp(templ) != nullptr ? templ : "/nonexistent/quellix";
        drive = std::make_unique<ImageDrive>(LoopImage::Options{}, notMounted);
    }
    ~LinuxDrives() {
        drive.reset();
        std::error_code ec;
        std::filesystem::remove_all(notMounted, ec);
    }
    bool ready() const { return drive && drive->ready(); }
    Platform& platform() { return drive->platform(); }
    // A file system allocates whole blocks.
    std::uint64_t tolerance() const { return drive->blockSize(); }
    std::unique_ptr<ImageDrive> drive;
    std::string notMounted;
};

template <class Drives>
class FillContract : public testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = Drives::skipReason(); !why.empty()) GTEST_SKIP() << why;
        drives_.start();
        ASSERT_TRUE(drives_.ready()) << "the test drive could not be made";
    }

    Platform& p() { return drives_.platform(); }
    std::uint64_t tolerance() const { return drives_.tolerance(); }
    std::uint64_t freeBytes() {
        std::uint64_t bytes = 0;
        EXPECT_TRUE(p().diskFreeSpaceEx("C:\\", bytes));
        return bytes;
    }
    static std::uint64_t distance(std::uint64_t a, std::uint64_t b) {
        return a > b ? a - b : b - a;
    }

    // Writes block until the volume is full; false if it never raised "Disk full".
    bool writeUntilFull(FillHandle file, const Block& block, int limit) {
        for (int i = 0; i < limit; ++i) {
            try {
                p().writeFill(file, block);
            } catch (const RuntimeError& e) {
                EXPECT_EQ(e.number(), Err::DiskFull);
                return true;
            }
        }
        return false;
    }

    Drives drives_;
    Block bulk_ = Block(kBulk, 'R');
};

using Implementations = testing::Types<FakeDrives, LinuxDrives>;
TYPED_TEST_SUITE(FillContract, Implementations);

TYPED_TEST(FillContract, FreeSpaceFallsByWhatIsWritten) {
    const std::uint64_t before = this->freeBytes();
    const FillHandle tail = this->p().createFillFile("C:\\random01.qlk", FillKind::Tail);
    const Block block(96000, 'T');
    for (int i = 0; i < 10; ++i)
        this->p().writeFill(tail, block);
    const std::uint64_t after = this->freeBytes();
    EXPECT_LE(this->distance(before - after, 960000), this->tolerance());
    this->p().closeFill(tail);
    this->p().deleteFile("C:\\random01.qlk");
}

TYPED_TEST(FillContract, FillingPastTheEndRaisesDiskFullAndTheProbeWasRight) {
    Platform& p = this->p();
    const std::uint64_t before = this->freeBytes();
    const FillHandle bulk = p.createFillFile("C:\\random00.qlk", FillKind::Bulk);
    std::uint64_t promised = before;
    bool full = false;
    for (int i = 0; i < 1000 && !full; ++i) {
        promised = this->freeBytes();
        try {
            p.writeFill(bulk, this->bulk_);
            EXPECT_LT(this->freeBytes(), promised) << "free space falls as the file grows";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), Err::DiskFull);
            full = true;
        }
    }
    ASSERT_TRUE(full);
    // The bulk write that failed did not fit in what the probe promised.
    EXPECT_LT(promised, kBulk + 2 * this->tolerance());

    const FillHandle tail = p.createFillFile("C:\\random01.qlk", FillKind::Tail);
    const std::uint64_t tailPromised = this->freeBytes();
    for (const std::size_t size : {96000, 960, 16}) {
        EXPECT_TRUE(this->writeUntilFull(tail, Block(size, 'T'), 200));
    }
    p.closeFill(tail);
    p.closeFill(bulk);
    const auto written = static_cast<std::uint64_t>(p.fileLength("C:\\random01.qlk"));
    EXPECT_LE(this->distance(written, tailPromised), this->tolerance())
        << "promised " << tailPromised << ", accepted " << written;
    p.deleteFile("C:\\random01.qlk");
    EXPECT_LE(this->distance(this->freeBytes(), before), this->tolerance());
}

TYPED_TEST(FillContract, TheBulkFileIsGoneAfterCloseAndItsSpaceIsBack) {
    const std::uint64_t before = this->freeBytes();
    const FillHandle bulk = this->p().createFillFile("C:\\quote00.qlk", FillKind::Bulk);
    for (int i = 0; i < 5; ++i)
        this->p().writeFill(bulk, this->bulk_);
    EXPECT_LT(this->freeBytes(), before - 4 * kBulk);
    this->p().closeFill(bulk);
    EXPECT_FALSE(this->p().fileExists("C:\\quote00.qlk"));
    EXPECT_FALSE(this->p().fileExists("C:\\*.qlk"));
    EXPECT_LE(this->distance(this->freeBytes(), before), this->tolerance());
}

TYPED_TEST(FillContract, TheTailFileStaysUntilDeleted) {
    const std::uint64_t before = this->freeBytes();
    const FillHandle tail = this->p().createFillFile("C:\\quote01.qlk", FillKind::Tail);
    this->p().writeFill(tail, Block(960, 'T'));
    this->p().writeFill(tail, Block(16, 'T'));
    this->p().closeFill(tail);
    EXPECT_TRUE(this->p().fileExists("C:\\quote01.qlk"));
    EXPECT_TRUE(this->p().fileExists("C:\\quote*.qlk"));
    EXPECT_EQ(this->p().fileLength("C:\\quote01.qlk"), 976);
    this->p().deleteFile("C:\\quote01.qlk");
    EXPECT_FALSE(this->p().fileExists("C:\\quote01.qlk"));
    EXPECT_LE(this->distance(this->freeBytes(), before), this->tolerance());
    try {
        this->p().deleteFile("C:\\quote01.qlk");
        ADD_FAILURE() << "deleting a missing file must fail";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), Err::FileNotFound);
    }
}

TYPED_TEST(FillContract, CreatingAFillFileAgainReplacesIt) {
    const std::uint64_t before = this->freeBytes();
    FillHandle tail = this->p().createFillFile("C:\\random01.qlk", FillKind::Tail);
    this->p().writeFill(tail, Block(96000, 'T'));
    this->p().closeFill(tail);
    tail = this->p().createFillFile("C:\\random01.qlk", FillKind::Tail);
    this->p().closeFill(tail);
    EXPECT_EQ(this->p().fileLength("C:\\random01.qlk"), 0);
    EXPECT_LE(this->distance(this->freeBytes(), before), this->tolerance());
    this->p().deleteFile("C:\\random01.qlk");
}

TYPED_TEST(FillContract, BulkFilesAreDirectAndTailFilesBuffered) {
    const FillHandle bulk = this->p().createFillFile("C:\\random00.qlk", FillKind::Bulk);
    const FillHandle tail = this->p().createFillFile("C:\\random01.qlk", FillKind::Tail);
    EXPECT_EQ(this->p().fillMode(bulk), FillMode::Direct);
    EXPECT_EQ(this->p().fillMode(tail), FillMode::Buffered);
    this->p().writeFill(bulk, this->bulk_);
    EXPECT_EQ(this->p().fillMode(bulk), FillMode::Direct);
    this->p().closeFill(bulk);
    this->p().closeFill(tail);
    this->p().deleteFile("C:\\random01.qlk");
}

TYPED_TEST(FillContract, ABlockThatIsNotAlignedIsWrittenAllTheSame) {
    const std::uint64_t before = this->freeBytes();
    const std::string storage(kBulk + 1, 'U');
    const FillHandle bulk = this->p().createFillFile("C:\\random00.qlk", FillKind::Bulk);
    this->p().writeFill(bulk, std::string_view(storage).substr(1));
    EXPECT_EQ(this->p().fillMode(bulk), FillMode::Direct);
    EXPECT_LE(this->distance(before - this->freeBytes(), kBulk), this->tolerance());
    this->p().closeFill(bulk);
}

TYPED_TEST(FillContract, AClosedHandleIsABadFileNumber) {
    const FillHandle tail = this->p().createFillFile("C:\\random01.qlk", FillKind::Tail);
    this->p().closeFill(tail);
    for (const auto& use : std::vector<std::function<void()>>{
             [&] { this->p().writeFill(tail, "x"); },
             [&] { this->p().closeFill(tail); },
         }) {
        try {
            use();
            ADD_FAILURE() << "a closed handle was accepted";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), Err::BadFileNameOrNumber);
        }
    }
    this->p().deleteFile("C:\\random01.qlk");
}

TYPED_TEST(FillContract, NothingIsWrittenToADriveThatIsNotAFixedDisk) {
    const std::uint64_t before = this->freeBytes();
    EXPECT_NE(this->p().driveType("D:\\"), DRIVE_FIXED);
    for (const char* path : {"D:\\random00.qlk", "Q:\\random00.qlk"}) {
        try {
            this->p().createFillFile(path, FillKind::Bulk);
            ADD_FAILURE() << path << " was created";
        } catch (const RuntimeError& e) {
            EXPECT_TRUE(e.number() == Err::DeviceUnavailable || e.number() == Err::PathNotFound)
                << e.number();
        }
    }
    EXPECT_FALSE(this->p().fileExists("D:\\random00.qlk"));
    EXPECT_EQ(this->freeBytes(), before);
}

TYPED_TEST(FillContract, ClassicAndExtendedProbesAgree) {
    std::uint64_t bytes = 0;
    std::int32_t sectors = 0, sectorBytes = 0, clusters = 0;
    ASSERT_TRUE(this->p().diskFreeSpaceEx("C:\\", bytes));
    ASSERT_TRUE(this->p().diskFreeSpace("C:\\", sectors, sectorBytes, clusters));
    const std::uint64_t cluster = static_cast<std::uint64_t>(sectors) * sectorBytes;
    const std::uint64_t classic = cluster * static_cast<std::uint64_t>(clusters);
    EXPECT_LE(classic, bytes);
    EXPECT_LT(bytes - classic, cluster);
    EXPECT_FALSE(this->p().diskFreeSpaceEx("Q:\\", bytes));
}

}  // namespace
