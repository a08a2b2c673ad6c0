// Sequential text files and host file operations, run alike on the fake platform and on
// LinuxPlatform in a directory of the test's own; then what only the real files can show, and
// the error log's line as LinuxPlatform writes it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include "log/ErrorLog.h"
#include "platform/linux/LinuxPlatform.h"
#include "runtime/RuntimeError.h"
#include "tests/platform/ScopedEnv.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/RaisedNumber.h"

namespace {

struct FakeHost {
    FakeHost() = default;
    Platform& platform() { return fake; }
    std::string dir() const { return "/opt/quellix"; }
    std::string raw(const std::string& path) { return fake.hostFiles[path]; }
    void put(const std::string& path, const std::string& content) {
        fake.hostFiles[path] = content;
    }
    bool has(const std::string& path) const { return fake.hostFiles.count(path) != 0; }
    FakePlatform fake;
};

struct LinuxHost {
    LinuxHost() {
        char templ[] = "/tmp/quellix-text-XXXXXX";
        if (mkdtemp(templ) != nullptr) dir_ = templ;
        LinuxPlatform::Options o;
        o.programDirectory = dir_;
        linux = std::make_unique<LinuxPlatform>(o);
    }
    ~LinuxHost() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    Platform& platform() { return *linux; }
    std::string dir() const { return dir_; }
    std::string raw(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    void put(const std::string& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }
    bool has(const std::string& path) const { return std::filesystem::exists(path); }
    std::string dir_;
    std::unique_ptr<LinuxPlatform> linux;
};

template <class Host>
class TextContract : public testing::Test {
protected:
    Platform& p() { return host_.platform(); }
    std::string path(const std::string& name) const { return host_.dir() + "/" + name; }
    std::vector<std::string> readAll(const std::string& name) {
        std::vector<std::string> lines;
        const TextHandle f = p().openText(path(name), TextMode::Input);
        while (!p().atEnd(f))
            lines.push_back(p().readLine(f));
        EXPECT_EQ(raisedNumber([&] { p().readLine(f); }), Err::InputPastEndOfFile);
        p().closeText(f);
        return lines;
    }
    Host host_;
};

using Hosts = testing::Types<FakeHost, LinuxHost>;
TYPED_TEST_SUITE(TextContract, Hosts);

TYPED_TEST(TextContract, LinesAreWrittenWithCrLfAndReadBackWithout) {
    const TextHandle f = this->p().openText(this->path("a.txt"), TextMode::Output);
    for (const char* line : {"first", "", "with  blanks "})
        this->p().writeLine(f, line);
    this->p().closeText(f);
    EXPECT_EQ(this->host_.raw(this->path("a.txt")), "first\r\n\r\nwith  blanks \r\n");
    EXPECT_EQ(this->readAll("a.txt"), (std::vector<std::string>{"first", "", "with  blanks "}));
}

TYPED_TEST(TextContract, OutputTruncatesAndAppendCreatesOrExtends) {
    this->host_.put(this->path("log.txt"), "old line\r\n");
    TextHandle f = this->p().openText(this->path("log.txt"), TextMode::Output);
    this->p().writeLine(f, "new");
    this->p().closeText(f);
    EXPECT_EQ(this->host_.raw(this->path("log.txt")), "new\r\n");
    f = this->p().openText(this->path("log.txt"), TextMode::Append);
    this->p().writeLine(f, "more");
    this->p().closeText(f);
    EXPECT_EQ(this->host_.raw(this->path("log.txt")), "new\r\nmore\r\n");
    f = this->p().openText(this->path("fresh.txt"), TextMode::Append);
    this->p().writeLine(f, "x");
    this->p().closeText(f);
    EXPECT_EQ(this->host_.raw(this->path("fresh.txt")), "x\r\n");
}

TYPED_TEST(TextContract, LoneLineFeedsAndAnUnendedLastLineAreLines) {
    this->host_.put(this->path("q.sav"), "Alpha\nBeta\r\nend\r\nGamma");
    EXPECT_EQ(this->readAll("q.sav"), (std::vector<std::string>{"Alpha", "Beta", "end", "Gamma"}));
    this->host_.put(this->path("empty.sav"), "");
    EXPECT_TRUE(this->readAll("empty.sav").empty());
}

TYPED_TEST(TextContract, MissingFilesAndWrongHandlesRaise) {
    EXPECT_EQ(raisedNumber([&] { this->p().openText(this->path("none.sav"), TextMode::Input); }),
              Err::FileNotFound);
    this->host_.put(this->path("in.sav"), "x\r\n");
    const TextHandle in = this->p().openText(this->path("in.sav"), TextMode::Input);
    const TextHandle out = this->p().openText(this->path("out.sav"), TextMode::Output);
    EXPECT_EQ(raisedNumber([&] { this->p().writeLine(in, "y"); }), Err::BadFileNameOrNumber);
    EXPECT_EQ(raisedNumber([&] { this->p().readLine(out); }), Err::BadFileNameOrNumber);
    this->p().closeText(in);
    EXPECT_EQ(raisedNumber([&] { this->p().closeText(in); }), Err::BadFileNameOrNumber);
    this->p().closeAllText();
    EXPECT_EQ(raisedNumber([&] { this->p().writeLine(out, "y"); }), Err::BadFileNameOrNumber);
}

TYPED_TEST(TextContract, PatternsFindAndDeleteEveryMatchingFile) {
    for (const char* name : {"QuellixRandom.sav", "QuellixRandom2.sav", "QuellixQuotes.sav"}) {
        this->host_.put(this->path(name), "12345");
    }
    EXPECT_TRUE(this->p().fileExists(this->path("QuellixRandom*.sav")));
    EXPECT_TRUE(this->p().fileExists(this->path("*Quotes*")));
    EXPECT_FALSE(this->p().fileExists(this->path("QuellixRandom*.txt")));
    EXPECT_EQ(this->p().fileLength(this->path("QuellixQuotes.sav")), 5);
    this->p().deleteMatching(this->path("QuellixRandom*.sav"));
    EXPECT_FALSE(this->host_.has(this->path("QuellixRandom.sav")));
    EXPECT_FALSE(this->host_.has(this->path("QuellixRandom2.sav")));
    EXPECT_TRUE(this->host_.has(this->path("QuellixQuotes.sav")));
    EXPECT_EQ(raisedNumber([&] { this->p().deleteMatching(this->path("QuellixRandom*.sav")); }),
              Err::FileNotFound);
    EXPECT_EQ(raisedNumber([&] { this->p().deleteFile(this->path("QuellixRandom.sav")); }),
              Err::FileNotFound);
    EXPECT_EQ(raisedNumber([&] { this->p().fileLength(this->path("QuellixRandom.sav")); }),
              Err::FileNotFound);
    EXPECT_FALSE(this->p().shellDeleteFile(this->path("QuellixRandom.sav")));
}

class LinuxText : public testing::Test {
protected:
    LinuxHost host_;
    Platform& p() { return host_.platform(); }
    std::string path(const std::string& name) const { return host_.dir() + "/" + name; }
};

TEST_F(LinuxText, LongLinesSurviveTheReadBuffer) {
    // The random text file: 21 lines of 10500 characters, bytes 33 to 255.
    std::vector<std::string> lines;
    for (int i = 0; i < 21; ++i) {
        std::string line;
        for (int j = 0; j < 10500; ++j)
            line.push_back(static_cast<char>(33 + (i * 7 + j) % 223));
        lines.push_back(line);
    }
    TextHandle f = p().openText(path("QuellixRandom.sav"), TextMode::Output);
    for (const auto& line : lines)
        p().writeLine(f, line);
    p().closeText(f);
    EXPECT_EQ(std::filesystem::file_size(path("QuellixRandom.sav")), 220542u);
    f = p().openText(path("QuellixRandom.sav"), TextMode::Input);
    for (const auto& line : lines)
        EXPECT_EQ(p().readLine(f), line);
    EXPECT_TRUE(p().atEnd(f));
    p().closeText(f);
}

TEST_F(LinuxText, DirectoriesAreNotFiles) {
    std::filesystem::create_directory(path("QuellixRandom9.sav"));
    EXPECT_FALSE(p().fileExists(path("QuellixRandom9.sav")));
    EXPECT_FALSE(p().fileExists(path("QuellixRandom*.sav")));
    EXPECT_EQ(raisedNumber([&] { p().deleteMatching(path("QuellixRandom*.sav")); }),
              Err::FileNotFound);
    EXPECT_EQ(raisedNumber([&] { p().openText(path("QuellixRandom9.sav"), TextMode::Input); }),
              Err::PathFileAccessError);
    EXPECT_FALSE(p().fileExists(path("nowhere/QuellixRandom*.sav")));
}

// A file written anew is a new file: another file put under its name, as a hard or symbolic
// link, is never truncated or written.
TEST_F(LinuxText, AFileWrittenAnewNeverWritesAnotherFileUnderItsName) {
    host_.put(path("other"), "keep me");
    std::filesystem::create_hard_link(path("other"), path("QuellixRandom.sav"));
    std::filesystem::create_symlink(path("other"), path("b.sav"));
    for (const char* name : {"QuellixRandom.sav", "b.sav"}) {
        const TextHandle f = p().openText(path(name), TextMode::Output);
        p().writeLine(f, "new");
        p().closeText(f);
        EXPECT_EQ(host_.raw(path(name)), "new\r\n");
    }
    EXPECT_EQ(host_.raw(path("other")), "keep me");
}

// The coverage pictures root may write into a directory anybody may write are new files too.
TEST_F(LinuxText, BytesWrittenToANewFileNeverReachAnotherFileUnderItsName) {
    const std::string png("\x89PNG\r\n\0", 7);
    host_.put(path("other"), "keep me");
    std::filesystem::create_hard_link(path("other"), path("quellix-C.png"));
    std::filesystem::create_symlink(path("other"), path("quellix-D.png"));
    for (const char* name : {"quellix-C.png", "quellix-D.png"}) {
        p().writeNewFile(path(name), png);
        EXPECT_EQ(host_.raw(path(name)), png);
        EXPECT_FALSE(std::filesystem::is_symlink(path(name)));
    }
    EXPECT_EQ(host_.raw(path("other")), "keep me");
}

// A record that root appends to (the run report, the error log) may lie in a directory somebody
// else may write: what is under its name is taken only when it is a regular file of this user's
// with one name. A link is never followed, a pipe never waited for, and what is there is left as
// it was. The pipe is opened in a child, so that a wait shows as a timeout, not a hung test.
TEST_F(LinuxText, ARecordIsAppendedOnlyToAFileOfItsOwn) {
    host_.put(path("other"), "keep me");
    std::filesystem::create_symlink(path("other"), path("symlink"));
    std::filesystem::create_hard_link(path("other"), path("hardlink"));
    ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0666), 0);
    host_.put(path("theirs"), "theirs");
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(path("theirs").c_str(), 65534, 65534), 0);
    }
    struct Row {
        const char* name;
        const char* says;
    };
    for (const Row& row :
         {Row{"symlink", "it is a symbolic link"}, Row{"hardlink", "it has 2 names"},
          Row{"pipe", "it is a named pipe"}, Row{"theirs", "it belongs to another user (65534)"}}) {
        SCOPED_TRACE(row.name);
        if (std::string(row.name) == "theirs" && ::geteuid() != 0) continue;
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(5);
            try {
                p().appendLine(path(row.name), "line");
            } catch (const RuntimeError& e) {
                ::_exit(e.systemText().find(row.says) == 0 ? 0 : 1);
            }
            ::_exit(2);
        }
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        // The error log takes the same way.
        if (std::string(row.name) != "pipe") {
            EXPECT_EQ(raisedNumber([&] { p().openText(path(row.name), TextMode::Append); }),
                      Err::PathFileAccessError);
        }
    }
    // Nor is a pipe read as the random text.
    EXPECT_EQ(raisedNumber([&] { p().openText(path("pipe"), TextMode::Input); }),
              Err::PathFileAccessError);
    EXPECT_EQ(host_.raw(path("other")), "keep me");
    EXPECT_EQ(host_.raw(path("theirs")), "theirs");
    // A new record, or one of its own, is appended to.
    p().appendLine(path("report"), "one");
    p().appendLine(path("report"), "two");
    EXPECT_EQ(host_.raw(path("report")), "one\ntwo\n");
}

