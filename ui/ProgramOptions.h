// What the options that begin with "-" ask for: plain data, read from the command line by
// startup/CommandLineWords.cpp, that every part of the program may read (the window object keeps
// it as `Options`).
#pragma once

#include <string>

#include "wipe/WipePlan.h"

struct ProgramOptions {
    bool help = false;      // -h, --help: print the usage and end
    bool version = false;   // --version: print the version and end
    bool list = false;      // --list: print the drive table and end
    bool dryRun = false;    // -n, --dry-run: print the plan of the run, write and delete nothing
    bool parallel = false;  // --parallel: drives of different disks fill at once (no window)
    bool noNames = false;   // --no-names: no names stage after the passes
    // --verify=last|all|off: the passes whose fill is read back from the disk
    VerifyMode verify = VerifyMode::Last;
    std::string mapDir;  // --map DIR: a coverage picture of each drive is written there

    // Whether the options only print and end: they need no window.
    bool onlyPrint() const { return help || version || list || dryRun; }
};
