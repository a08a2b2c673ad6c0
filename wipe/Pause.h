// A short wait between the steps of a fill: it sleeps rather than spinning the processor, and
// nothing is handled meanwhile.
#pragma once

#include <cstdint>

#include "wipe/FillTarget.h"

// Waits for about the given number of seconds on the target's clock.
void Pause(FillTarget& clock, std::int32_t seconds);
