// RunEnd: the one place where a run ends. A run hands over to it once the engine has returned
// (its fill files closed and removed by then); closing the window, the one exception, ends the
// program from wherever the run is. It reports the run, then either ends the program (exit
// requested) or makes the window ready for the next run (stop requested).
#include <algorithm>

#include "resources/StringTable.h"
#include "runtime/EscapedName.h"
#include "ui/frmQuellix.h"
#include "wipe/WipeRun.h"

namespace {

std::string joined(const std::vector<std::string>& lines, const std::string& separator) {
    std::string text;
    for (const std::string& line : lines) {
        if (!text.empty()) text += separator;
        text += line;
    }
    return text;
}

// What a run that was reported leaves for its end: the lines of the drives left incomplete by a
// run that finished, what was read back of its drives, and where the report went.
struct Reported {
    std::vector<std::string> incomplete;
    std::vector<std::string> verified;
    std::string path;
    // Records that could not be written ("the run report could not be written to ...").
    std::vector<std::string> lost;
};

// The coverage pictures the --map option asks for: one PNG per drive whose last checked pass was
// mapped, drawn by the view and written through the platform as a new file (a link put under
// the name is never written through: root may be writing into a directory anybody may write).
// Returns what could not be drawn or written.
std::vector<std::string> writeCoveragePictures(frmQuellix& w, ErrorHandler& on) {
    std::vector<std::string> problems;
    const std::string& dir = w.Options.mapDir;
    for (const DriveAccount& d : w.Account.drives) {
        if (!d.started) continue;
        const std::string name = d.root.substr(0, 2) + " " + d.facts.mountPoint;
        std::string png;
        on([&] { png = w.desktop().CoveragePicture(d); });
        if (png.empty()) {
            problems.push_back("no coverage picture of " + name + ": " +
                               (!d.checked ? std::string("no pass was checked")
                                           : "the file system does not tell where its free "
                                             "space lies"));
            continue;
        }
        const std::string path = dir + "/quellix-" + d.root.substr(0, 1) + ".png";
        try {
            w.platform().writeNewFile(path, png);
            on([&] {
                w.desktop().Print("Coverage picture of " + name + ": " + EscapedName(path));
            });
        } catch (const RuntimeError& e) {
            problems.push_back("the coverage picture of " + name + " could not be written to " +
                               EscapedName(path) + ": " + e.words());
        }
    }
    return problems;
}

// Closes the run's account: the outcomes assessed, a summary line per drive printed and the run
// appended to the run report.
Reported reportRun(frmQuellix& w, ErrorHandler& on) {
    RunAccount& run = w.Account;
    run.open = false;
    AssessOutcomes(run);
    on([&] { run.end = w.platform().utcTimestamp(); });
    for (const std::string& line : SummaryLines(run))
        on([&] { w.desktop().Print(line); });
    std::string host;
    on([&] { host = w.platform().hostName(); });
    Reported reported;
    on([&] {
        std::string path = "QuellixRuns.jsonl";
        try {
            const auto named = w.platform().environment("QUELLIX_REPORT");
            path = named && !named->empty() ? *named : w.platform().stateDirectory() + "/" + path;
            reported.path = EscapedName(path);
            w.platform().appendLine(path, RunReportLine(run, QUELLIX_VERSION, host, w.ExitCode));
        } catch (const RuntimeError& e) {
            // The wipe happened all the same: the exit status stays its own.
            reported.lost.push_back("the run report could not be written to " + reported.path +
                                    ": " + e.words());
            throw;
        }
    });
    if (w.ExitCode == ExitIncomplete) reported.incomplete = IncompleteLines(run);
    if (w.ExitCode == ExitIncomplete || w.ExitCode == ExitFinished) {
        reported.verified = VerificationLines(run);
    }
    if (!w.Options.mapDir.empty()) {
        for (std::string& problem : writeCoveragePictures(w, on))
            reported.lost.push_back(std::move(problem));
    }
    return reported;
}

// The closing text thanks for the use made of the program: never after a refusal or a failure
// of the system, and without a window only when a drive was really filled.
bool thanksAreDue(frmQuellix& w) {
    if (w.ExitCode == ExitBadCommandLine || w.ExitCode == ExitSystemPrevented) return false;
    if (w.desktop().HasWindow()) return true;
    return std::any_of(w.Account.drives.begin(), w.Account.drives.end(),
                       [](const DriveAccount& d) { return d.started; });
}

}  // namespace

