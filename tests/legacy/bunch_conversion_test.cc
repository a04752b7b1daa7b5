// Conversion of image sequences into the older record: header derivation, copy and move modes,
// and the texts of every refusal.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "legacy_fixture.h"

using qmv3test::RecordGuard;

namespace {

struct ImageShape {
    int32_t width = 3, height = 2, aoiWidth = -1, bytesPerPixel = 1, effectiveBits = -1, format = QMV3_FORMAT_GRAY;
    float xScale = 0.5f, yScale = 0.5f;
};

// A sequence of count images whose pixel bytes are frame number * 10 + byte index.
QMBUNCHOFIMAGES MakeSequence(uint32_t count, const ImageShape& shape) {
    QMBUNCHOFIMAGES sequence;
    sequence.numFrames = count;
    sequence.imageArray = static_cast<DIMAGE*>(std::calloc(count, sizeof(DIMAGE)));
    for (uint32_t i = 0; i < count; ++i) {
        DIMAGE& image = sequence.imageArray[i];
        const int32_t width = shape.aoiWidth > 0 ? shape.aoiWidth : shape.width;
        const int32_t bytes = width * shape.height * shape.bytesPerPixel;
        std::memcpy(image.sourceHeader.baseTag, "QMV3", 4);
        image.sourceHeader.versionTag = 1;
        image.sourceHeader.totalLength = 188 + static_cast<uint32_t>(bytes);
        DIMAGE_FRAMEHEADER& header = image.frameHeader;
        header.sourceWidth = shape.width;
        header.sourceHeight = shape.height;
        header.aoiWidth = shape.aoiWidth;
        header.aoiHeight = -1;
        header.bytesPerPixel = shape.bytesPerPixel;
        header.effectiveBitsPerPixel = shape.effectiveBits;
        header.sourceFormat = header.imageFormat = shape.format;
        header.frameNumber = i + 1;
        header.xScale = shape.xScale;
        header.yScale = shape.yScale;
        header.appendedFrameSize = bytes;
        image.frameBufferSize = static_cast<uint32_t>(bytes);
        image.frameBuffer = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(bytes)));
        for (int32_t b = 0; b < bytes; ++b) image.frameBuffer[b] = static_cast<unsigned char>(i * 10 + b);
    }
    return sequence;
}

struct SequenceGuard {
    explicit SequenceGuard(QMBUNCHOFIMAGES made) : sequence(made) {}
    ~SequenceGuard() { qmFreeBunch(&sequence); }
    QMBUNCHOFIMAGES sequence;
};

TEST(BunchConversion, CopyModeDerivesTheHeaderAndKeepsTheSequence) {
    SequenceGuard images(MakeSequence(2, ImageShape()));
    RecordGuard record;
    int kept = -1;
    ASSERT_EQ(QMV3_BUNCH_CONVERT_OK, qmBunchToVIDINFHDREx(&images.sequence, &record.rec, 0, &kept));
    EXPECT_EQ(1, kept);
    EXPECT_EQ(2u, images.sequence.numFrames);
    EXPECT_EQ(10, images.sequence.imageArray[1].frameBuffer[0]);
    EXPECT_EQ(1, record.rec.type);
    EXPECT_EQ(2, record.rec.numframes);
    EXPECT_EQ(3u, record.rec.width);
    EXPECT_EQ(2u, record.rec.height);
    EXPECT_EQ(8u, record.rec.bpp);
    EXPECT_EQ(8u, record.rec.ebitpp);
    EXPECT_EQ(0.5, record.rec.scale);
    EXPECT_EQ(0.5, record.rec.framescales[1]);
    EXPECT_EQ((std::vector<unsigned char>{10, 11, 12, 13, 14, 15}), qmv3test::Frame(record.rec, 1));
}

TEST(BunchConversion, HeaderVariants) {
    ImageShape wide;
    wide.bytesPerPixel = 2;
    ImageShape area;
    area.aoiWidth = 2;
    area.effectiveBits = 6;
    ImageShape unscaled;
    unscaled.xScale = unscaled.yScale = 0.0f;
    ImageShape close;
    close.xScale = 0.1f;
    close.yScale = 0.100005f;
    const struct {
        ImageShape shape;
        uint32_t width, bpp, ebitpp;
        double scale;
    } table[] = {
        {wide, 3, 16, 16, 0.5},
        {area, 2, 8, 6, 0.5},
        {unscaled, 3, 8, 8, 1.0},
        {close, 3, 8, 8, static_cast<double>(0.1f)},
    };
    for (const auto& row : table) {
        SequenceGuard images(MakeSequence(1, row.shape));
        RecordGuard record;
        ASSERT_EQ(QMV3_BUNCH_CONVERT_OK, qmBunchToVIDINFHDR(&images.sequence, &record.rec));
        EXPECT_EQ(row.width, record.rec.width);
        EXPECT_EQ(row.bpp, record.rec.bpp);
        EXPECT_EQ(row.ebitpp, record.rec.ebitpp);
        EXPECT_EQ(row.scale, record.rec.scale);
        EXPECT_EQ(row.scale, record.rec.framescales[0]);
    }
}