// Outside its state directory (QUELLIX_REPORT, --map) root takes only a file it made: a file of
// root's named there, or reached through a link to a directory, is left as it was.
TEST_F(LinuxText, RootTakesARecordElsewhereOnlyWhereItMadeIt) {
    if (::geteuid() != 0) GTEST_SKIP() << "the rules are root's";
    const std::string elsewhere = path("elsewhere");
    std::filesystem::create_directory(elsewhere);
    host_.put(elsewhere + "/shadow", "root's only\n");
    std::filesystem::create_directory_symlink(elsewhere, path("link"));
    struct Row {
        std::string path;
        const char* says;
    };
    for (const Row& row : {Row{elsewhere + "/shadow", "carries no mark"},
                           Row{path("link") + "/shadow", "reached through a symbolic link"},
                           Row{path("link") + "/new.jsonl", "reached through a symbolic link"},
                           Row{elsewhere + "/nologin", "makes no file of this name"}}) {
        SCOPED_TRACE(row.path);
        try {
            p().appendLine(row.path, "{}");
            ADD_FAILURE() << "appended";
        } catch (const RuntimeError& e) {
            EXPECT_NE(e.systemText().find(row.says), std::string::npos) << e.systemText();
        }
        EXPECT_THROW(p().writeNewFile(row.path, "png"), RuntimeError);
    }
    EXPECT_EQ(host_.raw(elsewhere + "/shadow"), "root's only\n");
    EXPECT_FALSE(std::filesystem::exists(elsewhere + "/new.jsonl"));
    EXPECT_FALSE(std::filesystem::exists(elsewhere + "/nologin"));
    // What it made there itself it takes again.
    p().appendLine(elsewhere + "/runs.jsonl", "one");
    p().appendLine(elsewhere + "/runs.jsonl", "two");
    EXPECT_EQ(host_.raw(elsewhere + "/runs.jsonl"), "one\ntwo\n");
    p().writeNewFile(elsewhere + "/quellix-C.png", "first");
    p().writeNewFile(elsewhere + "/quellix-C.png", "second");
    EXPECT_EQ(host_.raw(elsewhere + "/quellix-C.png"), "second");
    // Nobody else may change a record, whatever the umask.
    const mode_t umask = ::umask(0);
    p().appendLine(path("open.jsonl"), "x");
    ::umask(umask);
    struct stat st {};
    ASSERT_EQ(::stat(path("open.jsonl").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 022, 0u);
}

TEST_F(LinuxText, TheErrorLogLineCarriesTheLocalesDateAndTime) {
    ScopedEnv all("LC_ALL", std::string("C"));
    ErrorLog(p(), "fQL Fill Cycles", 57, "Device I/O error");
    ErrorLog(p(), "fQL Cleanup", -5, "");
    const std::string log = host_.raw(path("ErrLog.txt"));
    const std::regex line(
        R"(Quellix error #57 \(Device I/O error\) occurred in fQL Fill Cycles at )"
        R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d\r\n)"
        R"(Quellix error #-5 \(\) occurred in fQL Cleanup at \d\d/\d\d/\d\d \d\d:\d\d:\d\d\r\n)");
    EXPECT_TRUE(std::regex_match(log, line)) << log;
}

TEST(LinuxErrorLog, AnUnwritableLogLosesItsLineAndTheCallerGoesOn) {
    LinuxPlatform::Options o;
    o.programDirectory = "/nonexistent/quellix";
    LinuxPlatform p(o);
    EXPECT_NO_THROW(ErrorLog(p, "fQL Wipe", 61, "Disk full"));
    EXPECT_FALSE(std::filesystem::exists("/nonexistent/quellix/ErrLog.txt"));
}

}  // namespace
