// The window's view of a run: the progress display, the status line and the drive captions.
#include "ui/RunView.h"

#include "runtime/Numeric.h"
#include "ui/frmQuellix.h"
#include "wipe/WipePlan.h"
#include "wipe/WipeRun.h"

void RunView::doEvents() {
    w_.desktop().DoEvents();
    passOnRequests();
}

void RunView::passOnRequests() {
    if (w_.CurrentRun != nullptr && (w_.StopRequested || w_.ExitRequested)) {
        w_.CurrentRun->requestStop();
    }
}

void RunView::runStarted(const WipePlan& plan) {
    parallel_ = plan.parallel;
    if (RunObserver* terminal = w_.desktop().Terminal()) terminal->runStarted(plan);
}

void RunView::driveStarted(const DriveProgress& drive) {
    if (shown()) {
        ErrorHandler on(w_.platform(), "fQL Fill Cycles");
        w_.FreeSpaceK = drive.freeSpaceK;
        w_.DriveProgressStep = drive.driveProgressStep;
        on([&] { w_.lblCurrentDrive.Caption = drive.root.substr(0, 2); });
        // Megabytes of 1,049,000 bytes, shown in full however large the drive.
        on([&] {
            w_.lblFillSize.Caption =
                std::to_string(CLngLng(static_cast<double>(drive.freeSpaceK) / 1049.0));
        });
    }
    if (RunObserver* terminal = w_.desktop().Terminal()) terminal->driveStarted(drive);
}

void RunView::passStarted(const DriveProgress& drive) {
    if (RunObserver* terminal = w_.desktop().Terminal()) terminal->passStarted(drive);
    if (!shown()) return;
    ErrorHandler on(w_.platform(), "fQL Fill Cycles");
    w_.FreeSpaceK = drive.freeSpaceK;
    on([&] { w_.DoneBeforePassK += w_.PassDoneK; });
    on([&] { w_.PassStartFreeK = w_.FreeSpaceK; });
    w_.Progbar();  // it yields
    passOnRequests();
}

void RunView::progress(const DriveProgress& drive) {
    if (RunObserver* terminal = w_.desktop().Terminal()) terminal->progress(drive);
    if (!shown()) return;
    w_.FreeSpaceK = drive.freeSpaceK;
    w_.Progbar();  // it yields
    passOnRequests();
}

void RunView::preparing(int percent) {
    if (RunObserver* terminal = w_.desktop().Terminal()) terminal->preparing(percent);
    w_.progbarCurrent.Value = percent;
    ErrorHandler on(w_.platform(), "fQL PrepBlocks");
    on([&] { doEvents(); });
}

void RunView::statusText(const std::string& root, const std::string& text) {
    if (shown()) {
        w_.ShowStatus(text);
    } else if (RunObserver* terminal = w_.desktop().Terminal()) {
        terminal->statusText(root, text);
    }
    doEvents();
}

int RunView::message(const std::string& text, int style) {
    // A question is asked in a message box (or on the terminal); anything else is an error,
    // which without a window goes to standard error.
    int answer = vbOK;
    if ((style & vbYesNo) == vbYesNo) {
        answer = w_.desktop().MsgBox(text, style, "Quellix");
    } else {
        w_.desktop().ShowError(text, style);
    }
    passOnRequests();
    return answer;
}

void RunView::yield() {
    doEvents();
}

void RunView::driveDone(const DriveAccount& drive) {
    if (RunObserver* terminal = w_.desktop().Terminal()) terminal->driveDone(drive);
}
