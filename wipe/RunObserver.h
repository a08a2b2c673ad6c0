// What a run tells whoever shows it: the window, the terminal without a display, a test. The
// engine knows its caller only through these events; it never reads anything back but the
// answer to a message.
//
// In a sequential run every event comes on the thread that started the run, in the order of the
// fill; an observer may process its own events inside any of them (the window yields there). In
// a parallel run the events of all drives reach the observer on that same thread, handed over by
// QueuedObserver.
#pragma once

#include <cstdint>
#include <string>

#include "wipe/RunAccount.h"

struct WipePlan;

// Message-box styles and answers, with the run time's values; the window's desktop takes them.
enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbYesNo = 4,
    vbExclamation = 48,
    vbInformation = 64,
    vbDefaultButton2 = 256,
};
enum MsgBoxResult : int {
    vbOK = 1,
    vbYes = 6,
    vbNo = 7,
};

// Where one drive's fill stands, in the figures the progress display works with.
struct DriveProgress {
    std::string root;              // "C:\"
    std::int64_t freeSpaceK = 0;   // thousands of bytes the fill has still to write
    double driveProgressStep = 0;  // percent of the drive per thousand bytes
    double totalProgressStep = 0;  // percent of the run per thousand bytes
};

class RunObserver {
public:
    virtual ~RunObserver() = default;

    // The fill begins (after the survey and the fill data).
    virtual void runStarted(const WipePlan& plan) = 0;
    // A drive's fill begins with the free space it has; it may end at once when there is none.
    virtual void driveStarted(const DriveProgress& drive) = 0;
    // A pass begins; its free space is in `drive`.
    virtual void passStarted(const DriveProgress& drive) = 0;
    // The fill wrote (a bulk block, or a stage of small blocks).
    virtual void progress(const DriveProgress& drive) = 0;
    // The fill data are being prepared: percent of the preparation done.
    virtual void preparing(int percent) = 0;
    // A new status text; root is empty for a text of the whole run.
    virtual void statusText(const std::string& root, const std::string& text) = 0;
    // A message for the user; returns the answer (vbOK, vbYes, vbNo).
    virtual int message(const std::string& text, int style) = 0;
    // A moment between two steps of the fill where nothing is shown but the caller may catch up.
    virtual void yield() = 0;
    // A drive's fill has ended; its account is final but for the outcome, which the run's end
    // assesses.
    virtual void driveDone(const DriveAccount& drive) = 0;
};
