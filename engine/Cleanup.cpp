// Cleanup: removes the fill files of one drive so that its free space is given back.
#include "platform/FillGeometry.h"
#include "ui/frmQuellix.h"

void frmQuellix::Cleanup(const std::string& drive, bool showStatus) {
    ErrorHandler on(platform(), "fQL Cleanup");
    on([&] { desktop().DoEvents(); });
    // The shell delete's result is not examined: whatever it leaves behind, the second sweep
    // deletes directly.
    for (const char* name : kFillFiles) {
        on([&] {
            const std::string path = drive + name;
            if (platform().fileExists(path)) platform().shellDeleteFile(path);
        });
    }
    for (const char* name : kFillFiles) {
        on([&] {
            const std::string path = drive + name;
            if (platform().fileExists(path)) platform().deleteFile(path);
        });
    }
    if (showStatus) {
        lblCurrentStatus.Caption = "Restoring disk free-space.";
        on([&] { desktop().DoEvents(); });
        on([&] { Pause(2); });
    }
    DiskFull = false;
}
