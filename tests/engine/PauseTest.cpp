// Pause: its length from the rounded start, midnight, and a clock that does not move on.
#include <gtest/gtest.h>

#include "tests/support/FakeDesktop.h"
#include "tests/support/FakePlatform.h"
#include "ui/frmQuellix.h"

namespace {

// The fake clock moves only by the time the pause sleeps, so the time slept is its length.
double pauseFrom(double clock, std::int32_t seconds, double clockStep = 0.0) {
    FakePlatform p;
    FakeDesktop d;
    frmQuellix w(p, d);
    d.attach(w);
    p.clock = clock;
    p.clockStep = clockStep;
    w.Pause(seconds);
    EXPECT_EQ(d.doEvents, 0);  // the window processes no events meanwhile
    return p.slept;
}

TEST(Pause, LengthCountsFromTheStartRoundedToTheWholeSecond) {
    EXPECT_NEAR(pauseFrom(100.7, 2), 2.3, 0.051);
    EXPECT_NEAR(pauseFrom(100.3, 2), 1.7, 0.051);
    // A half goes to the even second.
    EXPECT_NEAR(pauseFrom(100.5, 2), 1.5, 0.051);
    EXPECT_NEAR(pauseFrom(101.5, 2), 2.5, 0.051);
    EXPECT_NEAR(pauseFrom(100.0, 1), 1.0, 0.051);
}

TEST(Pause, EndsAcrossMidnight) {
    EXPECT_NEAR(pauseFrom(86399.2, 2), 1.8, 0.051);
    // Rounded up to midnight itself.
    EXPECT_NEAR(pauseFrom(86399.6, 2), 2.4, 0.051);
    EXPECT_NEAR(pauseFrom(86398.0, 1), 1.0, 0.051);
}

TEST(Pause, ClockThatStandsStillOrGoesBackDoesNotHoldTheWindow) {
    // Every reading takes back the slice slept before it.
    EXPECT_LE(pauseFrom(500.0, 2, -0.05), 2.55);
    EXPECT_LE(pauseFrom(500.0, 2, -10.0), 2.55);
}

TEST(Pause, ZeroOrNegativeSecondsEndAtOnceOrWithinHalfASecond) {
    EXPECT_LE(pauseFrom(100.4, 0), 0.651);
    EXPECT_EQ(pauseFrom(100.4, -3), 0.0);
}

}  // namespace
