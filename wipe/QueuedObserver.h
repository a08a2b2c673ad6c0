// Hands the events of drives that fill on threads of their own over to the thread that started
// the run: they wait here until that thread drains them into the observer it shows them with.
// Progress comes far more often than anyone can read it: only the latest of each drive waits.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "wipe/RunObserver.h"

class QueuedObserver : public RunObserver {
public:
    // Hands every event waiting so far to the observer, in the order they came.
    void drainInto(RunObserver& observer);

    void runStarted(const WipePlan& plan) override;
    void driveStarted(const DriveProgress& drive) override;
    void passStarted(const DriveProgress& drive) override;
    void progress(const DriveProgress& drive) override;
    void preparing(int percent) override;
    void statusText(const std::string& root, const std::string& text) override;
    // Nobody can answer from another thread: the message is shown, and the default button is
    // the answer.
    int message(const std::string& text, int style) override;
    void yield() override {}
    void driveDone(const DriveAccount& drive) override;

private:
    void push(std::function<void(RunObserver&)> event);

    std::mutex mutex_;
    std::deque<std::function<void(RunObserver&)>> events_;
    std::map<std::string, DriveProgress> latest_;
};
