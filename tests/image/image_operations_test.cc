// Pixel operations on small images whose results were worked out by hand.
#include <gtest/gtest.h>

#include <vector>

#include "image/cdimage.h"
#include "image_fixture.h"

namespace {

using imagetest::MakeRecord;
using imagetest::Words;
using imagetest::WordsOf;
using Bytes = std::vector<unsigned char>;

Bytes FrameOf(const CDIMAGE& image) {
    const unsigned char* start = image.getFrameBufferPointer();
    return Bytes(start, start + image.getAppendedFrameSizeBytes());
}

TEST(ImageOperations, BinningAveragesAndDropsLeftoverColumns) {
    Bytes bytes = {1, 2, 3, 4, 5, 10, 20, 30, 40, 50, 0, 255, 255, 255, 7};
    CDIMAGE image(MakeRecord(CDIMAGE::FORMAT_GRAY, 5, 3, 1, bytes));
    EXPECT_FALSE(image.performFastBinning(6, 1));
    ASSERT_TRUE(image.performFastBinning(2, 0));
    EXPECT_EQ(FrameOf(image), (Bytes{1, 3, 15, 35, 127, 255}));
    EXPECT_EQ(image.getSourceWidth(), 2);
    EXPECT_EQ(image.m_Img.sourceHeader.totalLength, 194u);
    ASSERT_TRUE(image.performFastBinning(1, 2));
    EXPECT_EQ(FrameOf(image), (Bytes{8, 19}));
    EXPECT_EQ(image.getSourceHeight(), 1);
    EXPECT_TRUE(image.checkValidity());
}

TEST(ImageOperations, BinningOfLargeFramesAndEveryLayout) {
    Bytes large(640 * 480, 9);
    CDIMAGE image(MakeRecord(CDIMAGE::FORMAT_GRAY, 640, 480, 1, large));
    image.setXYScale(0.25f);
    ASSERT_TRUE(image.performFastBinning(0, 0));
    EXPECT_EQ(image.getSourceWidth(), 640);
    ASSERT_TRUE(image.performFastBinning(2, 2));
    EXPECT_EQ(image.getSourceWidth(), 320);
    EXPECT_EQ(image.getSourceHeight(), 240);
    EXPECT_EQ(image.getXScale(), 0.5f);
    EXPECT_EQ(image.getAppendedFrameSizeBytes(), 76800);

    Bytes words = Words({1000, 3001});
    CDIMAGE deep(MakeRecord(CDIMAGE::FORMAT_GRAY, 2, 1, 2, words));
    ASSERT_TRUE(deep.performFastBinning(2, 1));
    EXPECT_EQ(WordsOf(deep.getFrameBufferPointer(), 1), std::vector<uint16_t>{2000});

    Bytes rgb = {10, 20, 30, 11, 23, 40};
    CDIMAGE colour(MakeRecord(CDIMAGE::FORMAT_RGB, 2, 1, 3, rgb));
    ASSERT_TRUE(colour.performFastBinning(2, 1));
    EXPECT_EQ(FrameOf(colour), (Bytes{10, 21, 35}));
}

TEST(ImageOperations, BinningScalesTheAreaOfInterest) {
    Bytes area = {1, 2, 3, 4, 5, 6, 7, 8};
    DIMAGE record = MakeRecord(CDIMAGE::FORMAT_GRAY, 8, 4, 1, area);
    record.frameHeader.aoiWidth = 4, record.frameHeader.aoiHeight = 2;
    record.frameHeader.xStart = 2, record.frameHeader.yStart = 1;
    CDIMAGE image(record);
    ASSERT_TRUE(image.performFastBinning(2, 2));
    EXPECT_EQ(FrameOf(image), (Bytes{3, 5}));
    EXPECT_EQ(image.m_Img.frameHeader.aoiWidth, 2);
    EXPECT_EQ(image.m_Img.frameHeader.aoiHeight, 1);
    EXPECT_EQ(image.getXStart(), 1);
    EXPECT_EQ(image.getYStart(), 0);

    record.frameHeader.imageFlags = CDIMAGE::FLAG_XYSTART_ONE_BASED;
    record.frameHeader.xStart = 3, record.frameHeader.yStart = 2;
    CDIMAGE oneBased(record);
    ASSERT_TRUE(oneBased.performFastBinning(2, 2));
    EXPECT_EQ(oneBased.getXStart(), 2);
    EXPECT_EQ(oneBased.getYStart(), 1);
    EXPECT_TRUE(oneBased.checkValidity());
}

TEST(ImageOperations, NormalisationWithinLimits) {
    Bytes bytes = {50, 100, 150};
    CDIMAGE image(MakeRecord(CDIMAGE::FORMAT_GRAY, 3, 1, 1, bytes));
    EXPECT_FALSE(image.performNormalisationLimitImproved(10, 5));
    EXPECT_FALSE(image.performNormalisationLimitImproved(-1, 5));
    EXPECT_FALSE(image.performNormalisationLimitImproved(0, 256));
    ASSERT_TRUE(image.performNormalisationLimitImproved(0, 255));
    // 100 * 2.55 lies just below 255 in double precision.
    EXPECT_EQ(bytes, (Bytes{0, 127, 254}));

    bytes = {50, 100, 150};
    ASSERT_TRUE(image.performNormalisationLimitImproved(60, 140));
    EXPECT_EQ(bytes, (Bytes{0, 127, 255}));

    Bytes uniform = {7, 7, 7};
    CDIMAGE flat(MakeRecord(CDIMAGE::FORMAT_GRAY, 3, 1, 1, uniform));
    EXPECT_FALSE(flat.performNormalisationLimitImproved(0, 255));
    EXPECT_EQ(uniform, (Bytes{7, 7, 7}));
}

TEST(ImageOperations, NormalisationWithinLimitsOfColour) {
    Bytes rgb = {0, 100, 0, 0, 255, 0};  // luminances 58.7 and 149.685
    CDIMAGE image(MakeRecord(CDIMAGE::FORMAT_RGB, 2, 1, 3, rgb));
    ASSERT_TRUE(image.performNormalisationLimitImproved(0, 255));
    EXPECT_EQ(rgb, (Bytes{0, 181, 0, 0, 255, 0}));
}

TEST(ImageOperations, OlderNormalisationKeepsItsArithmetic) {
    Bytes bytes = {10, 20, 40};
    CDIMAGE image(MakeRecord(CDIMAGE::FORMAT_GRAY, 3, 1, 1, bytes));
    ASSERT_TRUE(image.performNormalisationBuggy(NORMALISATION_FROM_ZERO));
    EXPECT_EQ(bytes, (Bytes{63, 127, 255}));
    bytes = {10, 20, 40};
    ASSERT_TRUE(image.performNormalisationBuggy(NORMALISATION_FROM_MINIMUM));
    EXPECT_EQ(bytes, (Bytes{0, 85, 255}));

    // The combined range of the channels is narrower than some channels: values wrap in their byte.
    Bytes rgb = {10, 20, 30, 110, 220, 130};
    CDIMAGE colour(MakeRecord(CDIMAGE::FORMAT_RGB, 2, 1, 3, rgb));
    ASSERT_TRUE(colour.performNormalisationBuggy(NORMALISATION_FROM_MINIMUM));
    EXPECT_EQ(rgb, (Bytes{193, 225, 0, 255, 93, 62}));

    // Extremes are clamped to the 12 significant bits, the stretched values are not.
    Bytes words = Words({100, 5000});
    DIMAGE record = MakeRecord(CDIMAGE::FORMAT_GRAY, 2, 1, 2, words);
    record.frameHeader.effectiveBitsPerPixel = 12;
    CDIMAGE deep(record);
    ASSERT_TRUE(deep.performNormalisationBuggy(NORMALISATION_FROM_MINIMUM));
    EXPECT_EQ(WordsOf(words.data(), 2), (std::vector<uint16_t>{0, 5022}));

    Bytes uniform = {0, 0};
    CDIMAGE flat(MakeRecord(CDIMAGE::FORMAT_GRAY, 2, 1, 1, uniform));
    EXPECT_FALSE(flat.performNormalisationBuggy(NORMALISATION_FROM_ZERO));
}

TEST(ImageOperations, ExtremesPerComponentSkipBytesAndClamp) {
    Bytes pixels = {5, 200, 99, 7, 100, 99};
    int maxima[2] = {-1, -1}, minima[2] = {-1, -1};
    CDIMAGE::getMinMaxOfPixelsBuggy(pixels.data(), 2, 2, 1, 1, 8, maxima, minima, 150, 6);
    EXPECT_EQ(maxima[0], 7);
    EXPECT_EQ(maxima[1], 150);
    EXPECT_EQ(minima[0], 6);
    EXPECT_EQ(minima[1], 100);
    CDIMAGE::getMinMaxOfPixelsBuggy(pixels.data(), 2, 2, 1, 1, 8, nullptr, minima, 255, 0);
    EXPECT_EQ(minima[0], 5);
    int maximum = -1, minimum = -1;
    CDIMAGE::getImprovedMinMaxOfPixels(pixels.data(), 0, false, 1, 0, 8, maximum, minimum, 255, 0);
    EXPECT_EQ(maximum, 0);
    EXPECT_EQ(minimum, 255);
}

TEST(ImageOperations, GreyToOneBytePerPixel) {
    Bytes words = Words({4095, 16});
    DIMAGE record = MakeRecord(CDIMAGE::FORMAT_GRAY, 2, 1, 2, words);
    record.frameHeader.effectiveBitsPerPixel = 12;
    record.frameHeader.imageFlags = CDIMAGE::FLAG_IMAGE_LOSSLESS | 0x400;
    CDIMAGE image(record);
    ASSERT_TRUE(image.performGrayscaleDownscaleTo1BytePerPixel());
    EXPECT_EQ(FrameOf(image), (Bytes{255, 1}));
    EXPECT_EQ(image.getBytesPerPixel(), 1);
    EXPECT_EQ(image.getEffectiveBitsPerPixel(), 8);
    EXPECT_EQ(image.getFlags(), 0x400);
    EXPECT_EQ(image.m_Img.sourceHeader.totalLength, 190u);

    words = Words({0x1234, 0xFFFF});  // unset effective bits count as 16
    CDIMAGE full(MakeRecord(CDIMAGE::FORMAT_GRAY, 2, 1, 2, words));
    ASSERT_TRUE(full.performGrayscaleDownscaleTo1BytePerPixel());
    EXPECT_EQ(FrameOf(full), (Bytes{0x12, 0xFF}));
}

TEST(ImageOperations, ColourToGrey) {
    Bytes rgb = {255, 0, 0, 0, 0, 255};
    CDIMAGE image(MakeRecord(CDIMAGE::FORMAT_RGB, 2, 1, 3, rgb));
    ASSERT_TRUE(image.performRGB24DownscaleToGray8());
    EXPECT_EQ(FrameOf(image), (Bytes{76, 29}));
    EXPECT_EQ(image.getImageFormat(), CDIMAGE::FORMAT_GRAY);
    EXPECT_EQ(image.getEffectiveBitsPerPixel(), 8);
    EXPECT_FALSE(image.performRGB24DownscaleToGray8());

    struct {
        int bits;
        Bytes pixels;
        std::vector<uint16_t> expected;
    } cases[] = {
        {1, {255, 255, 255, 127, 127, 127}, {1, 0}},
        {4, {0, 255, 0, 255, 255, 255}, {9, 15}},
        {10, {0, 255, 0, 0, 0, 0}, {601, 0}},
        {12, {255, 255, 255, 0, 0, 0}, {4095, 0}},
    };
    for (auto& c : cases) {
        CDIMAGE colour(MakeRecord(CDIMAGE::FORMAT_RGB, 2, 1, 3, c.pixels));
        ASSERT_TRUE(colour.performRGB24DownscaleToGrayN(c.bits)) << c.bits;
        const int bytes = c.bits > 8 ? 2 : 1;
        EXPECT_EQ(colour.getBytesPerPixel(), bytes);
        EXPECT_EQ(colour.getEffectiveBitsPerPixel(), c.bits);
        EXPECT_EQ(colour.getAppendedFrameSizeBytes(), 2 * bytes);
        std::vector<uint16_t> values =
            bytes == 2 ? WordsOf(c.pixels.data(), 2) : std::vector<uint16_t>{c.pixels[0], c.pixels[1]};
        EXPECT_EQ(values, c.expected) << c.bits;
    }
    Bytes pixel = {1, 2, 3};
    CDIMAGE colour(MakeRecord(CDIMAGE::FORMAT_RGB, 1, 1, 3, pixel));
    EXPECT_FALSE(colour.performRGB24DownscaleToGrayN(0));
    EXPECT_FALSE(colour.performRGB24DownscaleToGrayN(17));
}

TEST(ImageOperations, CutoutMovesRowsAndRefusesWhatItCannotRead) {
    Bytes bytes = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    CDIMAGE image(MakeRecord(CDIMAGE::FORMAT_GRAY, 4, 3, 1, bytes));
    EXPECT_FALSE(image.cutoutAreaOfInterest(-1, 1, 2, 2));  // mixed pair: height given, y not
    EXPECT_FALSE(image.cutoutAreaOfInterest(1, -1, 2, 2));  // mixed pair: width given, x not
    EXPECT_FALSE(image.cutoutAreaOfInterest(0, 3, 2, 1));   // beyond the source width
    EXPECT_FALSE(image.cutoutAreaOfInterest(0, 0, 0, 1));
    EXPECT_TRUE(image.cutoutAreaOfInterest(-1, -1, -1, -1));
    ASSERT_TRUE(image.cutoutAreaOfInterest(1, 1, 2, 2));
    EXPECT_EQ(FrameOf(image), (Bytes{5, 6, 9, 10}));
    EXPECT_EQ(image.getXStart(), 1);
    EXPECT_TRUE(image.checkValidity());

    bytes = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    CDIMAGE rows(MakeRecord(CDIMAGE::FORMAT_GRAY, 4, 3, 1, bytes));
    ASSERT_TRUE(rows.cutoutAreaOfInterest(1, -1, -1, 2));
    EXPECT_EQ(FrameOf(rows), (Bytes{4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(rows.m_Img.frameHeader.aoiWidth, 4);
    EXPECT_FALSE(rows.cutoutAreaOfInterest(-1, 1, 2, -1));  // the kept rows start at 1
    EXPECT_FALSE(rows.cutoutAreaOfInterest(1, 0, 4, 2));    // asked as it is, but still starting at row 1
}

TEST(ImageOperations, CutoutOfALargeFrame) {
    Bytes large(640 * 480, 1);
    CDIMAGE image(MakeRecord(CDIMAGE::FORMAT_GRAY, 640, 480, 1, large));
    ASSERT_TRUE(image.cutoutAreaOfInterest(0, 0, 100, 50));
    EXPECT_EQ(image.getAppendedFrameSizeBytes(), 5000);
    EXPECT_EQ(image.m_Img.frameHeader.aoiWidth, 100);
    EXPECT_EQ(image.m_Img.frameHeader.aoiHeight, 50);

    CDIMAGE columns(MakeRecord(CDIMAGE::FORMAT_GRAY, 640, 480, 1, large));
    ASSERT_TRUE(columns.cutoutAreaOfInterest(-1, 10, 100, -1));  // rows kept, columns 10 to 109
    EXPECT_EQ(columns.getAppendedFrameSizeBytes(), 48000);
    EXPECT_EQ(columns.m_Img.frameHeader.aoiHeight, 480);
    EXPECT_TRUE(columns.checkValidity());
}

TEST(ImageOperations, IntensitySums) {
    Bytes words = Words({1000, 3000});
    CDIMAGE grey(MakeRecord(CDIMAGE::FORMAT_GRAY, 2, 1, 2, words));
    unsigned long long sum = 0;
    ASSERT_TRUE(grey.performIntensityCalculation(sum));
    EXPECT_EQ(sum, 4000u);
    Bytes rgb = {255, 0, 0, 0, 0, 255};
    CDIMAGE colour(MakeRecord(CDIMAGE::FORMAT_RGB, 2, 1, 3, rgb));
    double total = 0.0;
    ASSERT_TRUE(colour.performIntensityCalculation(total));
    EXPECT_EQ(total, 105.0);
    colour.m_Img.frameHeader.imageFormat = CDIMAGE::FORMAT_JPEG;
    EXPECT_FALSE(colour.performIntensityCalculation(sum));
    EXPECT_FALSE(colour.adjustOrientation(0));
    EXPECT_FALSE(grey.adjustOrientation(90));
}

}  // namespace
