// The window on a terminal, for use without a display: message boxes become printed text (and a
// question on the terminal when there is one), and the status line and progress become lines.
#pragma once

#include <iosfwd>
#include <string>

class frmQuellix;

class Console {
public:
    // `terminal` tells whether `in` is a terminal someone can answer on. Errors go to `err`, or
    // to `out` when it is not given.
    Console(std::ostream& out, std::istream& in, bool terminal, std::ostream* err = nullptr);

    // Prints the message and returns the answer: asked on the terminal for a Yes/No question,
    // otherwise the default button.
    int messageBox(const std::string& text, int style);

    // Prints what changed in the window since the last call: the status line and the drive at
    // once, the progress at most once a second. `now` is in seconds on any steady clock.
    void observe(const frmQuellix& window, double now);

    // Prints text, its CR LF line breaks as a terminal wants them.
    void print(const std::string& text);
    // Prints "quellix: " and the text on the error stream.
    void printError(const std::string& text);

    // Whether the program's standard input is a terminal.
    static bool stdinIsTerminal();

private:
    void line(const std::string& text);

    std::ostream& out_;
    std::ostream& err_;
    std::istream& in_;
    bool terminal_;
    std::string status_;
    std::string drive_;
    int current_ = 0;
    int total_ = 0;
    double lastProgress_ = -1e9;
};
