// The fill data of a run: the random set from the random text file (written when it is missing,
// damaged or asked for) and the quotes set from the quotes file shipped with the program.
#pragma once

#include <functional>

#include "platform/Platform.h"
#include "runtime/Rnd.h"
#include "wipe/FillSets.h"
#include "wipe/RunObserver.h"

enum class PrepOutcome {
    Ready,    // both sets are built
    Stopped,  // a stop was requested meanwhile
    Failed,   // the random text could not be written or read back, or there are no quotes: the
              // user has been told, and the run cannot go on
};

// Builds the sets. newRandomFill asks for new random text and afterwards tells whether new text
// is still wanted (it could not be written, or the file turned out to be missing or damaged and
// was not rewritten). Statuses, progress and messages go to the observer; stopRequested is asked
// between the steps.
PrepOutcome PrepBlocks(Platform& platform, Rnd& random, RunObserver& observer,
                       const std::function<bool()>& stopRequested, bool& newRandomFill,
                       FillSets& sets);
