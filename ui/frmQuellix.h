// frmQuellix: the main window object. It holds every control (as a property object), all run
// state and all routines. The member functions are defined in the folders of their subsystems:
// engine/ (fill cycle, fill data, cleanup), run/ (wipe run, probe, run end), startup/ (start-up,
// command line, drive discovery) and ui/ (controls, progress, title, handlers, help).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "log/ErrorLog.h"
#include "platform/Block.h"
#include "platform/Platform.h"
#include "run/RunAccount.h"
#include "runtime/Rnd.h"
#include "startup/ProgramOptions.h"
#include "ui/Control.h"
#include "ui/Desktop.h"

// The three elements of a fill-block array, indexed 1 to 3 (element 0 is unused).
using BlockArray = std::array<Block, 4>;

// What the window's title shows while the window is minimised (CaptionMode).
enum CaptionModes : std::int16_t {
    CaptionReady = 1,        // "Quellix (ready)"
    CaptionPreparing = 2,    // "Quellix (text prep)"
    CaptionPercentDone = 3,  // "Quellix (42% done)"
};

class frmQuellix {
public:
    frmQuellix(Platform& platform, Desktop& desktop);
    frmQuellix(const frmQuellix&) = delete;
    frmQuellix& operator=(const frmQuellix&) = delete;

    Platform& platform() { return platform_; }
    Desktop& desktop() { return desktop_; }

    // ---------------------------------------------------------------- the window and its controls
    FormProperties Me;

    Control imgDisk, imgBroom, lblBits1, lblBits2, lblBits3, cmdHelp, cmdMinimize;
    Control lineTop, Line3, Line2;
    Control lblRandomPasses, lblRandom, frameRed, frameGreen, frameYellow;
    std::array<Control, 7> optRandom;
    Control chkExitWhenDone, lblExitWhenDone, chkNewRndTxt, lblNewRndTxt, chkToolTip, lblToolTip;
    // Drive boxes: element 0 exists from the start; drive discovery creates the others.
    std::vector<Control> chkDrive;
    Control drvList;
    Control lblTitleCurrentDrive, lblCurrentDrive, lblTitleFillSize, lblFillSize, lblTitleMBytes;
    Control lblTitleCurrentStatus, lblCurrentStatus;
    Control lblTitleCurrentProgress, progbarCurrent, lblTitleTotal, progbarTotal;
    Control cmdWipe, cmdStop, cmdExit, comDialog;

    // Every single control and every array element, in the order of the control table.
    std::vector<Control*> AllControls();

    // ---------------------------------------------------------------- run state
    // Where the run is and how the program is to end. Every stop or exit goes through these;
    // docs/architecture.md has the table of who sets and clears each one.
    //   RunInProgress  a run is between its start and its hand-over to RunEnd (cmdWipe_Click)
    //   StopRequested  Stop, a missing quotes file, a finished run without Exit When Done;
    //                  cleared by RunEnd's reset path and at every run start
    //   StopHandled    RunEnd's reset path has handled a stop: the window is Idle again, and
    //                  the run and the fill cycle further up the stack must end (cleared at
    //                  every run start)
    //   ExitRequested  Exit, closing the window, a signal, an unreadable drive, a finished run
    //                  with Exit When Done; never cleared: the next RunEnd ends the program
    //   ProgramEnding  RunEnd's exit path has begun; a close request that comes back while it
    //                  runs starts no second exit sequence
    //   EndedBySignal  a termination signal ended the program: no closing pause, and the
    //                  run's fill files are removed before the program ends
    //   ExitCode       the status the program ends with (ExitStatus in ui/Desktop.h)
    //   RunsStarted    wipe runs started so far; without a display none means "nothing to do"
    bool RunInProgress = false;
    bool StopRequested = false;
    bool StopHandled = false;
    bool ExitRequested = false;
    bool ProgramEnding = false;
    bool EndedBySignal = false;
    int ExitCode = ExitFinished;
    int RunsStarted = 0;

    // The shared state of the fill.
    std::int32_t DriveCount = 0;
    std::string SwapFileName;
    bool IsFirstWin95Release = false;
    bool SwapFileCheckPending = false;
    std::int64_t ProcessHandle = 0;
    bool DiskFull = false;
    std::int16_t CaptionMode = 0;
    // Free-space counts are 64-bit so that drives above 2 TB are wiped in full.
    std::int64_t FreeSpaceK = 0;
    std::int32_t FreeSpaceBytes = 0;
    bool LargeFreeSpace = false;
    double DriveProgressStep = 0;
    double TotalProgressStep = 0;
    std::int64_t PassStartFreeK = 0;
    std::int64_t PassDoneK = 0;
    std::int64_t DoneBeforePassK = 0;
    // The free bytes the last probe found, exact (FreeSpaceK and FreeSpaceBytes are rounded or
    // limited); the run's account takes them.
    std::int64_t ProbedFreeBytes = 0;
    FillHandle FillFileHandle00 = 0;
    FillHandle FillFileHandle01 = 0;
    BlockArray RandomBlock960000, RandomBlock96000, RandomBlock960, RandomBlock16;
    BlockArray QuoteBlock960000, QuoteBlock96000, QuoteBlock960, QuoteBlock16;

    // What the current or last run measured, drive by drive and pass by pass; RunEnd reports it.
    RunAccount Account;

    // The run time's random generator, seeded once at start-up.
    Rnd Random;

    // What the command line's options (the words that begin with "-") ask for; set at start-up.
    ProgramOptions Options;

    // ---------------------------------------------------------------- start-up (startup/)
    void Form_Load();
    void FindDrives();

    // ---------------------------------------------------------------- wipe run (run/)
    void cmdWipe_Click();
    void DiskFreeSpace(const std::string& Drive);
    void RunEnd();

    // ---------------------------------------------------------------- fill engine (engine/)
    void FillCycles(const std::string& drive);
    void PrepBlocks();
    void Cleanup(const std::string& drive, bool showStatus);
    void Pause(std::int32_t seconds);

    // ---------------------------------------------------------------- window routines (ui/)
    void Progbar();
    void UpdateCaption(std::int16_t& mode, std::int32_t& percent);
    void cmdStop_Click();
    void cmdExit_Click();
    void cmdMinimize_Click();
    void cmdHelp_Click();
    void chkToolTip_Click();
    void optRandom_Click(int Index);
    void Form_Resize();
    void Form_QueryUnload(std::int16_t& cancel, int reason);
    // Termination signals (SIGINT, SIGTERM, SIGHUP), taken up at a yield with the number received
    // so far: the first is handled as Exit; a second ends the program at once, its fill files
    // closed and removed.
    void SignalReceived(int received);
    // The end of a run without a display, once the command line has been carried out: with
    // nothing done, the drive table and how to start a run; otherwise as closing the window.
    [[noreturn]] void EndHeadless();

    // Closes the main window and ends the program: the close request passes through the close
    // handler and the exit path of RunEnd. Never returns.
    [[noreturn]] void CloseMainWindow();

private:
    [[noreturn]] void EndAtOnce();
    // Closes the open fill files (the bulk file vanishes) and gives up their handles, a failed
    // close logged through on; defined with RunEnd.
    void CloseFillFiles(ErrorHandler& on);

    Platform& platform_;
    Desktop& desktop_;
};
