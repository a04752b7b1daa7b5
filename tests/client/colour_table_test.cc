// Colour tables and grey-to-RGB conversion for display.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image_fixtures.h"
#include "qmv3/qmv3.h"

namespace {

using Rgb = std::array<int, 3>;

Rgb Entry(const std::vector<unsigned char>& table, int index) {
    return {table[4 * index], table[4 * index + 1], table[4 * index + 2]};
}

std::vector<unsigned char> MakeTable(int mode, int bytesPerPixel, int effectiveBits, int* entries = nullptr) {
    std::vector<unsigned char> table(262144, 0xEE);
    int bytes = static_cast<int>(table.size());
    const int result = QMV3_INTERNAL_qmCreateColourTable(table.data(), &bytes, mode, bytesPerPixel, effectiveBits);
    EXPECT_EQ(result, 1 << (8 * bytesPerPixel));
    EXPECT_EQ(bytes, 4 * result);
    if (entries != nullptr) *entries = result;
    table.resize(bytes > 0 ? bytes : 0);
    return table;
}

TEST(ColourTable, TellingRowsOfBothColourMaps) {
    struct Row {
        int value;
        Rgb mode1, mode2;
    } rows[] = {
        {0, {0, 0, 0}, {0, 0, 127}},          {1, {0, 0, 255}, {0, 0, 131}},
        {32, {0, 0, 202}, {0, 0, 255}},       {85, {0, 0, 112}, {0, 211, 255}},
        {86, {0, 68, 108}, {0, 215, 255}},    {96, {0, 90, 91}, {0, 255, 255}},
        {128, {0, 161, 37}, {127, 255, 127}}, {150, {0, 210, 0}, {215, 255, 39}},
        {160, {0, 231, 0}, {255, 255, 0}},    {170, {0, 253, 0}, {255, 215, 0}},
        {171, {67, 0, 0}, {255, 211, 0}},     {224, {184, 0, 0}, {255, 0, 0}},
        {254, {250, 0, 0}, {135, 0, 0}},      {255, {255, 255, 255}, {255, 255, 255}},
    };
    const std::vector<unsigned char> mode1 = MakeTable(1, 1, 8);
    const std::vector<unsigned char> mode2 = MakeTable(2, 1, 8);
    for (const Row& row : rows) {
        EXPECT_EQ(Entry(mode1, row.value), row.mode1) << "mode 1 value " << row.value;
        EXPECT_EQ(Entry(mode2, row.value), row.mode2) << "mode 2 value " << row.value;
    }
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(mode1[4 * i + 3], 0);
        EXPECT_EQ(mode2[4 * i + 3], 0);
    }
}

TEST(ColourTable, GreyEightBitIsIdentity) {
    const std::vector<unsigned char> table = MakeTable(0, 1, 8);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(Entry(table, i), (Rgb{i, i, i})) << i;
}

