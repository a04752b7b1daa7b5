// Result codes of the text-to-number converters at the boundaries where range checks and end-of-text
// checks go wrong: the limits of 32-bit types, signs, blanks, prefixes, overflow and empty text.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>

#include "util/numeric.h"

namespace {

struct IntCase {
    const char* text;
    int base;
    int code;
    int value;  // checked only when code is 0
};

TEST(Conversion, SignedInt32CodesAndValues) {
    const IntCase cases[] = {
        {"42", 10, 0, 42},
        {"2147483647", 10, 0, INT_MAX},
        {"-2147483648", 10, 0, INT_MIN},
        {"2147483648", 10, 1, 0},
        {"-2147483649", 10, 2, 0},
        {"99999999999999999999", 10, 1, 0},  // beyond 64 bits: range error of the C library
        {"-99999999999999999999", 10, 2, 0},
        {"99999999999x", 10, 1, 0},  // range comes before the trailing characters
        {"+7", 10, 0, 7},
        {" 42", 10, 0, 42},
        {"42 ", 10, 3, 0},
        {"", 10, 3, 0},
        {" ", 10, 3, 0},
        {"-", 10, 3, 0},
        {"0x10", 10, 3, 0},
        {"0x10", 16, 0, 16},
        {"0x10", 0, 0, 16},
        {"010", 0, 0, 8},
        {"7fffffff", 16, 0, INT_MAX},
        {"80000000", 16, 1, 0},
        {"12", 1, 3, 0},  // invalid base: nothing converts
        {"12", 37, 3, 0},
    };
    for (const IntCase& c : cases) {
        int value = -99;
        EXPECT_EQ(c.code, CheckStr2Int32(&value, c.text, c.base)) << '"' << c.text << "\" base " << c.base;
        EXPECT_EQ(c.code == 0 ? c.value : -99, value) << '"' << c.text << '"';
        int direct = -99;
        EXPECT_EQ(c.code, Str2Int(direct, c.text, c.base)) << '"' << c.text << '"';
        EXPECT_EQ(c.code == 0 ? c.value : -99, direct) << '"' << c.text << '"';
    }
}

TEST(Conversion, NullOutputIsAPureTestAndNullTextIsRefused) {
    EXPECT_EQ(0, CheckStr2Int32(nullptr, "42", 10));
    EXPECT_EQ(3, CheckStr2Int32(nullptr, "4x", 10));
    EXPECT_EQ(0, CheckStr2UInt32(nullptr, "42", 10));
    EXPECT_EQ(0, CheckStr2Float(nullptr, "1.5"));
    int i = 5;
    unsigned u = 5;
    float f = 5;
    double d = 5;
    long l = 5;
    EXPECT_EQ(3, CheckStr2Int32(&i, nullptr, 10));
    EXPECT_EQ(3, CheckStr2UInt32(&u, nullptr, 10));
    EXPECT_EQ(3, CheckStr2Float(&f, nullptr));
    EXPECT_EQ(3, CheckStr2Double(&d, nullptr));
    EXPECT_EQ(3, Str2Int64(l, nullptr, 10));
    EXPECT_EQ(5, i);
    EXPECT_EQ(5u, u);
}

TEST(Conversion, Int64Limits) {
    const struct {
        const char* text;
        int code;
        long value;
    } cases[] = {
        {"9223372036854775807", 0, LONG_MAX}, {"-9223372036854775808", 0, LONG_MIN}, {"9223372036854775808", 1, 0},
        {"-9223372036854775809", 2, 0},       {"4294967296", 0, 4294967296L},        {"1 ", 3, 0},
    };
    for (const auto& c : cases) {
        long value = -99;
        EXPECT_EQ(c.code, Str2Int64(value, c.text, 10)) << c.text;
        EXPECT_EQ(c.code == 0 ? c.value : -99, value) << c.text;
    }
}

TEST(Conversion, UnsignedInt32CodesAndValues) {
    const struct {
        const char* text;
        int code;
        unsigned value;
    } cases[] = {
        {"4294967295", 0, 4294967295u}, {"4294967296", 1, 0}, {"-1", 1, 0}, {"-0", 0, 0},
        {"-4294967295", 1, 0},          {"0", 0, 0},          {"", 3, 0},   {"12a", 3, 0},
        {"99999999999999999999", 1, 0}, {" 7", 0, 7},         {"7 ", 3, 0},
    };
    for (const auto& c : cases) {
        unsigned value = 99;
        EXPECT_EQ(c.code, CheckStr2UInt32(&value, c.text, 10)) << c.text;
        EXPECT_EQ(c.code == 0 ? c.value : 99u, value) << c.text;
    }
    unsigned invalidBase = 99;
    EXPECT_EQ(3, CheckStr2UInt32(&invalidBase, "12", 1));
    EXPECT_EQ(99u, invalidBase);
    unsigned hex = 0;
    EXPECT_EQ(0, CheckStr2UInt32(&hex, "0xFFFFFFFF", 16));
    EXPECT_EQ(0xFFFFFFFFu, hex);
}

TEST(Conversion, FloatRangeAndText) {
    const struct {
        const char* text;
        int code;
        float value;
    } cases[] = {
        {"3.5e38", 1, 0},
        {"-3.5e38", 2, 0},
        {"3.4028234663852886e+38", 0, FLT_MAX},
        {"-3.4028234663852886e+38", 0, -FLT_MAX},
        {"1e-50", 0, 0.0f},
        {"1e400", 1, 0},
        {"-1e400", 2, 0},
        {"inf", 1, 0},
        {"-inf", 2, 0},
        {"1.5abc", 3, 0},
        {"", 3, 0},
        {" 2.25", 0, 2.25f},
        {"2.25 ", 3, 0},
    };
    for (const auto& c : cases) {
        float value = 99.0f;
        EXPECT_EQ(c.code, CheckStr2Float(&value, c.text)) << c.text;
        EXPECT_EQ(c.code == 0 ? c.value : 99.0f, value) << c.text;
    }
    float nan = 0.0f;
    EXPECT_EQ(0, Str2Float(nan, "nan"));
    EXPECT_TRUE(std::isnan(nan));
}

TEST(Conversion, DoubleRangeAndText) {
    const struct {
        const char* text;
        int code;
        double value;
    } cases[] = {
        {"1e400", 1, 0},       {"-1e400", 2, 0},     {"1e-400", 0, 0.0},
        {"3.5e38", 0, 3.5e38}, {"inf", 0, INFINITY}, {"-infinity", 0, -INFINITY},
        {"1e400x", 1, 0},      {"0.5.", 3, 0},       {"", 3, 0},
    };
    for (const auto& c : cases) {
        double value = 99.0;
        EXPECT_EQ(c.code, CheckStr2Double(&value, c.text)) << c.text;
        EXPECT_EQ(c.code == 0 ? c.value : 99.0, value) << c.text;
    }
    double nan = 0.0;
    EXPECT_EQ(0, Str2Double(nan, "nan"));
    EXPECT_TRUE(std::isnan(nan));
}

}  // namespace
