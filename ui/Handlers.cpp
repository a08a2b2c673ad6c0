// Stand-in until this routine is built.
#include "ui/frmQuellix.h"

void frmQuellix::cmdStop_Click() { StopRequested = true; }
void frmQuellix::cmdExit_Click() { ExitRequested = true; }
void frmQuellix::cmdMinimize_Click() {}
void frmQuellix::optRandom_Click(int) {}
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
