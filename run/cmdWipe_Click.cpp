// The wipe run: builds the plan from the window's controls, has the engine survey the checked
// drives, locks the settings, prepares the fill data, has the engine fill each drive and hands
// over to RunEnd once it has returned.
#include <algorithm>
#include <string>

#include "runtime/Numeric.h"
#include "ui/frmQuellix.h"
#include "wipe/WipeRun.h"

namespace {

// The drive boxes that exist among the first DriveCount: a count that runs ahead of the boxes
// must not index past them.
std::size_t driveBoxes(const frmQuellix& w) {
    return std::min(static_cast<std::size_t>(std::max(w.DriveCount, 0)), w.chkDrive.size());
}

// The random passes chosen: the option button that is on (the second one, as at start-up, when
// none is).
int chosenPasses(const frmQuellix& w) {
    for (const Control& option : w.optRandom) {
        if (option.Value == 1) return option.Index + 1;
    }
    return 2;
}

}  // namespace

WipePlan frmQuellix::PlanFromControls() const {
    const frmQuellix& w = *this;
    WipePlan plan;
    for (std::size_t i = 0; i < driveBoxes(w); ++i) {
        if (w.chkDrive[i].Value == 1) plan.drives.push_back(w.chkDrive[i].Tag);
    }
    plan.randomPasses = chosenPasses(w);
    plan.newRandomFill = w.chkNewRndTxt.Value == 1;
    plan.verify = w.Options.verify;
    plan.swapFileName = w.SwapFileName;
    plan.askSwapQuestion = w.SwapFileCheckPending;
    plan.classicProbeOnly = w.IsFirstWin95Release;
    plan.clearNames = !w.Options.noNames;
    return plan;
}

namespace {

// The window's hold on the running engine, given up however the run ends.
struct RunHold {
    frmQuellix& w;
    RunHold(frmQuellix& window, WipeRun& run) : w(window) { w.CurrentRun = &run; }
    ~RunHold() { w.CurrentRun = nullptr; }
    RunHold(const RunHold&) = delete;
    RunHold& operator=(const RunHold&) = delete;
};

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

    WipePlan plan = PlanFromControls();
    // Several drives at once only without a display: the window shows one drive at a time.
    plan.parallel = Options.parallel && desktop().Terminal() != nullptr;
    PlatformTarget target(platform());
    WipeRun run(plan, target, platform(), View, Account, Random);
    const RunHold hold(*this, run);

    // Every checked drive is probed before anything is written. A drive whose free space cannot
    // be read, or the answer Yes to the paging-file question, ends the program.
    const std::int64_t runTotal = run.survey();
    SwapFileCheckPending = run.swapQuestionPending();
    if (run.prevented()) {
        RunInProgress = false;
        ExitCode = ExitSystemPrevented;
        CloseMainWindow();
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
    TotalProgressStep = run.totalProgressStep();

    // Lock the settings for the run; Stop, Exit, Minimize and Exit When Done stay enabled.
    for (std::size_t i = 0; i < driveBoxes(*this); ++i)
        chkDrive[i].Enabled = false;
    const auto selected = static_cast<std::size_t>(plan.randomPasses - 1);
    for (std::size_t i = 0; i < optRandom.size(); ++i) {
        // The chosen option stays chosen (one option of the group is selected at a time).
        optRandom[i].Enabled = false;
        optRandom[i].Value = i == selected ? 1 : 0;
    }
    chkNewRndTxt.Enabled = false;
    chkToolTip.Enabled = false;
    cmdHelp.Enabled = false;
    cmdWipe.Enabled = false;

    PrepBlocks();
    if (StopRequested || ExitRequested) run.requestStop();
    const WipeRun::Result result = run.fill(Blocks);
    SwapFileCheckPending = run.swapQuestionPending();

    RunInProgress = false;
    if (result == WipeRun::Result::Prevented) {
        ExitCode = ExitSystemPrevented;
        CloseMainWindow();
    }
    if (result == WipeRun::Result::Stopped) {
        // A stop ends the whole run and leaves the window Idle; an exit ends the program.
        ExitCode = ExitStopped;
        RunEnd();
        return;
    }

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
