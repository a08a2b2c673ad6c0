// LinuxPlatform's host services, and its drive table on the real mount table: pinned drives,
// drives that stop being what was listed, and names planted where fill files go.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <tuple>

#include "platform/Block.h"
#include "platform/linux/DriveRoot.h"
#include "platform/linux/FillFiles.h"
#include "runtime/RuntimeError.h"
#include "tests/platform/ImageDrive.h"
#include "tests/platform/ScopedEnv.h"
#include "tests/support/RaisedNumber.h"

namespace {

class TempDir {
public:
    TempDir() {
        char templ[] = "/tmp/quellix-dir-XXXXXX";
        if (mkdtemp(templ) != nullptr) path_ = templ;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    bool empty() const { return std::filesystem::is_empty(path_); }

private:
    std::string path_;
};

TEST(LinuxHost, TheArgumentsAreArgvsWordsAsGiven) {
    const char* argv[] = {"/opt/quellix/quellix", "c:", "/srv/my disk", "run"};
    EXPECT_EQ(LinuxPlatform(4, argv).arguments(),
              (std::vector<std::string>{"c:", "/srv/my disk", "run"}));
    EXPECT_TRUE(LinuxPlatform(1, argv).arguments().empty());
}

TEST(LinuxHost, IdentifiesAsTheNtFamilyWithoutARegistry) {
    LinuxPlatform p;
    EXPECT_EQ(p.hostFamily(), HostFamily::NtFamily);
    EXPECT_NE(raisedNumber([&] { p.registryVersionNumber(); }), 0);
}

TEST(LinuxHost, ProgramDirectoryIsThatOfTheExecutable) {
    LinuxPlatform p;
    EXPECT_EQ(p.programDirectory(),
              std::filesystem::read_symlink("/proc/self/exe").parent_path().string());
}

TEST(LinuxHost, ClockCountsLocalSecondsSinceMidnight) {
    LinuxPlatform p;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const double expected = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
    const double seconds = p.secondsSinceMidnight();
    ASSERT_GE(seconds, 0.0);
    ASSERT_LT(seconds, 86400.0);
    // Allow for the second turning (or the day, at midnight) between the two readings.
    const double apart = std::fabs(seconds - expected);
    EXPECT_TRUE(apart < 2.0 || apart > 86398.0) << seconds << " vs " << expected;
}

TEST(LinuxHost, DateAndTimeTextFollowsTheTimeLocale) {
    ScopedEnv all("LC_ALL", std::string("C"));
    LinuxPlatform p;
    const std::string text = p.dateTimeText();
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d)"))) << text;
}

TEST(LinuxHost, PriorityGoesUpWherePermittedAndBackToWhereItStarted) {
    errno = 0;
    const int start = getpriority(PRIO_PROCESS, 0);
    LinuxPlatform p;
    p.setPriority(Priority::High);
    if (geteuid() == 0) {
        EXPECT_EQ(getpriority(PRIO_PROCESS, 0), std::min(start, -10));
    }
    p.setPriority(Priority::Normal);
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), start);
}

// A program started at a lowered priority (the scheduled service: nice 19) keeps it for the run,
// even where it could raise it.
TEST(LinuxHost, APriorityLoweredByTheStarterIsKept) {
    const pid_t child = fork();
    if (child == 0) {
        setpriority(PRIO_PROCESS, 0, 19);
        LinuxPlatform p;
        p.setPriority(Priority::High);
        errno = 0;
        _exit(getpriority(PRIO_PROCESS, 0));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 19);
}

