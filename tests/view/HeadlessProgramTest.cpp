// The program itself without a display: it carries out its command line, prints its messages
// and status lines, ends by itself and reports the outcome in its exit status. Only file systems
// the test makes itself are offered to it (QUELLIX_DRIVES).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "resources/StringTable.h"
#include "tests/support/LoopImage.h"
#include "ui/Desktop.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string output;  // standard output
    std::string errors;  // standard error
};

std::string contents(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class HeadlessProgram : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/quellix-headless-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir_ = templ;
        // A directory that is not a mount point: listed, never selectable, never touched.
        fs::create_directory(dir_ / "not-a-mount");
        const Outcome probe = run("", (dir_ / "not-a-mount").string());
        if (probe.errors.find("no Linux platform layer") != std::string::npos) {
            GTEST_SKIP() << "this build has no Linux platform layer yet";
        }
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // Runs the program with no display, the given arguments and drives, stdin not a terminal.
    Outcome run(const std::string& arguments, const std::string& drives,
                const std::string& prefix = "") {
        const fs::path out = dir_ / "out.txt";
        const fs::path err = dir_ / "err.txt";
        const std::string command = prefix + "env -u DISPLAY -u WAYLAND_DISPLAY QUELLIX_DRIVES='" +
                                    drives + "' '" QUELLIX_BINARY "' " + arguments +
                                    " </dev/null >'" + out.string() + "' 2>'" + err.string() + "'";
        Outcome outcome;
        outcome.status = LoopImage::run(command);
        outcome.output = contents(out);
        outcome.errors = contents(err);
        return outcome;
    }

    std::string notAMount() const { return (dir_ / "not-a-mount").string(); }

    fs::path dir_;
};

bool has(const Outcome& o, const std::string& text) {
    return o.output.find(text) != std::string::npos;
}

TEST_F(HeadlessProgram, HelpRequestPrintsTheOptionsAndEndsWithStatus0) {
    const Outcome o = run("'?'", notAMount());
    EXPECT_EQ(o.status, ExitFinished);
    EXPECT_TRUE(has(o, LoadResString(102) + "\n   " + LoadResString(103) + "\n\n")) << o.output;
    EXPECT_TRUE(has(o, LoadResString(109) + "\n\n")) << o.output;
}

TEST_F(HeadlessProgram, RejectedCommandLineEndsWithStatus2) {
    const Outcome o = run("RAND=9", notAMount());
    EXPECT_EQ(o.status, ExitBadCommandLine);
    EXPECT_TRUE(has(o, LoadResString(110) + "9.\n" + LoadResString(111) + "\n\n")) << o.output;
}

TEST_F(HeadlessProgram, NothingToDoEndsByItselfWithStatus0) {
    const Outcome o = run("", notAMount());
    EXPECT_EQ(o.status, ExitFinished) << o.output;
    EXPECT_TRUE(has(o, LoadResString(101) + "\n")) << o.output;
}

TEST_F(HeadlessProgram, ARunWithNothingSelectedEndsWithStatus1) {
    const Outcome o = run("RUN", notAMount());
    EXPECT_EQ(o.status, ExitStopped) << o.output;
    EXPECT_TRUE(has(o, "No drives have been selected.  Please select them now.\n\n")) << o.output;
}

TEST_F(HeadlessProgram, ARunFromTheCommandLineWipesPrintsItsStatusAndEnds) {
    if (const std::string why = LoopImage::skipReason(); !why.empty()) GTEST_SKIP() << why;
    LoopImage image({.fsType = "ext4", .sizeMiB = 16});
    ASSERT_TRUE(image.ok()) << image.error();
    ASSERT_TRUE(image.verified());
    for (const char* stay : {"", " STAY"}) {
        SCOPED_TRACE(stay);
        const Outcome o = run(std::string("C: RAND=1 RUN") + stay, image.mountPoint());
        EXPECT_EQ(o.status, ExitFinished) << o.output;
        EXPECT_TRUE(has(o, "Filling free-space with random characters ( pass  1 of  1 )\n"))
            << o.output;
        EXPECT_TRUE(has(o, "Filling free-space with selected quotes.\n")) << o.output;
        EXPECT_TRUE(has(o, LoadResString(156) + "\n")) << o.output;
        EXPECT_EQ(o.errors, "");  // no Qt warning, nothing else either
        for (const char* name : {"random00.qlk", "random01.qlk", "quote00.qlk", "quote01.qlk"}) {
            EXPECT_FALSE(fs::exists(fs::path(image.mountPoint()) / name)) << name;
        }
    }
}

