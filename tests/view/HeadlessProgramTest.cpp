// The program itself without a display: it carries out its command line, prints its messages
// and status lines, ends by itself and reports the outcome in its exit status. Only file systems
// the test makes itself are offered to it (QUELLIX_DRIVES).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

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

    // Runs the program with no display, the given arguments and drives, stdin not a terminal;
    // `environment` (env's words) comes last and may name a display after all.
    Outcome run(const std::string& arguments, const std::string& drives,
                const std::string& prefix = "", const std::string& environment = "") {
        const fs::path out = dir_ / "out.txt";
        const fs::path err = dir_ / "err.txt";
        const std::string command = prefix + "env -u DISPLAY -u WAYLAND_DISPLAY " + environment +
                                    " QUELLIX_DRIVES='" + drives + "' '" QUELLIX_BINARY "' " +
                                    arguments + " </dev/null >'" + out.string() + "' 2>'" +
                                    err.string() + "'";
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
    // On standard error, and no thanks for it.
    EXPECT_EQ(o.errors, "quellix: " + LoadResString(110) + "9.\n" + LoadResString(111) + "\n");
    EXPECT_FALSE(has(o, LoadResString(156))) << o.output;
}

TEST_F(HeadlessProgram, NothingToDoEndsByItselfWithStatus0) {
    const Outcome o = run("", notAMount());
    EXPECT_EQ(o.status, ExitFinished) << o.output;
    EXPECT_TRUE(has(o, LoadResString(101) + "\n")) << o.output;
}

