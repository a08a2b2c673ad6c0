// The real program in a directory of a test's own (with its quotes file), run without a display
// on file systems the test made itself: QUELLIX_DRIVES always names them, never the machine's.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

struct ProgramResult {
    int status = -1;
    std::string output;  // standard output and standard error
};

class ProgramCopy {
public:
    // Makes dir/program holding all a run reads (the program, its quotes file, the sanitizer's
    // suppressions); with owner, that user owns it and may reach it through dir.
    explicit ProgramCopy(const std::string& dir, std::optional<uid_t> owner = std::nullopt);

    const std::string& dir() const { return dir_; }
    // Words the runs are started through ("nice -n 19 ionice -c 3 "); none when empty.
    std::string launcher;

    // Runs the program with the arguments (shell words) on the drives (colon-separated mount
    // points, never empty), standard input not a terminal; as the user given, else as this one.
    ProgramResult run(const std::string& arguments, const std::string& drives,
                      std::optional<uid_t> user = std::nullopt) const;

    // The same, started in the background: returns at once; finish() waits for it.
    void start(const std::string& arguments, const std::string& drives);
    // Sends a signal to the background run.
    void signal(int sig) const;
    // The background run's process id (the program itself), or -1 when none is running.
    pid_t pid() const { return child_; }
    // What the background run has printed so far.
    std::string output() const;
    // Waits until the background run has printed the text; false after a minute without it.
    bool waitForOutput(const std::string& text) const;
    // Waits for the background run (at most timeoutSeconds, then kills it and fails the test).
    ProgramResult finish(int timeoutSeconds = 300);

    // The lines of the run report and of the error log in the program's directory.
    std::vector<std::string> reportLines() const;
    std::vector<std::string> errLogLines() const;

private:
    std::string command(const std::string& arguments, const std::string& drives,
                        std::optional<uid_t> user) const;

    std::string dir_;
    pid_t child_ = -1;
};
