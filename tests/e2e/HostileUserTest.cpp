// A root run tried by an ordinary user (uid 65534) as a hostile one would, one test per power:
// - a top directory anybody may write (1777): hard links to a root-owned 0666 file under the fill
//   files' names in the pause between passes and in a racing loop, and the mount point's parent
//   swapped for a symbolic link (what is planted before a run: tests/platform/LinuxPlatformTest);
// - a top directory the user owns, or may write through its group: a directory of root's renamed
//   to the names stage's name, or exchanged with the stage's directory in a loop;
// - the caller's environment: the run report and a state directory pointed at links and pipes;
// - argument words and mount names: keywords inside an option's value, blanks and a newline in
//   mount points.
// Every victim keeps its content, nothing is written beside the program's own files, and the
// outcome says what happened.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
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

#include "platform/FillGeometry.h"
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

// --- A top directory the user may write without a sticky bit: it renames and exchanges anything
// in it, a directory of root's too.

enum class TopDirectory { OwnedByTheUser, WritableByItsGroup };

void PrintTo(TopDirectory t, std::ostream* os) {
    *os << (t == TopDirectory::OwnedByTheUser ? "owned by the user" : "writable by its group");
}

class HostileOwner : public testing::TestWithParam<TopDirectory> {
protected:
    void SetUp() override {
        if (const std::string why = LoopImage::skipReason(); !why.empty()) GTEST_SKIP() << why;
        disk_ = std::make_unique<LoopImage>(LoopImage::Options{"ext4", 64, 512});
        ASSERT_TRUE(disk_->ok() && disk_->verified()) << disk_->error();
        mnt_ = disk_->mountPoint();
        ASSERT_EQ(::chmod(disk_->workDir().c_str(), 0755), 0);
        const bool owned = GetParam() == TopDirectory::OwnedByTheUser;
        ASSERT_EQ(::chown(mnt_.c_str(), owned ? 65534 : 0, 65534), 0);
        ASSERT_EQ(::chmod(mnt_.c_str(), owned ? 0755 : 0775), 0);
        // An administrator's directory: what the user could never empty.
        fs::create_directory(mnt_ + "/secret");
        ASSERT_EQ(::chmod((mnt_ + "/secret").c_str(), 0700), 0);
        std::ofstream(mnt_ + "/secret/secret.conf") << "password=1234\n";
        program_ = std::make_unique<ProgramCopy>(disk_->workDir());
    }

    // The administrator's file, in whichever of the two names the directory has now; the other
    // name, if anything is there, holds only an empty directory of the stage's.
    void expectSecretKept() const {
        int found = 0;
        for (const std::string name : {"secret", kNamesDirectory}) {
            const std::string dir = mnt_ + "/" + name;
            if (fs::exists(dir + "/secret.conf")) {
                ++found;
                EXPECT_EQ(slurp(dir + "/secret.conf"), "password=1234\n");
                EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
            } else if (fs::exists(dir)) {
                EXPECT_TRUE(fs::is_empty(dir)) << dir;
            }
        }
        EXPECT_EQ(found, 1) << "the administrator's file is gone";
    }

    std::unique_ptr<LoopImage> disk_;
    std::unique_ptr<ProgramCopy> program_;
    std::string mnt_;
};

TEST_P(HostileOwner, ADirectoryOfRootsUnderTheStagesNameKeepsEveryFile) {
    // Renamed to the stage's name: a plain start, one without the stage, and a run leave it.
    ASSERT_EQ(::rename((mnt_ + "/secret").c_str(), (mnt_ + "/" + kNamesDirectory).c_str()), 0);
    for (const char* arguments : {"C:", "C: --no-names", "C: RAND=1 RUN"}) {
        SCOPED_TRACE(arguments);
        ASSERT_TRUE(disk_->verified());
        const ProgramResult r = program_->run(arguments, mnt_);
        EXPECT_EQ(r.status, std::string(arguments).ends_with("RUN") ? ExitIncomplete : ExitFinished)
            << r.output;
        expectSecretKept();
    }
    ASSERT_EQ(::rename((mnt_ + "/" + kNamesDirectory).c_str(), (mnt_ + "/secret").c_str()), 0);

    // Exchanged with the stage's directory as fast as the user can (renameat2 RENAME_EXCHANGE),
    // against runs at the scheduled service's idle priority.
    const pid_t racer = ::fork();
    if (racer == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        const std::string a = mnt_ + "/secret", b = mnt_ + "/" + kNamesDirectory;
        for (;;)
            ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE);
    }
    program_->launcher = "nice -n 19 ionice -c 3 ";
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(disk_->verified());
        const ProgramResult r = program_->run("C: RAND=1 RUN", mnt_);
        // Complete, or the stage refused what it found under its name.
        EXPECT_TRUE(r.status == ExitFinished ||
                    (r.status == ExitIncomplete && has(r.output, kNamesDirectory)))
            << r.output;
    }
    ::kill(racer, SIGKILL);
    ::waitpid(racer, nullptr, 0);
    expectSecretKept();
}

INSTANTIATE_TEST_SUITE_P(TopDirectories, HostileOwner,
                         testing::Values(TopDirectory::OwnedByTheUser,
                                         TopDirectory::WritableByItsGroup));

// --- The caller's environment: names a root run writes its records to.

