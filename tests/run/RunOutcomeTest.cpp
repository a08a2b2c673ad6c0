// A run's outcome on the fakes: a failing disk, a fill that ends with space left, what root keeps,
// a stop, and how each is told (exit status, status text, message, printed lines, run report).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/WindowFixture.h"

namespace {

class RunOutcome : public WindowFixture {
protected:
    // The run report's lines in the program's directory, parsed.
    std::vector<nlohmann::json> reports() const {
        std::vector<nlohmann::json> lines;
        const auto it = p.hostFiles.find(p.programDir + "/QuellixRuns.jsonl");
        if (it == p.hostFiles.end()) return lines;
        std::istringstream in(it->second);
        for (std::string line; std::getline(in, line);)
            lines.push_back(nlohmann::json::parse(line));
        return lines;
    }
    // Runs with Exit When Done; returns the status the program ended with.
    int runToTheEnd() {
        w.chkExitWhenDone.Value = 1;
        try {
            w.cmdWipe_Click();
        } catch (const ProgramEnded& ended) {
            return ended.status;
        }
        return -1;
    }
};

TEST_F(RunOutcome, AllDrivesFilledEndsAsBeforeAndIsReported) {
    addDrive("C:\\", 10000000).facts.fsReserveBytes = 4096;
    fillBlocks();
    EXPECT_EQ(runToTheEnd(), ExitFinished);
    EXPECT_EQ(w.lblCurrentStatus.Caption,
              "Performing last check on all drives  - Thank you for using Quellix");
    ASSERT_EQ(d.printed.size(), 1u);
    EXPECT_EQ(d.printed[0], "C: /fake/C: 3 passes, 10 MB per pass, complete, verified 10 MB");

    const auto lines = reports();
    ASSERT_EQ(lines.size(), 1u);
    const nlohmann::json& run = lines[0];
    EXPECT_EQ(run["exit_status"], 0);
    EXPECT_EQ(run["random_passes"], 2);
    EXPECT_EQ(run["host"], "testhost");
    EXPECT_EQ(run["start"], "2001-03-14T19:05:09Z");
    const nlohmann::json& drive = run["drives"][0];
    EXPECT_EQ(drive["letter"], "C:");
    EXPECT_EQ(drive["mount_point"], "/fake/C");
    EXPECT_EQ(drive["device"], "/dev/fakeC");
    EXPECT_EQ(drive["fs_reserve_bytes"], 4096);
    EXPECT_EQ(drive["outcome"], "complete");
    ASSERT_EQ(drive["passes"].size(), 3u);
    EXPECT_EQ(drive["passes"][2]["kind"], "quotes");
    // The worked example: 10,000,000 bytes free, 9,999,984 written, 16 left.
    for (const nlohmann::json& pass : drive["passes"]) {
        EXPECT_EQ(pass["free_at_start"], 10000000);
        EXPECT_EQ(pass["written"], 9999984);
        EXPECT_EQ(pass["free_at_end"], 16);
        EXPECT_TRUE(pass["errors"].empty());
    }
}

TEST_F(RunOutcome, AFailingDiskIsIncompleteWithItsErrorAndTheLogHasALinePerFile) {
    FakePlatform::Volume& c = addDrive("C:\\", 10000000);
    c.writeErrorAfter = 3 * 960000;  // three bulk writes land, then every write fails
    fillBlocks();
    EXPECT_EQ(runToTheEnd(), ExitIncomplete);

    EXPECT_EQ(w.lblCurrentStatus.Caption,
              "Free space was not fully overwritten on C: - see the run report "
              "/opt/quellix/QuellixRuns.jsonl");
    // The summary is a status line; the drive's shortfall is a warning, on standard error.
    ASSERT_EQ(d.printed.size(), 1u);
    ASSERT_EQ(d.errors.size(), 1u);
    EXPECT_EQ(d.errors[0], "C: /fake/C: 0 of 10 MB overwritten - Device I/O error on 6 writes");
    const nlohmann::json drive = reports().at(0)["drives"][0];
    EXPECT_EQ(drive["outcome"], "incomplete");
    EXPECT_EQ(drive["passes"][0]["written"], 3 * 960000);
    EXPECT_EQ(drive["passes"][0]["errors"]["57"], 2);
    // A file that failed once takes no more writes in its pass: one log line per fill file, not
    // one per block (stage E alone would count 624,999 writes here).
    const auto log = p.errLogLines();
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[0],
              "Quellix error #57 (Device I/O error) occurred in fQL Fill Cycles at " + p.dateTime);
}