TEST_F(HeadlessProgram, ConventionalOptionsPrintWhatTheyPromiseAndEndWithStatus0) {
    const Outcome version = run("--version", notAMount());
    EXPECT_EQ(version.status, ExitFinished);
    EXPECT_EQ(version.output, std::string("quellix ") + QUELLIX_VERSION + "\n");
    for (const char* help : {"--help", "-h"}) {
        const Outcome o = run(help, notAMount());
        EXPECT_EQ(o.status, ExitFinished) << help;
        EXPECT_TRUE(has(o, LoadResString(102) + "\n   " + LoadResString(103) + "\n")) << o.output;
        EXPECT_FALSE(has(o, LoadResString(156))) << o.output;
        EXPECT_FALSE(has(o, LoadResString(101))) << o.output;
    }
    // No Qt warning either, not even without XDG_RUNTIME_DIR (root outside a login session).
    EXPECT_EQ(version.errors, "");
    const Outcome bare = run("--version", notAMount(), "env -u XDG_RUNTIME_DIR ");
    EXPECT_EQ(bare.errors, "");
}

TEST_F(HeadlessProgram, TheListSaysWhichDrivesCanBeCleanedAndWhyNot) {
    if (const std::string why = LoopImage::skipReason(); !why.empty()) GTEST_SKIP() << why;
    LoopImage writable({.fsType = "ext4", .sizeMiB = 16});
    LoopImage readOnly({.fsType = "ext4", .sizeMiB = 16});
    ASSERT_TRUE(writable.ok() && readOnly.ok());
    ASSERT_EQ(LoopImage::run("mount -o remount,ro " + readOnly.mountPoint()), 0);
    const fs::path ram = dir_ / "ram";
    fs::create_directory(ram);
    ASSERT_EQ(LoopImage::run("mount -t tmpfs -o size=1m tmpfs " + ram.string()), 0);
    const std::string drives = writable.mountPoint() + ":" + readOnly.mountPoint() + ":" +
                               ram.string() + ":" + notAMount();

    const Outcome list = run("--list", drives);
    EXPECT_EQ(list.status, ExitFinished);
    const auto row = [&](const std::string& letter, const std::string& mountPoint,
                         const std::string& state) {
        const auto at = list.output.find("\n" + letter + "     " + mountPoint + " ");
        if (at == std::string::npos) return false;
        const auto end = list.output.find('\n', at + 1);
        return list.output.substr(at, end - at).ends_with("  " + state);
    };
    EXPECT_TRUE(row("C:", writable.mountPoint(), "can be cleaned")) << list.output;
    EXPECT_TRUE(row("D:", readOnly.mountPoint(), "read-only")) << list.output;
    EXPECT_TRUE(row("E:", ram.string(), "RAM disk")) << list.output;
    EXPECT_TRUE(row("F:", notAMount(), "not a mount point")) << list.output;

    // Started without a display and with nothing to do, it shows the same table and how to run.
    const Outcome idle = run("", drives);
    EXPECT_EQ(idle.status, ExitFinished);
    EXPECT_TRUE(has(idle, list.output)) << idle.output;
    EXPECT_TRUE(has(idle, "quellix C: RUN")) << idle.output;
    EXPECT_FALSE(has(idle, LoadResString(156))) << idle.output;
    LoopImage::run("umount " + ram.string());
}

}  // namespace
