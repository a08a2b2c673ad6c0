// The plan a dry run prints in place of the run: what the command line chose and what a run
// would write, read from the controls as the run would read them. Nothing is written or deleted.
#pragma once

#include <string>
#include <vector>

class frmQuellix;

// The plan, line by line: for each chosen drive its mount point, file system, free space, passes,
// the bytes the passes would write, what no write can reach and the leftover fill files the
// start-up would have removed; leftovers on the other selectable drives; whether the run would
// start at once.
std::vector<std::string> DryRunPlan(frmQuellix& w, bool runAtOnce);
