// The Desktop of the real program: the Qt view of the main window, message boxes, the help
// viewer and the end of the program. Without a display it runs the same window offscreen and
// speaks through the terminal instead.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "ui/Desktop.h"

class Console;
class QtView;
class QTextBrowser;
class frmQuellix;

class QtDesktop : public Desktop {
public:
    struct Options {
        // No display: message boxes, status and progress go to `out`, questions come from `in`.
        bool headless = false;
        std::ostream* out = nullptr;  // standard output when not given
        std::istream* in = nullptr;   // standard input when not given
        std::ostream* err = nullptr;  // standard error when not given
        // Whether `in` is a terminal someone can answer on; found out when not given.
        int terminal = -1;
    };

    // Needs a QApplication.
    QtDesktop();
    explicit QtDesktop(Options options);
    ~QtDesktop() override;

    // Builds the view of the window object; call once, right after constructing the window.
    void attach(frmQuellix& window);
    QtView& view();
    bool headless() const { return options_.headless; }
    // The help viewer, once the Help button has opened it.
    QTextBrowser* helpViewer() const;

    void DoEvents() override;
    int MsgBox(const std::string& text, int style, const std::string& title) override;
    void Print(const std::string& line) override;
    void PrintError(const std::string& line) override;
    RunObserver* Terminal() override;
    bool ShowHelp(const std::string& file, int command) override;
    bool HasWindow() const override { return !options_.headless; }
    std::string CoveragePicture(const DriveAccount& drive) override;

protected:
    void endProgram(int status) override;

private:
    void observe();

    Options options_;
    frmQuellix* window_ = nullptr;
    std::unique_ptr<QtView> view_;
    std::unique_ptr<Console> console_;
    std::unique_ptr<QTextBrowser> help_;
    // When the view was last brought up to date and events processed, and the status it showed.
    double lastYield_ = -1.0;
    std::string lastStatus_;
};
