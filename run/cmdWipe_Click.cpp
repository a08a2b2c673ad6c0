// The wipe run: probes the checked drives, locks the settings, prepares the fill data, fills
// each checked drive in drive-box order and hands over to RunEnd.
#include <algorithm>
#include <string>

#include "runtime/Numeric.h"
#include "ui/frmQuellix.h"

namespace {

// The drive boxes that exist among the first DriveCount: a count that runs ahead of the boxes
// must not index past them.
std::size_t driveBoxes(const frmQuellix& w) {
    return std::min(static_cast<std::size_t>(std::max(w.DriveCount, 0)), w.chkDrive.size());
}

}  // namespace

void frmQuellix::cmdWipe_Click() {
    ErrorHandler on(platform(), "fQL Wipe");
    std::int32_t noPercent = 0;

    // A Stop pressed while no run was in progress is not carried into this run.
    StopRequested = false;
    StopHandled = false;
    // This run's outcome is its own: an earlier run's status (4, say) is not carried into it.
    ExitCode = ExitFinished;
    ++RunsStarted;
    Account = RunAccount{};
    Account.open = true;
    on([&] { Account.start = platform().utcTimestamp(); });

    // Linux needs no process handle for the priority; any nonzero token marks it taken.
    ProcessHandle = 1;
    on([&] { platform().setPriority(Priority::High); });
    CaptionMode = CaptionPercentDone;
    on([&] { UpdateCaption(CaptionMode, noPercent); });
    DoneBeforePassK = 0;
    PassDoneK = 0;
    RunInProgress = true;

    // Every checked drive is probed before anything is written.
    std::int64_t runTotal = 0;
    for (std::size_t i = 0; i < driveBoxes(*this); ++i) {
        if (chkDrive[i].Value == 1) {
            // A copy: the routines called may yield, and drive discovery may remake the boxes.
            const std::string root = chkDrive[i].Tag;
            const std::size_t account = Account.index(root);
            on([&] { Account.drives[account].facts = platform().driveFacts(root); });
            DiskFreeSpace(root);
            on([&] { runTotal += FreeSpaceK; });
        }
    }

    if (runTotal < 1) {
        desktop().ShowError("No drives have been selected.  Please select them now.");
        RunInProgress = false;
        on([&] { platform().setPriority(Priority::Normal); });
        CaptionMode = CaptionReady;
        on([&] { UpdateCaption(CaptionMode, noPercent); });
        ExitCode = ExitStopped;
        // Nothing was run, so there is nothing to report.
        Account.open = false;
        return;
    }

    on([&] { Account.randomPasses = CInt(Val(lblRandomPasses.Caption)); });

    on([&] {
        const std::int16_t count = CInt(Val(lblRandomPasses.Caption));
        const std::int16_t passes = CInt(count + 1.0);  // the + 1 is the quotes pass
        TotalProgressStep =
            Divide(100.0, static_cast<double>(passes) * static_cast<double>(runTotal));
    });

    // Lock the settings for the run; Stop, Exit, Minimize and Exit When Done stay enabled.
    for (std::size_t i = 0; i < driveBoxes(*this); ++i)
        chkDrive[i].Enabled = false;
    on([&] {
        const int selected = CInt(Val(lblRandomPasses.Caption)) - 1;
        if (selected < 0 || selected >= static_cast<int>(optRandom.size())) {
            Raise(Err::SubscriptOutOfRange);
        }
        for (int i = 0; i < static_cast<int>(optRandom.size()); ++i) {
            if (i != selected) optRandom[static_cast<std::size_t>(i)].Enabled = false;
        }
        // The chosen option stays chosen (one option of the group is selected at a time).
        for (Control& option : optRandom)
            option.Value = 0;
        optRandom[static_cast<std::size_t>(selected)].Value = 1;
        optRandom[static_cast<std::size_t>(selected)].Enabled = false;
    });
    chkNewRndTxt.Enabled = false;
    chkToolTip.Enabled = false;
    cmdHelp.Enabled = false;
    cmdWipe.Enabled = false;

    PrepBlocks();

    for (std::size_t i = 0; i < driveBoxes(*this); ++i) {
        if (chkDrive[i].Value == 1) {
            // A copy: a stop handled inside the fill cycle rediscovers the drives, which may
            // remake the boxes while the cycle still uses the drive's root.
            const std::string root = chkDrive[i].Tag;
            FillCycles(root);
        }
        if (ExitRequested || StopRequested || StopHandled) break;
    }

    // A stop ends the whole run and leaves the window Idle, whether RunEnd has already reset it
    // (the fill cycle saw the request) or not yet.
    if (StopRequested || StopHandled) {
        RunInProgress = false;
        ExitCode = ExitStopped;
        // An Exit pressed while the stop wound down still ends the program.
        if (StopRequested || ExitRequested) RunEnd();
        return;
    }

    RunInProgress = false;
    CaptionMode = CaptionReady;
    on([&] { UpdateCaption(CaptionMode, noPercent); });
    // Finished is not done: only a run whose every drive was really filled ends as such.
    AssessOutcomes(Account);
    ExitCode = AnyIncomplete(Account) ? ExitIncomplete : ExitFinished;
    if (chkExitWhenDone.Value != 0) {
        ExitRequested = true;
    } else {
        StopRequested = true;
    }
    RunEnd();
}
