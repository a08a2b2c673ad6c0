// Stand-in until this routine is built.
#include "ui/frmQuellix.h"

void frmQuellix::RunEnd() {
    if (ExitRequested) desktop().EndProgram(ExitCode);
    StopRequested = false;
}
