// A run killed at any moment (kill -9: no handler of the program runs) leaves nothing that the
// next start does not remove: no fill file, every free block back, every other file as it was.
// The moments are random, spread over the whole run, its bulk stages, the moment a tail file
// appears and the small stages, closes and cleanup just after; the seed is fixed and printed.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/LoopImage.h"
#include "tests/support/ProgramCopy.h"
#include "ui/Desktop.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

namespace {

constexpr unsigned kSeed = 20261207;
constexpr int kKills = 10;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// True while the process holds an open file whose name ends so (an unlinked file included).
bool holdsFile(pid_t pid, const std::string& ending) {
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        const std::string target = fs::read_symlink(fd.path(), ec).string();
        if (target.find(ending) != std::string::npos) return true;
    }
    return false;
}

bool running(pid_t pid) {
    const std::string stat = slurp("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(") ");
    return close != std::string::npos && stat[close + 2] != 'Z';
}

// Where in its run the program is, from its open fill files and its last status line.
std::string phase(const ProgramCopy& program, pid_t pid) {
    if (!running(pid)) return "ended";
    if (holdsFile(pid, "01.qlk")) return "tail";
    if (holdsFile(pid, "00.qlk")) return "bulk";
    const std::string out = program.output();
    if (out.find("Filling") == std::string::npos) return "start";
    const auto restoring = out.rfind("Restoring");
    const auto filling = out.rfind("Filling");
    return restoring != std::string::npos && restoring > filling ? "cleanup" : "probe";
}

class Kill : public testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = LoopImage::skipReason(); !why.empty()) GTEST_SKIP() << why;
    }
};

TEST_F(Kill, AtAnyMomentTheNextStartLeavesNoFillFileAndGivesEveryBlockBack) {
    LoopImage image({.fsType = "ext4", .sizeMiB = 128});
    ASSERT_TRUE(image.ok() && image.verified()) << image.error();
    const std::string mnt = image.mountPoint();
    std::cout << "kill moments seed " << kSeed << "\n";
    RecordProperty("seed", std::to_string(kSeed));
    std::mt19937 random(kSeed);

    // Files of known content that no fill may change.
    std::map<std::string, std::string> kept;
    for (int i = 0; i < 3; ++i) {
        std::string data(std::uniform_int_distribution<std::size_t>(1, 300000)(random), '\0');
        for (char& c : data)
            c = static_cast<char>(random());
        const std::string path = mnt + "/kept" + std::to_string(i);
        std::ofstream(path, std::ios::binary) << data;
        kept[path] = data;
    }
    const std::uint64_t before = image.freeBlocks();
    ProgramCopy program(image.workDir());

    // A whole run first, to learn when its passes fill.
    ASSERT_TRUE(image.verified());
    const auto t0 = Clock::now();
    program.start("C: RAND=1 RUN", mnt);
    double randomStart = 0, randomEnd = 0, quotesStart = 0, quotesEnd = 0;
    while (running(program.pid())) {
        const std::string out = program.output();
        const double t = Seconds(Clock::now() - t0).count();
        if (randomStart == 0 && out.find("random characters") != std::string::npos) randomStart = t;
        if (randomEnd == 0 && out.find("Restoring") != std::string::npos) randomEnd = t;
        if (quotesStart == 0 && out.find("selected quotes") != std::string::npos) quotesStart = t;
        if (quotesEnd == 0 && quotesStart > 0 && out.rfind("Restoring") > out.rfind("Filling")) {
            quotesEnd = t;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const double duration = Seconds(Clock::now() - t0).count();
    const ProgramResult whole = program.finish();
    ASSERT_EQ(whole.status, ExitFinished) << whole.output;
    ASSERT_GT(randomEnd, randomStart);
    ASSERT_GT(quotesStart, randomEnd);
    ASSERT_GT(quotesEnd, quotesStart);

    std::map<std::string, int> phases;
    for (int k = 0; k < kKills; ++k) {
        ASSERT_TRUE(image.verified());
        program.start("C: RAND=1 RUN", mnt);
        const auto started = Clock::now();
        const pid_t pid = program.pid();
        const auto sleepUntil = [&](double at) {
            std::this_thread::sleep_until(started +
                                          std::chrono::duration_cast<Clock::duration>(Seconds(at)));
        };
        const auto within = [&](double from, double to) {
            return std::uniform_real_distribution<double>(from, to)(random);
        };
        const std::string tail = k % 2 == 0 ? "/random01.qlk" : "/quote01.qlk";
        switch (k % 5) {
            case 0:  // anywhere in the run
                sleepUntil(within(0, duration));
                break;
            case 1:  // in a bulk stage
                while (running(pid) && !holdsFile(pid, "00.qlk")) {
                }
                std::this_thread::sleep_for(Seconds(within(0, 0.04)));
                break;
            case 2:  // anywhere in a pass
                sleepUntil(k % 2 == 0 ? within(randomStart, randomEnd)
                                      : within(quotesStart, quotesEnd));
                break;
            default:  // as the tail file appears, or a little later (small stages, close)
                while (running(pid) && !fs::exists(mnt + tail)) {
                }
                if (k % 5 == 4) std::this_thread::sleep_for(Seconds(within(0, 0.03)));
        }
        const std::string where = phase(program, pid);
        ++phases[where];
        program.signal(SIGKILL);
        const ProgramResult killed = program.finish(60);
        SCOPED_TRACE("kill " + std::to_string(k) + " in " + where);
        EXPECT_TRUE(killed.status == 128 + SIGKILL || killed.status == ExitFinished)
            << killed.status;

        // The next start (no options: only its start-up cleanup) removes what the kill left.
        ASSERT_TRUE(image.verified());
        const ProgramResult next = program.run("", mnt);
        EXPECT_EQ(next.status, ExitFinished) << next.output;
        EXPECT_EQ(image.fillFiles(), std::vector<std::string>{});
        EXPECT_EQ(image.freeBlocks(), before);
        for (const auto& [path, data] : kept)
            EXPECT_TRUE(slurp(path) == data) << path << " changed";
    }
    for (const auto& [where, n] : phases)
        std::cout << "killed in " << where << ": " << n << "\n";
}

}  // namespace