TEST_F(RunOutcome, AFillThatEndsWithSpaceLeftIsShownInAMessageWhenTheWindowStays) {
    FakePlatform::Volume& c = addDrive("C:\\", 100000000);
    addDrive("D:\\", 10000000);
    c.diskFullAfter = 40000000;  // a quota: the disk says full long before the probe's free space
    // However large the file system's own reserve, free space the fill could have written counts.
    c.facts.fsReserveBytes = 80000000;
    fillBlocks();
    w.chkExitWhenDone.Value = 0;
    w.cmdWipe_Click();

    EXPECT_EQ(w.ExitCode, ExitIncomplete);
    EXPECT_EQ(d.endings, 0);
    EXPECT_EQ(w.lblCurrentStatus.Caption, "Ready to clean free-space in the drives checked above.");
    ASSERT_EQ(d.boxes.size(), 1u);
    EXPECT_EQ(d.boxes[0].style, vbOKOnly + vbExclamation);
    // What was read back follows: the quotes pass found the disk full at once.
    EXPECT_EQ(d.boxes[0].text,
              "C: /fake/C: 0 of 95 MB overwritten - Disk full\r\nC: /fake/C: verified 0 MB\r\n"
              "D: /fake/D: verified 10 MB");
    const nlohmann::json run = reports().at(0);
    EXPECT_EQ(run["exit_status"], ExitIncomplete);
    EXPECT_EQ(run["drives"][0]["outcome"], "incomplete");
    EXPECT_EQ(run["drives"][1]["outcome"], "complete");
    EXPECT_EQ(run["drives"][0]["passes"][0]["free_at_end"], 100000000 - 40000000);
}

// A fill file given up is named in the reason, and a drive whose free space ends lower than it
// began (a file grew meanwhile, or a link kept a fill file's data) is never complete.
TEST_F(RunOutcome, AFillFileGivenUpAndFreeSpaceNotGivenBackAreNamed) {
    addDrive("C:\\", 10000000);
    addDrive("D:\\", 10000000);
    fillBlocks();
    const std::string refusal =
        "quote00.qlk in the top directory is a directory, not a fill file - it was left alone";
    p.refusedCreate["C:\\quote00.qlk"] = refusal;
    bool grown = false;
    d.everyYield([&](frmQuellix&) {
        if (!grown && created("D:\\random00.qlk")) p.volume("D:\\").freeBytes -= 2100000;
        grown = grown || created("D:\\random00.qlk");
    });
    EXPECT_EQ(runToTheEnd(), ExitIncomplete);
    // The summary on standard output, the reasons on standard error.
    EXPECT_EQ(d.printed.size(), 2u);
    ASSERT_EQ(d.errors.size(), 2u);
    EXPECT_EQ(d.errors[0], "C: /fake/C: 10 of 10 MB overwritten - " + refusal);
    EXPECT_EQ(d.errors[1],
              "D: /fake/D: free space ended 2 MB lower than it began - a file grew during the run");
    EXPECT_EQ(reports().at(0)["drives"][0]["passes"][2]["error_details"]["58"],
              refusal + ": C:\\quote00.qlk");
}

// A run report or error log line that cannot be written is said on standard error with the path
// and the system's words, and in the message box when the window stays; the status stays the
// wipe's, and nothing is said twice.
TEST_F(RunOutcome, LostRecordsAreSaidOnceAndShownWhenTheWindowStays) {
    addDrive("C:\\", 10000000);
    fillBlocks();
    p.env["QUELLIX_REPORT"] = "/srv/reports/wipes.jsonl";
    p.readOnlyHostDirs.insert("/srv/reports");
    // The error log's directory becomes unwritable once the random text file is written.
    d.everyYield([&](frmQuellix&) {
        if (created("C:\\random00.qlk")) p.readOnlyHostDirs.insert(p.programDir);
    });
    w.chkExitWhenDone.Value = 0;
    w.cmdWipe_Click();
    EXPECT_EQ(w.ExitCode, ExitFinished);
    const std::vector<std::string> lost{
        "the run report could not be written to /srv/reports/wipes.jsonl: Permission denied",
        "the error log could not be written to /opt/quellix/ErrLog.txt: Permission denied"};
    EXPECT_EQ(d.errors, lost);
    ASSERT_EQ(d.boxes.size(), 1u);
    EXPECT_EQ(d.boxes[0].text, lost[0] + "\r\n" + lost[1] + "\r\nC: /fake/C: verified 10 MB");
    // Said once; a line lost later is said when the program ends.
    ErrorLog(p, "fQL Wipe", 6, "Overflow");
    EXPECT_THROW(w.cmdExit_Click(), ProgramEnded);
    EXPECT_EQ(d.errors, (std::vector<std::string>{lost[0], lost[1], lost[1]}));
}

