// The Declares module: the program's platform declarations and CLargeInt, which reads the two
// signed 32-bit halves of a 64-bit byte count as one number.
#pragma once

#include <cstdint>

#include "log/ErrorLog.h"

// HighPart x 2^32 + LowPart, each half read as unsigned; exact below 2^53. Errors are logged as
// "Declares CLargeInt".
double CLargeInt(const ErrorLogSink& log, const std::int32_t& LowPart,
                 const std::int32_t& HighPart);
