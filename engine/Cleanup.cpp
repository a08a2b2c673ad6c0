// Stand-in until this routine is built: removes the four fill files of a drive, shows the
// restoring status when asked and clears DiskFull.
#include "ui/frmQuellix.h"

void frmQuellix::Cleanup(const std::string& drive, bool showStatus) {
    ErrorHandler on(platform(), "fQL Cleanup");
    desktop().DoEvents();
    for (const char* name : {"random00.qlk", "random01.qlk", "quote00.qlk", "quote01.qlk"}) {
        const std::string path = drive + name;
        on([&] {
            if (platform().fileExists(path)) platform().deleteFile(path);
        });
    }
    if (showStatus) {
        lblCurrentStatus.Caption = "Restoring disk free-space.";
        desktop().DoEvents();
        Pause(2);
    }
    DiskFull = false;
}

void frmQuellix::Pause(std::int32_t) {}