TEST_F(HeadlessProgram, ARunWithNothingSelectedEndsWithStatus1) {
    const Outcome o = run("RUN", notAMount());
    EXPECT_EQ(o.status, ExitStopped) << o.output;
    EXPECT_EQ(o.errors, "quellix: No drives have been selected.  Please select them now.\n");
    EXPECT_FALSE(has(o, LoadResString(156))) << o.output;
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
        EXPECT_EQ(o.output.rfind("Usage: quellix [OPTION]...", 0), 0u) << o.output;
        for (const char* part : {"\n  /MOUNT/POINT ", "\n  RAND=N ", "\n  -n, --dry-run ",
                                 "\n  QUELLIX_DRIVES ", "\nExit status:\n", "\nExamples:\n"}) {
            EXPECT_TRUE(has(o, part)) << part;
        }
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

// The free blocks and fill files of an image, to tell that nothing was written or deleted.
struct Footprint {
    std::uint64_t freeBlocks;
    std::vector<std::string> fillFiles;
    bool operator==(const Footprint&) const = default;
};
Footprint footprint(const LoopImage& image) {
    return {image.freeBlocks(), image.fillFiles()};
}

// A small ext4 image of the test's own holding a fill file that an interrupted run left.
std::unique_ptr<LoopImage> imageWithLeftover() {
    auto image = std::make_unique<LoopImage>(LoopImage::Options{.fsType = "ext4", .sizeMiB = 16});
    EXPECT_TRUE(image->ok()) << image->error();
    if (image->verified()) {
        std::ofstream(fs::path(image->mountPoint()) / "random01.qlk") << "left over";
    }
    return image;
}

TEST_F(HeadlessProgram, ADryRunPrintsThePlanAndWritesOrDeletesNothing) {
    if (const std::string why = LoopImage::skipReason(); !why.empty()) GTEST_SKIP() << why;
    const auto made = imageWithLeftover();
    const LoopImage& image = *made;
    ASSERT_TRUE(image.verified());
    // A start would remove the leftover; a dry run only names it.
    const Footprint before = footprint(image);
    ASSERT_EQ(before.fillFiles, std::vector<std::string>{"random01.qlk"});
    // The last: a display that is not there changes nothing.
    for (const auto& [arguments, environment] : std::vector<std::pair<std::string, std::string>>{
             {"C: --dry-run", ""},
             {"--dry-run ALL", ""},
             {"--dry-run C:", "-u QT_QPA_PLATFORM DISPLAY=:99"}}) {
        SCOPED_TRACE(arguments + " " + environment);
        const Outcome o = run(arguments, image.mountPoint(), "", environment);
        EXPECT_EQ(o.status, ExitFinished) << o.output << o.errors;
        EXPECT_TRUE(has(o, "\nC: " + image.mountPoint() + " (ext4): ")) << o.output;
        EXPECT_TRUE(has(o, "leftover fill files the start would remove: random01.qlk\n"))
            << o.output;
        EXPECT_EQ(o.errors, "");
        EXPECT_TRUE(footprint(image) == before);
    }
}

TEST_F(HeadlessProgram, ARefusedCommandLineEndsWithStatus2AndALineOnStandardError) {
    if (const std::string why = LoopImage::skipReason(); !why.empty()) GTEST_SKIP() << why;
    const auto made = imageWithLeftover();
    const LoopImage& image = *made;
    ASSERT_TRUE(image.verified());
    const Footprint before = footprint(image);
    // A refused option touches no drive at all: not even the leftover goes.
    for (const char* arguments : {"--no-run C:", "--bogus"}) {
        SCOPED_TRACE(arguments);
        const Outcome o = run(arguments, image.mountPoint());
        EXPECT_EQ(o.status, ExitBadCommandLine);
        EXPECT_EQ(o.errors.rfind("quellix: unknown option '-", 0), 0u) << o.errors;
        EXPECT_EQ(o.output, "");
        EXPECT_TRUE(footprint(image) == before);
    }
    // A drive that is not there is named.
    const Outcome o = run("C: Z: RUN", image.mountPoint());
    EXPECT_EQ(o.status, ExitBadCommandLine);
    EXPECT_EQ(o.errors,
              "quellix: There is no drive Z:.  quellix --list shows the drives there are.\n");
    EXPECT_FALSE(has(o, LoadResString(156))) << o.output;
    EXPECT_EQ(image.fillFiles(), std::vector<std::string>{});
}

TEST_F(HeadlessProgram, AMountPointWordSelectsItsDriveEvenWhenItsPathHoldsAllAndRun) {
    if (const std::string why = LoopImage::skipReason(); !why.empty()) GTEST_SKIP() << why;
    LoopImage named({.fsType = "ext4", .sizeMiB = 16});
    LoopImage other({.fsType = "ext4", .sizeMiB = 16});
    ASSERT_TRUE(named.ok() && other.ok()) << named.error() << other.error();
    ASSERT_TRUE(named.verified() && other.verified());
    // The named file system, mounted a second time on a path that holds ALL and RUN.
    const fs::path path = dir_ / "all" / "small-run";
    fs::create_directories(path);
    ASSERT_EQ(LoopImage::run("mount --bind " + named.mountPoint() + " " + path.string()), 0);
    // Gone before the test's directory is removed, however the test ends.
    struct Unmount {
        std::string path;
        ~Unmount() { LoopImage::run("umount " + path); }
    } unmount{path.string()};
    ASSERT_EQ(LoopImage::run("mountpoint -q " + path.string()), 0);
    const std::string drives = other.mountPoint() + ":" + path.string();
    const std::string report = "env QUELLIX_REPORT=" + (dir_ / "runs.jsonl").string() + " ";
    const std::uint64_t otherFree = other.freeBlocks();

    // Without RUN nothing runs, and only that drive is chosen: the dry run's plan says so.
    const Outcome plan = run("-n " + path.string() + "/ RAND=1", drives);
    EXPECT_EQ(plan.status, ExitFinished) << plan.errors;
    EXPECT_TRUE(has(plan, "\nD: " + path.string() + " (ext4): ")) << plan.output;
    EXPECT_FALSE(has(plan, "\nC: ")) << plan.output;
    EXPECT_TRUE(has(plan, "Without RUN no run would start.")) << plan.output;

    const Outcome o = run(path.string() + " RAND=1 RUN", drives, report);
    EXPECT_EQ(o.status, ExitFinished) << o.output << o.errors;
    const auto lines = contents(dir_ / "runs.jsonl");
    const auto runReport = nlohmann::json::parse(lines.substr(0, lines.find('\n')));
    ASSERT_EQ(runReport["drives"].size(), 1u) << lines;
    EXPECT_EQ(runReport["drives"][0]["mount_point"], path.string());
    EXPECT_EQ(runReport["drives"][0]["outcome"], "complete");
    EXPECT_EQ(runReport["random_passes"], 1);
    EXPECT_EQ(other.freeBlocks(), otherFree);
    EXPECT_EQ(named.fillFiles(), std::vector<std::string>{});
}

TEST_F(HeadlessProgram, ADisplayThatCannotBeOpenedLeavesTheProgramWithoutAWindow) {
    if (fs::exists("/tmp/.X11-unix/X99")) GTEST_SKIP() << "a display :99 is there";
    const Outcome o = run("", notAMount(), "", "-u QT_QPA_PLATFORM DISPLAY=:99");
    EXPECT_EQ(o.status, ExitFinished) << o.output;
    EXPECT_EQ(o.errors, "quellix: cannot open the display ':99'; going on without a window\n");
    EXPECT_TRUE(has(o, "Nothing to do")) << o.output;
}

}  // namespace
