// Copying the pixels of an image into a caller buffer, decompressing JPEG frames on the way.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "image_fixtures.h"
#include "jpeg_fixtures.h"

namespace {

using qmv3test::MakeRawImage;

TEST(FrameCopy, Grey640x480NeedsItsFullSize) {
    DIMAGE image = MakeRawImage(640, 480, 1);
    std::vector<unsigned char> destination(307200, 0xEE);
    int size = 307199;
    EXPECT_EQ(
        qmGetFrameFromDIMAGE(destination.data(), &size, &image, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
        QMV3_FRAME_COPY_TOO_SMALL);
    EXPECT_EQ(size, 307199);
    EXPECT_EQ(destination[0], 0xEE);
    size = 307200;
    unsigned width = 0, height = 0;
    int colourType = -1, bytesPerPixel = -1, effectiveBits = 0;
    DIMAGE header;
    ASSERT_EQ(qmGetFrameFromDIMAGE(destination.data(), &size, &image, &width, &height, &colourType, &bytesPerPixel,
                                   &effectiveBits, &header),
              QMV3_FRAME_COPY_OK);
    EXPECT_EQ(size, 307200);
    EXPECT_EQ(destination, std::vector<unsigned char>(image.frameBuffer, image.frameBuffer + 307200));
    EXPECT_EQ(width, 640u);
    EXPECT_EQ(height, 480u);
    EXPECT_EQ(colourType, 0);
    EXPECT_EQ(bytesPerPixel, 1);
    EXPECT_EQ(effectiveBits, -1);
    EXPECT_EQ(std::memcmp(&header, &image, QMV3_IMAGE_HEADER_SIZE - 4), 0);  // all but appendedFrameSize
    EXPECT_EQ(header.frameHeader.appendedFrameSize, 0);
    EXPECT_EQ(header.frameBufferSize, 0u);
    EXPECT_EQ(header.frameBuffer, nullptr);
    std::free(image.frameBuffer);
}

TEST(FrameCopy, AreaOfInterestAndColourTypes) {
    struct Case {
        int bytesPerPixel, format, colourType;
    } cases[] = {{1, QMV3_FORMAT_GRAY, 0}, {2, QMV3_FORMAT_GRAY, 1}, {3, QMV3_FORMAT_RGB, 2}};
    for (const Case& c : cases) {
        DIMAGE image = MakeRawImage(20, 10, c.bytesPerPixel, c.format);
        image.frameHeader.aoiWidth = 5;
        image.frameHeader.aoiHeight = 4;
        image.frameHeader.xStart = 1;
        image.frameHeader.yStart = 2;
        std::vector<unsigned char> destination(1000);
        int size = 1000;
        unsigned width = 0, height = 0;
        int colourType = -1;
        ASSERT_EQ(qmGetFrameFromDIMAGE(destination.data(), &size, &image, &width, &height, &colourType, nullptr,
                                       nullptr, nullptr),
                  QMV3_FRAME_COPY_OK);
        EXPECT_EQ(size, 5 * 4 * c.bytesPerPixel);
        EXPECT_EQ(width, 5u);
        EXPECT_EQ(height, 4u);
        EXPECT_EQ(colourType, c.colourType);
        std::free(image.frameBuffer);
    }
}

TEST(FrameCopy, RefusesNullPointersInvalidImagesAndOtherFormats) {
    DIMAGE image = MakeRawImage(8, 8, 1);
    std::vector<unsigned char> destination(1000);
    int size = 1000;
    EXPECT_EQ(qmGetFrameFromDIMAGE(nullptr, &size, &image, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              QMV3_FRAME_COPY_NULL_ARGUMENT);
    EXPECT_EQ(
        qmGetFrameFromDIMAGE(destination.data(), nullptr, &image, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
        QMV3_FRAME_COPY_NULL_ARGUMENT);
    EXPECT_EQ(
        qmGetFrameFromDIMAGE(destination.data(), &size, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
        QMV3_FRAME_COPY_NULL_ARGUMENT);
    image.frameHeader.imageFormat = QMV3_FORMAT_RGBA;
    EXPECT_EQ(
        qmGetFrameFromDIMAGE(destination.data(), &size, &image, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
        QMV3_FRAME_COPY_INVALID_IMAGE);
    image.frameHeader.imageFormat = QMV3_FORMAT_GRAY;
    image.frameHeader.sourceWidth = 0;
    EXPECT_EQ(
        qmGetFrameFromDIMAGE(destination.data(), &size, &image, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
        QMV3_FRAME_COPY_INVALID_IMAGE);
    EXPECT_EQ(size, 1000);
    std::free(image.frameBuffer);
}

TEST(FrameCopy, JpegFramesAreDecompressedAndTheTemporaryBufferReleased) {
    const std::vector<unsigned char> jpeg = qmv3test::MakeJpeg(64, 48, 3);
    DIMAGE image = qmv3test::MakeJpegImage(jpeg, 64, 48, 3);
    std::vector<unsigned char> destination(64 * 48 * 3);
    int size = 64 * 48 * 3 - 1;
    // Too small: 23, and the leak check proves the decoded buffer was released anyway.
    EXPECT_EQ(
        getFrameFromDIMAGE(destination.data(), &size, &image, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
        QMV3_FRAME_COPY_TOO_SMALL);
    size = static_cast<int>(destination.size());
    int colourType = -1;
    DIMAGE header;
    ASSERT_EQ(
        getFrameFromDIMAGE(destination.data(), &size, &image, nullptr, nullptr, &colourType, nullptr, nullptr, &header),
        QMV3_FRAME_COPY_OK);
    EXPECT_EQ(destination, qmv3test::ReferenceDecode(jpeg));
    EXPECT_EQ(colourType, 2);
    EXPECT_EQ(header.frameHeader.imageFormat, QMV3_FORMAT_RGB);
    EXPECT_EQ(header.frameBuffer, nullptr);
    EXPECT_EQ(image.frameHeader.imageFormat, QMV3_FORMAT_JPEG);  // the caller's image is not changed
    std::free(image.frameBuffer);
}

TEST(FrameCopy, UndecodableJpegIs513AndGreyJpegInColourRecordIs103) {
    const std::vector<unsigned char> garbage(200, 0x42);
    DIMAGE broken = qmv3test::MakeJpegImage(garbage, 64, 48, 3);
    std::vector<unsigned char> destination(64 * 48 * 3);
    int size = static_cast<int>(destination.size());
    EXPECT_EQ(
        qmGetFrameFromDIMAGE(destination.data(), &size, &broken, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
        QMV3_FRAME_COPY_DECOMPRESSION_FAILED);
    std::free(broken.frameBuffer);
    // A grey JPEG in a record of three bytes per pixel decodes to GRAY with 3 bytes: no format to copy.
    DIMAGE grey = qmv3test::MakeJpegImage(qmv3test::MakeJpeg(64, 48, 1), 64, 48, 3);
    EXPECT_EQ(
        qmGetFrameFromDIMAGE(destination.data(), &size, &grey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
        QMV3_FRAME_COPY_INVALID_IMAGE);
    std::free(grey.frameBuffer);
}

}  // namespace
