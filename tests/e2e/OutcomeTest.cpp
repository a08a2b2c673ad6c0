// A wipe that did not happen is never reported as done. Real file systems fail under the fill (a
// disk shut down, a read-only remount), an ordinary user meets what it may not write, and in
// every case the exit status, the printed reason and the run report say so.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "tests/support/LoopImage.h"
#include "tests/support/ProgramCopy.h"
#include "ui/Desktop.h"

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

nlohmann::json lastReport(const ProgramCopy& program) {
    const auto lines = program.reportLines();
    if (lines.empty()) return nlohmann::json();
    return nlohmann::json::parse(lines.back());
}

class Outcome : public testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = LoopImage::skipReason(); !why.empty()) GTEST_SKIP() << why;
    }
    // A fresh ext4 image, mounted and verified as the test's own.
    std::unique_ptr<LoopImage> image(std::uint64_t sizeMiB) {
        auto made = std::make_unique<LoopImage>(LoopImage::Options{"ext4", sizeMiB, 512});
        EXPECT_TRUE(made->ok()) << made->error();
        EXPECT_TRUE(made->verified());
        return made;
    }
};

TEST_F(Outcome, ADiskThatFailsDuringTheFirstPassEndsWithStatus4AndTheIOErrorNamed) {
    auto disk = image(512);
    ASSERT_TRUE(disk->verified());
    ProgramCopy program(disk->workDir());
    program.start("C: RAND=3 RUN", disk->mountPoint());
    ASSERT_TRUE(program.waitForOutput("( pass  1 of  3 )"));
    // Every later write of the file system fails, as on a disk that died.
    ASSERT_EQ(LoopImage::run("xfs_io -x -c shutdown " + disk->mountPoint()), 0);
    const ProgramResult r = program.finish();

    EXPECT_EQ(r.status, ExitIncomplete) << r.output;
    EXPECT_TRUE(has(r.output, "Device I/O error")) << r.output;
    EXPECT_TRUE(has(r.output, "Free space was not fully overwritten on C: - see the run report"))
        << r.output;
    EXPECT_FALSE(has(r.output, "Thank you for using Quellix")) << r.output;

    const nlohmann::json report = lastReport(program);
    ASSERT_TRUE(report.is_object());
    EXPECT_EQ(report["exit_status"], ExitIncomplete);
    const nlohmann::json& drive = report["drives"][0];
    EXPECT_EQ(drive["outcome"], "incomplete");
    const nlohmann::json& first = drive["passes"][0];
    EXPECT_LT(first["written"].get<std::int64_t>(), first["free_at_start"].get<std::int64_t>());
    EXPECT_GT(first["errors"].value("57", 0), 0) << first;

    // After the disk comes back (its journal replayed), the next start leaves no fill file.
    disk->unmount();
    ASSERT_TRUE(disk->remount()) << disk->error();
    ASSERT_TRUE(disk->verified());
    const ProgramResult next = program.run("", disk->mountPoint());
    EXPECT_EQ(next.status, ExitFinished) << next.output;
    EXPECT_EQ(disk->fillFiles(), std::vector<std::string>{});
}

TEST_F(Outcome, AFileSystemRemountedReadOnlyDuringARunEndsWithStatus4AndTheReason) {
    auto disk = image(64);
    ASSERT_TRUE(disk->verified());
    ProgramCopy program(disk->workDir());
    program.start("C: RAND=2 RUN", disk->mountPoint());
    ASSERT_TRUE(program.waitForOutput("( pass  1 of  2 )"));
    // A file open for writing keeps the remount from happening: it succeeds in the pause after
    // the first pass, when the fill files are gone.
    ASSERT_EQ(
        LoopImage::run("for i in $(seq 1 2000); do mount -o remount,ro " + disk->mountPoint() +
                       " 2>/dev/null && exit 0; sleep 0.01; done; exit 1"),
        0);
    const ProgramResult r = program.finish();

    EXPECT_EQ(r.status, ExitIncomplete) << r.output;
    EXPECT_TRUE(has(r.output, "Read-only file system")) << r.output;
    const nlohmann::json report = lastReport(program);
    ASSERT_TRUE(report.is_object());
    EXPECT_EQ(report["drives"][0]["outcome"], "incomplete");
    EXPECT_TRUE(has(report["drives"][0]["reason"].get<std::string>(), "Read-only file system"));
    // The report names the file the system refused, which the error log's line cannot.
    bool named = false;
    for (const nlohmann::json& pass : report["drives"][0]["passes"]) {
        named = named || has(pass["error_details"].value("70", ""),
                             "Read-only file system: " + disk->mountPoint() + "/random0");
    }
    EXPECT_TRUE(named) << report["drives"][0]["passes"].dump();
    // A tail file the read-only disk kept is gone after the next start on the writable disk.
    ASSERT_EQ(LoopImage::run("mount -o remount,rw " + disk->mountPoint()), 0);
    ASSERT_TRUE(disk->verified());
    const ProgramResult next = program.run("", disk->mountPoint());
    EXPECT_EQ(next.status, ExitFinished) << next.output;
    EXPECT_EQ(disk->fillFiles(), std::vector<std::string>{});
}

