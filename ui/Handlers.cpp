// Stand-in until this routine is built.
#include "log/Numeric.h"
#include "log/RuntimeError.h"
#include "ui/frmQuellix.h"

void frmQuellix::cmdStop_Click() { StopRequested = true; }
void frmQuellix::cmdExit_Click() { ExitRequested = true; }
void frmQuellix::cmdMinimize_Click() {}
// Minimal: the start-up sequence and the command line rely on it.
void frmQuellix::optRandom_Click(int Index) {
    if (Index < 0 || Index >= static_cast<int>(optRandom.size())) Raise(Err::SubscriptOutOfRange);
    for (Control& o : optRandom) {
        o.Value = o.Index == Index ? 1 : 0;
    }
    lblRandomPasses.Caption = Str(Index + 1);
}
void frmQuellix::Form_Resize() {}
void frmQuellix::Form_QueryUnload(std::int16_t& cancel, int) {
    cancel = 1;
    ExitRequested = true;
    RunEnd();
}
void frmQuellix::CloseMainWindow() {
    std::int16_t cancel = 0;
    Form_QueryUnload(cancel, 0);
    desktop().EndProgram(ExitCode);
}
