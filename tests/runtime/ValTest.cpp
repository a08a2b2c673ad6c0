// The run time's text-to-number conversion as the command line uses it.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

#include "runtime/Numeric.h"

namespace {

TEST(Val, IgnoresBlanksTabsAndLineFeedsAnywhere) {
    EXPECT_EQ(Val("\n\t 1 2\t.\n5"), 12.5);
    EXPECT_EQ(Val("- 3"), -3.0);
    EXPECT_EQ(Val("1 e 2"), 100.0);
    // A carriage return is not one of them: reading stops there.
    EXPECT_EQ(Val("3\r4"), 3.0);
}

TEST(Val, ReadsSignDecimalPointAndExponent) {
    EXPECT_EQ(Val("+4"), 4.0);
    EXPECT_EQ(Val("-.5"), -0.5);
    EXPECT_EQ(Val("7."), 7.0);
    EXPECT_EQ(Val("1.5E2"), 150.0);
    EXPECT_EQ(Val("25e-1"), 2.5);
    EXPECT_EQ(Val("2D+1"), 20.0);
    EXPECT_EQ(Val("1e+"), 1.0);
    EXPECT_EQ(Val("1.2.3"), 1.2);
    EXPECT_EQ(Val("1,5"), 1.0);
    EXPECT_EQ(Val("0.6 RUN"), 0.6);
}

TEST(Val, TextWithoutALeadingNumberGivesZero) {
    EXPECT_EQ(Val("."), 0.0);
    EXPECT_EQ(Val("-"), 0.0);
    EXPECT_EQ(Val("--5"), 0.0);
    EXPECT_EQ(Val("e5"), 0.0);
    EXPECT_EQ(Val(".e5"), 0.0);
    EXPECT_EQ(Val("X=5"), 0.0);
}

TEST(Val, NumbersBeyondADoubleBecomeInfinityOrZero) {
    EXPECT_TRUE(std::isinf(Val("1e400")));
    EXPECT_LT(Val("-1e400"), 0.0);
    EXPECT_EQ(Val("1e-400"), 0.0);
    EXPECT_EQ(Val("0.0001e-99999999999999999999"), 0.0);
    EXPECT_TRUE(std::isinf(Val("9e99999999999999999999")));
    EXPECT_EQ(Val("99999999999"), 99999999999.0);
}

// The Qt application adopts the user's locale; a decimal comma there must not change how the
// command line's numbers are read.
TEST(Val, DoesNotDependOnTheLocaleDecimalSeparator) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    const char* commaLocale = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            commaLocale = name;
            break;
        }
    }
    if (commaLocale == nullptr) GTEST_SKIP() << "no locale with a decimal comma is installed";
    const double half = Val("2.5");
    const double small = Val("0.6");
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(half, 2.5);
    EXPECT_EQ(small, 0.6);
}

}  // namespace