TEST_F(RunOutcome, SpaceKeptForRootIsNamedAndTheReportGoesWhereItIsTold) {
    addDrive("C:\\", 10000000).facts.rootReserveBytes = 5u * 1048576u;
    fillBlocks();
    p.env["QUELLIX_REPORT"] = "/srv/reports/wipes.jsonl";
    EXPECT_EQ(runToTheEnd(), ExitIncomplete);
    ASSERT_EQ(d.errors.size(), 1u);
    EXPECT_EQ(d.errors[0],
              "C: /fake/C: 5 MB reserved for root were not overwritten - run as root to include "
              "them");
    EXPECT_EQ(w.lblCurrentStatus.Caption,
              "Free space was not fully overwritten on C: - see the run report "
              "/srv/reports/wipes.jsonl");
    EXPECT_TRUE(reports().empty());
    ASSERT_EQ(p.hostFiles.count("/srv/reports/wipes.jsonl"), 1u);
    const auto run = nlohmann::json::parse(p.hostFiles["/srv/reports/wipes.jsonl"]);
    EXPECT_EQ(run["drives"][0]["root_reserve_bytes"], 5 * 1048576);
}

TEST_F(RunOutcome, AStoppedRunIsReportedAsStoppedWithTheDrivesItNeverReached) {
    addDrive("C:\\", 10000000);
    addDrive("D:\\", 10000000);
    fillBlocks();
    d.everyYield([&](frmQuellix& win) {
        if (p.writes.size() == 3 && !win.StopHandled) win.cmdStop_Click();
    });
    w.cmdWipe_Click();

    EXPECT_EQ(w.ExitCode, ExitStopped);
    EXPECT_TRUE(d.boxes.empty());
    const nlohmann::json run = reports().at(0);
    EXPECT_EQ(run["exit_status"], ExitStopped);
    EXPECT_EQ(run["drives"][0]["outcome"], "stopped");
    EXPECT_EQ(run["drives"][0]["passes"][0]["written"], 3 * 960000);
    EXPECT_EQ(run["drives"][0]["passes"][0]["free_at_end"], nullptr);
    EXPECT_EQ(run["drives"][1]["outcome"], "not started");
}

TEST_F(RunOutcome, ARunExitedAfterAnIncompleteOneEndsAsStopped) {
    FakePlatform::Volume& c = addDrive("C:\\", 10000000);
    c.writeErrorAfter = 0;
    fillBlocks();
    w.chkExitWhenDone.Value = 0;
    w.cmdWipe_Click();
    ASSERT_EQ(w.ExitCode, ExitIncomplete);

    // The disk is well again; Exit during the next run ends the program as stopped.
    c.writeErrorAfter.reset();
    d.everyYield([&](frmQuellix& win) {
        if (!p.writes.empty() && !win.ExitRequested) win.cmdExit_Click();
    });
    try {
        w.cmdWipe_Click();
        FAIL() << "the program did not end";
    } catch (const ProgramEnded& ended) {
        EXPECT_EQ(ended.status, ExitStopped);
    }
}

