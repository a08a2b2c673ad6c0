// The window-system services the window object uses: yielding to the event loop, message
// boxes, the help viewer and ending the program. The window's own state (title, window state,
// geometry, controls) lives in the window object; the view mirrors it at every yield.
#pragma once

#include <cstdlib>
#include <string>

#include "log/ErrorLog.h"
#include "wipe/RunObserver.h"

// The help viewer's command that opens a help file at its contents.
inline constexpr int HELP_FINDER = 11;

// The program's exit status, for scripts and schedulers.
enum ExitStatus : int {
    ExitFinished = 0,         // a run finished, or the user ended the program
    ExitStopped = 1,          // a run was stopped or could not run
    ExitBadCommandLine = 2,   // the command line was rejected
    ExitSystemPrevented = 3,  // no drives, too many, unreadable free space, unsupported host
    ExitIncomplete = 4,       // a run finished, but some free space was not overwritten
};

class Desktop {
public:
    virtual ~Desktop() = default;

    // Lets the window draw the window object's state and handle pending user input.
    virtual void DoEvents() = 0;
    // A modal message box with the given caption; returns vbOK, vbYes or vbNo.
    virtual int MsgBox(const std::string& text, int style, const std::string& title) = 0;
    // A line for whoever started the program, on its standard output; a failed write is ignored.
    virtual void Print(const std::string& line) = 0;
    // An error, refusal or warning for whoever started the program, on its standard error as
    // "quellix: <line>"; a failed write is ignored. The window shows nothing for it.
    virtual void PrintError(const std::string& line) = 0;
    // Without a display, the terminal that shows a run's events as lines; nothing otherwise.
    virtual RunObserver* Terminal() { return nullptr; }
    // Opens the help document at its contents. False when no viewer could show it.
    virtual bool ShowHelp(const std::string& file, int command) = 0;
    // Whether the user sees a window; without one, messages are printed.
    virtual bool HasWindow() const = 0;
    // The coverage picture of a drive, drawn from its account's map, as the bytes of a PNG file;
    // empty when it cannot be drawn.
    virtual std::string CoveragePicture(const DriveAccount& drive) = 0;

    // A refusal, an error or a warning: a message box with an OK button in the window; without
    // one, a line on standard error (PrintError), where scripts and schedulers look for it.
    void ShowError(const std::string& text, int style = vbOKOnly) {
        if (HasWindow()) {
            MsgBox(text, style, "Quellix");
        } else {
            PrintError(text);
        }
    }
    // Ends the program with the given exit status. Never returns. Lines the error log lost on
    // the way are said first, on standard error: the log itself cannot say it.
    [[noreturn]] void EndProgram(int status) {
        if (const auto lost = TakeLostLogLines()) PrintError(*lost);
        endProgram(status);
        std::abort();  // an implementation that returned would be a fault
    }

protected:
    // Ends the program; must not return (it exits the process or throws).
    virtual void endProgram(int status) = 0;
};
