// The mount-table parser, the drive table built from it and drive path mapping, on sample texts.
#include <gtest/gtest.h>

#include <map>

#include "platform/Platform.h"
#include "platform/linux/DriveTable.h"
#include "platform/linux/MountInfo.h"

namespace {

// A desktop machine: root and /home on an NVMe disk, the EFI partition, snaps, bind mounts of
// /home's file system, network shares, an NTFS disk through FUSE, a USB stick, a DVD, a
// read-only archive disk and mount points that mountinfo has to escape.
constexpr const char* kDesktop =
    "22 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw,errors=remount-ro\n"
    "23 22 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "24 22 0:22 / /sys rw,nosuid,nodev,noexec,relatime shared:7 - sysfs sysfs rw\n"
    "25 22 0:5 / /dev rw,nosuid,relatime shared:2 - devtmpfs udev rw,size=8043524k,mode=755\n"
    "26 25 0:23 / /dev/pts rw,nosuid,noexec,relatime shared:3 - devpts devpts rw,gid=5\n"
    "27 22 0:24 / /run rw,nosuid,nodev,noexec,relatime shared:5 - tmpfs tmpfs rw,mode=755\n"
    "28 22 259:3 / /home rw,relatime shared:30 - ext4 /dev/nvme0n1p3 rw\n"
    "29 22 259:1 / /boot/efi rw,relatime shared:31 - vfat /dev/nvme0n1p1 rw,fmask=0077\n"
    "30 22 7:0 / /snap/core20/1828 ro,nodev,relatime shared:32 - squashfs /dev/loop0 ro\n"
    "31 22 259:3 /srv/data /srv/data rw,relatime shared:30 - ext4 /dev/nvme0n1p3 rw\n"
    "32 28 259:3 /alice/shared /mnt/shared rw,relatime shared:30 master:2 - ext4 "
    "/dev/nvme0n1p3 rw\n"
    "33 22 0:50 / /mnt/nas rw,relatime shared:40 - nfs4 server:/export rw,vers=4.2\n"
    "34 22 0:51 / /mnt/win rw,relatime shared:41 - cifs //fileserver/share rw,vers=3.1.1\n"
    "35 22 0:52 / /mnt/windows rw,nosuid,nodev,relatime shared:42 - fuseblk /dev/sda2 "
    "rw,user_id=0,group_id=0,allow_other,blksize=4096\n"
    "36 22 8:17 / /media/alice/USB\\040STICK rw,nosuid,nodev,relatime shared:43 - vfat "
    "/dev/sdb1 rw,uid=1000\n"
    "37 22 11:0 / /media/alice/UBUNTU\\04022.04 ro,nosuid,nodev,relatime shared:44 - iso9660 "
    "/dev/sr0 ro,nojoliet\n"
    "38 22 8:3 / /mnt/archive ro,relatime shared:45 - ext4 /dev/sda3 ro\n"
    "39 22 8:4 / /mnt/tab\\011and\\134back rw,relatime - ext4 /dev/sda4 rw\n"
    "40 22 0:60 / /mnt/ssh rw,nosuid,nodev,relatime - fuse.sshfs alice@host:/home/alice rw\n";

// What sysfs would say about the sample's devices.
std::optional<BlockFacts> sampleLookup(const MountEntry& e) {
    static const std::map<std::string, BlockFacts> bySource = {
        {"/dev/nvme0n1p1", {}},      {"/dev/nvme0n1p2", {}},
        {"/dev/nvme0n1p3", {}},      {"/dev/loop0", {}},
        {"/dev/sda2", {}},           {"/dev/sda3", {}},
        {"/dev/sda4", {}},           {"/dev/sdb1", {true, false}},
        {"/dev/sr0", {true, false}}, {"/dev/zram1", {false, true}},
    };
    const auto it = bySource.find(e.source);
    if (it == bySource.end()) return std::nullopt;
    return it->second;
}

std::vector<Drive> table(const char* text, std::optional<std::string> pinned = std::nullopt) {
    return buildDriveTable(parseMountInfo(text), pinned, sampleLookup);
}

TEST(MountInfo, ParsesFieldsAroundTheOptionalOnes) {
    const auto entries = parseMountInfo(kDesktop);
    ASSERT_EQ(entries.size(), 19u);
    const MountEntry& shared = entries[10];
    EXPECT_EQ(shared.mountId, 32);
    EXPECT_EQ(shared.parentId, 28);
    EXPECT_EQ(shared.major, 259u);
    EXPECT_EQ(shared.minor, 3u);
    EXPECT_EQ(shared.root, "/alice/shared");
    EXPECT_EQ(shared.mountPoint, "/mnt/shared");
    EXPECT_EQ(shared.fsType, "ext4");
    EXPECT_EQ(shared.source, "/dev/nvme0n1p3");
    EXPECT_EQ(shared.superOptions, "rw");
    EXPECT_EQ(entries[13].superOptions, "rw,user_id=0,group_id=0,allow_other,blksize=4096");
}

TEST(MountInfo, UnescapesBlanksTabsAndBackslashes) {
    const auto entries = parseMountInfo(kDesktop);
    EXPECT_EQ(entries[14].mountPoint, "/media/alice/USB STICK");
    EXPECT_EQ(entries[15].mountPoint, "/media/alice/UBUNTU 22.04");
    EXPECT_EQ(entries[17].mountPoint, "/mnt/tab\tand\\back");
    EXPECT_EQ(unescapeMountField("/a\\012b"), "/a\nb");
    // Anything that is not a complete octal escape stays as it is.
    EXPECT_EQ(unescapeMountField("/a\\04"), "/a\\04");
    EXPECT_EQ(unescapeMountField("/a\\x41"), "/a\\x41");
}

TEST(MountInfo, SkipsLinesThatAreNotMountEntries) {
    const auto entries = parseMountInfo(
        "garbage\n"
        "\n"
        "12 1 8:1 / /ok rw - ext4 /dev/sda1 rw\n"
        "13 1 8:x / /bad rw - ext4 /dev/sda1 rw\n"
        "14 1 8:2 / /nodash rw ext4 /dev/sda2 rw\n"
        "15 1 8:3 / /last rw - ext4 /dev/sda3 rw");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].mountPoint, "/ok");
    EXPECT_EQ(entries[1].mountPoint, "/last");
}

