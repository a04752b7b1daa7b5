// Texts of format codes and flags: the exact words, the size protocols and the flag round trip.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "image/cdimage.h"
#include "qmv3/qmv3.h"

namespace {

std::string FormatText(int format, bool withPrefix) {
    char text[64];
    size_t size = sizeof(text);
    const char* result = CDIMAGE::getFormatAsString(format, withPrefix, text, size);
    return result != nullptr ? result : "<null>";
}

std::string FlagsText(int flags) {
    char text[256];
    size_t size = sizeof(text);
    return CDIMAGE::getFlagsAsString(flags, text, size);
}

const char kAllSetWords[] =
    "LITTLE_ENDIAN LOSSLESS HORIZONTAL_FLIP_180 VERTICAL_FLIP_180 XYSTART_ONE_BASED EVENTNUMBER_OUT_OF_SYNC "
    "GLOBAL_TIMESTAMP TIMESTAMP_EXTRAPOLATED SCALE_OFFSET SOFTWARE_ROI";

TEST(ImageCodes, FormatNamesWithAndWithoutPrefix) {
    const char* names[] = {"GRAY",   "RGB",    "RGBA",   "RGB15",   "RGB16", "JPEG", "TIFF",
                           "YUV411", "YUV422", "YUV444", "HUFFYUV", "BMP",   "BAYER"};
    for (int code = 0; code <= 12; ++code) {
        EXPECT_EQ(FormatText(code, false), names[code]);
        EXPECT_EQ(FormatText(code, true), std::string("CF_IMAGE_FORMAT_") + names[code]);
    }
    EXPECT_EQ(FormatText(13, false), "UNKNOWN FORMAT(13)");
    EXPECT_EQ(FormatText(13, true), "UNKNOWN CF_IMAGE_FORMAT(13)");
    EXPECT_EQ(FormatText(-1, false), "UNKNOWN FORMAT(-1)");
}

TEST(ImageCodes, FormatTextCopiesOnlyWhenItFits) {
    char text[8] = "xxxxxxx";
    size_t size = 4;
    EXPECT_EQ(CDIMAGE::getFormatAsString(0, text, size), nullptr);
    EXPECT_EQ(size, 5u);
    EXPECT_STREQ(text, "xxxxxxx");
    EXPECT_EQ(CDIMAGE::getFormatAsString(0, text, size), text);
    EXPECT_EQ(size, 5u);
    EXPECT_STREQ(text, "GRAY");
    size = 4;
    EXPECT_EQ(CDIMAGE::getFormatAsString(0, nullptr, size), nullptr);
    EXPECT_EQ(size, 4u);
}

TEST(ImageCodes, FormatFromTextIsExactAndCaseSensitive) {
    int format = 7;
    EXPECT_FALSE(CDIMAGE::getFormatFromString(format, "gray"));
    EXPECT_FALSE(CDIMAGE::getFormatFromString(format, "CF_IMAGE_FORMAT_GRAY"));
    EXPECT_FALSE(CDIMAGE::getFormatFromString(format, nullptr));
    EXPECT_EQ(format, 7);
    EXPECT_TRUE(CDIMAGE::getFormatFromString(format, "GRAY"));
    EXPECT_EQ(format, 0);
    EXPECT_TRUE(CDIMAGE::getFormatFromString(format, "BAYER"));
    EXPECT_EQ(format, 12);
}

TEST(ImageCodes, FlagTextsInTheirFixedOrder) {
    EXPECT_EQ(FlagsText(0), "BIG_ENDIAN LOSSLESS_BIT_NOT_SET XYSTART_ZERO_BASED LOCAL_TIMESTAMP");
    EXPECT_EQ(FlagsText(3), "LITTLE_ENDIAN LOSSLESS XYSTART_ZERO_BASED LOCAL_TIMESTAMP");
    EXPECT_EQ(FlagsText(0x3FF), kAllSetWords);
    EXPECT_EQ(FlagsText(0x60),
              "BIG_ENDIAN LOSSLESS_BIT_NOT_SET XYSTART_ZERO_BASED EVENTNUMBER_OUT_OF_SYNC GLOBAL_TIMESTAMP");
    EXPECT_EQ(FlagsText(0x400), FlagsText(0));
}

TEST(ImageCodes, EveryFlagValueReadsBack) {
    for (int flags = 0; flags <= 0x3FF; ++flags) {
        int back = -1;
        ASSERT_TRUE(CDIMAGE::getFlagsFromString(back, FlagsText(flags).c_str())) << flags;
        ASSERT_EQ(back, flags);
    }
}

TEST(ImageCodes, FlagTextIsCutToTheCapacity) {
    const std::string full = FlagsText(0);  // 66 characters
    char text[80];
    size_t size = full.size() + 1;
    EXPECT_EQ(CDIMAGE::getFlagsAsString(0, text, size), text);
    EXPECT_EQ(text, full);
    EXPECT_EQ(size, full.size() + 1);

    size = 10;
    std::memset(text, 'x', sizeof(text));
    EXPECT_EQ(CDIMAGE::getFlagsAsString(0, text, size), text);
    EXPECT_EQ(std::string(text), full.substr(0, 8));
    EXPECT_EQ(text[9], '\0');
    EXPECT_EQ(text[10], 'x');
    EXPECT_EQ(size, full.size() + 1);

    size = 1;
    text[0] = 'x';
    CDIMAGE::getFlagsAsString(0, text, size);
    EXPECT_EQ(text[0], '\0');
    size = 0;
    text[0] = 'x';
    EXPECT_EQ(CDIMAGE::getFlagsAsString(0, text, size), text);
    EXPECT_EQ(text[0], 'x');
    EXPECT_EQ(size, full.size() + 1);
    EXPECT_EQ(CDIMAGE::getFlagsAsString(0, nullptr, size), nullptr);
}

TEST(ImageCodes, FlagWordsParse) {
    struct Case {
        const char* text;
        bool ok;
        int flags;
    } cases[] = {
        {"little_endian lossless", true, 3},
        {"", true, 0},
        {"   ", true, 0},
        {"  SOFTWARE_ROI   scale_offset ", true, 0x300},
        {"BIG_ENDIAN LOCAL_TIMESTAMP", true, 0},
        {"XYSTART_ONE_BASED XYSTART_ZERO_BASED", false, 0},
        {"LITTLE_ENDIAN BIG_ENDIAN", false, 0},
        {"LOSSLESS LOSSLESS", false, 0},
        {"FOO", false, 0},
        {"LOSSLESS FOO", false, 0},
    };
    for (const Case& c : cases) {
        int flags = 0x5A5;
        EXPECT_EQ(CDIMAGE::getFlagsFromString(flags, c.text), c.ok) << c.text;
        EXPECT_EQ(flags, c.ok ? c.flags : 0x5A5) << c.text;
    }
    int flags = 1;
    EXPECT_FALSE(CDIMAGE::getFlagsFromString(flags, nullptr));
}

TEST(ImageCodes, ExportedWrappersTakeANullSizeAsNoRoom) {
    char text[200] = "unchanged";
    EXPECT_EQ(QMV3_INTERNAL_CDIMAGE_getFormatAsString(1, text, nullptr), nullptr);
    EXPECT_EQ(QMV3_INTERNAL_CDIMAGE_getFlagsAsString(0, text, nullptr), text);
    EXPECT_STREQ(text, "unchanged");
    size_t size = 2;
    EXPECT_EQ(QMV3_INTERNAL_CDIMAGE_getFormatAsString(1, text, &size), nullptr);
    EXPECT_EQ(size, 4u);
    EXPECT_STREQ(QMV3_INTERNAL_CDIMAGE_getFormatAsString(1, text, &size), "RGB");
    size = sizeof(text);
    EXPECT_STREQ(QMV3_INTERNAL_CDIMAGE_getFlagsAsString(0x3FF, text, &size), kAllSetWords);
    EXPECT_EQ(size, sizeof(kAllSetWords));
}

}  // namespace
