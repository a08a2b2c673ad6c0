// Cleanup: removes the fill files of one drive so that its free space is given back.
#include "ui/frmQuellix.h"

namespace {

// The fill files of a pass, in the order they are looked for.
const char* const kFillFiles[] = {"random00.qlk", "random01.qlk", "quote00.qlk", "quote01.qlk"};

}  // namespace

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