TEST(MountInfo, ReadOnlyComesFromTheMountOrTheFileSystem) {
    MountEntry e;
    e.mountOptions = "rw,relatime";
    e.superOptions = "rw,errors=remount-ro";
    EXPECT_FALSE(isReadOnly(e));
    e.superOptions = "ro";
    EXPECT_TRUE(isReadOnly(e));
    e.superOptions = "rw";
    e.mountOptions = "ro,nosuid";
    EXPECT_TRUE(isReadOnly(e));
    std::string value;
    EXPECT_TRUE(hasOption("rw,resuid=65534,resgid=7", "resgid", &value));
    EXPECT_EQ(value, "7");
    EXPECT_FALSE(hasOption("rw,resuid=65534", "res"));
}

TEST(DriveTable, ListsRootThenRealFileSystemsOnceInAlphabeticalOrder) {
    const auto drives = table(kDesktop);
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < drives.size(); ++i)
        texts.push_back(driveDisplayText(i, drives[i]));
    const std::vector<std::string> expected = {
        "C: /",
        "D: /boot/efi",
        "E: /home",
        "F: /media/alice/UBUNTU 22.04",
        "G: /media/alice/USB STICK",
        "H: /mnt/archive",
        "I: /mnt/nas",
        "J: /mnt/ssh",
        "K: /mnt/tab\\tand\\\\back",  // shown as data (EscapedName)
        "L: /mnt/win",
        "M: /mnt/windows",
    };
    EXPECT_EQ(texts, expected);
}

