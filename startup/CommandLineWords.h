// The command line split into its kinds of words: options that begin with "-" (one table of
// them, in CommandLineWords.cpp), drives named by their mount point (words that begin with "/"),
// and the rest, in which the program's own options (RUN, ALL, RAND=, C: ...) are looked for.
// Options and mount points are whole words and are taken out before that search, so that no
// word of theirs ever counts as RUN or ALL.
#pragma once

#include <string>
#include <vector>

#include "ui/ProgramOptions.h"

struct CommandLineWords {
    ProgramOptions options;
    // The words that begin with "/", in the order given: mount points of drives to clean.
    std::vector<std::string> mountPoints;
    // The other words, joined by blanks, for the search for the program's own options. Only
    // these are searched: a mount point or an option's value that holds "ALL" or "RUN" is data.
    std::string text;
    // Why the options cannot be taken ("unknown option '--x'"); empty when they can.
    std::string error;
};

// Sorts the program's arguments (argv's words, as the caller's shell gave them: a word may hold
// blanks) into their kinds, by position: an option that takes a value takes the next word
// whatever it says, and a word that begins with "/" is a mount point, before the program's own
// words are looked for in the rest. "/?" is the old form of "?" and stays in the text; "-?" is
// "?" too.
CommandLineWords SplitCommandLine(const std::vector<std::string>& arguments);

// The usage synopsis that --help prints: options, the program's own words, drives by letter or
// mount point, QUELLIX_DRIVES, exit statuses and two examples; lines joined by CR LF.
std::string UsageText();
// The usage line and where to read more, printed after a refused option.
std::string ShortUsage();

// A mount point as the drive table lists it: repeated and trailing slashes and "." components
// removed ("/mnt//a/./" gives "/mnt/a").
std::string NormalMountPoint(const std::string& path);