// Files the program writes go to its own directory while it may write there, and otherwise to
// $XDG_STATE_HOME/quellix, made when it is asked for.
TEST(LinuxHost, WrittenFilesGoWhereTheUserMayWrite) {
    TempDir dir;
    LinuxPlatform::Options o;
    o.programDirectory = dir.path() + "/program";
    std::filesystem::create_directory(*o.programDirectory);
    LinuxPlatform p(o);
    EXPECT_EQ(p.stateDirectory(), *o.programDirectory);

    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    const pid_t child = fork();
    if (child == 0) {
        // An ordinary user, who may not write in the program's directory.
        chmod(dir.path().c_str(), 0777);
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
        setenv("XDG_STATE_HOME", (dir.path() + "/state").c_str(), 1);
        _exit(p.stateDirectory() == dir.path() + "/state/quellix" &&
                      std::filesystem::is_directory(dir.path() + "/state/quellix")
                  ? 0
                  : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
}

// Whether the state directory, as this process or as an ordinary user (uid 65534, in a forked
// child) sees it, is the expected one and exists.
bool stateDirectoryIs(LinuxPlatform& p, bool root, const std::string& expected) {
    const auto check = [&] {
        const std::string dir = p.stateDirectory();
        return dir == expected && std::filesystem::is_directory(dir);
    };
    if (root || geteuid() != 0) return check();
    const pid_t child = fork();
    if (child == 0) _exit(setgid(65534) == 0 && setuid(65534) == 0 && check() ? 0 : 1);
    int status = 1;
    return waitpid(child, &status, 0) == child && status == 0;
}

// An installed program (in <prefix>/lib/quellix) never writes below its prefix, even where it
// could: run as root it keeps its files in the system's state directory, anybody else in their
// own. A service manager's STATE_DIRECTORY comes first. Its help document lies with the
// prefix's documentation, a build's beside the program.
TEST(LinuxHost, AnInstalledProgramKeepsItsStateWhereTheHostKeepsState) {
    TempDir dir;
    chmod(dir.path().c_str(), 0777);
    const std::string prefix = dir.path() + "/usr";
    std::filesystem::create_directories(prefix + "/lib/quellix");
    chmod((prefix + "/lib/quellix").c_str(), 0777);
    LinuxPlatform::Options o;
    o.programDirectory = prefix + "/lib/quellix";
    o.systemStateDirectory = dir.path() + "/var/lib/quellix";
    LinuxPlatform installed(o);
    EXPECT_EQ(installed.documentDirectory(), prefix + "/share/doc/quellix");
    o.programDirectory = dir.path() + "/build/bin";
    EXPECT_EQ(LinuxPlatform(o).documentDirectory(), dir.path() + "/build/bin");

    ScopedEnv xdg("XDG_STATE_HOME", dir.path() + "/state");
    struct Case {
        std::optional<std::string> service;  // STATE_DIRECTORY
        bool root;
        std::string expected;
    };
    // Root takes a directory from its environment only where nobody else could have put anything:
    // the test's directory may be written by all, a private one of root's may not.
    const TempDir own;
    const std::string system = dir.path() + "/var/lib/quellix";
    std::filesystem::create_directories(own.path() + "/theirs");
    std::filesystem::create_directory_symlink(own.path(), own.path() + "/link");
    chown((own.path() + "/theirs").c_str(), 65534, 65534);
    const std::vector<Case> cases{
        {std::nullopt, true, system},
        {std::nullopt, false, dir.path() + "/state/quellix"},
        {"", true, system},
        {own.path() + "/service:" + dir.path() + "/other", true, own.path() + "/service"},
        {dir.path() + "/service", false, dir.path() + "/service"},
        {dir.path() + "/planted", true, system},
        {own.path() + "/theirs", true, system},
        {own.path() + "/link/service", true, system},
        {own.path() + "/../" + own.path() + "/service", true, system},
    };
    for (const Case& c : cases) {
        if (c.root && geteuid() != 0) continue;
        ScopedEnv service("STATE_DIRECTORY", c.service);
        EXPECT_TRUE(stateDirectoryIs(installed, c.root, c.expected))
            << (c.root ? "root, " : "user, ") << c.service.value_or("-");
    }
    EXPECT_TRUE(std::filesystem::is_empty(prefix + "/lib/quellix"));
}

TEST(LinuxDrives, QuellixDrivesPinsTheListAndItsFirstEntryIsC) {
    TempDir dir;
    ScopedEnv pinned("QUELLIX_DRIVES", dir.path() + "/:/");
    LinuxPlatform p;
    const auto list = p.driveList();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], "C: " + dir.path());
    EXPECT_EQ(list[1], "D: /");
}

TEST(LinuxDrives, WithoutQuellixDrivesTheRootFileSystemIsC) {
    ScopedEnv unpinned("QUELLIX_DRIVES", std::string(""));
    LinuxPlatform p;
    const auto list = p.driveList();
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0], "C: /");
}

