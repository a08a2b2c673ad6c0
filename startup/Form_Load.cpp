// The start-up sequence: host check, the window's and the run's defaults, seeding, drive
// discovery, the silent removal of fill files an interrupted run left behind, the command line.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>

#include "resources/StringTable.h"
#include "startup/CommandLine.h"
#include "startup/ConventionalOptions.h"
#include "startup/DriveBox.h"
#include "ui/frmQuellix.h"

namespace {

// The registry value as the 255-blank buffer it is read into holds it: trailing blanks go, then
// a last character outside "0" to "z" (the value's terminating zero) goes too.
std::string versionText(const std::string& value) {
    std::string buffer(255, ' ');
    buffer.replace(0, std::min(value.size(), buffer.size()), value, 0, buffer.size());
    buffer.erase(buffer.find_last_not_of(' ') + 1);
    if (!buffer.empty()) {
        const auto last = static_cast<unsigned char>(buffer.back());
        if (last < 48 || last > 122) buffer.pop_back();
    }
    return buffer;
}

const char* const kWin32sMessage =
    "I'm sorry but this program does not run under Windows 3.11.\r\n"
    "It only runs under Windows 95/98 or Windows NT.\r\n"
    "Now exiting Quellix.";

const char* const kOtherHostMessage =
    "I'm sorry but this program does not run under the currently installed\r\n"
    "operating system.  If the OS is Windows 2000 and you are a registered\r\n"
    "user of Quellix, please contact Brenlow for a free upgrade.  See \r\n"
    "the readme.txt file which is in the same directory as Quellix.  Now Exiting Quellix.";

}  // namespace

void frmQuellix::Form_Load() {
    ErrorHandler on(platform(), "fQL Load");

    HostFamily family = HostFamily::Other;
    on([&] { family = platform().hostFamily(); });
    switch (family) {
        case HostFamily::NtFamily:
            SwapFileName = "pagefile.sys";
            break;
        case HostFamily::Win9x:
            SwapFileName = "Win386.swp";
            // An unreadable value is logged and leaves IsFirstWin95Release False.
            on([&] {
                IsFirstWin95Release = versionText(platform().registryVersionNumber()) == "4.00.950";
            });
            break;
        case HostFamily::Win32s:
        case HostFamily::Other:
        default:
            on([&] {
                desktop().ShowError(family == HostFamily::Win32s ? kWin32sMessage
                                                                 : kOtherHostMessage);
            });
            ExitCode = ExitSystemPrevented;
            CloseMainWindow();
    }

    // The options that begin with "-" and the mount points are whole words, taken out of the
    // text that the program's own options are looked for in. A refused option, --help,
    // --version and --list end the program before anything is discovered, cleaned or shown.
    std::vector<std::string> arguments;
    on([&] { arguments = platform().arguments(); });
    const CommandLineWords words = SplitCommandLine(arguments);
    if (!words.error.empty()) {
        on([&] { desktop().PrintError(words.error + "\r\n" + ShortUsage()); });
        ExitCode = ExitBadCommandLine;
        desktop().EndProgram(ExitCode);
    }
    Options = words.options;
    // Mounts another user made are drives only where the command line names them.
    on([&] { platform().drivesNamed(words.mountPoints); });
    ApplyConventionalOptions(*this, Options);

    on([&] { chkExitWhenDone.Value = 0; });
    on([&] { chkToolTip.Value = 0; });
    CaptionMode = CaptionReady;
    on([&] { optRandom_Click(1); });
    on([&] { imgDisk.Picture = 101; });
    on([&] { imgBroom.Picture = 102; });
    on([&] { ShowStatus(LoadResString(IdsReady)); });
    on([&] { lblCurrentDrive.Caption.clear(); });
    on([&] { lblFillSize.Caption.clear(); });
    on([&] { progbarCurrent.Value = 0; });
    on([&] { progbarTotal.Value = 0; });
    on([&] { desktop().DoEvents(); });

    StopRequested = false;
    RunInProgress = false;
    SwapFileCheckPending = true;
    DoneBeforePassK = 0;

    on([&] { Random.Randomize(std::bit_cast<std::uint64_t>(platform().secondsSinceMidnight())); });

    on([&] { FindDrives(); });

    // Fill files of a run that was cut short give their space back before anything else
    // happens; drives that cannot be selected are not touched. A dry run deletes nothing: its
    // plan lists them instead.
    for (std::int32_t i = 0; i < DriveCount; ++i) {
        std::string root;
        bool enabled = false;
        on([&] {
            const Control& box = DriveBox(*this, i);
            root = box.Tag;
            enabled = box.Enabled;
        });
        if (enabled && !Options.dryRun) on([&] { Cleanup(root, false); });
    }

    ApplyCommandLine(*this, on, words);
}
