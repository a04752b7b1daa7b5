// The header helpers every face uses: headers that pass the validity rules (and refusals that leave the
// record alone), the pixel layout of each kind of image, the reasons of refused access modes, and the
// time styles.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "qmv3/qmv3.h"

namespace {

TEST(HeaderHelpers, InitializedHeadersPassTheValidityRules) {
    struct Case {
        int width, height, bytesPerPixel, bits, format;
        int expect;
        unsigned flags = 0;  // qmInitializeImageHeaderEx's
    };
    const Case cases[] = {
        {64, 48, 1, -1, QMV3_FORMAT_GRAY, QMV3_HEADER_OK},
        {64, 48, 2, 12, QMV3_FORMAT_GRAY, QMV3_HEADER_OK},
        {7, 3, 3, 24, QMV3_FORMAT_RGB, QMV3_HEADER_OK},
        {64, 48, 2, 8, QMV3_FORMAT_GRAY, QMV3_HEADER_BAD_ARGUMENT},
        {64, 48, 3, -1, QMV3_FORMAT_GRAY, QMV3_HEADER_BAD_ARGUMENT},
        {0, 48, 1, -1, QMV3_FORMAT_GRAY, QMV3_HEADER_BAD_ARGUMENT},
        {64, 48, 1, -1, QMV3_FORMAT_JPEG, QMV3_HEADER_BAD_ARGUMENT},
        {8192, 8192, 1, -1, QMV3_FORMAT_GRAY, QMV3_HEADER_BAD_ARGUMENT},  // above the transport size
        {8192, 8192, 1, -1, QMV3_FORMAT_GRAY, QMV3_HEADER_OK, QMV3_HEADER_FLAG_ANY_SIZE},
        {46341, 46341, 1, -1, QMV3_FORMAT_GRAY, QMV3_HEADER_BAD_ARGUMENT, QMV3_HEADER_FLAG_ANY_SIZE},  // > INT32_MAX
        {64, 48, 1, -1, QMV3_FORMAT_GRAY, QMV3_HEADER_BAD_ARGUMENT, 0x2},                              // unknown flag
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + " x " +
                     std::to_string(c.bytesPerPixel) + " format " + std::to_string(c.format));
        DIMAGE image;
        std::memset(&image, 0x5A, sizeof image);
        const DIMAGE before = image;
        ASSERT_EQ(c.expect, c.flags == 0
                                ? qmInitializeImageHeader(&image, c.width, c.height, c.bytesPerPixel, c.bits, c.format)
                                : qmInitializeImageHeaderEx(&image, c.width, c.height, c.bytesPerPixel, c.bits,
                                                            c.format, c.flags));
        if (c.expect != QMV3_HEADER_OK) {
            EXPECT_EQ(0, std::memcmp(&before, &image, sizeof image));
            continue;
        }
        const size_t bytes = size_t(c.width) * c.height * c.bytesPerPixel;
        image.frameBuffer = static_cast<unsigned char*>(std::calloc(bytes, 1));
        image.frameBufferSize = static_cast<uint32_t>(bytes);
        char reason[300] = {};
        // A header larger than a transport carries is for pixels read in place, not for the wire.
        if (c.flags == 0) {
            EXPECT_EQ(QMV3_IMAGE_VALID, qmCheckImageValidity(&image, reason, sizeof reason)) << reason;
        }
        QMV3_PIXEL_LAYOUT layout;
        ASSERT_EQ(QMV3_LAYOUT_OK, qmGetPixelLayout(&image, &layout));
        EXPECT_EQ(bytes, layout.frameBytes);
        EXPECT_EQ(c.bits == -1 ? 8 * c.bytesPerPixel : c.bits, layout.effectiveBits);
        std::free(image.frameBuffer);
    }
}