TEST(LinuxDrives, APinnedDirectoryThatIsNoMountIsListedButNeverWritten) {
    TempDir dir;
    LinuxPlatform::Options o;
    o.drives = dir.path();
    LinuxPlatform p(o);
    EXPECT_EQ(p.driveList(), std::vector<std::string>{"C: " + dir.path()});
    EXPECT_EQ(p.driveType("C:\\"), DRIVE_UNKNOWN);
    EXPECT_EQ(p.driveType("D:\\"), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(raisedNumber([&] { p.createFillFile("C:\\random00.qlk", FillKind::Bulk); }),
              Err::DeviceUnavailable);
    EXPECT_EQ(raisedNumber([&] { p.createFillFile("D:\\random00.qlk", FillKind::Bulk); }),
              Err::PathNotFound);
    std::uint64_t bytes = 0;
    EXPECT_FALSE(p.diskFreeSpaceEx("C:\\", bytes));
    EXPECT_FALSE(p.systemSwapFile("C:\\pagefile.sys"));
    EXPECT_TRUE(dir.empty());
}

class LinuxImage : public testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = LoopImage::skipReason(); !why.empty()) GTEST_SKIP() << why;
        drive_ = std::make_unique<ImageDrive>();
        ASSERT_TRUE(drive_->ready()) << drive_->error();
    }
    LinuxPlatform& p() { return drive_->platform(); }
    std::string at(const std::string& name) const {
        return drive_->image().mountPoint() + "/" + name;
    }
    std::unique_ptr<ImageDrive> drive_;
};

TEST_F(LinuxImage, ABulkWriteOffTheDirectGridTurnsTheFileBuffered) {
    const FillHandle bulk = p().createFillFile("C:\\random00.qlk", FillKind::Bulk);
    ASSERT_EQ(p().fillMode(bulk), FillMode::Direct);
    p().writeFill(bulk, Block(1000, 'B'));
    EXPECT_EQ(p().fillMode(bulk), FillMode::Buffered);
    p().writeFill(bulk, Block(960000, 'B'));  // now at an odd offset: buffered too
    EXPECT_EQ(p().fillMode(bulk), FillMode::Buffered);
    p().closeFill(bulk);
    EXPECT_TRUE(drive_->rootFiles().empty());
}

TEST_F(LinuxImage, AnUnmountedDriveIsNeverWrittenBelow) {
    ASSERT_EQ(p().driveType("C:\\"), DRIVE_FIXED);
    drive_->image().unmount();
    // The table still lists the drive; the directory left behind is not it.
    EXPECT_EQ(raisedNumber([&] { p().createFillFile("C:\\random00.qlk", FillKind::Bulk); }),
              Err::DeviceUnavailable);
    EXPECT_EQ(raisedNumber([&] { p().deleteFile("C:\\random00.qlk"); }), Err::DeviceUnavailable);
    EXPECT_FALSE(p().fileExists("C:\\random00.qlk"));
    std::uint64_t bytes = 0;
    EXPECT_FALSE(p().diskFreeSpaceEx("C:\\", bytes));
    EXPECT_TRUE(std::filesystem::is_empty(drive_->image().mountPoint()));
    p().driveList();
    EXPECT_EQ(p().driveType("C:\\"), DRIVE_UNKNOWN);
}

TEST_F(LinuxImage, AReadOnlyMountIsNotAFixedDisk) {
    ASSERT_EQ(LoopImage::run("mount -o remount,ro " + drive_->image().mountPoint()), 0);
    p().driveList();
    EXPECT_EQ(p().driveType("C:\\"), DRIVE_UNKNOWN);
    EXPECT_EQ(raisedNumber([&] { p().createFillFile("C:\\random01.qlk", FillKind::Tail); }),
              Err::DeviceUnavailable);
    ASSERT_EQ(LoopImage::run("mount -o remount,rw " + drive_->image().mountPoint()), 0);
    p().driveList();
    EXPECT_EQ(p().driveType("C:\\"), DRIVE_FIXED);
}