TEST_F(HostileUser, RecordsAreNeverWrittenThroughALinkNorWaitedForOnAPipe) {
    // The user's own directory, a file of root's it links to, and a link to a directory of root's
    // it may not enter, which holds a file of root's and a picture under the map's name.
    const std::string theirs = disk_->workDir() + "/theirs", target = disk_->workDir() + "/target";
    const std::string closed = disk_->workDir() + "/closed";
    fs::create_directory(theirs);
    std::ofstream(target) << "root's only\n";
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    for (const char* name : {"report", "ErrLog.txt", "QuellixRuns.jsonl"})
        fs::create_symlink(target, theirs + "/" + name);
    fs::create_directory(closed);
    ASSERT_EQ(::chmod(closed.c_str(), 0700), 0);
    std::ofstream(closed + "/secret.conf") << "root's only\n";
    std::ofstream(closed + "/quellix-C.png") << "root's picture\n";
    fs::create_directory_symlink(closed, theirs + "/closed");
    std::ofstream(theirs + "/QuellixRandom.sav") << "the fill text the user chose\n";
    ASSERT_EQ(::mkfifo((theirs + "/pipe").c_str(), 0666), 0);
    ASSERT_EQ(LoopImage::run("chown -hR 65534:65534 " + theirs), 0);
    const auto contents = [&] {
        std::vector<std::string> all;
        for (const auto& entry : fs::directory_iterator(theirs))
            all.push_back(entry.path().filename().string());
        std::sort(all.begin(), all.end());
        return all;
    };
    const std::vector<std::string> before = contents();

    struct Row {
        const char* variable;
        std::string value;
        const char* says;
        std::string arguments = "";
    };
    const std::vector<Row> rows{
        {"QUELLIX_REPORT", theirs + "/report", "it is a symbolic link"},
        {"QUELLIX_REPORT", theirs + "/pipe", "it is a named pipe"},
        {"QUELLIX_REPORT", theirs + "/closed/secret.conf", "reached through a symbolic link"},
        {"QUELLIX_REPORT", closed + "/secret.conf", "it carries no mark of this program's"},
        {"STATE_DIRECTORY", theirs, "belongs to another user (65534)"},
        {"QUELLIX_REPORT", disk_->workDir() + "/new.jsonl", "reached through a symbolic link",
         " --map " + theirs + "/closed"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value + row.arguments);
        ScopedEnv variable(row.variable, row.value);
        ASSERT_TRUE(disk_->verified());
        const ProgramResult r = program_->run("C: RAND=1 RUN" + row.arguments, mnt_);
        EXPECT_EQ(r.status, ExitFinished) << r.output;
        EXPECT_TRUE(has(r.output, row.says)) << r.output;
    }
    // A pipe under the report's name never holds the program past a signal.
    {
        ScopedEnv report("QUELLIX_REPORT", theirs + "/pipe");
        program_->start("C: RAND=3 RUN", mnt_);
        ASSERT_TRUE(program_->waitForOutput("Filling free-space"));
        program_->signal(SIGTERM);
        EXPECT_EQ(program_->finish(60).status, ExitStopped);
    }
    EXPECT_EQ(slurp(target), "root's only\n");
    EXPECT_EQ(slurp(closed + "/secret.conf"), "root's only\n");
    EXPECT_EQ(slurp(closed + "/quellix-C.png"), "root's picture\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(closed), fs::directory_iterator()), 2);
    EXPECT_EQ(contents(), before);
    EXPECT_EQ(slurp(theirs + "/QuellixRandom.sav"), "the fill text the user chose\n");
}

// --- Argument words and mount names: words stay words, names are data.

TEST_F(HostileUser, OptionValuesAndMountNamesAreDataNotWords) {
    const std::string work = disk_->workDir();
    const std::string blank = work + "/my disk", newline = work + "/fake\nZZ /srv/fake";
    for (const std::string& at : {blank, newline}) {
        fs::create_directories(at);
        ASSERT_EQ(LoopImage::run("mount --bind " + mnt_ + " '" + at + "'"), 0);
    }
    const std::string drives = mnt_ + ":" + blank + ":" + newline;
    struct Row {
        std::string arguments;
        std::vector<std::string> says, never;
    };
    const std::vector<Row> rows{
        // Keywords inside --map's value neither add drives nor start a run.
        {"--dry-run C: --map '" + work + "/maps for ALL drives RUN'",
         {"\nC: " + mnt_ + " (ext4): "},
         {"\nD: ", "\nE: "}},
        {"--map '" + work + "/Quellix Runs'", {"Nothing to do"}, {"Filling"}},
        // A mount point with a blank is one word.
        {"--dry-run '" + blank + "'", {"\nD: " + blank + " (ext4): "}, {"\nC: "}},
        // A newline in a mount point is shown, never obeyed, and the mount point can be named.
        {"--list", {work + "/fake\\nZZ /srv/fake"}, {"\nZZ "}},
        {"--dry-run '" + newline + "'",
         {"\nE: " + work + "/fake\\nZZ /srv/fake (ext4): "},
         {"\nC: "}},
        {"-?", {"Command-line options are"}, {"Filling"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments);
        ASSERT_TRUE(disk_->verified());
        const ProgramResult r = program_->run(row.arguments, drives);
        EXPECT_EQ(r.status, ExitFinished) << r.output;
        for (const std::string& text : row.says)
            EXPECT_TRUE(has(r.output, text)) << text << "\n" << r.output;
        for (const std::string& text : row.never)
            EXPECT_FALSE(has(r.output, text)) << text << "\n" << r.output;
    }
    for (const std::string& at : {blank, newline})
        LoopImage::run("umount '" + at + "'");
}

}  // namespace
