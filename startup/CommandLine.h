// The command-line options, applied as the last step of start-up.
#pragma once

#include <string>

#include "log/ErrorLog.h"

class frmQuellix;

// Applies the program's argument text (without the conventional options) to the window's
// controls: may show the option help or reject a value and end the program, shows the main
// window, and with RUN starts a wipe run. Errors are handled by the start-up sequence's handler.
void ApplyCommandLine(frmQuellix& w, ErrorHandler& on, std::string text);

// The option help, line by line joined with CR LF.
std::string CommandLineHelp();
