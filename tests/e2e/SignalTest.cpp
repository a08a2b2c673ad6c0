// Ending a run from outside: SIGTERM (systemctl stop, timeout), SIGINT (Ctrl-C) and SIGHUP (a
// closed terminal) wind the run down like Exit, a second signal ends it at once, and a closed
// standard output never stops a run. In every case the image is left as it was before.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/LoopImage.h"
#include "tests/support/ProgramCopy.h"
#include "ui/Desktop.h"

namespace fs = std::filesystem;

namespace {

class Signals : public testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = LoopImage::skipReason(); !why.empty()) GTEST_SKIP() << why;
    }
};

TEST_F(Signals, EachTerminationSignalWindsTheRunDownWithStatus1) {
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(sig));
        LoopImage image({.fsType = "ext4", .sizeMiB = 1024});
        ASSERT_TRUE(image.ok() && image.verified()) << image.error();
        ProgramCopy program(image.workDir());
        const std::uint64_t before = image.freeBlocks();

        program.start("C: RAND=3 RUN", image.mountPoint());
        ASSERT_TRUE(program.waitForOutput("( pass  1 of  3 )"));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // into the bulk stage
        const auto sent = std::chrono::steady_clock::now();
        program.signal(sig);
        const ProgramResult r = program.finish();
        EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(2));

        EXPECT_EQ(r.status, ExitStopped) << r.output;
        EXPECT_EQ(image.fillFiles(), std::vector<std::string>{});
        EXPECT_EQ(image.freeBlocks(), before);
        EXPECT_EQ(program.errLogLines(), std::vector<std::string>{});
        // The run is recorded as stopped.
        ASSERT_EQ(program.reportLines().size(), 1u);
        EXPECT_NE(program.reportLines()[0].find("\"outcome\":\"stopped\""), std::string::npos);
    }
}

TEST_F(Signals, ASecondSignalEndsTheProgramAtOnceAndLeavesNoFillFile) {
    LoopImage image({.fsType = "ext4", .sizeMiB = 1024});
    ASSERT_TRUE(image.ok() && image.verified()) << image.error();
    ProgramCopy program(image.workDir());
    const std::uint64_t before = image.freeBlocks();
    program.start("C: RAND=3 RUN", image.mountPoint());
    // Into the tail stages of a pass, where a fill file with a name is open.
    const std::string tail = image.mountPoint() + "/random01.qlk";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!fs::exists(tail) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_TRUE(fs::exists(tail)) << program.output();
    program.signal(SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    program.signal(SIGTERM);
    const ProgramResult r = program.finish(10);
    EXPECT_EQ(r.status, ExitStopped) << r.output;
    EXPECT_EQ(image.fillFiles(), std::vector<std::string>{});
    EXPECT_EQ(image.freeBlocks(), before);
}

TEST_F(Signals, AClosedStandardOutputNeverStopsARun) {
    LoopImage image({.fsType = "ext4", .sizeMiB = 64});
    ASSERT_TRUE(image.ok() && image.verified()) << image.error();
    ProgramCopy program(image.workDir());
    const std::uint64_t before = image.freeBlocks();
    // head ends after the first line; every later line meets a closed pipe.
    const std::string script = image.workDir() + "/piped.sh";
    std::ofstream(script) << "env -u DISPLAY -u WAYLAND_DISPLAY QUELLIX_DRIVES='"
                          << image.mountPoint() << "' '" << program.dir()
                          << "/quellix' C: RAND=1 RUN </dev/null | head -1 >/dev/null\n"
                          << "exit ${PIPESTATUS[0]}\n";
    const int status = LoopImage::run("bash " + script);
    EXPECT_EQ(status, ExitFinished);
    ASSERT_EQ(program.reportLines().size(), 1u);
    EXPECT_NE(program.reportLines()[0].find("\"outcome\":\"complete\""), std::string::npos);
    EXPECT_EQ(image.fillFiles(), std::vector<std::string>{});
    EXPECT_EQ(image.freeBlocks(), before);
}

}  // namespace