TEST(DriveTable, OnlyWritableLocalNonRemovableDisksAreFixed) {
    std::map<std::string, int> types;
    for (const auto& d : table(kDesktop))
        types[d.mountPoint] = d.type;
    EXPECT_EQ(types["/"], DRIVE_FIXED);
    EXPECT_EQ(types["/boot/efi"], DRIVE_FIXED);
    EXPECT_EQ(types["/home"], DRIVE_FIXED);
    EXPECT_EQ(types["/media/alice/UBUNTU 22.04"], DRIVE_CDROM);
    EXPECT_EQ(types["/media/alice/USB STICK"], DRIVE_REMOVABLE);
    EXPECT_EQ(types["/mnt/archive"], DRIVE_UNKNOWN);  // read-only
    EXPECT_EQ(types["/mnt/nas"], DRIVE_REMOTE);
    EXPECT_EQ(types["/mnt/ssh"], DRIVE_REMOTE);
    EXPECT_EQ(types["/mnt/win"], DRIVE_REMOTE);
    EXPECT_EQ(types["/mnt/tab\tand\\back"], DRIVE_FIXED);
    EXPECT_EQ(types["/mnt/windows"], DRIVE_FIXED);  // fuseblk on a disk
}

TEST(DriveTable, ClassifiesRamDisksAndFileSystemsWithoutADevice) {
    MountEntry e;
    e.fsType = "tmpfs";
    e.source = "tmpfs";
    EXPECT_EQ(classifyMount(e, sampleLookup), DRIVE_RAMDISK);
    e.fsType = "ext4";
    e.source = "/dev/zram1";
    EXPECT_EQ(classifyMount(e, sampleLookup), DRIVE_RAMDISK);
    e.fsType = "zfs";
    e.source = "pool/home";
    EXPECT_EQ(classifyMount(e, sampleLookup), DRIVE_UNKNOWN);
    e.fsType = "fuse.mergerfs";
    e.source = "/dev/sda3";  // a FUSE file system that merely names a disk is not that disk
    EXPECT_EQ(classifyMount(e, sampleLookup), DRIVE_UNKNOWN);
    e.fsType = "udf";
    EXPECT_EQ(classifyMount(e, sampleLookup), DRIVE_CDROM);
    e.fsType = "ext4";
    EXPECT_EQ(classifyMount(e, BlockLookup{}), DRIVE_UNKNOWN);
}

TEST(DriveTable, TheVisibleMountOfAPathIsTheLastOneMountedThere) {
    const auto drives = table(
        "1 0 8:1 / / rw - ext4 /dev/sda2 rw\n"
        "2 1 8:2 / /data rw - ext4 /dev/sda3 rw\n"
        "3 1 8:17 / /data rw - vfat /dev/sdb1 rw\n");
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[1].mount.mountId, 3);
    EXPECT_EQ(drives[1].type, DRIVE_REMOVABLE);
}

TEST(DriveTable, ARootOfAnotherKindIsStillC) {
    const auto drives = table(
        "1 0 0:40 / / rw - overlay overlay rw,lowerdir=/a\n"
        "2 1 8:3 / /data rw - ext4 /dev/sda3 rw\n");
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[0].mountPoint, "/");
    EXPECT_EQ(drives[0].type, DRIVE_UNKNOWN);
    EXPECT_EQ(drives[1].type, DRIVE_FIXED);
}

TEST(DriveTable, MoreThanTwentyFourDrivesAreAllReported) {
    std::string text = "1 0 8:1 / / rw - ext4 /dev/sda2 rw\n";
    for (int i = 0; i < 30; ++i) {
        text += std::to_string(i + 2) + " 1 9:" + std::to_string(i) + " / /m" +
                std::to_string(100 + i) + " rw - ext4 /dev/sda3 rw\n";
    }
    EXPECT_EQ(table(text.c_str()).size(), 31u);
}