// A quota says "full" while the disk still has room. On btrfs (whose quota groups bind every
// user, and which keeps a large reserve for its metadata) the room the quota kept from the fill
// was once taken for that reserve, and the run read as complete.
TEST_F(Outcome, AQuotaThatEndsTheFillWithRoomLeftIsNamedAndNeverReadsAsComplete) {
    if (LoopImage::run("command -v mkfs.btrfs >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "mkfs.btrfs is not installed";
    }
    LoopImage disk({.fsType = "btrfs", .sizeMiB = 256});
    ASSERT_TRUE(disk.ok() && disk.verified()) << disk.error();
    const std::string mnt = disk.mountPoint();
    if (LoopImage::run("btrfs quota enable " + mnt + " && btrfs quota rescan -w " + mnt +
                       " >/dev/null") != 0) {
        GTEST_SKIP() << "btrfs quota groups are not available";
    }
    // The quota: what the top volume holds now, and all but 10 MB of the free space.
    struct statvfs s {};
    ASSERT_EQ(::statvfs(mnt.c_str(), &s), 0);
    const std::uint64_t avail = static_cast<std::uint64_t>(s.f_bavail) * s.f_frsize;
    const std::string limit = "$(( $(btrfs qgroup show --raw " + mnt +
                              " | awk '$1 == \"0/5\" { print $2 }') + " +
                              std::to_string(avail - 10 * 1048576) + " ))";
    ASSERT_EQ(LoopImage::run("btrfs qgroup limit " + limit + " " + mnt), 0);
    ASSERT_EQ(::chmod(disk.workDir().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(mnt.c_str(), 0777), 0);
    ProgramCopy program(disk.workDir(), kNobody);

    ASSERT_TRUE(disk.verified());
    const ProgramResult r = program.run("C: RAND=1 RUN", mnt, kNobody);
    EXPECT_EQ(r.status, ExitIncomplete) << r.output;
    EXPECT_TRUE(has(r.output, " MB overwritten - Disk quota exceeded")) << r.output;
    const nlohmann::json report = lastReport(program);
    ASSERT_TRUE(report.is_object());
    const nlohmann::json& drive = report["drives"][0];
    EXPECT_EQ(drive["outcome"], "incomplete");
    // The fill went on to the quota in every pass, and no further.
    for (const nlohmann::json& pass : drive["passes"]) {
        EXPECT_GE(pass["free_at_end"].get<std::int64_t>(), 9 * 1048576) << pass;
        EXPECT_LE(pass["free_at_end"].get<std::int64_t>(), 12 * 1048576) << pass;
    }
    EXPECT_EQ(disk.fillFiles(), std::vector<std::string>{});
}

TEST_F(Outcome, AnOrdinaryUserIsRefusedWhatItCannotWriteAndToldOfTheRootReserve) {
    auto locked = image(32);
    auto open = image(64);
    ASSERT_TRUE(locked->verified() && open->verified());
    // The user may reach both mount points; it may write only in the second one's top directory.
    for (const LoopImage* disk : {locked.get(), open.get()}) {
        ASSERT_EQ(::chmod(disk->workDir().c_str(), 0755), 0);
    }
    ASSERT_EQ(::chmod(open->mountPoint().c_str(), 0777), 0);
    ProgramCopy program(open->workDir(), kNobody);
    const std::string drives = locked->mountPoint() + ":" + open->mountPoint();

    // The drive it may not write is shown as such (greyed in the window) and refused.
    const ProgramResult list = program.run("--list", drives, kNobody);
    EXPECT_TRUE(has(list.output, "C:     " + locked->mountPoint())) << list.output;
    EXPECT_TRUE(has(list.output, "  not writable by this user\nD:")) << list.output;
    const ProgramResult refused = program.run("C: RUN", drives, kNobody);
    EXPECT_EQ(refused.status, ExitBadCommandLine) << refused.output;
    EXPECT_TRUE(has(refused.output, "Drive C: cannot or should not")) << refused.output;
    EXPECT_EQ(locked->fillFiles(), std::vector<std::string>{});

    struct statvfs before {};
    ASSERT_EQ(::statvfs(open->mountPoint().c_str(), &before), 0);
    const std::uint64_t rootReserve =
        static_cast<std::uint64_t>(before.f_bfree - before.f_bavail) * before.f_frsize;
    ASSERT_GT(rootReserve, 0u);
    const ProgramResult r = program.run("D: RAND=1 RUN", drives, kNobody);
    EXPECT_EQ(r.status, ExitIncomplete) << r.output;
    EXPECT_TRUE(
        has(r.output, "reserved for root were not overwritten - run as root to include them"))
        << r.output;
    const nlohmann::json report = lastReport(program);
    ASSERT_TRUE(report.is_object());
    const nlohmann::json& drive = report["drives"][0];
    EXPECT_EQ(drive["letter"], "D:");
    EXPECT_EQ(drive["outcome"], "incomplete");
    EXPECT_EQ(drive["root_reserve_bytes"].get<std::uint64_t>(), rootReserve);
    // What the user may write it did write.
    for (const nlohmann::json& pass : drive["passes"]) {
        EXPECT_LE(pass["free_at_end"].get<std::int64_t>(), 960000) << pass;
    }
    EXPECT_EQ(open->fillFiles(), std::vector<std::string>{});
}

}  // namespace
