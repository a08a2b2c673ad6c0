// What the options that only print do (--help, --version, --list), and the drive table that
// --list and an idle start without a window print.
#pragma once

#include <string>

#include "startup/CommandLineWords.h"

class frmQuellix;

// Prints what --help, --version or --list asks for and ends the program with status 0; returns
// when none of them was given.
void ApplyConventionalOptions(frmQuellix& w, const ProgramOptions& options);

// The drive table: letter, mount point, file-system type, free megabytes and whether the drive
// can be cleaned or why not, one line per drive under a heading.
std::string DriveTableText(frmQuellix& w);
