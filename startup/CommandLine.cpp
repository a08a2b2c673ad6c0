// The command-line options. Apart from the words taken out before (options that begin with "-",
// mount points), there is no tokenising: every option is found as a substring of the rest of the
// text, so "RUNNING" means RUN and "C:\TEMP" names drive C:.
#include "startup/CommandLine.h"

#include <cstdint>
#include <string>
#include <vector>

#include "resources/StringTable.h"
#include "runtime/EscapedName.h"
#include "runtime/Numeric.h"
#include "startup/DriveBox.h"
#include "startup/DryRun.h"
#include "ui/frmQuellix.h"

namespace {

const std::string kLineBreak = "\r\n";
const std::string kIndent = "   ";

bool contains(const std::string& upperText, const std::string& option) {
    return upperText.find(option) != std::string::npos;
}

[[noreturn]] void reject(frmQuellix& w, ErrorHandler& on, const std::string& message) {
    on([&] { w.desktop().ShowError(message); });
    w.ExitCode = ExitBadCommandLine;
    w.CloseMainWindow();
}

std::string driveRejected(const std::string& name) {
    return LoadResString(IdsDriveRejected) + name + LoadResString(IdsDriveRejectedMiddle) +
           kLineBreak + LoadResString(IdsDriveRejectedEnd);
}

// Adds drive box i to the drives to check, or refuses the drive when it cannot be cleaned;
// `name` is how the command line named it.
void chooseDrive(frmQuellix& w, ErrorHandler& on, std::int32_t i, const std::string& name,
                 std::vector<std::int32_t>& chosen) {
    bool enabled = false;
    on([&] { enabled = DriveBox(w, i).Enabled; });
    if (!enabled) {
        std::string message;
        on([&] { message = driveRejected(name); });
        reject(w, on, message);
    }
    chosen.push_back(i);
}

// The drive whose mount point, as the drive list gives it ("D: /srv/data"), the word names, or
// -1. Only the list is read: a network drive that does not answer cannot hold the start up.
std::int32_t driveMountedOn(frmQuellix& w, ErrorHandler& on, const std::string& word) {
    std::vector<std::string> items;
    on([&] { items = w.platform().driveList(); });
    // The list shows mount points with their control characters escaped; so is the word, and
    // two different names never escape alike.
    const std::string wanted = EscapedName(NormalMountPoint(word));
    for (std::int32_t i = 0; i < w.DriveCount && static_cast<std::size_t>(i) < items.size(); ++i) {
        const std::string& item = items[static_cast<std::size_t>(i)];
        bool sameDrive = false;
        on([&] { sameDrive = UpperCase(item.substr(0, 2)) == DriveBox(w, i).Tag.substr(0, 2); });
        if (sameDrive && item.size() > 3 && NormalMountPoint(item.substr(3)) == wanted) return i;
    }
    return -1;
}

// Whether a drive box carries the drive name ("C:").
bool driveExists(frmQuellix& w, ErrorHandler& on, const std::string& name) {
    bool found = false;
    for (std::int32_t i = 0; i < w.DriveCount && !found; ++i) {
        on([&] { found = UpperCase(DriveBox(w, i).Tag.substr(0, 2)) == name; });
    }
    return found;
}

}  // namespace

std::string CommandLineHelp() {
    return LoadResString(IdsOptionsLine1) + kLineBreak + kIndent + LoadResString(IdsOptionsLine2) +
           kLineBreak + kLineBreak + LoadResString(IdsOptionsExample1) + kLineBreak + kIndent +
           LoadResString(IdsOptionsExample1b) + kLineBreak + kIndent +
           LoadResString(IdsOptionsExample1c) + kLineBreak + kLineBreak +
           LoadResString(IdsOptionsExample2) + kLineBreak + kIndent +
           LoadResString(IdsOptionsExample2b) + kLineBreak + kIndent +
           LoadResString(IdsOptionsExample2c) + kLineBreak + kLineBreak + kIndent +
           LoadResString(IdsOptionsFooter);
}

