// Free-space arithmetic, error numbers and the swap list: the pure parts of the Linux platform.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/linux/Errors.h"
#include "platform/linux/FreeSpace.h"
#include "platform/linux/SwapList.h"
#include "platform/linux/UniqueFd.h"

namespace {

TEST(FreeSpace, RootMayFillTheRootReserveButNotTheInternalOne) {
    // A 64 MiB ext4 image as mounted: 14319 blocks free, 13173 for ordinary users, 327 clusters
    // that only metadata may take.
    FreeSpaceFacts f;
    f.blockSize = 4096;
    f.freeBlocks = 14319;
    f.availBlocks = 13173;
    f.internalReserveBytes = 327 * 4096;
    f.mayUseRootReserve = true;
    EXPECT_EQ(fillableBytes(f), (14319u - 327u) * 4096u);
    f.mayUseRootReserve = false;
    EXPECT_EQ(fillableBytes(f), 13173u * 4096u);
}

TEST(FreeSpace, XfsKeepsRoomForAnExtentTreeSplit) {
    FreeSpaceFacts f;
    f.blockSize = 4096;
    f.freeBlocks = f.availBlocks = 60917;
    f.perWriteReserveBytes = 5 * 4096;
    EXPECT_EQ(fillableBytes(f), 60912u * 4096u);
    f.freeBlocks = f.availBlocks = 3;
    EXPECT_EQ(fillableBytes(f), 0u);
    f.mayUseRootReserve = true;
    f.internalReserveBytes = 10 * 4096;
    EXPECT_EQ(fillableBytes(f), 0u);
}

TEST(FreeSpace, TreeHeightsMatchWhatXfsWasSeenToHoldBack) {
    // Measured on loop-mounted images: the last 5 blocks of a 4 KiB file system (7 with large
    // extent counts, 7 with 1 KiB blocks) are never handed to a file.
    EXPECT_EQ(xfsDataForkMaxLevels(4096, true, false), 5u);
    EXPECT_EQ(xfsDataForkMaxLevels(4096, true, true), 7u);
    EXPECT_EQ(xfsDataForkMaxLevels(1024, true, false), 7u);
}

TEST(FreeSpace, ClassicFormGivesTheSameBytesInClusters) {
    const ClassicFreeSpace c = classicFreeSpace(4096000, 4096);
    EXPECT_EQ(c.sectorsPerCluster, 8);
    EXPECT_EQ(c.bytesPerSector, 512);
    EXPECT_EQ(c.freeClusters, 1000);
    const ClassicFreeSpace huge = classicFreeSpace(std::uint64_t{1} << 50, 4096);
    EXPECT_EQ(huge.freeClusters, 0x7FFFFFFF);
    const ClassicFreeSpace odd = classicFreeSpace(5000, 1000);
    EXPECT_EQ(odd.sectorsPerCluster, 1);
    EXPECT_EQ(odd.bytesPerSector, 1000);
    EXPECT_EQ(odd.freeClusters, 5);
}

TEST(Errors, SystemCodesMapOntoTheRunTimesNumbers) {
    EXPECT_EQ(errorNumberForErrno(ENOENT), 53);
    EXPECT_EQ(errorNumberForErrno(EACCES), 70);
    EXPECT_EQ(errorNumberForErrno(EPERM), 70);
    EXPECT_EQ(errorNumberForErrno(EROFS), 70);
    EXPECT_EQ(errorNumberForErrno(ENOSPC), 61);
    EXPECT_EQ(errorNumberForErrno(EDQUOT), 61);
    EXPECT_EQ(errorNumberForErrno(EFBIG), 61);
    EXPECT_EQ(errorNumberForErrno(EIO), 57);
    EXPECT_EQ(errorNumberForErrno(EMFILE), 67);
    EXPECT_EQ(errorNumberForErrno(ENOTDIR), 76);
    EXPECT_EQ(errorNumberForErrno(ELOOP), 75);
    EXPECT_EQ(errorNumberForErrno(EISDIR), 75);
}

TEST(SwapList, ParsesAreasWithEscapedNames) {
    const auto areas = parseSwaps(
        "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n"
        "/dev/nvme0n1p4                          partition\t8388604\t\t0\t\t-2\n"
        "/swap\\040file                          file\t\t2097148\t\t1024\t\t-3\n");
    ASSERT_EQ(areas.size(), 2u);
    EXPECT_EQ(areas[0].type, "partition");
    EXPECT_EQ(areas[1].path, "/swap file");
    EXPECT_EQ(areas[1].type, "file");
    EXPECT_EQ(areas[1].sizeKiB, 2097148u);
}

TEST(SwapList, OnlyASwapFileDirectlyInTheDirectoryCounts) {
    char templ[] = "/tmp/quellix-swap-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    const std::string dir = templ;
    std::filesystem::create_directory(dir + "/sub");
    std::ofstream(dir + "/swap.img") << std::string(8192, '\0');
    std::ofstream(dir + "/sub/deeper.img") << "x";
    UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY));
    ASSERT_TRUE(fd);
    EXPECT_FALSE(swapFileInDirectory({{dir + "/swap.img", "partition", 8}}, fd.get()));
    EXPECT_FALSE(swapFileInDirectory({{dir + "/sub/deeper.img", "file", 1}}, fd.get()));
    EXPECT_FALSE(swapFileInDirectory({{dir + "/gone.img", "file", 1}}, fd.get()));
    const auto found = swapFileInDirectory(
        {{dir + "/sub/deeper.img", "file", 1}, {dir + "/swap.img", "file", 8}}, fd.get());
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, 8192);
    std::filesystem::remove_all(dir);
}

}  // namespace
