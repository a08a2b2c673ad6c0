// Tool-tip help for the window's controls, and the Help button that opens the help document.
#include <utility>
#include <vector>

#include "log/ErrorLog.h"
#include "resources/StringTable.h"
#include "ui/frmQuellix.h"

namespace {

// The help document: beside the program in a build, with the documentation when installed.
constexpr const char* kHelpFile = "Quellix.html";

}  // namespace

void frmQuellix::chkToolTip_Click() {
    ErrorHandler on(platform(), "fQL Wipe");
    const bool help = chkToolTip.Value != 0;
    auto tip = [&](Control& c, int id) {
        on([&] { c.ToolTipText = help ? LoadResString(id) : std::string(); });
    };

    // The first drive box never gets a tip; a drive count beyond the boxes that exist is a
    // missing element, logged like any failed control.
    for (std::int32_t i = 1; i < DriveCount; ++i) {
        on([&] {
            if (static_cast<std::size_t>(i) >= chkDrive.size()) Raise(Err::SubscriptOutOfRange);
            tip(chkDrive[static_cast<std::size_t>(i)], IdsTipDrive);
        });
    }
    for (Control& o : optRandom)
        tip(o, IdsTipRandomPasses);
    const std::vector<std::pair<Control*, int>> rows{
        {&lblRandomPasses, IdsTipRandomPasses},
        {&lblRandom, IdsTipRandomPasses},
        {&chkExitWhenDone, IdsTipExitWhenDone},
        {&lblExitWhenDone, IdsTipExitWhenDone},
        {&chkNewRndTxt, IdsTipNewRandom},
        {&lblNewRndTxt, IdsTipNewRandom},
        {&chkToolTip, IdsTipToolTips},
        {&lblToolTip, IdsTipToolTips},
        {&lblTitleCurrentDrive, IdsTipCurrentDrive},
        {&lblCurrentDrive, IdsTipCurrentDrive},
        {&lblTitleFillSize, IdsTipFillSize},
        {&lblFillSize, IdsTipFillSize},
        {&lblTitleCurrentStatus, IdsTipStatus},
        {&lblCurrentStatus, IdsTipStatus},
        {&lblTitleCurrentProgress, IdsTipCurrentProgress},
        {&progbarCurrent, IdsTipCurrentProgress},
        {&lblTitleTotal, IdsTipTotalProgress},
        {&progbarTotal, IdsTipTotalProgress},
        {&cmdWipe, IdsTipWipe},
        {&cmdStop, IdsTipStop},
        {&cmdExit, IdsTipExit},
    };
    for (const auto& [control, id] : rows)
        tip(*control, id);
}

void frmQuellix::cmdHelp_Click() {
    // Help is a convenience: a directory that cannot be read or a viewer that cannot
    // open the document leaves the program running as it was, and nothing is logged.
    try {
        const std::string file = platform().documentDirectory() + "/" + kHelpFile;
        comDialog.Tag = file;
        desktop().ShowHelp(file, HELP_FINDER);
    } catch (const RuntimeError&) {
    }
}
