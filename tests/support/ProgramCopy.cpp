// Running the real program from a test's own directory.
#include "tests/support/ProgramCopy.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

namespace fs = std::filesystem;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        result.push_back(line);
    }
    return result;
}

int exitStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

}  // namespace

ProgramCopy::ProgramCopy(const std::string& dir, std::optional<uid_t> owner)
    : dir_(dir + "/program") {
    // Everything a run reads lies here, so that a user who may not enter the checkout or the
    // build folder (a clone in a 0700 home directory) can still run it: the program, its quotes
    // file and the sanitizer's suppressions.
    const std::string source = QUELLIX_SOURCE_DIR;
    const std::vector<std::pair<std::string, std::string>> files{
        {QUELLIX_BINARY, "quellix"},
        {source + "/resources/QuellixQuotes.sav", "QuellixQuotes.sav"},
        {source + "/tests/lsan.supp", "lsan.supp"}};
    fs::create_directories(dir_);
    for (const auto& [from, name] : files)
        fs::copy_file(from, dir_ + "/" + name, fs::copy_options::overwrite_existing);
    if (owner) {
        // The user must be able to reach the copy: the test's directory is made private.
        fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
        EXPECT_EQ(::chown(dir_.c_str(), *owner, *owner), 0) << dir_;
        for (const auto& [from, name] : files) {
            const std::string path = dir_ + "/" + name;
            EXPECT_EQ(::chown(path.c_str(), *owner, *owner), 0) << path;
        }
    }
}

std::string ProgramCopy::command(const std::string& arguments, const std::string& drives,
                                 std::optional<uid_t> user) const {
    // An empty QUELLIX_DRIVES would mean every drive of the machine.
    EXPECT_FALSE(drives.empty());
    std::string prefix;
    if (user) {
        prefix = "setpriv --reuid=" + std::to_string(*user) + " --regid=" + std::to_string(*user) +
                 " --clear-groups ";
    }
    // The run starts in the program's directory and its sanitizer options name the copy of the
    // suppressions there: the test's own working directory and the checkout may be closed to it.
    return prefix + launcher + "env -C '" + dir_ +
           "' -u DISPLAY -u WAYLAND_DISPLAY LSAN_OPTIONS='suppressions=" + dir_ +
           "/lsan.supp:print_suppressions=0' QUELLIX_DRIVES='" + drives + "' '" + dir_ +
           "/quellix' " + arguments + " </dev/null";
}

ProgramResult ProgramCopy::run(const std::string& arguments, const std::string& drives,
                               std::optional<uid_t> user) const {
    const std::string out = dir_ + "/../output.txt";
    ProgramResult result;
    if (drives.empty()) return result;
    result.status = exitStatus(
        std::system((command(arguments, drives, user) + " >'" + out + "' 2>&1").c_str()));
    result.output = slurp(out);
    return result;
}

void ProgramCopy::start(const std::string& arguments, const std::string& drives) {
    if (drives.empty()) return;
    const std::string line =
        command(arguments, drives, std::nullopt) + " >'" + dir_ + "/../background.txt' 2>&1";
    // An earlier run's output must not be read as this one's before the shell empties it.
    std::ofstream(dir_ + "/../background.txt", std::ios::trunc);
    child_ = ::fork();
    if (child_ == 0) {
        ::execl("/bin/sh", "sh", "-c", ("exec " + line).c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
}

void ProgramCopy::signal(int sig) const {
    if (child_ > 0) ::kill(child_, sig);
}

std::string ProgramCopy::output() const {
    return slurp(dir_ + "/../background.txt");
}

bool ProgramCopy::waitForOutput(const std::string& text) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (output().find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

ProgramResult ProgramCopy::finish(int timeoutSeconds) {
    ProgramResult result;
    if (child_ <= 0) return result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    while (::waitpid(child_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "the program did not end within " << timeoutSeconds << " s";
            ::kill(child_, SIGKILL);
            ::waitpid(child_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    child_ = -1;
    result.status = exitStatus(status);
    result.output = output();
    return result;
}

std::vector<std::string> ProgramCopy::reportLines() const {
    return lines(slurp(dir_ + "/QuellixRuns.jsonl"));
}

std::vector<std::string> ProgramCopy::errLogLines() const {
    return lines(slurp(dir_ + "/ErrLog.txt"));
}
