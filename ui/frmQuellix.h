// frmQuellix: the main window object. It holds every control (as a property object), the
// window's own state and its routines. A run's state belongs to the wipe engine (wipe/): the
// window builds a WipePlan from its controls, runs it, and shows what the engine tells its
// RunView. The member functions are defined in the folders of their subsystems: engine/ (fill
// data, cleanup, pause), run/ (wipe run, run end), startup/ (start-up, command line, drive
// discovery) and ui/ (controls, progress, title, handlers, help, the run's view).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "log/ErrorLog.h"
#include "platform/Platform.h"
#include "runtime/Rnd.h"
#include "ui/Control.h"
#include "ui/Desktop.h"
#include "ui/ProgramOptions.h"
#include "ui/RunView.h"
#include "wipe/FillSets.h"
#include "wipe/RunAccount.h"
#include "wipe/WipePlan.h"

class WipeRun;

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
    //   StopHandled    RunEnd's reset path has handled a stop: the window is Idle again
    //                  (cleared at every run start)
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

    // What the window knows of drives and of the host.
    std::int32_t DriveCount = 0;
    std::string SwapFileName;
    bool IsFirstWin95Release = false;
    bool SwapFileCheckPending = false;
    std::int64_t ProcessHandle = 0;
    std::int16_t CaptionMode = 0;

    // The progress display's figures, taken from the engine's events of the drive being shown.
    // Free-space counts are 64-bit so that drives above 2 TB are shown in full.
    std::int64_t FreeSpaceK = 0;
    double DriveProgressStep = 0;
    double TotalProgressStep = 0;
    std::int64_t PassStartFreeK = 0;
    std::int64_t PassDoneK = 0;
    std::int64_t DoneBeforePassK = 0;

    // The fill data of the current or last run, built by PrepBlocks.
    FillSets Blocks;
    // What the current or last run measured, drive by drive and pass by pass; RunEnd reports it.
    RunAccount Account;
    // The engine while a run fills (a Stop or Exit taken up at a yield is handed to it).
    WipeRun* CurrentRun = nullptr;
    // The window's view of a run: the engine's events shown on the controls.
    RunView View{*this};

    // The run time's random generator, seeded once at start-up.
    Rnd Random;

    // What the command line's options (the words that begin with "-") ask for; set at start-up.
    ProgramOptions Options;

    // ---------------------------------------------------------------- start-up (startup/)
    void Form_Load();
    void FindDrives();

    // ---------------------------------------------------------------- wipe run (run/)
    void cmdWipe_Click();
    // What the controls ask of a run: the checked drives, the passes, the choices.
    WipePlan PlanFromControls() const;
    void RunEnd();

    // ---------------------------------------------------------------- fill data, cleanup (engine/)
    void PrepBlocks();
    void Cleanup(const std::string& drive, bool showStatus);
    void Pause(std::int32_t seconds);

    // ---------------------------------------------------------------- window routines (ui/)
    void Progbar();
    void UpdateCaption(std::int16_t& mode, std::int32_t& percent);
    // Shows a status text, on the window and, without a display, on the terminal.
    void ShowStatus(const std::string& text);
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

    Platform& platform_;
    Desktop& desktop_;
};
