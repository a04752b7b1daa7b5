// Time values, their arithmetic and the UTC texts in both directions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "qmv3/qmv3.h"

namespace {

PLF_TIME At(uint64_t seconds, uint16_t milliseconds) { return PLF_TIME{seconds, milliseconds}; }

// 2023-07-27 15:04:05 UTC.
constexpr int64_t kAfternoon = 1690470245;

TEST(PlatformTime, CompareOrdersBySecondsThenMilliseconds) {
    EXPECT_EQ(0, platformTimeCompare(At(6, 0), At(6, 0)));
    EXPECT_EQ(-1, platformTimeCompare(At(5, 999), At(6, 0)));
    EXPECT_EQ(1, platformTimeCompare(At(6, 0), At(5, 999)));
    // Beyond double precision the two differ only in the last millisecond.
    EXPECT_EQ(-1, platformTimeCompare(At(1ull << 62, 1), At(1ull << 62, 2)));
}

TEST(PlatformTime, AddOffsetCarriesMilliseconds) {
    struct Case {
        PLF_TIME start;
        uint32_t offset;
        PLF_TIME expected;
    } cases[] = {
        {At(10, 999), 1, At(11, 0)},
        {At(10, 600), 2500, At(13, 100)},
        {At(0, 0), 999, At(0, 999)},
        {At(7, 500), 4000000000u, At(4000007, 500)},
    };
    for (const Case& c : cases) {
        PLF_TIME t = c.start;
        platformTimeAddOffset(t, c.offset);
        EXPECT_EQ(c.expected.seconds, t.seconds) << c.offset;
        EXPECT_EQ(c.expected.milliseconds, t.milliseconds) << c.offset;
    }
}

TEST(PlatformTime, DeltaIsSignedSeconds) {
    EXPECT_DOUBLE_EQ(1.2, platformTimeDelta(At(10, 900), At(12, 100)));
    EXPECT_DOUBLE_EQ(-1.2, platformTimeDelta(At(12, 100), At(10, 900)));
    EXPECT_DOUBLE_EQ(0.0, platformTimeDelta(At(3, 3), At(3, 3)));
}

TEST(PlatformTime, SleepLastsAtLeastTheDuration) {
    PLF_TIME before, after;
    platformTimeGet(before);
    platformSleepMilliseconds(120);
    platformTimeGet(after);
    EXPECT_GE(platformTimeDelta(before, after), 0.115);
    EXPECT_LT(after.milliseconds, 1000);
}

TEST(PlatformTime, LocalTextsHaveTheirShapeAndTruncate) {
    char buf[64];
    ASSERT_EQ(buf, platformTimeToString(At(kAfternoon, 7), buf, sizeof buf));
    EXPECT_EQ(27u, strlen(buf));
    EXPECT_EQ('[', buf[0]);
    EXPECT_STREQ(".007 LTM]", buf + 18);
    ASSERT_EQ(buf, platformTimeToStringEx(At(kAfternoon, 42), buf, sizeof buf));
    EXPECT_EQ(std::string("[2023-07-2"), std::string(buf, 10));
    EXPECT_NE(nullptr, strstr(buf, ".042 "));
    char small[6];
    ASSERT_EQ(small, platformTimeToString(At(kAfternoon, 0), small, sizeof small));
    EXPECT_EQ(4u, strlen(small));  // at most size - 2 characters
    EXPECT_EQ(nullptr, platformTimeToString(At(0, 0), buf, 1));
    EXPECT_EQ(nullptr, platformTimeToStringEx(At(0, 0), nullptr, 10));
}

TEST(PlatformTime, ExportedTimeStringNeedsTwentySixBytes) {
    char buf[32];
    EXPECT_EQ(nullptr, QMV3_INTERNAL_getTimeString(buf, 25));
    EXPECT_EQ(nullptr, QMV3_INTERNAL_getTimeString(nullptr, 26));
    ASSERT_EQ(buf, QMV3_INTERNAL_getTimeString(buf, 27));
    EXPECT_EQ(25u, strlen(buf));
    EXPECT_STREQ(" LTM", buf + 21);
    // Like the other time texts it keeps at most size - 2 characters, and nothing past the size.
    memset(buf, '#', sizeof buf);
    ASSERT_EQ(buf, QMV3_INTERNAL_getTimeString(buf, 26));
    EXPECT_EQ(24u, strlen(buf));
    EXPECT_EQ('#', buf[26]);
}

TEST(PlatformUtcText, WriterForms) {
    struct Case {
        int64_t seconds;
        uint32_t fraction;
        bool micro, brackets, twelve;
        const char* expected;
    } cases[] = {
        {kAfternoon, 123, true, false, true, "2023-07-27  3:04:05.000123 PM UTC"},
        {kAfternoon, 123, false, false, false, "2023-07-27 15:04:05.123 UTC"},
        {kAfternoon, 5, false, true, false, "[2023-07-27 15:04:05.005 UTC]"},
        {kAfternoon, 1000, true, false, false, "2023-07-27 15:04:05.001000 UTC"},
        {1690416000, 0, false, false, true, "2023-07-27 12:00:00.000 AM UTC"},   // midnight
        {1690459200, 0, false, true, true, "[2023-07-27 12:00:00.000 PM UTC]"},  // noon
        {1690462800, 0, false, false, true, "2023-07-27  1:00:00.000 PM UTC"},
        {0, 999999, true, false, false, "1970-01-01 00:00:00.999999 UTC"},
    };
    for (const Case& c : cases) {
        char buf[64];
        ASSERT_EQ(buf, platformTimeToUTCString(c.seconds, c.fraction, c.micro, c.brackets, c.twelve, buf, sizeof buf))
            << c.expected;
        EXPECT_STREQ(c.expected, buf);
        ASSERT_EQ(buf, QMV3_INTERNAL_platformTimeToUTCString(c.seconds, c.fraction, c.micro, c.brackets, c.twelve, buf,
                                                             sizeof buf));
        EXPECT_STREQ(c.expected, buf);
    }
}

TEST(PlatformUtcText, WriterRefusesBadArgumentsAndTruncates) {
    char buf[64];
    EXPECT_EQ(nullptr, platformTimeToUTCString(kAfternoon, 1000, false, false, false, buf, sizeof buf));
    EXPECT_EQ(nullptr, platformTimeToUTCString(kAfternoon, 1000000, true, false, false, buf, sizeof buf));
    EXPECT_EQ(nullptr, platformTimeToUTCString(kAfternoon, 0, true, false, false, nullptr, 64));
    EXPECT_EQ(nullptr, platformTimeToUTCString(kAfternoon, 0, true, false, false, buf, 1));
    EXPECT_EQ(nullptr, platformTimeToUTCString(INT64_MAX, 0, true, false, false, buf, sizeof buf));
    ASSERT_EQ(buf, platformTimeToUTCString(kAfternoon, 0, true, false, false, buf, 8));
    EXPECT_STREQ("2023-0", buf);
}

TEST(PlatformUtcText, ReaderAcceptsTheTwelveHourForm) {
    struct Case {
        const char* text;
        int64_t seconds;
        uint32_t micro;
    } cases[] = {
        {"2023-07-27 12:00:00.000000 am utc", 1690416000, 0},   {"2023-07-27 12:00:00.000000 PM UTC", 1690459200, 0},
        {"2023-07-27  3:04:05.000123 PM UTC", kAfternoon, 123}, {"2023-07-27 03:04:05.12 Pm Utc", kAfternoon, 12},
        {"2023-08-00 12:00:00.000000 AM UTC", 1690761600, 0},  // day 0: last day of July
    };
    for (const Case& c : cases) {
        int64_t seconds = -1;
        uint32_t micro = 7;
        ASSERT_TRUE(platformUTCStringToTimeT(c.text, seconds, micro)) << c.text;
        EXPECT_EQ(c.seconds, seconds) << c.text;
        EXPECT_EQ(c.micro, micro) << c.text;
    }
}

TEST(PlatformUtcText, ReaderRejectsAndLeavesOutputs) {
    const char* texts[] = {
        "2023-07-27 15:04:05.000123 UTC",
        "1969-12-31 11:59:59.000000 PM UTC",
        "2023-07-27 13:00:00.000000 PM UTC",
        "2023-13-01 01:00:00.000000 AM UTC",
        "2023-00-01 01:00:00.000000 AM UTC",
        "2023-07-32 01:00:00.000000 AM UTC",
        "2023-07-27 01:60:00.000000 AM UTC",
        "2023-07-27 01:00:60.000000 AM UTC",
        "2023-07-27 01:00:00.000000 XM UTC",
        "2023-07-27 01:00:00.000000 AM GMT",
        "-999-07-27 01:00:00.000000 AM UTC",
        "2023-07-27 -1:00:00.000000 AM UTC",
        "",
    };
    for (const char* text : texts) {
        int64_t seconds = 42;
        uint32_t micro = 43;
        EXPECT_FALSE(platformUTCStringToTimeT(text, seconds, micro)) << text;
        EXPECT_EQ(42, seconds);
        EXPECT_EQ(43u, micro);
    }
    int64_t seconds = 0;
    uint32_t micro = 0;
    EXPECT_FALSE(platformUTCStringToTimeT(nullptr, seconds, micro));
}

TEST(PlatformUtcText, WriterTextReadsBack) {
    const int64_t samples[] = {0, 43199, 43200, 86399, kAfternoon, 4102444799};
    for (int64_t sample : samples) {
        char buf[40];
        ASSERT_NE(nullptr, platformTimeToUTCString(sample, 654321, true, false, true, buf, sizeof buf));
        int64_t seconds = 0;
        uint32_t micro = 0;
        ASSERT_TRUE(platformUTCStringToTimeT(buf, seconds, micro)) << buf;
        EXPECT_EQ(sample, seconds) << buf;
        EXPECT_EQ(654321u, micro);
    }
}

}  // namespace