TEST(ColourTable, ValuesAboveTheSignificantBitsAreMagenta) {
    const std::vector<unsigned char> table = MakeTable(0, 2, 12);
    EXPECT_EQ(Entry(table, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(Entry(table, 2048), (Rgb{127, 127, 127}));
    EXPECT_EQ(Entry(table, 4095), (Rgb{255, 255, 255}));
    for (int i = 4096; i < 65536; ++i) {
        ASSERT_EQ(Entry(table, i), (Rgb{255, 0, 255})) << i;
        ASSERT_EQ(table[4 * i + 3], 0) << i;
    }
}

TEST(ColourTable, BlueGreenRedBreakpointsScaleWithTheBits) {
    const std::vector<unsigned char> table = MakeTable(1, 2, 10);
    EXPECT_EQ(Entry(table, 1), (Rgb{0, 0, 255}));
    // The ramps end at 341, 600 and 682: blue, blue-green, green, then red.
    EXPECT_EQ(Entry(table, 341), (Rgb{0, 0, 112}));
    EXPECT_EQ(Entry(table, 342), (Rgb{0, 67, 109}));
    EXPECT_EQ(Entry(table, 600), (Rgb{0, 210, 0}));
    EXPECT_EQ(Entry(table, 601), (Rgb{0, 210, 0}));
    EXPECT_EQ(Entry(table, 682), (Rgb{0, 254, 0}));
    EXPECT_EQ(Entry(table, 683), (Rgb{67, 0, 0}));
    EXPECT_EQ(Entry(table, 1023), (Rgb{255, 255, 255}));
    EXPECT_EQ(Entry(table, 1024), (Rgb{255, 0, 255}));
}

TEST(ColourTable, RejectsBadArguments) {
    std::vector<unsigned char> table(262144);
    struct Case {
        const char* what;
        int mode, bytesPerPixel, effectiveBits;
    } cases[] = {
        {"mode 3", 3, 1, 8},          {"mode -1", -1, 1, 8},   {"three bytes", 0, 3, 8},
        {"zero bytes", 0, 0, 8},      {"seven bits", 0, 1, 7}, {"nine bits in one byte", 0, 1, 9},
        {"seventeen bits", 0, 2, 17},
    };
    for (const Case& c : cases) {
        int bytes = static_cast<int>(table.size());
        EXPECT_EQ(QMV3_INTERNAL_qmCreateColourTable(table.data(), &bytes, c.mode, c.bytesPerPixel, c.effectiveBits),
                  QMV3_COLOUR_BAD_ARGUMENT)
            << c.what;
        EXPECT_EQ(bytes, static_cast<int>(table.size())) << c.what;
    }
    int bytes = 1024;
    EXPECT_EQ(QMV3_INTERNAL_qmCreateColourTable(nullptr, &bytes, 0, 1, 8), QMV3_COLOUR_BAD_ARGUMENT);
    EXPECT_EQ(QMV3_INTERNAL_qmCreateColourTable(table.data(), nullptr, 0, 1, 8), QMV3_COLOUR_BAD_ARGUMENT);
}

TEST(ColourTable, TooSmallCapacityReportsTheNeedAndWritesNothing) {
    std::vector<unsigned char> table(1024, 0xEE);
    int bytes = 1024;
    EXPECT_EQ(QMV3_INTERNAL_qmCreateColourTable(table.data(), &bytes, 0, 2, 12), QMV3_COLOUR_TOO_SMALL);
    EXPECT_EQ(bytes, 262144);
    EXPECT_EQ(table, std::vector<unsigned char>(1024, 0xEE));
    bytes = 1023;
    EXPECT_EQ(QMV3_INTERNAL_qmCreateColourTable(table.data(), &bytes, 2, 1, 8), QMV3_COLOUR_TOO_SMALL);
    EXPECT_EQ(bytes, 1024);
}

TEST(GrayToRgb24, MapsEachPixelThroughTheTable) {
    const std::vector<unsigned char> table = MakeTable(2, 2, 16);
    // Odd start offset: 16-bit pixels need not be aligned.
    std::vector<unsigned char> storage(1 + 3 * 2);
    const uint16_t pixels[3] = {0, 40000, 65535};
    std::memcpy(storage.data() + 1, pixels, sizeof pixels);
    std::vector<unsigned char> rgb(9, 0xEE);
    int rgbBytes = 9;
    ASSERT_EQ(QMV3_INTERNAL_qmGrayToRGB24(storage.data() + 1, 6, rgb.data(), &rgbBytes, table.data(), 2, 3),
              QMV3_COLOUR_OK);
    EXPECT_EQ(rgbBytes, 9);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ((Rgb{rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]}), Entry(table, pixels[i])) << i;
    }
    const std::vector<unsigned char> grey = MakeTable(0, 1, 8);
    const unsigned char bytePixels[2] = {7, 200};
    rgbBytes = 6;
    ASSERT_EQ(QMV3_INTERNAL_qmGrayToRGB24(bytePixels, 2, rgb.data(), &rgbBytes, grey.data(), 1, 2), QMV3_COLOUR_OK);
    EXPECT_EQ(std::vector<unsigned char>(rgb.begin(), rgb.begin() + 6),
              (std::vector<unsigned char>{7, 7, 7, 200, 200, 200}));
}

TEST(GrayToRgb24, RejectsShortInputAndSmallOutput) {
    const std::vector<unsigned char> table = MakeTable(0, 1, 8);
    const std::vector<unsigned char> gray(10, 1);
    std::vector<unsigned char> rgb(30, 0xEE);
    int rgbBytes = 30;
    EXPECT_EQ(QMV3_INTERNAL_qmGrayToRGB24(gray.data(), 9, rgb.data(), &rgbBytes, table.data(), 1, 10),
              QMV3_COLOUR_BAD_ARGUMENT);
    EXPECT_EQ(QMV3_INTERNAL_qmGrayToRGB24(gray.data(), 10, rgb.data(), &rgbBytes, table.data(), 2, 5 + 1),
              QMV3_COLOUR_BAD_ARGUMENT);
    EXPECT_EQ(QMV3_INTERNAL_qmGrayToRGB24(gray.data(), 10, rgb.data(), &rgbBytes, table.data(), 3, 1),
              QMV3_COLOUR_BAD_ARGUMENT);
    EXPECT_EQ(QMV3_INTERNAL_qmGrayToRGB24(gray.data(), 10, rgb.data(), &rgbBytes, table.data(), 1, 0),
              QMV3_COLOUR_BAD_ARGUMENT);
    EXPECT_EQ(QMV3_INTERNAL_qmGrayToRGB24(gray.data(), 10, rgb.data(), &rgbBytes, nullptr, 1, 10),
              QMV3_COLOUR_BAD_ARGUMENT);
    EXPECT_EQ(QMV3_INTERNAL_qmGrayToRGB24(gray.data(), 10, rgb.data(), nullptr, table.data(), 1, 10),
              QMV3_COLOUR_BAD_ARGUMENT);
    EXPECT_EQ(rgbBytes, 30);
    rgbBytes = 29;
    EXPECT_EQ(QMV3_INTERNAL_qmGrayToRGB24(gray.data(), 10, rgb.data(), &rgbBytes, table.data(), 1, 10),
              QMV3_COLOUR_TOO_SMALL);
    EXPECT_EQ(rgbBytes, 30);
    EXPECT_EQ(rgb, std::vector<unsigned char>(30, 0xEE));
}

