// Tolerance comparison with open bounds and NaN, position scaling with its clamping and preconditions,
// the range test and the local-time stamp with its fallback text and buffer limits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "util/numeric.h"

namespace {

TEST(Helpers, IsApproximatelyHasOpenBoundsAndRejectsNaN) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double a, b, tolerance;
        bool expected;
    } cases[] = {
        {1.0, 1.0, 0.0, false},                                // empty open interval
        {1.00001, 1.0, 0.0001, true}, {1.0, 1.0, -0.5, true},  // the tolerance counts by its magnitude
        {1.5, 1.0, 0.5, false},                                // exactly the tolerance away
        {0.5, 1.0, 0.5, false},       {0.51, 1.0, 0.5, true}, {nan, 1.0, 1.0, false},
        {1.0, nan, 1.0, false},       {1.0, 1.0, nan, false}, {nan, nan, 1.0, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, isApproximately(c.a, c.b, c.tolerance)) << c.a << " " << c.b << " " << c.tolerance;
        EXPECT_EQ(c.expected,
                  isApproximately(static_cast<float>(c.a), static_cast<float>(c.b), static_cast<float>(c.tolerance)))
            << c.a << " " << c.b << " " << c.tolerance;
    }
}

TEST(Helpers, ValueInRangeIsInclusive) {
    EXPECT_TRUE(uf_valueInRange(5, 5, 5));
    EXPECT_FALSE(uf_valueInRange(4, 5, 6));
    EXPECT_TRUE(uf_valueInRange(6, 5, 6));
    EXPECT_FALSE(uf_valueInRange(7, 5, 6));
}

TEST(Helpers, PerformScalingRoundsAndClamps) {
    EXPECT_EQ(100, performScaling(10, 10, 100));
    EXPECT_EQ(50, performScaling(5, 10, 100));
    EXPECT_EQ(100, performScaling(11, 10, 100));   // one step past the source end is clamped
    EXPECT_EQ(3, performScaling(5, 0.5, 100, 0));  // 2.5 rounds half up
    EXPECT_EQ(2, performScaling(5, 0.49, 100, 0));
    EXPECT_EQ(3, performScaling(2, 1.0, 100, 3));  // a shortfall of one is raised to the minimum
    EXPECT_EQ(7, performScaling(7, 1.0, 100, 3));
}

TEST(HelpersDeathTest, PerformScalingStopsOnBrokenPreconditions) {
    EXPECT_DEATH(performScaling(1, 0, 100), "usefulfunctions.*int performScaling\\(int, int, int\\).*aiSrcMaxPos>0");
    EXPECT_DEATH(performScaling(1, 0.0, 100, 0), "Assertion `adScale>0.0' failed");
    EXPECT_DEATH(performScaling(1, 0.000001, 100, 0), "isApproximately\\(adScale, 0.0, 0.00001\\)==false");
    EXPECT_DEATH(performScaling(1, 1.0, 0, 0), "aiDestMaxPos>0");
    EXPECT_DEATH(performScaling(1, 1.0, 10, -1), "aiDestMinPos>=0");
    EXPECT_DEATH(performScaling(-1, 1.0, 10, 0), "aiSrcPos>=0");
    EXPECT_DEATH(performScaling(12, 10, 100), "\\(reti-aiDestMaxPos\\)<");
    EXPECT_DEATH(performScaling(1, 1.0, 10, 3), "\\(aiDestMinPos-reti\\)<2");
    // Far beyond the int range: refused instead of wrapping.
    EXPECT_DEATH(performScaling(2147483647, 1e10, 100, 0), "\\(reti-aiDestMaxPos\\)<");
    EXPECT_DEATH(performScaling(0, std::numeric_limits<double>::infinity(), 100, 0), "\\(reti-aiDestMaxPos\\)<");
}

std::string Stamp(long seconds, int milliseconds, size_t size) {
    char buffer[64];
    std::memset(buffer, 'Z', sizeof buffer);
    timestampToString(seconds, milliseconds, buffer, size);
    return std::string(buffer, strnlen(buffer, sizeof buffer));
}

TEST(Helpers, TimestampIsLocalTimeWithMilliseconds) {
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ("14.11.23 22:13:20:007 LTM", Stamp(1700000000, 7, 64));
    EXPECT_EQ("01.01.70 00:00:00:999 LTM", Stamp(0, 999, 64));
    setenv("TZ", "CET-1", 1);
    tzset();
    EXPECT_EQ("14.11.23 23:13:20:007 LTM", Stamp(1700000000, 7, 64));
}

TEST(Helpers, TimestampFallbackAndLimits) {
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ("1700000000:1000 conversion error", Stamp(1700000000, 1000, 64));
    EXPECT_EQ("5: -1 conversion error", Stamp(5, -1, 64));
    // At most size - 2 characters: the limit excludes the last byte, which is set to zero.
    EXPECT_EQ("14.11.23", Stamp(1700000000, 7, 10));
    char one[2] = {'Z', 'Z'};
    EXPECT_EQ(one, timestampToString(1, 1, one, 1));
    EXPECT_EQ('Z', one[0]);
    EXPECT_EQ(nullptr, timestampToString(1, 1, nullptr, 64));
}

}  // namespace
