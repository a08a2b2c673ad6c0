// The window on a terminal, for use without a display: message boxes become printed text (and a
// question on the terminal when there is one), and a run's status texts and progress become
// lines.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <string>

#include "wipe/RunObserver.h"

class Console : public RunObserver {
public:
    // `terminal` tells whether `in` is a terminal someone can answer on. Errors go to `err`, or
    // to `out` when it is not given.
    Console(std::ostream& out, std::istream& in, bool terminal, std::ostream* err = nullptr);

    // Prints the message and returns the answer: asked on the terminal for a Yes/No question,
    // otherwise the default button.
    int messageBox(const std::string& text, int style);

    // A run's events: status texts and drives at once, progress at most once a second. While
    // several drives fill at once, each line names its drive.
    void runStarted(const WipePlan& plan) override;
    void driveStarted(const DriveProgress& drive) override;
    void passStarted(const DriveProgress& drive) override;
    void progress(const DriveProgress& drive) override;
    void preparing(int percent) override;
    void statusText(const std::string& root, const std::string& text) override;
    int message(const std::string& text, int style) override { return messageBox(text, style); }
    void yield() override {}
    void driveDone(const DriveAccount&) override {}

    // The clock that paces the progress lines, in seconds (a steady clock unless set).
    void setClock(std::function<double()> clock) { clock_ = std::move(clock); }

    // Prints text, its CR LF line breaks as a terminal wants them.
    void print(const std::string& text);
    // Prints "quellix: " and the text on the error stream.
    void printError(const std::string& text);

    // Whether the program's standard input is a terminal.
    static bool stdinIsTerminal();

private:
    // Where one drive's fill stands, summed as the progress display sums it.
    struct Drive {
        std::int64_t passStartK = 0;
        std::int64_t passDoneK = 0;
        std::int64_t doneBeforeK = 0;
    };

    void line(const std::string& text);
    // The drive's name before a line while several drives fill at once.
    std::string prefix(const std::string& root) const;
    void showProgress(const std::string& root, int current, int total);

    std::ostream& out_;
    std::ostream& err_;
    std::istream& in_;
    bool terminal_;
    std::function<double()> clock_;
    bool parallel_ = false;
    std::map<std::string, Drive> drives_;
    std::map<std::string, std::string> status_;  // the last status text, by drive
    int current_ = 0;
    int total_ = 0;
    double lastProgress_ = -1e9;
};