// Any user may mount FUSE file systems where and as often as it likes: another ordinary user's
// mounts are no drives unless named, then after the others; they never crowd out the drives.
TEST(DriveTable, OtherUsersMountsAreLeftOutUnlessNamed) {
    std::string text =
        "1 0 8:1 / / rw - ext4 /dev/nvme0n1p2 rw\n"
        "2 1 8:3 / /srv rw - ext4 /dev/sda3 rw\n"
        "3 1 0:40 / /mnt/system rw - fuse.sshfs root@h:/x rw,user_id=0,group_id=0\n";
    for (int i = 0; i < 30; ++i) {
        text += std::to_string(i + 4) + " 1 0:" + std::to_string(50 + i) + " / /a/u" +
                std::to_string(10 + i) +
                " rw - fuse.bindfs x rw,user_id=" + std::to_string(i < 29 ? 1000 : 1001) +
                ",group_id=1000\n";
    }
    struct Row {
        std::optional<DriveViewer> viewer;
        std::size_t drives;
        const char* last;
    };
    const std::vector<Row> rows{
        {std::nullopt, 33, "/srv"},
        {DriveViewer{0, {}}, 3, "/srv"},
        {DriveViewer{0, {"/a/u12", "/a/u39"}}, 5, "/a/u39"},
        {DriveViewer{1000, {}}, 32, "/srv"},
    };
    for (const Row& row : rows) {
        const auto drives =
            buildDriveTable(parseMountInfo(text), std::nullopt, sampleLookup, {}, row.viewer);
        ASSERT_EQ(drives.size(), row.drives);
        EXPECT_EQ(drives.back().mountPoint, row.last);
    }
    EXPECT_EQ(mountMaker(parseMountInfo(text)[3]), 1000u);
    EXPECT_EQ(mountMaker(parseMountInfo(text)[1]), std::nullopt);
}

TEST(DriveTable, PinnedDrivesAreExactlyThoseGivenInOrder) {
    const auto drives = table(kDesktop, "/mnt/windows:/nowhere/dir::/home/:/run:/srv/data");
    ASSERT_EQ(drives.size(), 5u);
    EXPECT_EQ(drives[0].mountPoint, "/mnt/windows");
    EXPECT_EQ(drives[0].type, DRIVE_FIXED);
    // Not a mount point: listed, but with no type that could ever be selected or written.
    EXPECT_EQ(drives[1].mountPoint, "/nowhere/dir");
    EXPECT_FALSE(drives[1].mounted);
    EXPECT_EQ(drives[1].type, DRIVE_UNKNOWN);
    EXPECT_EQ(drives[2].mountPoint, "/home");
    EXPECT_EQ(drives[2].type, DRIVE_FIXED);
    EXPECT_EQ(drives[3].type, DRIVE_RAMDISK);
    // A bind mount is a mount point too; it is listed when asked for by name.
    EXPECT_EQ(drives[4].mount.mountId, 31);
    EXPECT_EQ(driveDisplayText(3, drives[3]), "F: /run");
}

TEST(DrivePaths, SplitIntoTheDriveIndexAndTheNameBelowItsRoot) {
    auto p = splitDrivePath("C:\\random00.qlk");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->index, 0);
    EXPECT_EQ(p->name, "random00.qlk");
    p = splitDrivePath("e:\\Temp\\x.txt");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->index, 2);
    EXPECT_EQ(p->name, "Temp/x.txt");
    p = splitDrivePath("D:\\");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->index, 1);
    EXPECT_EQ(p->name, "");
    p = splitDrivePath("A:\\x");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->index, -2);
    EXPECT_FALSE(splitDrivePath("/opt/quellix/ErrLog.txt"));
    EXPECT_FALSE(splitDrivePath("//ErrLog.txt"));
    EXPECT_FALSE(splitDrivePath("1:\\x"));
}

TEST(DrivePaths, MapOntoTheMountPoint) {
    EXPECT_EQ(joinMountPath("/", "random00.qlk"), "/random00.qlk");
    EXPECT_EQ(joinMountPath("/media/alice/USB STICK", "quote01.qlk"),
              "/media/alice/USB STICK/quote01.qlk");
    EXPECT_TRUE(isContainedName("random00.qlk"));
    EXPECT_TRUE(isContainedName("a..b"));
    EXPECT_FALSE(isContainedName("../etc/passwd"));
    EXPECT_FALSE(isContainedName("a/../../b"));
    EXPECT_FALSE(isContainedName("/etc"));
    EXPECT_EQ(normalizeMountPath("/mnt//data/./"), "/mnt/data");
    EXPECT_EQ(normalizeMountPath("///"), "/");
    EXPECT_EQ(normalizeMountPath(""), "");
}

}  // namespace
