// Pause: a short wait that blocks its caller. It sleeps rather than spinning the processor; the
// window processes no events meanwhile, so clicks made then wait for the next yield.
#include "wipe/Pause.h"

#include <algorithm>

#include "runtime/Numeric.h"

namespace {

constexpr double kDay = 86400.0;
constexpr double kSlice = 0.05;

}  // namespace

void Pause(FillTarget& p, std::int32_t seconds) {
    // Starting from the reading rounded to the whole second, the wait lasts between seconds - 0.5
    // and seconds + 0.5.
    const double start = nearest(p.secondsSinceMidnight());
    // The clock starts again at 0 at midnight; readings after it count on from the day before.
    double dayOffset = 0.0;
    double last = start;
    // A clock that stands still or is set back must not hold the window for ever: the time
    // actually slept bounds the wait as well.
    const double longest = static_cast<double>(seconds) + 0.5;
    double slept = 0.0;
    for (;;) {
        double now = p.secondsSinceMidnight() + dayOffset;
        if (now < last - kDay / 2) {
            dayOffset += kDay;
            now += kDay;
        }
        last = std::max(last, now);
        if (now - start > static_cast<double>(seconds) || slept >= longest) return;
        p.sleepFor(kSlice);
        slept += kSlice;
    }
}