void frmQuellix::RunEnd() {
    // Ending the program closes the window, and the close handler comes back here: the exit
    // sequence already under way is the only one.
    if (ProgramEnding) return;

    ErrorHandler on(platform(), "fQL Wipe");
    const Reported reported = Account.open ? reportRun(*this, on) : Reported{};
    const std::vector<std::string>& incomplete = reported.incomplete;
    // Records that could not be written are said on standard error (the error log's by the
    // program's end, if the window does not stay) and in the message box if the window stays.
    std::vector<std::string> lost = reported.lost;
    for (const std::string& line : lost)
        desktop().PrintError(line);
    progbarCurrent.Value = 0;
    progbarTotal.Value = 0;
    lblCurrentDrive.Caption.clear();
    lblFillSize.Caption.clear();
    CaptionMode = CaptionReady;
    on([&] {
        std::int32_t percent = 0;
        UpdateCaption(CaptionMode, percent);
    });

    on([&] { platform().closeAllText(); });
    on([&] { platform().setPriority(Priority::Normal); });

    if (ExitRequested) {
        ProgramEnding = true;
        // Closing the window ends the program even while the engine fills: its open fill files
        // are closed (the bulk file vanishes; a tail file waits for the next start's cleanup).
        if (CurrentRun != nullptr) on([&] { CurrentRun->abandon(); });
        // After a signal the program ends without its closing pause.
        if (EndedBySignal) desktop().EndProgram(ExitCode);
        // Nobody may be there to answer a message: the lines go to standard error as warnings
        // (and are in the run report), and the last status says what happened instead of
        // thanking.
        for (const std::string& line : incomplete)
            on([&] { desktop().PrintError(line); });
        if (!incomplete.empty()) {
            on([&] {
                std::string status = "Free space was not fully overwritten on " +
                                     IncompleteDriveNames(Account) + " - see the run report";
                if (!reported.path.empty()) status += " " + reported.path;
                ShowStatus(status);
            });
        } else if (thanksAreDue(*this)) {
            on([&] { ShowStatus(LoadResString(IdsThanks)); });
        } else {
            desktop().EndProgram(ExitCode);
        }
        on([&] { desktop().DoEvents(); });
        on([&] { Pause(2); });
        desktop().EndProgram(ExitCode);
    }

    if (StopRequested) {
        on([&] { desktop().DoEvents(); });
        on([&] { Pause(1); });
        StopRequested = false;
        StopHandled = true;
        on([&] { FindDrives(); });
        // Every selectable drive, checked or not: an earlier interrupted run may have left a
        // tail file on any of them.
        for (std::int32_t i = 0; i < DriveCount; ++i) {
            on([&] {
                if (static_cast<std::size_t>(i) >= chkDrive.size()) {
                    Raise(Err::SubscriptOutOfRange);
                }
                // A copy: the cleanup yields, and the boxes may be made anew meanwhile.
                const Control box = chkDrive[static_cast<std::size_t>(i)];
                if (box.Enabled) Cleanup(box.Tag, false);
            });
        }
        for (Control& option : optRandom)
            option.Enabled = true;
        chkNewRndTxt.Enabled = true;
        chkToolTip.Enabled = true;
        cmdHelp.Enabled = true;
        cmdWipe.Enabled = true;
        on([&] { ShowStatus(LoadResString(IdsReady)); });
        if (const auto lostLog = TakeLostLogLines()) {
            desktop().PrintError(*lostLog);
            lost.push_back(*lostLog);
        }
        // Without a window the lost records have been said already, and what was read back is
        // in the summary lines. The window's closing message says both.
        std::vector<std::string> box = incomplete;
        const bool problems = !incomplete.empty() || (desktop().HasWindow() && !lost.empty());
        if (desktop().HasWindow()) {
            box.insert(box.end(), lost.begin(), lost.end());
            box.insert(box.end(), reported.verified.begin(), reported.verified.end());
        }
        if (!box.empty()) {
            on([&] {
                desktop().ShowError(joined(box, "\r\n"),
                                    vbOKOnly + (problems ? vbExclamation : vbInformation));
            });
        }
    }
}
