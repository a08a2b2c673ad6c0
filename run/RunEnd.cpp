// Stand-in until this routine is built: clears the progress display, closes open fill files,
// restores normal priority, then ends the program (exit) or makes the window Idle (stop).
#include "resources/StringTable.h"
#include "ui/frmQuellix.h"

void frmQuellix::RunEnd() {
    ErrorHandler on(platform(), "fQL Wipe");
    progbarCurrent.Value = 0;
    progbarTotal.Value = 0;
    lblCurrentDrive.Caption.clear();
    lblFillSize.Caption.clear();
    if (FillFileHandle00 != 0) on([&] { platform().closeFill(FillFileHandle00); });
    FillFileHandle00 = 0;
    if (FillFileHandle01 != 0) on([&] { platform().closeFill(FillFileHandle01); });
    FillFileHandle01 = 0;
    on([&] { platform().setPriority(Priority::Normal); });
    if (ExitRequested) desktop().EndProgram(ExitCode);
    if (StopRequested) {
        StopRequested = false;
        // The run and the fill cycle further up the stack learn from this that the stop has
        // been handled and the window is Idle.
        StopHandled = true;
        lblCurrentStatus.Caption = LoadResString(101);
    }
}