// Whatever has a fill file's name is never opened: a hard link to someone's file loses only its
// name, and anything but a regular file is refused by name and left alone.
TEST_F(LinuxImage, APlantedLinkPipeOrDirectoryIsNeverOpenedAsAFillFile) {
    TempDir outside;
    const std::string target = outside.path() + "/precious";
    std::ofstream(target) << "keep me";
    std::filesystem::create_symlink(target, at("random01.qlk"));
    ASSERT_EQ(::mkfifo(at("quote01.qlk").c_str(), 0600), 0);
    std::filesystem::create_directory(at("quote00.qlk"));
    std::ofstream(at("victim")) << "keep me";
    std::filesystem::create_hard_link(at("victim"), at("random00.qlk"));
    using Type = std::filesystem::file_type;
    for (const auto& [name, what, type] : std::vector<std::tuple<std::string, std::string, Type>>{
             {"random01.qlk", "a symbolic link", Type::symlink},
             {"quote01.qlk", "a named pipe", Type::fifo},
             {"quote00.qlk", "a directory", Type::directory}}) {
        try {
            p().createFillFile("C:\\" + name, FillKind::Tail);
            ADD_FAILURE() << name << " was opened";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), Err::FileAlreadyExists);
            EXPECT_EQ(e.systemText(), name + " in the top directory is " + what +
                                          ", not a fill file - it was left alone");
            EXPECT_EQ(e.path(), at(name));
        }
        EXPECT_EQ(std::filesystem::symlink_status(at(name)).type(), type) << name;
    }
    const FillHandle bulk = p().createFillFile("C:\\random00.qlk", FillKind::Bulk);
    p().writeFill(bulk, Block(960000, 'B'));
    p().closeFill(bulk);
    EXPECT_EQ(std::filesystem::file_size(target), 7u);
    EXPECT_EQ(std::filesystem::file_size(at("victim")), 7u);
    EXPECT_EQ(std::filesystem::hard_link_count(at("victim")), 1u);
    // None is a regular file: the cleanup neither finds nor follows them.
    EXPECT_FALSE(p().fileExists("C:\\random01.qlk"));
    EXPECT_FALSE(p().fileExists("C:\\*.qlk"));
    for (const char* name : {"random01.qlk", "quote01.qlk", "quote00.qlk", "victim"})
        std::filesystem::remove(at(name));
}

// A user racing for the name at the moments a create leaves open never gets its file written:
// a name made again is freed again (and given up if it keeps coming back), and a new file that
// gained a second name or another owner is not written.
TEST_F(LinuxImage, ARaceForAFillFilesNameNeverWritesAnotherFile) {
    using Moment = FillFiles::Moment;
    const std::string victim = at("victim");
    struct Case {
        const char* what;
        Moment when;
        int times;
        bool giveAway;        // chown the new file instead of linking
        const char* refusal;  // nullptr: the file is made and written
    } cases[] = {
        {"a link made once", Moment::NameFreed, 1, false, nullptr},
        {"a link made each time", Moment::NameFreed, 99, false,
         "was made again by someone else each time it was removed - it was not written"},
        {"a second name", Moment::Opened, 1, false,
         "was not a new file of this program's own once open (owner 0, link count 2) - it was "
         "not written"},
        {"another owner", Moment::Opened, 1, true,
         "was not a new file of this program's own once open (owner 65534, link count 1) - it "
         "was not written"},
    };
    const UniqueFd root(::open(drive_->image().mountPoint().c_str(), O_RDONLY | O_DIRECTORY));
    for (const Case& c : cases) {
        std::ofstream(victim) << "keep me";
        int left = c.times;
        FillFiles fills([&](Moment m, int dir, const std::string& name) {
            if (m != c.when || left-- <= 0) return;
            if (c.giveAway) {
                EXPECT_EQ(::fchownat(dir, name.c_str(), 65534, 65534, 0), 0);
            } else {
                const std::string from = m == Moment::Opened ? name : "victim";
                const std::string to = m == Moment::Opened ? "second" : name;
                EXPECT_EQ(::linkat(dir, from.c_str(), dir, to.c_str(), 0), 0) << c.what;
            }
        });
        try {
            const FillHandle f =
                fills.create(root.get(), "random01.qlk", at("random01.qlk"), FillKind::Tail);
            fills.write(f, Block(96000, 'T'));
            fills.close(f);
            EXPECT_EQ(c.refusal, nullptr) << c.what;
        } catch (const RuntimeError& e) {
            ASSERT_NE(c.refusal, nullptr) << c.what << ": " << e.systemText();
            EXPECT_EQ(e.systemText(),
                      std::string("random01.qlk in the top directory ") + c.refusal);
        }
        EXPECT_EQ(std::filesystem::file_size(victim), 7u) << c.what;
        for (const char* name : {"random01.qlk", "second", "victim"})
            std::filesystem::remove(at(name));
    }
}

