// The random generator: numbers in [0, 1), never 1.0, evenly spread, repeatable from a seed.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/Rnd.h"

namespace {

TEST(Rnd, LargestPossibleNumberStaysBelowOne) {
    EXPECT_EQ(Rnd::unit(0), 0.0f);
    EXPECT_LT(Rnd::unit(~0ULL), 1.0f);
    EXPECT_EQ(Rnd::unit(~0ULL), 1.0f - 1.0f / 16777216.0f);
    // The low bits that single precision cannot hold are dropped, not rounded up.
    EXPECT_LT(Rnd::unit(0xFFFFFF0000000000ULL | 0xFFFFFFFFFFULL), 1.0f);
}

TEST(Rnd, NumbersLieInTheUnitIntervalAndSpreadEvenly) {
    Rnd rnd(12345);
    std::vector<int> bins(10, 0);
    double sum = 0;
    const int n = 200000;
    for (int i = 0; i < n; ++i) {
        const float r = rnd();
        ASSERT_GE(r, 0.0f);
        ASSERT_LT(r, 1.0f);
        sum += r;
        ++bins[static_cast<std::size_t>(r * 10.0f)];
    }
    EXPECT_NEAR(sum / n, 0.5, 0.005);
    for (const int b : bins)
        EXPECT_NEAR(b, n / 10, 600);
}

TEST(Rnd, SameSeedGivesTheSameSequenceAndReseedingRestartsIt) {
    Rnd a(7), b(7), c(8);
    std::vector<float> first;
    bool differs = false;
    for (int i = 0; i < 100; ++i) {
        first.push_back(a());
        EXPECT_EQ(first.back(), b());
        differs = differs || first.back() != c();
    }
    EXPECT_TRUE(differs);
    a.Randomize(7);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(a(), first[static_cast<std::size_t>(i)]);
}

}  // namespace
