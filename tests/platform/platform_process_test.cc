// Process identity, the default log folder and the 64-bit integer texts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace {

TEST(PlatformProcess, HostNameNeedsSixtyFiveBytes) {
    char buf[128];
    unsigned size = 64;
    EXPECT_EQ(0, platformGetHostName(buf, &size));
    EXPECT_EQ(65u, size);
    size = sizeof buf;
    ASSERT_EQ(1, platformGetHostName(buf, &size));
    EXPECT_EQ(strlen(buf) + 1, size);
    EXPECT_EQ(-2, platformGetHostName(nullptr, &size));
    EXPECT_EQ(-2, platformGetHostName(buf, nullptr));
}

TEST(PlatformProcess, UserNameReportsTheNeededSize) {
    char buf[257];
    unsigned size = sizeof buf;
    ASSERT_EQ(1, platformGetUserName(buf, &size));
    const unsigned needed = static_cast<unsigned>(strlen(buf)) + 1;
    EXPECT_EQ(needed, size);
    char small[1];
    size = sizeof small;
    EXPECT_EQ(0, platformGetUserName(small, &size));
    EXPECT_EQ(needed, size);
    EXPECT_EQ(-2, platformGetUserName(nullptr, &size));
}

TEST(PlatformProcess, ProcessNameIsTheFullExecutablePath) {
    char buf[1024];
    unsigned size = sizeof buf;
    uint32_t id = 0;
    ASSERT_EQ(1, platformGetProcessNameID(buf, &size, &id));
    EXPECT_EQ(static_cast<uint32_t>(getpid()), id);
    EXPECT_EQ('/', buf[0]);
    EXPECT_NE(nullptr, strstr(buf, "test_platform"));
    EXPECT_EQ(strlen(buf) + 1, size);
    char full[1024];
    ASSERT_TRUE(platformGetFullExecutablePath(full, sizeof full));
    EXPECT_STREQ(buf, full);

    char cut[5];
    size = sizeof cut;
    ASSERT_EQ(1, platformGetProcessNameID(cut, &size, &id));
    EXPECT_EQ(std::string(full, 4), cut);
    EXPECT_EQ(-2, platformGetProcessNameID(buf, &size, nullptr));
    size = 0;
    EXPECT_EQ(-2, platformGetProcessNameID(buf, &size, &id));
}

TEST(PlatformProcess, DefaultLogFolder) {
    char buf[16];
    unsigned size = 4;
    EXPECT_EQ(0, platformGetDefaultLogFilePath(buf, &size));
    EXPECT_EQ(5u, size);
    ASSERT_EQ(1, platformGetDefaultLogFilePath(buf, &size));
    EXPECT_STREQ("/tmp", buf);
    EXPECT_EQ(-1, platformGetDefaultLogFilePath(nullptr, &size));
}

TEST(PlatformText, StringToInt64AcceptsOnlyCanonicalText) {
    struct Case {
        const char* text;
        bool accepted;
        int64_t value;
    } cases[] = {
        {"-9223372036854775808", true, INT64_MIN},
        {"9223372036854775807", true, INT64_MAX},
        {"0", true, 0},
        {"-17", true, -17},
        {"9223372036854775808", false, 0},
        {"-9223372036854775809", false, 0},
        {"007", false, 0},
        {"+5", false, 0},
        {"5x", false, 0},
        {" 5", false, 0},
        {"", false, 0},
        {"-0", false, 0},
    };
    for (const Case& c : cases) {
        int64_t value = 99;
        EXPECT_EQ(c.accepted, platformConvertStringToInt64(c.text, value)) << c.text;
        EXPECT_EQ(c.accepted ? c.value : 99, value) << c.text;
    }
    int64_t value = 0;
    EXPECT_FALSE(platformConvertStringToInt64(nullptr, value));
}

TEST(PlatformText, Int64ToStringNeedsRoomForTheZeroByte) {
    char buf[21];
    EXPECT_FALSE(platformConvertInt64ToString(INT64_MIN, buf, 20));
    ASSERT_TRUE(platformConvertInt64ToString(INT64_MIN, buf, 21));
    EXPECT_STREQ("-9223372036854775808", buf);
    EXPECT_FALSE(platformConvertInt64ToString(5, buf, 2));
    EXPECT_FALSE(platformConvertInt64ToString(5, nullptr, 21));
    EXPECT_FALSE(platformConvertInt64ToString(100, buf, 3));
    ASSERT_TRUE(platformConvertInt64ToString(99, buf, 3));
    EXPECT_STREQ("99", buf);
}

}  // namespace
