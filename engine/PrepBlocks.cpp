// PrepBlocks: the window prepares the run's fill data, showing its progress, and keeps the
// "new random fill" box checked while new random text is still wanted.
#include "wipe/PrepBlocks.h"
#include "ui/frmQuellix.h"

void frmQuellix::PrepBlocks() {
    CaptionMode = CaptionPreparing;
    bool newRandomFill = chkNewRndTxt.Value == 1;
    const auto requested = [this] { return StopRequested || ExitRequested; };
    const PrepOutcome outcome =
        ::PrepBlocks(platform(), Random, View, requested, newRandomFill, Blocks);
    chkNewRndTxt.Value = newRandomFill ? 1 : 0;
    if (outcome == PrepOutcome::Failed) {
        StopRequested = true;
        ExitCode = ExitStopped;
    }
}