// A drive's root is reached without a symbolic link anywhere on the way, and only as the root
// of the listed mount, whether the kernel resolves the path or it is walked.
TEST_F(LinuxImage, ADrivesRootIsOnlyItsMountsRootAndNeverReachedThroughALink) {
    const std::string mnt = drive_->image().mountPoint();
    const std::string work = drive_->image().workDir();
    const int id = p().drives().at(0).mount.mountId;
    std::filesystem::create_directory(at("sub"));
    std::filesystem::create_directory_symlink(work, work + "/alias");
    std::filesystem::create_directory_symlink(mnt, work + "/link");
    for (const PathWalk walk : {PathWalk::Kernel, PathWalk::Components}) {
        EXPECT_TRUE(openMountRoot(mnt, id, nullptr, walk));
        EXPECT_TRUE(openMountRoot(mnt + "//", id, nullptr, walk));
        EXPECT_FALSE(openMountRoot(mnt, id + 1, nullptr, walk));
        EXPECT_FALSE(openMountRoot(at("sub"), id, nullptr, walk));  // its mount, not its root
        for (const std::string& linked : {work + "/alias/mnt", work + "/link"}) {
            int error = 0;
            EXPECT_FALSE(openMountRoot(linked, id, &error, walk)) << linked;
            EXPECT_EQ(error, 0) << linked;
        }
    }
    EXPECT_TRUE(openDirectoryNoSymlinks("/", PathWalk::Components));
    std::filesystem::remove(at("sub"));
}

TEST_F(LinuxImage, OnlyNamesInADrivesRootAreReached) {
    std::filesystem::create_directory(at("sub"));
    std::ofstream(at("sub/random01.qlk")) << "x";
    EXPECT_FALSE(p().fileExists("C:\\sub\\random01.qlk"));
    EXPECT_EQ(raisedNumber([&] { p().deleteFile("C:\\sub\\random01.qlk"); }), Err::PathNotFound);
    EXPECT_EQ(raisedNumber([&] { p().deleteFile("C:\\..\\disk.img"); }), Err::PathNotFound);
    EXPECT_EQ(raisedNumber([&] { p().createFillFile("C:\\sub\\x.qlk", FillKind::Tail); }),
              Err::BadFileNameOrNumber);
    EXPECT_TRUE(std::filesystem::exists(at("sub/random01.qlk")));
    std::filesystem::remove_all(at("sub"));
}

TEST_F(LinuxImage, CleanupFindsAndDeletesLeftoverFillFiles) {
    std::ofstream(at("random01.qlk")) << std::string(4000, 'x');
    std::ofstream(at("quote01.qlk")) << "y";
    EXPECT_TRUE(p().fileExists("C:\\random01.qlk"));
    EXPECT_EQ(p().fileLength("C:\\random01.qlk"), 4000);
    EXPECT_TRUE(p().shellDeleteFile("C:\\random01.qlk"));
    EXPECT_FALSE(p().shellDeleteFile("C:\\random01.qlk"));
    p().deleteMatching("C:\\*.qlk");
    EXPECT_TRUE(drive_->rootFiles().empty());
    EXPECT_EQ(raisedNumber([&] { p().deleteMatching("C:\\*.qlk"); }), Err::FileNotFound);
    EXPECT_FALSE(p().systemSwapFile("C:\\pagefile.sys"));
}

}  // namespace

