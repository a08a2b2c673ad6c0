// The program's string table: fixed texts by id.
#pragma once

#include <string>

// The ids of the texts the program shows.
enum StringId : int {
    IdsReady = 101,         // "Ready to clean free-space in the drives checked above."
    IdsOptionsLine1 = 102,  // the option help, line by line
    IdsOptionsLine2 = 103,
    IdsOptionsExample1 = 104,
    IdsOptionsExample1b = 105,
    IdsOptionsExample2 = 106,
    IdsOptionsExample2b = 107,
    IdsOptionsExample2c = 108,
    IdsOptionsFooter = 109,
    IdsRandRejected = 110,         // "... contains the string RAND="
    IdsRandLimit = 111,            // "The limit is 1 to 7 cycles. ..."
    IdsDriveRejected = 113,        // "An invalid command-line value is present.   Drive "
    IdsDriveRejectedMiddle = 114,  // " cannot or should not "
    IdsDriveRejectedEnd = 115,     // "be accessed. ..."
    IdsOptionsExample1c = 117,
    IdsNoDrives = 135,         // "... did not detect any logical drives.  "
    IdsTooManyDrives = 136,    // "... in excess of 24 logical drives.  "
    IdsTipRandomPasses = 139,  // the tool tips
    IdsTipExitWhenDone = 140,
    IdsTipNewRandom = 141,
    IdsTipToolTips = 142,
    IdsTipCurrentDrive = 143,
    IdsTipFillSize = 144,
    IdsTipStatus = 145,
    IdsTipCurrentProgress = 146,
    IdsTipTotalProgress = 147,
    IdsTipWipe = 148,
    IdsTipStop = 149,
    IdsTipExit = 150,
    IdsTipDrive = 155,
    IdsThanks = 156,   // "Performing last check on all drives  - Thank you for using Quellix"
    IdsExiting = 174,  // "Now Exiting Quellix."
};

// The text of a string-table entry; an id that is not in the table raises 5.
std::string LoadResString(int id);
