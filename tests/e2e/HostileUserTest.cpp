// A root run on a drive whose top directory anybody may write (1777), tried by an ordinary user
// (uid 65534) as a hostile one would: hard links to a root-owned 0666 file under the fill files'
// names in the pause between passes and in a racing loop, and the mount point's parent swapped
// for a symbolic link (what is planted before a run: tests/platform/LinuxPlatformTest.cpp). The
// victim keeps its size, content and link count, nothing is written beside the fill files, the free
// space comes back, and the outcome says what happened.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/platform/ScopedEnv.h"
#include "tests/support/LoopImage.h"
#include "tests/support/ProgramCopy.h"
#include "ui/Desktop.h"

namespace fs = std::filesystem;

namespace {

const std::string kUser = "setpriv --reuid=65534 --regid=65534 --clear-groups ";

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class HostileUser : public testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = LoopImage::skipReason(); !why.empty()) GTEST_SKIP() << why;
        disk_ = std::make_unique<LoopImage>(LoopImage::Options{"ext4", 64, 512});
        ASSERT_TRUE(disk_->ok() && disk_->verified()) << disk_->error();
        mnt_ = disk_->mountPoint();
        ASSERT_EQ(::chmod(disk_->workDir().c_str(), 0755), 0);
        ASSERT_EQ(::chmod(mnt_.c_str(), 01777), 0);
        std::string content;
        for (int i = 0; i < 20000; ++i)
            content += std::to_string(i * 7919) + "\n";
        std::ofstream(mnt_ + "/victim") << content;
        ASSERT_EQ(::chmod((mnt_ + "/victim").c_str(), 0666), 0);
        victim_ = slurp(mnt_ + "/victim");
        program_ = std::make_unique<ProgramCopy>(disk_->workDir());
    }

    void TearDown() override {
        // A bind mount left by a failed check must not outlive the image.
        if (disk_)
            LoopImage::run("umount -q " + swapped_ + "/u/mnt " + swapped_ +
                           "/u.old/mnt >/dev/null 2>&1");
    }

    // Runs a shell script as the ordinary user in the drive's top directory.
    int asUser(const std::string& script) const {
        return LoopImage::run(kUser + "sh -c 'cd " + mnt_ + " && " + script + "'");
    }
    std::uint64_t freeBlocks() const {
        LoopImage::run("sync");
        struct statvfs s {};
        return ::statvfs(mnt_.c_str(), &s) == 0 ? s.f_bfree : 0;
    }
    std::vector<std::string> names() const {
        std::vector<std::string> all;
        for (const auto& entry : fs::directory_iterator(mnt_))
            all.push_back(entry.path().filename().string());
        std::sort(all.begin(), all.end());
        return all;
    }
    // The victim as it was: size, content, one link.
    void expectVictimIntact() const {
        struct stat st {};
        ASSERT_EQ(::stat((mnt_ + "/victim").c_str(), &st), 0);
        EXPECT_EQ(st.st_nlink, 1u);
        EXPECT_EQ(static_cast<std::size_t>(st.st_size), victim_.size());
        EXPECT_TRUE(slurp(mnt_ + "/victim") == victim_) << "the victim's content changed";
    }

    std::unique_ptr<LoopImage> disk_;
    std::unique_ptr<ProgramCopy> program_;
    std::string mnt_, victim_, swapped_ = "/nonexistent";
};

TEST_F(HostileUser, NeverTurnsARootRunAgainstAFileOrThroughALink) {
    const std::vector<std::string> before = names();

    // A hard link made in the pause after the first pass; the run report cannot be written.
    const std::uint64_t base = freeBlocks();
    const auto unharmed = [&] {
        expectVictimIntact();
        EXPECT_EQ(freeBlocks(), base);
        EXPECT_EQ(names(), before);
    };
    ProgramResult r;
    {
        ScopedEnv report("QUELLIX_REPORT", std::string("/dev/full"));
        ASSERT_TRUE(disk_->verified());
        program_->start("C: RAND=1 RUN", mnt_);
        ASSERT_TRUE(program_->waitForOutput("Restoring disk free-space."));
        EXPECT_EQ(asUser("ln victim quote00.qlk"), 0);
        r = program_->finish();
    }
    EXPECT_EQ(r.status, ExitFinished) << r.output;
    EXPECT_TRUE(has(r.output, "the run report could not be written to /dev/full")) << r.output;
    unharmed();

    // A loop that links the victim under every fill name as fast as it can, through the random
    // passes.
    ASSERT_TRUE(disk_->verified());
    program_->start("C: RAND=3 RUN", mnt_);
    const pid_t loop = ::fork();
    if (loop == 0) {
        ::setpgid(0, 0);
        const std::string script = "cd " + mnt_ +
                                   " && while :; do for n in random00 random01 quote00 quote01; "
                                   "do ln victim $n.qlk 2>/dev/null; done; done";
        ::execl("/usr/bin/setpriv", "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::setpgid(loop, loop);
    EXPECT_TRUE(program_->waitForOutput("Filling free-space with selected quotes."));
    ::kill(-loop, SIGKILL);
    ::waitpid(loop, nullptr, 0);
    r = program_->finish();
    // Complete, or incomplete with the fill file it gave up named.
    EXPECT_TRUE(r.status == ExitFinished ||
                (r.status == ExitIncomplete && has(r.output, " in the top directory ")))
        << r.output;
    unharmed();

    // The mount point's parent, owned by the user, swapped for a link into the user's own
    // directory on the same file system while the run pauses.
    const std::string parent = swapped_ = disk_->workDir() + "/swap";
    const std::string drive = parent + "/u/mnt";
    fs::create_directories(drive);
    fs::create_directories(mnt_ + "/evil/mnt");
    ASSERT_EQ(LoopImage::run("chown -R 65534:65534 " + parent + " " + mnt_ + "/evil"), 0);
    ASSERT_EQ(LoopImage::run("mount --bind " + mnt_ + " " + drive), 0);
    ASSERT_EQ(LoopImage::run("mountpoint -q " + drive), 0);
    // Files made and removed there again leave no trace but this.
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(watch, (mnt_ + "/evil/mnt").c_str(), IN_CREATE), 0);
    program_->start("C: RAND=1 RUN", drive);
    ASSERT_TRUE(program_->waitForOutput("Restoring disk free-space."));
    EXPECT_EQ(LoopImage::run(kUser + "sh -c 'mv " + parent + "/u " + parent + "/u.old && ln -s " +
                             "u.old/mnt/evil " + parent + "/u'"),
              0);
    r = program_->finish();
    EXPECT_EQ(r.status, ExitSystemPrevented) << r.output;
    EXPECT_TRUE(has(r.output, "not able to read  the free-space on drive C:")) << r.output;
    char events[4096];
    EXPECT_LT(::read(watch, events, sizeof events), 1) << "a file was made through the link";
    ::close(watch);
    EXPECT_EQ(LoopImage::run("umount " + parent + "/u.old/mnt"), 0);
    fs::remove_all(mnt_ + "/evil");
    EXPECT_EQ(names(), before);
    expectVictimIntact();
}

}  // namespace
