// The two sweeps that remove a drive's fill files.
#include "wipe/Cleanup.h"

#include "platform/FillGeometry.h"

void CleanupFillFiles(FillTarget& target, ErrorHandler& on, const std::string& drive) {
    // The shell delete's result is not examined: whatever it leaves behind, the second sweep
    // deletes directly.
    for (const char* name : kFillFiles) {
        on([&] {
            const std::string path = drive + name;
            if (target.fileExists(path)) target.shellDeleteFile(path);
        });
    }
    for (const char* name : kFillFiles) {
        on([&] {
            const std::string path = drive + name;
            if (target.fileExists(path)) target.deleteFile(path);
        });
    }
    // A names stage that was cut short (a kill) left its directory.
    on([&] { target.removeNamesLeftover(drive); });
}
