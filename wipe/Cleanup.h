// Removing the fill files of one drive, so that its free space is given back.
#pragma once

#include <string>

#include "log/ErrorLog.h"
#include "wipe/FillTarget.h"

// Deletes every fill file in the drive's root ("C:\"): a first sweep whose result is not
// examined, then a second one that deletes what the first left directly; then the directory a
// names stage left. Failures are logged through `on` and the sweep goes on.
void CleanupFillFiles(FillTarget& target, ErrorHandler& on, const std::string& drive);
