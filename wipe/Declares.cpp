// CLargeInt of the Declares module.
#include "wipe/Declares.h"

namespace {
constexpr double kTwoTo32 = 4294967296.0;
}  // namespace

double CLargeInt(const ErrorLogSink& log, const std::int32_t& LowPart,
                 const std::int32_t& HighPart) {
    ErrorHandler on(log, "Declares CLargeInt");
    double low = 0;
    double high = 0;
    double result = 0;
    on([&] { low = LowPart < 0 ? LowPart + kTwoTo32 : LowPart; });
    on([&] { high = HighPart < 0 ? HighPart + kTwoTo32 : HighPart; });
    on([&] { result = high * kTwoTo32 + low; });
    return result;
}