TEST(BunchConversion, UnconvertibleImagesAndTheirTexts) {
    ImageShape rgb;
    rgb.format = QMV3_FORMAT_RGB;
    rgb.bytesPerPixel = 3;
    ImageShape threeBytes;
    threeBytes.bytesPerPixel = 3;
    ImageShape unequal;
    unequal.xScale = 0.1f;
    unequal.yScale = 0.1001f;
    const struct {
        ImageShape shape;
        const char* text;
    } table[] = {
        {rgb, "Image format of images must be CF_IMAGE_FORMAT_GRAY(0) but is CF_IMAGE_FORMAT_RGB(1)."},
        {threeBytes, "Image bytesperpixel(3) must be either 1 or 2."},
        {unequal, "The scaling factors for x(0.100000) and y(0.100100) must be identical."},
    };
    for (const auto& row : table) {
        SequenceGuard images(MakeSequence(2, row.shape));
        RecordGuard record;
        char text[200] = "";
        int kept = -1;
        EXPECT_EQ(QMV3_BUNCH_CONVERT_NOT_CONVERTIBLE,
                  qmBunchToVIDINFHDREx2(&images.sequence, &record.rec, text, sizeof text, 1, &kept));
        EXPECT_STREQ(row.text, text);
        EXPECT_EQ(1, kept);
        EXPECT_EQ(2u, images.sequence.numFrames);
        EXPECT_EQ(nullptr, record.rec.framebits);
    }
}

TEST(BunchConversion, ParameterErrorsAndNoSequence) {
    SequenceGuard images(MakeSequence(2, ImageShape()));
    QMBUNCHOFIMAGES none = {nullptr, 0};
    QMBUNCHOFIMAGES noArray = {nullptr, 2};
    RecordGuard record;
    const struct {
        QMBUNCHOFIMAGES* sequence;
        VIDINFHDR* target;
        int mode;
        int code;
        const char* text;
    } table[] = {
        {&images.sequence, nullptr, 0, 0, "Parameter error (struct VIDINFHDR *aV is NULL)."},
        {nullptr, &record.rec, 0, 0, "Parameter error (QMBUNCHOFIMAGES *aImages is NULL)."},
        {&none, &record.rec, 0, 0, "Parameter error(QMBUNCHOFIMAGES *aImages->numFrames is zero)."},
        {&noArray, &record.rec, 0, 0, "Parameter error(QMBUNCHOFIMAGES *aImages->imageArray is NULL)."},
        {&images.sequence, &record.rec, 2, 0, "Parameter error(aiLowMemoryConsumption is neither zero nor one)."},
    };
    for (const auto& row : table) {
        char text[200] = "";
        int kept = -1;
        EXPECT_EQ(row.code, qmBunchToVIDINFHDREx2(row.sequence, row.target, text, sizeof text, row.mode, &kept));
        EXPECT_STREQ(row.text, text);
        EXPECT_EQ(1, kept);
    }
    EXPECT_EQ(2u, images.sequence.numFrames);
    EXPECT_EQ(-1, record.rec.type);

    images.sequence.imageArray[1].sourceHeader.cameraPortId = 7;
    char text[200] = "";
    EXPECT_EQ(QMV3_BUNCH_CONVERT_NOT_A_SEQUENCE,
              qmBunchToVIDINFHDREx2(&images.sequence, &record.rec, text, sizeof text, 0, nullptr));
    EXPECT_STREQ(
        "Parameter QMBUNCHOFIMAGES *aImages is no sequence (qmIsSequence(aImages) returned 0, but must return 1.",
        text);
    char small[10];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(QMV3_BUNCH_CONVERT_PARAMETER_ERROR,
              qmBunchToVIDINFHDREx2(nullptr, &record.rec, small, sizeof small, 0, nullptr));
    EXPECT_STREQ("Paramete", small);
}

TEST(BunchConversion, MoveModeConsumesTheSequence) {
    QMBUNCHOFIMAGES sequence = MakeSequence(3, ImageShape());
    RecordGuard record;
    int kept = -1;
    ASSERT_EQ(QMV3_BUNCH_CONVERT_OK, qmBunchToVIDINFHDREx(&sequence, &record.rec, 1, &kept));
    EXPECT_EQ(0, kept);
    EXPECT_EQ(0u, sequence.numFrames);
    EXPECT_EQ(nullptr, sequence.imageArray);
    EXPECT_EQ(3, record.rec.numframes);
    EXPECT_EQ((std::vector<unsigned char>{20, 21, 22, 23, 24, 25}), qmv3test::Frame(record.rec, 2));
}

}  // namespace