// A picture of an image whose frame holds the given samples (16-bit ones in host order).
std::vector<unsigned char> Picture(int width, int height, int bytesPerPixel, int format,
                                   const std::vector<uint16_t>& samples, unsigned maxSide, uint32_t low, uint32_t high,
                                   int palette) {
    DIMAGE image = qmv3test::MakeRawImage(width, height, bytesPerPixel, format);
    for (size_t i = 0; i < samples.size(); ++i) {
        if (bytesPerPixel == 2)
            std::memcpy(image.frameBuffer + 2 * i, &samples[i], 2);
        else
            image.frameBuffer[i] = static_cast<unsigned char>(samples[i]);
    }
    QMV3_PICTURE_SIZE size{};
    EXPECT_EQ(QMV3_PICTURE_OK, qmGetDisplayPictureSize(&image, maxSide, palette, &size));
    std::vector<unsigned char> picture(size.bytes + 1, 0xEE);
    EXPECT_EQ(QMV3_PICTURE_OK, qmMakeDisplayPicture(&image, maxSide, low, high, palette, picture.data(), size.bytes));
    EXPECT_EQ(0xEE, picture.back());  // nothing past the picture
    picture.pop_back();
    std::free(image.frameBuffer);
    return picture;
}

TEST(DisplayPicture, BlockMeansStretchedAndColoured) {
    const std::vector<unsigned char> jet = MakeTable(QMV3_COLOUR_MAP_JET, 1, 8);
    struct Case {
        const char* name;
        int width, height, bytesPerPixel, format;
        std::vector<uint16_t> samples;
        unsigned maxSide;
        uint32_t low, high;
        int palette;
        std::vector<unsigned char> expected;
    } cases[] = {
        {"2 x 2 blocks", 4, 2, 1, QMV3_FORMAT_GRAY, {0, 2, 10, 10, 1, 2, 30, 31}, 2, 0, 255, 0, {1, 20}},
        {"stretch, cut", 3, 1, 2, QMV3_FORMAT_GRAY, {100, 1100, 4000}, 3, 100, 1100, 0, {0, 255, 255}},
        {"RGB means unstretched", 2, 2, 3, QMV3_FORMAT_RGB, {1, 2, 3, 2, 2, 3, 5, 2, 3, 4, 2, 4}, 1, 0, 1, 0, {3, 2, 3}},
        {"palette", 2, 1, 1, QMV3_FORMAT_GRAY, {5, 6}, 2, 5, 6, QMV3_COLOUR_MAP_JET,
         {jet[0], jet[1], jet[2], jet[1020], jet[1021], jet[1022]}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, Picture(c.width, c.height, c.bytesPerPixel, c.format, c.samples, c.maxSide, c.low,
                                      c.high, c.palette))
            << c.name;
}

TEST(DisplayPicture, Refusals) {
    DIMAGE image = qmv3test::MakeRawImage(4, 4, 1);
    QMV3_PICTURE_SIZE size{};
    unsigned char pixels[16];
    EXPECT_EQ(QMV3_PICTURE_BAD_ARGUMENT, qmGetDisplayPictureSize(&image, 0, 0, &size));
    EXPECT_EQ(QMV3_PICTURE_BAD_ARGUMENT, qmGetDisplayPictureSize(&image, 4, 3, &size));
    EXPECT_EQ(QMV3_PICTURE_BAD_ARGUMENT, qmMakeDisplayPicture(&image, 4, 0, 255, 0, pixels, 15));
    image.frameHeader.imageFormat = QMV3_FORMAT_JPEG;
    EXPECT_EQ(QMV3_PICTURE_UNSUPPORTED_IMAGE, qmMakeDisplayPicture(&image, 4, 0, 255, 0, pixels, 16));
    std::free(image.frameBuffer);
}

}  // namespace
