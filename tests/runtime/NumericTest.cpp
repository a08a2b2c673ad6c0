// Rounding, checked narrowing, division and the text/number conversions of the run time.
#include <gtest/gtest.h>

#include "runtime/Numeric.h"
#include "runtime/RuntimeError.h"
#include "tests/support/RaisedNumber.h"

namespace {

TEST(Numeric, NearestRoundsHalvesToEven) {
    EXPECT_EQ(nearest(0.5), 0.0);
    EXPECT_EQ(nearest(1.5), 2.0);
    EXPECT_EQ(nearest(2.5), 2.0);
    EXPECT_EQ(nearest(-2.5), -2.0);
    EXPECT_EQ(nearest(12.5), 12.0);
    EXPECT_EQ(nearest(13.5), 14.0);
    EXPECT_EQ(nearest(2.500001), 3.0);
}

TEST(Numeric, NarrowingRaisesOverflowOutsideItsRange) {
    EXPECT_EQ(CInt(32767.4), 32767);
    EXPECT_EQ(CInt(-32768.0), -32768);
    EXPECT_EQ(raisedNumber([] { CInt(32767.5); }), Err::Overflow);
    EXPECT_EQ(CLng(2147483647.0), 2147483647);
    EXPECT_EQ(raisedNumber([] { CLng(2147483647.5); }), Err::Overflow);
    EXPECT_EQ(raisedNumber([] { CLng(std::numeric_limits<double>::quiet_NaN()); }), Err::Overflow);
    EXPECT_EQ(CLngLng(5e12), 5000000000000LL);
}

TEST(Numeric, DivisionByZeroRaisesEleven) {
    EXPECT_DOUBLE_EQ(Divide(100, 8), 12.5);
    EXPECT_EQ(raisedNumber([] { Divide(100, 0); }), Err::DivisionByZero);
}

TEST(Numeric, StrPutsABlankBeforeNonNegativeNumbers) {
    EXPECT_EQ(Str(2), " 2");
    EXPECT_EQ(Str(0), " 0");
    EXPECT_EQ(Str(-3), "-3");
}

TEST(RuntimeErrorTable, KnownNumbersHaveTheirUsualDescriptions) {
    EXPECT_EQ(ErrorDescription(61), "Disk full");
    EXPECT_EQ(ErrorDescription(75), "Path/File access error");
    EXPECT_EQ(RuntimeError(11).description(), "Division by zero");
    EXPECT_EQ(ErrorDescription(12345), "");
}

}  // namespace
