// What a run is to do, decided once before it starts: from the window's controls, or from the
// command line. The engine reads nothing else of the window.
#pragma once

#include <string>
#include <vector>

// Which passes are checked: what each one covered of the free space, and what of its fill reads
// back from the disk as written once its files are gone.
enum class VerifyMode { Last, All, Off };

struct WipePlan {
    // The drives to clean, by root ("C:\"), in the order of the drive boxes.
    std::vector<std::string> drives;
    // Random passes per drive, 1 to 7; every drive also gets one quotes pass.
    int randomPasses = 2;
    // Write new random fill text before the run, even where there is usable text.
    bool newRandomFill = false;
    // Drives on different disks fill at the same time, one thread each.
    bool parallel = false;
    // After its last pass each drive's journal, log or free metadata is rewritten, so that the
    // names of deleted files and their tiny contents are gone from there too (--no-names: not).
    bool clearNames = true;
    // The passes to check. The program's default (the last pass) comes from its options; a plan
    // made without them checks nothing.
    VerifyMode verify = VerifyMode::Off;

    // The system's paging file, looked for in each drive's root ("pagefile.sys"), and whether the
    // once-per-start question about it is still to be asked. A first release of the old host
    // reads free space only in the classic form.
    std::string swapFileName = "pagefile.sys";
    bool askSwapQuestion = false;
    bool classicProbeOnly = false;
};
