// RunEnd: the one place where a run ends. It tidies up after the fill, then either ends the
// program (exit requested) or makes the window ready for the next run (stop requested).
#include "resources/StringTable.h"
#include "ui/frmQuellix.h"

void frmQuellix::RunEnd() {
    // Ending the program closes the window, and the close handler comes back here: the exit
    // sequence already under way is the only one.
    if (ProgramEnding) return;

    ErrorHandler on(platform(), "fQL Wipe");
    progbarCurrent.Value = 0;
    progbarTotal.Value = 0;
    lblCurrentDrive.Caption.clear();
    lblFillSize.Caption.clear();
    CaptionMode = 1;
    on([&] {
        std::int32_t percent = 0;
        UpdateCaption(CaptionMode, percent);
    });

    // Closing the bulk file deletes it; the tail file stays for the cleanup. A failed close is
    // not noticed: the handle is given up all the same.
    if (FillFileHandle00 != 0) {
        on([&] { platform().closeFill(FillFileHandle00); });
        FillFileHandle00 = 0;
    }
    if (FillFileHandle01 != 0) {
        on([&] { platform().closeFill(FillFileHandle01); });
        FillFileHandle01 = 0;
    }
    on([&] { platform().closeAllText(); });
    on([&] { platform().setPriority(Priority::Normal); });

    if (ExitRequested) {
        ProgramEnding = true;
        on([&] { lblCurrentStatus.Caption = LoadResString(156); });
        on([&] { desktop().DoEvents(); });
        on([&] { Pause(2); });
        desktop().EndProgram(ExitCode);
    }

    if (StopRequested) {
        on([&] { desktop().DoEvents(); });
        on([&] { Pause(1); });
        StopRequested = false;
        // The run and the fill cycle further up the stack learn from this that the stop has
        // been handled and the window is Idle.
        StopHandled = true;
        on([&] { FindDrives(); });
        // Every selectable drive, checked or not: an earlier interrupted run may have left a
        // tail file on any of them.
        for (std::int32_t i = 0; i < DriveCount; ++i) {
            on([&] {
                if (static_cast<std::size_t>(i) >= chkDrive.size()) {
                    Raise(Err::SubscriptOutOfRange);
                }
                // A copy: the cleanup yields, and the boxes may be made anew meanwhile.
                const Control box = chkDrive[static_cast<std::size_t>(i)];
                if (box.Enabled) Cleanup(box.Tag, false);
            });
        }
        for (Control& option : optRandom)
            option.Enabled = true;
        chkNewRndTxt.Enabled = true;
        chkToolTip.Enabled = true;
        cmdHelp.Enabled = true;
        cmdWipe.Enabled = true;
        on([&] { lblCurrentStatus.Caption = LoadResString(101); });
    }
}
