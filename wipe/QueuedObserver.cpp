// Events of the drives' threads, held for the thread that shows them.
#include "wipe/QueuedObserver.h"

#include <utility>

#include "wipe/WipePlan.h"

void QueuedObserver::push(std::function<void(RunObserver&)> event) {
    const std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(event));
}

void QueuedObserver::drainInto(RunObserver& observer) {
    std::deque<std::function<void(RunObserver&)>> events;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        events.swap(events_);
    }
    for (const auto& event : events)
        event(observer);
}

void QueuedObserver::runStarted(const WipePlan& plan) {
    push([plan](RunObserver& o) { o.runStarted(plan); });
}

void QueuedObserver::driveStarted(const DriveProgress& drive) {
    push([drive](RunObserver& o) { o.driveStarted(drive); });
}

void QueuedObserver::passStarted(const DriveProgress& drive) {
    push([drive](RunObserver& o) { o.passStarted(drive); });
}

void QueuedObserver::progress(const DriveProgress& drive) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const bool waiting = latest_.count(drive.root) != 0;
    latest_[drive.root] = drive;
    if (waiting) return;
    events_.push_back([this, root = drive.root](RunObserver& o) {
        DriveProgress latest;
        {
            const std::lock_guard<std::mutex> inner(mutex_);
            latest = latest_[root];
            latest_.erase(root);
        }
        o.progress(latest);
    });
}

void QueuedObserver::preparing(int percent) {
    push([percent](RunObserver& o) { o.preparing(percent); });
}

void QueuedObserver::statusText(const std::string& root, const std::string& text) {
    push([root, text](RunObserver& o) { o.statusText(root, text); });
}

int QueuedObserver::message(const std::string& text, int style) {
    push([text, style](RunObserver& o) { o.message(text, style & ~(vbYesNo | vbDefaultButton2)); });
    if ((style & vbYesNo) != vbYesNo) return vbOK;
    return (style & vbDefaultButton2) != 0 ? vbNo : vbYes;
}

void QueuedObserver::driveDone(const DriveAccount& drive) {
    push([drive](RunObserver& o) { o.driveDone(drive); });
}
