// The command-line options, applied as the last step of start-up.
#pragma once

#include <string>

#include "log/ErrorLog.h"
#include "startup/CommandLineWords.h"

class frmQuellix;

// Applies the command line's words to the window's controls: may show the option help or
// refuse a value or a drive and end the program, shows the main window, and with RUN starts a
// wipe run; a dry run prints its plan and ends instead of showing the window. The options that
// begin with "-" have been taken already. Errors are handled by the start-up sequence's handler.
void ApplyCommandLine(frmQuellix& w, ErrorHandler& on, const CommandLineWords& words);

// The option help, line by line joined with CR LF.
std::string CommandLineHelp();
