// The options every Linux program is expected to know (--help, -h, --version, --list), found as
// whole words before the program's own options are looked for, and the drive table they show.
#pragma once

#include <string>

class frmQuellix;

enum class ConventionalOption { None, Help, Version, List };

// Finds the conventional options among the words of the argument text and removes them from it;
// returns the first one found.
ConventionalOption TakeConventionalOption(std::string& text);

// Prints what the option asks for and ends the program with status 0.
[[noreturn]] void ApplyConventionalOption(frmQuellix& w, ConventionalOption option);

// The drive table: letter, mount point, file-system type, free megabytes and whether the drive
// can be cleaned or why not, one line per drive under a heading.
std::string DriveTableText(frmQuellix& w);