void ApplyCommandLine(frmQuellix& w, ErrorHandler& on, const CommandLineWords& words) {
    // A command line of mount points alone is a command line all the same.
    std::string text = words.text;
    if (text.empty() && words.mountPoints.empty()) text = "Null";
    const std::string upper = UpperCase(text);

    if (text.find('?') != std::string::npos) {
        std::string help;
        on([&] { help = CommandLineHelp(); });
        on([&] { w.desktop().MsgBox(help, vbOKOnly, "Quellix"); });
        w.ExitCode = ExitFinished;
        w.CloseMainWindow();
    }

    if (const auto at = upper.find("RAND="); at != std::string::npos) {
        // A number that does not fit 32 bits is logged and leaves x at 0, which is rejected.
        std::int32_t x = 0;
        on([&] { x = CLng(Val(std::string_view(text).substr(at + 5))); });
        if (x < 1 || x > 7) {
            std::string message;
            on([&] {
                message = LoadResString(IdsRandRejected) + std::to_string(x) + "." + kLineBreak +
                          LoadResString(IdsRandLimit);
            });
            reject(w, on, message);
        }
        on([&] { w.optRandom_Click(x - 1); });
    }

    on([&] { w.chkNewRndTxt.Value = contains(upper, "NEWRAND") ? 1 : 0; });

    // Only an empty command line leaves Exit When Done as start-up set it; "null" in any other
    // case is a command line of its own.
    if (text != "Null") {
        on([&] { w.chkExitWhenDone.Value = contains(upper, "STAY") ? 0 : 1; });
    }

    // Drive names before ALL, so that naming a drive that cannot be cleaned is always refused;
    // every name is checked before any box is.
    std::vector<std::int32_t> chosen;
    for (std::int32_t i = 0; i < w.DriveCount; ++i) {
        std::string name;
        on([&] { name = DriveBox(w, i).Tag.substr(0, 2); });
        // Only a letter and a colon name a drive; a box without a proper root names none.
        if (name.size() != 2 || name[1] != ':') continue;
        if (contains(upper, UpperCase(name))) chooseDrive(w, on, i, name, chosen);
    }
    // A letter that names no drive is refused as well: the drive meant is not there, and a
    // scheduled run must not look as if it had cleaned it.
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const std::string name{letter, ':'};
        if (contains(upper, name) && !driveExists(w, on, name)) {
            reject(w, on,
                   "There is no drive " + name + ".  quellix --list shows the drives there are.");
        }
    }
    // A mount point names the same file system whatever letter it has today.
    for (const std::string& word : words.mountPoints) {
        const std::int32_t i = driveMountedOn(w, on, word);
        if (i < 0) {
            reject(w, on,
                   EscapedName(word) +
                       " is not the mount point of a drive.  quellix --list shows the drives "
                       "and their mount points.");
        }
        chooseDrive(w, on, i, EscapedName(word), chosen);
    }
    for (const std::int32_t i : chosen)
        on([&] { DriveBox(w, i).Value = 1; });

    if (contains(upper, "ALL")) {
        for (std::int32_t i = 0; i < w.DriveCount; ++i) {
            on([&] {
                Control& box = DriveBox(w, i);
                if (box.Enabled) box.Value = 1;
            });
        }
    }

    // A dry run has done all a run does before it starts; what is left is to say what the run
    // would do.
    if (w.Options.dryRun) {
        for (const std::string& line : DryRunPlan(w, contains(upper, "RUN")))
            on([&] { w.desktop().Print(line); });
        w.desktop().EndProgram(ExitFinished);
    }

    w.Me.Visible = true;

    if (contains(upper, "RUN")) {
        // A run started from the command line is unattended: it never asks the swap-file
        // question.
        w.SwapFileCheckPending = false;
        on([&] { w.cmdWipe_Click(); });
    }
}
