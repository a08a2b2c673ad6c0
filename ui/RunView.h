// How the window shows a run: the engine's events become captions, progress bars and the
// minimised window's title, and the window yields where the fill does, so that Stop and Exit are
// taken up while the drives fill. Without a display the terminal hears the same events.
#pragma once

#include <string>

#include "wipe/RunObserver.h"

class frmQuellix;

class RunView : public RunObserver {
public:
    explicit RunView(frmQuellix& window) : w_(window) {}

    void runStarted(const WipePlan& plan) override;
    void driveStarted(const DriveProgress& drive) override;
    void passStarted(const DriveProgress& drive) override;
    void progress(const DriveProgress& drive) override;
    void preparing(int percent) override;
    void statusText(const std::string& root, const std::string& text) override;
    int message(const std::string& text, int style) override;
    void yield() override;
    void driveDone(const DriveAccount& drive) override;

private:
    // Yields to the window; a Stop or Exit taken up meanwhile reaches the running engine.
    void doEvents();
    // A Stop or Exit taken up at a yield reaches the running engine.
    void passOnRequests();
    // Whether the window follows the drives: not while several fill at once.
    bool shown() const { return !parallel_; }

    frmQuellix& w_;
    bool parallel_ = false;
};