TEST(HeaderHelpers, PixelLayoutNamesWhyAnImageHasNone) {
    DIMAGE base;
    ASSERT_EQ(QMV3_HEADER_OK, qmInitializeImageHeader(&base, 10, 4, 2, 12, QMV3_FORMAT_GRAY));
    base.frameBuffer = nullptr;  // a header without pixels has a layout too
    base.frameBufferSize = 0;
    struct Case {
        void (*change)(DIMAGE&);
        int expect;
    };
    const Case cases[] = {
        {[](DIMAGE&) {}, QMV3_LAYOUT_OK},
        {[](DIMAGE& i) { i.frameHeader.aoiWidth = 5; }, QMV3_LAYOUT_OK},
        {[](DIMAGE& i) { i.frameHeader.imageFormat = QMV3_FORMAT_JPEG; }, QMV3_LAYOUT_COMPRESSED},
        {[](DIMAGE& i) { i.frameHeader.bytesPerPixel = 4; }, QMV3_LAYOUT_NO_ARRAY_FORM},
        {[](DIMAGE& i) { i.frameHeader.sourceHeight = 0; }, QMV3_LAYOUT_BAD_GEOMETRY},
        {[](DIMAGE& i) { i.frameHeader.appendedFrameSize = 79; }, QMV3_LAYOUT_TOO_FEW_BYTES},
    };
    for (size_t row = 0; row < sizeof cases / sizeof cases[0]; ++row) {
        DIMAGE image = base;
        cases[row].change(image);
        QMV3_PIXEL_LAYOUT layout;
        EXPECT_EQ(cases[row].expect, qmGetPixelLayout(&image, &layout)) << "row " << row;
    }
    QMV3_PIXEL_LAYOUT layout;
    base.frameHeader.aoiWidth = 5;
    ASSERT_EQ(QMV3_LAYOUT_OK, qmGetPixelLayout(&base, &layout));
    EXPECT_EQ(5u, layout.width);
    EXPECT_EQ(40u, layout.frameBytes);
    // The appended size is there for every format, a JPEG frame's too.
    base.frameHeader.imageFormat = QMV3_FORMAT_JPEG;
    int width = 0, height = 0;
    EXPECT_EQ(0, qmGetAppendedSize(&base, &width, &height));
    EXPECT_EQ(5, width);
    EXPECT_EQ(4, height);
    EXPECT_EQ(-1, qmGetAppendedSize(nullptr, &width, &height));
}

TEST(HeaderHelpers, EffectiveBitsLeftUnsetAreAllTheBitsOfAPixel) {
    const struct {
        int bits, bytesPerPixel, format, expect;
    } cases[] = {
        {12, 2, QMV3_FORMAT_GRAY, 12},
        {-1, 2, QMV3_FORMAT_GRAY, 16},
        {0, 3, QMV3_FORMAT_RGB, 24},
        {-1, 1, QMV3_FORMAT_JPEG, 8},  // which the pixel layout refuses
    };
    for (const auto& c : cases) {
        DIMAGE image = {};
        image.frameHeader.effectiveBitsPerPixel = c.bits;
        image.frameHeader.bytesPerPixel = c.bytesPerPixel;
        image.frameHeader.imageFormat = c.format;
        EXPECT_EQ(c.expect, qmGetEffectiveBits(&image)) << c.bits << " bits, format " << c.format;
    }
    EXPECT_EQ(-1, qmGetEffectiveBits(nullptr));
}

TEST(HeaderHelpers, RefusedAccessModesSayWhy) {
    struct Case {
        const char* text;
        int expect;
        const char* reason;
    };
    const Case cases[] = {
        {"TIMER|STREAM", QMV3_CM_TIMER | QMV3_CM_STREAM, ""},
        {"timer foo", QMV3_MODE_DECODE_UNKNOWN_KEYWORD, "'foo' is not an access-mode keyword"},
        {"TIMER|STREAM|MCAST", QMV3_MODE_DECODE_CONFLICT, "'STREAM' and 'MCAST' exclude each other"},
        {"STREAM", QMV3_MODE_DECODE_NO_BASE_MODE, "neither EVENT nor TIMER"},
        {" | ", QMV3_MODE_DECODE_NO_KEYWORD, "names no keyword"},
    };
    for (const Case& c : cases) {
        char reason[300] = "kept";
        EXPECT_EQ(c.expect, qmDecodeAccessMode(c.text, reason, sizeof reason)) << c.text;
        EXPECT_NE(std::string::npos, std::string(reason).find(c.reason)) << c.text << ": " << reason;
    }
}

TEST(HeaderHelpers, TimeTextInEachStyle) {
    char text[64];
    ASSERT_NE(nullptr, qmFormatUTCTime(1690470245, 123, 0, text, sizeof text));
    EXPECT_EQ("2023-07-27 15:04:05.000123 UTC", std::string(text));
    ASSERT_NE(nullptr,
              qmFormatUTCTime(1690470245, 123456, QMV3_TIME_BRACKETS | QMV3_TIME_MILLISECONDS, text, sizeof text));
    EXPECT_EQ("[2023-07-27 15:04:05.123 UTC]", std::string(text));
    ASSERT_NE(nullptr, qmFormatUTCTime(1690470245, 123, QMV3_TIME_ISO8601 | QMV3_TIME_BRACKETS, text, sizeof text));
    EXPECT_EQ("2023-07-27T15:04:05.000123Z", std::string(text));
    EXPECT_EQ(nullptr, qmFormatUTCTime(0, 1000000, 0, text, sizeof text));
}

}  // namespace
