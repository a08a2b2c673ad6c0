// The window's own behaviour: the Stop, Exit and Minimize buttons, the random-pass options,
// resizing, and every request to close the window.
#include "log/ErrorLog.h"
#include "platform/FillGeometry.h"
#include "runtime/Numeric.h"
#include "runtime/RuntimeError.h"
#include "ui/frmQuellix.h"
#include "wipe/WipeRun.h"

namespace {

// The window's one place and size in the normal state, in twips.
constexpr int kHomeLeft = 1455;
constexpr int kHomeTop = 1500;
constexpr int kHomeWidth = 8460;
constexpr int kHomeHeight = 6285;
constexpr std::int32_t kShownBackColor = 0xF0F0F0;

// Close reasons, as the window system reports them.
constexpr int kCloseFromCode = 1;

// The 16-bit True that the close handler hands back to refuse a close.
constexpr std::int16_t kTrue = -1;

// A request that ends a run before it is done makes the program's status "stopped", unless
// something has already given it a more specific one.
void markRunCutShort(frmQuellix& w) {
    if (w.RunInProgress && w.ExitCode == ExitFinished) w.ExitCode = ExitStopped;
}

}  // namespace

void frmQuellix::cmdStop_Click() {
    ErrorHandler on(platform(), "fQL Wipe");
    // The request is set whether or not a run is going on; a run starts with it cleared, so a
    // Stop pressed while idle stops nothing later.
    on([&] {
        StopRequested = true;
        markRunCutShort(*this);
    });
    // The window gets the processor back at once while the run winds down.
    on([&] { platform().setPriority(Priority::Normal); });
}

void frmQuellix::cmdExit_Click() {
    ErrorHandler on(platform(), "fQL cmdExit");
    on([&] {
        ExitRequested = true;
        markRunCutShort(*this);
    });
    on([&] { platform().setPriority(Priority::Normal); });
    // During a run the running loops see the request and end the run through RunEnd, which then
    // ends the program; while idle the exit path is taken here and now.
    if (!RunInProgress) on([&] { RunEnd(); });
}

void frmQuellix::cmdMinimize_Click() {
    std::int32_t percent = 0;
    UpdateCaption(CaptionMode, percent);
    // Changing the window state raises the resize handler, as the window system does when the
    // user minimises the window; the view sees the state already set and does not raise it again.
    Me.State = WindowState::Minimized;
    Form_Resize();
    desktop().DoEvents();
}

void frmQuellix::optRandom_Click(int Index) {
    // There are seven buttons; any other index names none, as a missing array element does.
    if (Index < 0 || Index >= static_cast<int>(optRandom.size())) Raise(Err::SubscriptOutOfRange);
    for (Control& o : optRandom)
        o.Value = o.Index == Index ? 1 : 0;
    // The fill cycle reads the pass count back from this caption.
    lblRandomPasses.Caption = Str(Index + 1);
}

void frmQuellix::Form_Resize() {
    ErrorHandler on(platform(), "fQL Wipe");
    if (Me.State == WindowState::Normal) {
        // The window keeps one place and size in the normal state. The view draws only at the
        // next yield, so hiding and showing here costs no flicker.
        on([&] {
            Me.Visible = false;
            Me.Top = kHomeTop;
            Me.Height = kHomeHeight;
            Me.Left = kHomeLeft;
            Me.Width = kHomeWidth;
            Me.BackColor = kShownBackColor;
            Me.Visible = true;
        });
    }
    on([&] {
        std::int32_t percent = 0;
        UpdateCaption(CaptionMode, percent);
    });
    on([&] { desktop().DoEvents(); });
}

void frmQuellix::Form_QueryUnload(std::int16_t& cancel, int) {
    // The window never closes through the request itself: the program ends through the exit
    // path of RunEnd, which ends the process.
    cancel = kTrue;
    // The exit path closes the window too, and that request comes back here while the program
    // is already ending; it must not start a second exit sequence.
    if (ProgramEnding) return;
    ExitRequested = true;
    markRunCutShort(*this);
    RunEnd();
}

void frmQuellix::SignalReceived(int received) {
    // A second signal, while the first winds the run down or together with it.
    if (EndedBySignal || received > 1) EndAtOnce();
    EndedBySignal = true;
    // While idle nothing is cut short: the program ends as one the user ended (0), whatever an
    // earlier run's status was; it has been shown and reported.
    if (!RunInProgress) ExitCode = ExitFinished;
    // During a run the running loops see the request at their next check and wind the run
    // down; while idle the program ends here.
    cmdExit_Click();
}

void frmQuellix::EndAtOnce() {
    ErrorHandler on(platform(), "fQL Wipe");
    // Whatever runs further up the stack is left where it is; a close request that comes back
    // starts nothing.
    ProgramEnding = true;
    // The open fill files are closed and those with a name removed, and a names stage's
    // directory with its files, without a yield: no further request is taken up. A drive filling on
    // another thread keeps its open files until the process ends (its bulk file is unlinked
    // already) and leaves at most a tail file to the next start's cleanup.
    if (CurrentRun != nullptr) CurrentRun->abandon();
    if (RunInProgress) {
        for (const DriveAccount& drive : Account.drives) {
            for (const char* name : kFillFiles) {
                on([&] {
                    if (platform().fileExists(drive.root + name)) {
                        platform().deleteFile(drive.root + name);
                    }
                });
            }
            on([&] { platform().removeNamesLeftover(drive.root); });
        }
    }
    desktop().EndProgram(RunInProgress ? ExitStopped : ExitCode);
}

void frmQuellix::CloseMainWindow() {
    std::int16_t cancel = 0;
    Form_QueryUnload(cancel, kCloseFromCode);
    // Reached only when the exit sequence was already under way further up the stack.
    desktop().EndProgram(ExitCode);
}
