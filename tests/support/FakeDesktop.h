// A Desktop for tests: records every message box and every yield, answers message boxes from a
// script, runs scripted user actions at a chosen yield, and turns the end of the program into a
// test-only exception.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/Desktop.h"

class frmQuellix;

// Thrown by FakeDesktop::EndProgram; tests catch it where the real program would end.
struct ProgramEnded {
    int status;
};

class FakeDesktop : public Desktop {
public:
    struct Box {
        std::string text;
        int style;
        std::string title;
    };
    using Action = std::function<void(frmQuellix&)>;

    // The window the scripted actions act on.
    void attach(frmQuellix& window) { window_ = &window; }

    // Runs the action inside the Nth DoEvents from now on (1 = the next one).
    void at(int doEventsNumber, Action action);
    // Runs the action inside every DoEvents.
    void everyYield(Action action) { every_ = std::move(action); }
    // The answers the next message boxes give (vbYes, vbNo); an OK-only box needs none.
    void answer(int result) { answers_.push_back(result); }

    std::vector<Box> boxes;
    std::vector<std::string> statusLines;  // every distinct lblCurrentStatus seen at a yield
    std::vector<int> currentBar;           // progbarCurrent after every change, seen at yields
    std::vector<int> totalBar;             // progbarTotal after every change, seen at yields
    std::vector<std::string> titles;       // Me.Caption after every change, seen at yields
    std::vector<std::string> helpFiles;
    std::vector<std::string> printed;  // lines handed to Print
    std::vector<std::string> errors;   // lines handed to PrintError
    bool helpOpens = true;
    bool hasWindow = true;  // false: the program runs without a window
    int doEvents = 0;
    int endings = 0;
    // Runs as the program ends, before anything unwinds: what a real end leaves is what is
    // there at this moment (the real program exits without unwinding).
    std::function<void()> atEnd;

    void DoEvents() override;
    int MsgBox(const std::string& text, int style, const std::string& title) override;
    void Print(const std::string& line) override { printed.push_back(line); }
    void PrintError(const std::string& line) override { errors.push_back(line); }
    bool ShowHelp(const std::string& file, int command) override;
    bool HasWindow() const override { return hasWindow; }
    // "PNG" and what the picture would show: the drive and the pass of its map.
    std::string CoveragePicture(const DriveAccount& drive) override;

protected:
    void endProgram(int status) override;

private:
    void observe();

    frmQuellix* window_ = nullptr;
    std::map<int, std::vector<Action>> scheduled_;
    Action every_;
    std::deque<int> answers_;
};