// A termination signal is taken up at a yield like Exit: the run winds down, its fill files go
// (an Exit leaves the tail file to the next start), it is reported, and the program ends with
// status 1 without the closing pause; while idle it ends with 0.
TEST_F(RunOutcome, ASignalWindsTheRunDownAndRemovesItsFillFilesWithoutAPause) {
    addDrive("C:\\", 10000000);
    fillBlocks();
    d.everyYield([&](frmQuellix& win) {
        if (created("C:\\random01.qlk") && !win.ExitRequested) win.SignalReceived(1);
    });
    int status = -1;
    try {
        w.cmdWipe_Click();
    } catch (const ProgramEnded& ended) {
        status = ended.status;
    }
    EXPECT_EQ(status, ExitStopped);
    EXPECT_TRUE(p.volume("C:\\").files.empty());
    EXPECT_EQ(p.volume("C:\\").freeBytes, 10000000u);
    EXPECT_EQ(p.slept, 0.0);
    ASSERT_EQ(reports().size(), 1u);
    EXPECT_EQ(reports()[0]["drives"][0]["outcome"], "stopped");

    FakePlatform idlePlatform;
    FakeDesktop idleDesktop;
    frmQuellix idle(idlePlatform, idleDesktop);
    try {
        idle.SignalReceived(1);
        FAIL() << "the program did not end";
    } catch (const ProgramEnded& ended) {
        EXPECT_EQ(ended.status, ExitFinished);
    }
    EXPECT_EQ(idlePlatform.slept, 0.0);
}

// A second signal, taken up at the next yield of the wind-down, ends the program at once: the open
// fill files closed, those with a name removed, no further yield.
TEST_F(RunOutcome, ASecondSignalEndsTheProgramAtOnceWithItsFillFilesGone) {
    addDrive("C:\\", 10000000);
    fillBlocks();
    int yieldsAfterTheSecond = 0;
    bool second = false;
    d.everyYield([&](frmQuellix& win) {
        if (second) ++yieldsAfterTheSecond;
        if (created("C:\\random01.qlk") && !win.ExitRequested) {
            win.SignalReceived(1);
        } else if (win.EndedBySignal && !second) {
            second = true;
            win.SignalReceived(2);
        }
    });
    // What the program leaves as it ends, before the test's unwinding closes anything.
    std::size_t closedAtEnd = 0;
    bool filesAtEnd = true;
    d.atEnd = [&] {
        closedAtEnd = p.closedFills.size();
        filesAtEnd = !p.volume("C:\\").files.empty();
    };
    int status = -1;
    try {
        w.cmdWipe_Click();
    } catch (const ProgramEnded& ended) {
        status = ended.status;
    }
    EXPECT_TRUE(second);
    EXPECT_EQ(status, ExitStopped);
    EXPECT_EQ(yieldsAfterTheSecond, 0);
    EXPECT_FALSE(filesAtEnd);
    EXPECT_EQ(closedAtEnd, p.fills.size());
}

// Closing the window ends the program from within the run: the fill files still open are closed
// as it ends (the bulk file vanishes), and the run is reported as stopped.
TEST_F(RunOutcome, ClosingTheWindowDuringARunClosesItsFillFiles) {
    addDrive("C:\\", 10000000);
    fillBlocks();
    d.everyYield([&](frmQuellix& win) {
        std::int16_t cancel = 0;
        if (created("C:\\random01.qlk") && !win.ExitRequested) win.Form_QueryUnload(cancel, 0);
    });
    std::size_t closedAtEnd = 0;
    d.atEnd = [&] { closedAtEnd = p.closedFills.size(); };
    EXPECT_THROW(w.cmdWipe_Click(), ProgramEnded);
    EXPECT_EQ(closedAtEnd, p.fills.size());
    EXPECT_EQ(p.volume("C:\\").files.count("random00.qlk"), 0u);
    ASSERT_EQ(reports().size(), 1u);
    EXPECT_EQ(reports()[0]["drives"][0]["outcome"], "stopped");
}

// A second signal in the names stage ends the program at once with the stage's directory gone:
// the next start would remove it, but the program does not leave it to that.
TEST_F(RunOutcome, ASecondSignalInTheNamesStageRemovesItsDirectory) {
    addDrive("C:\\", 10000000).names = NamesFacts{.supported = true, .rewriteBytes = 16 << 20};
    fillBlocks();
    d.everyYield([&](frmQuellix& win) {
        if (p.namesDirs.empty() || win.EndedBySignal) return;
        win.SignalReceived(1);
        win.SignalReceived(2);
    });
    int status = -1;
    try {
        w.cmdWipe_Click();
    } catch (const ProgramEnded& ended) {
        status = ended.status;
    }
    EXPECT_EQ(status, ExitStopped);
    EXPECT_EQ(std::count(p.deleted.begin(), p.deleted.end(), "C:\\names00.qlk"), 1);
}

}  // namespace
