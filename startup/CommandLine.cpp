// The command-line options. There is no tokenising: every option is found as a substring of the
// whole argument text, so "RUNNING" means RUN and "C:\TEMP" names drive C:.
#include "startup/CommandLine.h"

#include <cstdint>
#include <string>

#include "resources/StringTable.h"
#include "runtime/Numeric.h"
#include "startup/DriveBox.h"
#include "ui/frmQuellix.h"

namespace {

const std::string kLineBreak = "\r\n";
const std::string kIndent = "   ";

bool contains(const std::string& upperText, const std::string& option) {
    return upperText.find(option) != std::string::npos;
}

[[noreturn]] void reject(frmQuellix& w, ErrorHandler& on, const std::string& message, int status) {
    on([&] { w.desktop().MsgBox(message, vbOKOnly, "Quellix"); });
    w.ExitCode = status;
    w.CloseMainWindow();
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

void ApplyCommandLine(frmQuellix& w, ErrorHandler& on, std::string text) {
    if (text.empty()) text = "Null";
    const std::string upper = UpperCase(text);

    if (text.find('?') != std::string::npos) {
        std::string help;
        on([&] { help = CommandLineHelp(); });
        reject(w, on, help, ExitFinished);
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
            reject(w, on, message, ExitBadCommandLine);
        }
        on([&] { w.optRandom_Click(x - 1); });
    }

    on([&] { w.chkNewRndTxt.Value = contains(upper, "NEWRAND") ? 1 : 0; });

    // Only an empty command line leaves Exit When Done as start-up set it; "null" in any other
    // case is a command line of its own.
    if (text != "Null") {
        on([&] { w.chkExitWhenDone.Value = contains(upper, "STAY") ? 0 : 1; });
    }

    // Drive names before ALL, so that naming a drive that cannot be cleaned is always refused.
    for (std::int32_t i = 0; i < w.DriveCount; ++i) {
        std::string name;
        bool enabled = false;
        on([&] {
            const Control& box = DriveBox(w, i);
            name = box.Tag.substr(0, 2);
            enabled = box.Enabled;
        });
        // Only a letter and a colon name a drive; a box without a proper root names none.
        if (name.size() != 2 || name[1] != ':') continue;
        if (!contains(upper, UpperCase(name))) continue;
        if (enabled) {
            on([&] { DriveBox(w, i).Value = 1; });
        } else {
            std::string message;
            on([&] {
                message = LoadResString(IdsDriveRejected) + name +
                          LoadResString(IdsDriveRejectedMiddle) + kLineBreak +
                          LoadResString(IdsDriveRejectedEnd);
            });
            reject(w, on, message, ExitBadCommandLine);
        }
    }

    if (contains(upper, "ALL")) {
        for (std::int32_t i = 0; i < w.DriveCount; ++i) {
            on([&] {
                Control& box = DriveBox(w, i);
                if (box.Enabled) box.Value = 1;
            });
        }
    }

    w.Me.Visible = true;

    if (contains(upper, "RUN")) {
        // A run started from the command line is unattended: it never asks the swap-file
        // question.
        w.SwapFileCheckPending = false;
        on([&] { w.cmdWipe_Click(); });
    }
}
