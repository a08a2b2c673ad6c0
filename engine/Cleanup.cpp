// Cleanup: removes the fill files of one drive so that its free space is given back; the window
// shows the status and pauses when asked to.
#include "wipe/Cleanup.h"
#include "ui/frmQuellix.h"
#include "wipe/Pause.h"

void frmQuellix::Cleanup(const std::string& drive, bool showStatus) {
    ErrorHandler on(platform(), "fQL Cleanup");
    on([&] { desktop().DoEvents(); });
    PlatformTarget target(platform());
    CleanupFillFiles(target, on, drive);
    if (showStatus) {
        ShowStatus("Restoring disk free-space.");
        on([&] { desktop().DoEvents(); });
        on([&] { Pause(2); });
    }
}

void frmQuellix::Pause(std::int32_t seconds) {
    PlatformTarget clock(platform());
    ::Pause(clock, seconds);
}