// A container receives files of the host's disk mounted over its own (/etc/hosts); such a mount
// is no drive, and it must not hide the directory mount of the same device from the list.
TEST_F(LinuxImage, AFileMountedOverAFileIsNoDriveAndHidesNoDirectoryMount) {
    const LoopImage& image = drive_->image();
    const std::string work = image.workDir();
    std::filesystem::create_directory(at("data"));
    std::ofstream(at("hostname")) << "box\n";
    std::ofstream(work + "/a-hostname") << "";
    std::filesystem::create_directory(work + "/b-data");
    // Two mounts of one device, neither of its whole tree; the file sorts first.
    ASSERT_EQ(LoopImage::run("mount --bind " + at("hostname") + " " + work + "/a-hostname"), 0);
    ASSERT_EQ(LoopImage::run("mount --bind " + at("data") + " " + work + "/b-data"), 0);
    ASSERT_EQ(LoopImage::run("umount " + image.mountPoint()), 0);

    ScopedEnv unpinned("QUELLIX_DRIVES", std::string(""));
    LinuxPlatform all;
    const auto list = all.driveList();
    const auto listed = [&](const std::string& path) {
        return std::any_of(list.begin(), list.end(), [&](const std::string& item) {
            return item.size() > 3 && item.substr(3) == path;
        });
    };
    EXPECT_TRUE(listed(work + "/b-data"));
    EXPECT_FALSE(listed(work + "/a-hostname"));

    // Named outright, the file mount is listed as what it is: no mount point to write to.
    LinuxPlatform::Options o;
    o.drives = work + "/a-hostname";
    LinuxPlatform pinned(o);
    pinned.driveList();
    EXPECT_EQ(pinned.driveType("C:\\"), DRIVE_UNKNOWN);
    EXPECT_FALSE(pinned.mayCreateFiles("C:\\"));

    LoopImage::run("umount " + work + "/a-hostname; umount " + work + "/b-data");
}

// What a drive's facts say is what the kernel shows for the image: its device, its file system,
// ext4's own reserve, nothing kept from root, and flash exactly when the loop device (which
// takes the flag of the disk below its backing file) is non-rotational.
TEST_F(LinuxImage, DriveFactsAreWhatTheKernelShows) {
    const std::string device = drive_->image().device();
    const std::string name = device.substr(device.rfind('/') + 1);
    const auto sysfs = [](const std::string& path) {
        std::ifstream in(path);
        std::string value;
        in >> value;
        return value;
    };
    const DriveFacts facts = p().driveFacts("C:\\");
    EXPECT_TRUE(facts.mounted);
    EXPECT_FALSE(facts.readOnly);
    EXPECT_EQ(facts.mountPoint, drive_->image().mountPoint());
    EXPECT_EQ(facts.fsType, "ext4");
    EXPECT_EQ(facts.device, device);
    EXPECT_EQ(facts.rootReserveBytes, 0u);  // root may write the blocks kept for root
    EXPECT_EQ(facts.fsReserveBytes,
              std::stoull(sysfs("/sys/fs/ext4/" + name + "/reserved_clusters")) * 4096);
    EXPECT_EQ(facts.flash, sysfs("/sys/block/" + name + "/queue/rotational") == "0");
    EXPECT_TRUE(p().mayCreateFiles("C:\\"));
}

// Could not look is never "is not there": a directory an ordinary user may list but not search,
// and a drive whose root it may not open, raise the real cause with the system's words and the
// path, where they read as "no such file" before.
TEST_F(LinuxImage, WhatCannotBeLookedAtRaisesItsCauseNotFileNotFound) {
    TempDir dir;
    const std::string state = dir.path() + "/state";
    std::filesystem::create_directory(state);
    std::ofstream(state + "/QuellixRandom.sav") << "x";
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(state.c_str(), 0644), 0);  // readable, not searchable
    const std::string pinned = drive_->pinned();

    const pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(100);
        LinuxPlatform::Options o;
        o.drives = pinned;
        LinuxPlatform user(o);
        user.driveList();
        int wrong = 0;
        // Each statement must raise 70 "Permission denied" with the system's text and a path.
        const auto expect = [&](int bit, const std::string& path, const auto& statement) {
            try {
                statement();
                wrong |= bit;
            } catch (const RuntimeError& e) {
                if (e.number() != Err::PermissionDenied || e.systemText() != "Permission denied" ||
                    e.path() != path) {
                    wrong |= bit;
                }
            }
        };
        expect(1, state + "/QuellixRandom.sav",
               [&] { user.fileExists(state + "/QuellixRandom.sav"); });
        expect(2, state, [&] { user.fileExists(state + "/QuellixRandom*.sav"); });
        expect(4, state, [&] { user.deleteMatching(state + "/QuellixRandom*.sav"); });
        // The image's mount point lies in a directory only root may enter.
        expect(8, drive_->image().mountPoint(), [&] { user.fileExists("C:\\random01.qlk"); });
        expect(16, drive_->image().mountPoint(), [&] { user.deleteFile("C:\\random01.qlk"); });
        _exit(wrong);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "bits of the statements that did not raise their cause";
    chmod(state.c_str(), 0755);
}
