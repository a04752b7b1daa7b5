// JPEG decoding: the exported calls against plain libjpeg, and hostile streams that must fail cleanly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "client/image_management.h"
#include "jpeg_fixtures.h"
#include "qmv3/qmv3.h"

namespace {

using qmv3test::MakeJpeg;
using qmv3test::MakeJpegImage;
using qmv3test::ReferenceDecode;

std::vector<unsigned char> Bytes(const DIMAGE& image, size_t count) {
    return std::vector<unsigned char>(image.frameBuffer, image.frameBuffer + count);
}

TEST(Decompression, NonJpegImagesAreLeftUnchanged) {
    const std::vector<unsigned char> jpeg = MakeJpeg(16, 8, 1);
    for (int format : {QMV3_FORMAT_GRAY, QMV3_FORMAT_RGB, QMV3_FORMAT_HUFFYUV}) {
        DIMAGE image = MakeJpegImage(jpeg, 16, 8, 1);
        image.frameHeader.imageFormat = format;
        const DIMAGE before = image;
        DIMAGE out;
        std::memset(&out, 0xAB, sizeof out);
        const DIMAGE outBefore = out;
        EXPECT_EQ(qmDecompressImage(&out, &image), QMV3_DECOMPRESS_NOT_JPEG);
        EXPECT_EQ(std::memcmp(&out, &outBefore, sizeof out), 0);
        EXPECT_EQ(qmDecompressImageInPlace(&image), QMV3_DECOMPRESS_NOT_JPEG);
        EXPECT_EQ(std::memcmp(&image, &before, sizeof image), 0);
        QMBUNCHOFIMAGES sequence{&image, 1};
        EXPECT_EQ(qmDecompressSequence(&sequence, 1), QMV3_DECOMPRESS_DONE);  // nothing to decode is still success
        EXPECT_EQ(std::memcmp(&image, &before, sizeof image), 0);
        std::free(image.frameBuffer);
    }
}

TEST(Decompression, NullArgumentsAndEmptySequences) {
    DIMAGE image;
    std::memset(&image, 0, sizeof image);
    EXPECT_EQ(qmDecompressImage(nullptr, &image), QMV3_DECOMPRESS_NULL_ARGUMENT);
    EXPECT_EQ(qmDecompressImage(&image, nullptr), QMV3_DECOMPRESS_NULL_ARGUMENT);
    EXPECT_EQ(qmDecompressImageInPlace(nullptr), QMV3_DECOMPRESS_NULL_ARGUMENT);
    EXPECT_EQ(qmDecompressSequence(nullptr, 1), QMV3_DECOMPRESS_NOT_JPEG);
    QMBUNCHOFIMAGES empty{nullptr, 0};
    EXPECT_EQ(qmDecompressSequence(&empty, 1), QMV3_DECOMPRESS_NOT_JPEG);
}

TEST(Decompression, Grey640x480MatchesLibjpegAndDescribesTheFrame) {
    const std::vector<unsigned char> jpeg = MakeJpeg(640, 480, 1);
    DIMAGE in = MakeJpegImage(jpeg, 640, 480, 1);
    DIMAGE out;
    ASSERT_EQ(qmDecompressImage(&out, &in), QMV3_DECOMPRESS_DONE);
    EXPECT_EQ(out.frameHeader.appendedFrameSize, 307200);
    EXPECT_EQ(out.sourceHeader.totalLength, 307388u);
    EXPECT_EQ(out.frameHeader.imageFormat, QMV3_FORMAT_GRAY);
    EXPECT_EQ(out.frameHeader.imageFlags, QMV3_FLAG_LITTLE_ENDIAN_BYTE_ORDER);
    EXPECT_EQ(out.frameBufferSize, 307200u);
    EXPECT_EQ(out.frameHeader.sourceFormat, in.frameHeader.sourceFormat);
    EXPECT_NE(out.frameBuffer, in.frameBuffer);
    EXPECT_EQ(Bytes(out, 307200), ReferenceDecode(jpeg));
    std::free(out.frameBuffer);
    std::free(in.frameBuffer);
}

// Odd sizes exercise partial blocks and chroma subsampling at the edges; progressive streams take
// libjpeg's multi-scan path.
TEST(Decompression, ColourAndOddSizesMatchLibjpeg) {
    struct Case {
        unsigned width, height;
        int components;
        bool progressive;
    } cases[] = {{37, 23, 3, false}, {1, 1, 3, false}, {33, 17, 1, false}, {101, 7, 3, true}, {640, 480, 3, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " components " << c.components);
        const std::vector<unsigned char> jpeg = MakeJpeg(c.width, c.height, c.components, c.progressive);
        DIMAGE in = MakeJpegImage(jpeg, c.width, c.height, c.components);
        DIMAGE out;
        ASSERT_EQ(qmDecompressImage(&out, &in), QMV3_DECOMPRESS_DONE);
        EXPECT_EQ(out.frameHeader.imageFormat, c.components == 3 ? QMV3_FORMAT_RGB : QMV3_FORMAT_GRAY);
        const size_t size = static_cast<size_t>(c.width) * c.height * c.components;
        EXPECT_EQ(out.frameHeader.appendedFrameSize, static_cast<int32_t>(size));
        EXPECT_EQ(Bytes(out, size), ReferenceDecode(jpeg));
        std::free(out.frameBuffer);
        std::free(in.frameBuffer);
    }
}

TEST(Decompression, GreyJpegInThreeByteRecordFillsOnlyTheFirstThird) {
    const std::vector<unsigned char> jpeg = MakeJpeg(640, 480, 1);
    DIMAGE in = MakeJpegImage(jpeg, 640, 480, 3);
    DIMAGE out;
    ASSERT_EQ(qmDecompressImage(&out, &in), QMV3_DECOMPRESS_DONE);
    EXPECT_EQ(out.frameHeader.appendedFrameSize, 921600);
    EXPECT_EQ(out.frameBufferSize, 921600u);
    EXPECT_EQ(Bytes(out, 307200), ReferenceDecode(jpeg));
    // The rest is cleared, not stale heap contents.
    const std::vector<unsigned char> tail(out.frameBuffer + 307200, out.frameBuffer + 921600);
    EXPECT_EQ(tail, std::vector<unsigned char>(921600 - 307200, 0));
    std::free(out.frameBuffer);
    std::free(in.frameBuffer);
}

// A JPEG larger than the record's geometry must not make the record claim more capacity than exists.
TEST(Decompression, CapacityNeverExceedsTheAllocation) {
    const std::vector<unsigned char> jpeg = MakeJpeg(100, 90, 1);  // 9000 grey bytes
    DIMAGE in = MakeJpegImage(jpeg, 80, 40, 3);                    // 9600 bytes of room
    DIMAGE out;
    ASSERT_EQ(qmDecompressImage(&out, &in), QMV3_DECOMPRESS_DONE);
    EXPECT_EQ(out.frameHeader.appendedFrameSize, 9600);
    EXPECT_LE(out.frameBufferSize, 9600u);
    std::free(out.frameBuffer);
    std::free(in.frameBuffer);
}

// A JPEG smaller than the record's geometry must still give a valid record: capacity covers the
// appendedFrameSize it claims.
TEST(Decompression, SmallerStreamGivesValidRecord) {
    const std::vector<unsigned char> jpeg = MakeJpeg(24, 16, 1);
    DIMAGE in = MakeJpegImage(jpeg, 32, 16, 1);
    DIMAGE out;
    ASSERT_EQ(qmDecompressImage(&out, &in), QMV3_DECOMPRESS_DONE);
    EXPECT_EQ(out.frameHeader.appendedFrameSize, 512);
    EXPECT_EQ(out.frameBufferSize, 512u);
    char message[300];
    EXPECT_EQ(qmCheckImageValidity(&out, message, sizeof message), QMV3_IMAGE_VALID) << message;
    std::free(out.frameBuffer);
    std::free(in.frameBuffer);
}

TEST(Decompression, UnsupportedOrOversizedStreamsFail) {
    struct Case {
        const char* what;
        std::vector<unsigned char> jpeg;
        int recordBytesPerPixel;
    } cases[] = {
        {"colour into one byte per pixel", MakeJpeg(64, 48, 3), 1},
        {"two components", MakeJpeg(64, 48, 2), 3},
        {"four components", MakeJpeg(64, 48, 4), 4},
        {"garbage", std::vector<unsigned char>(500, 0x5A), 3},
        {"start of image only", {0xFF, 0xD8}, 3},
        {"empty", {}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DIMAGE in = MakeJpegImage(c.jpeg, 64, 48, c.recordBytesPerPixel);
        DIMAGE out;
        std::memset(&out, 0, sizeof out);
        EXPECT_EQ(qmDecompressImage(&out, &in), QMV3_DECOMPRESS_DECODE_FAILED);
        EXPECT_EQ(out.frameBuffer, nullptr);
        std::free(in.frameBuffer);
    }
}

TEST(Decompression, HeaderAnnouncingAHugeImageFails) {
    std::vector<unsigned char> jpeg = MakeJpeg(64, 48, 3);
    const size_t sof = qmv3test::FindMarker(jpeg, 0xC0);
    ASSERT_NE(sof, 0u);
    for (size_t i : {5, 6, 7, 8}) jpeg[sof + i] = 0xFF;  // height and width 65535
    DIMAGE in = MakeJpegImage(jpeg, 64, 48, 3);
    DIMAGE out;
    EXPECT_EQ(qmDecompressImage(&out, &in), QMV3_DECOMPRESS_DECODE_FAILED);
    std::free(in.frameBuffer);
}

// No valid image holds more than MAX_TRANSPORT_SIZE decoded bytes: a record claiming more is refused as
// undecodable, however small its stream; up to that size the stream decodes.
TEST(Decompression, GeometryBeyondTheTransportSizeIsRefused) {
    const std::vector<unsigned char> jpeg = MakeJpeg(64, 48, 1);
    const struct {
        int height;
        int result;
    } cases[] = {{6656, 1}, {6657, -2}};  // 4096 x 6656 bytes is exactly MAX_TRANSPORT_SIZE
    for (const auto& c : cases) {
        DIMAGE in = MakeJpegImage(jpeg, 4096, c.height, 1);
        DIMAGE out;
        std::memset(&out, 0, sizeof out);
        EXPECT_EQ(qmDecompressImage(&out, &in), c.result) << c.height;
        EXPECT_EQ(out.frameBuffer != nullptr, c.result == 1);
        std::free(out.frameBuffer);
        EXPECT_EQ(qmDecompressImageInPlace(&in), c.result == 1 ? -4 : -2) << c.height;
        EXPECT_EQ(in.frameHeader.imageFormat, QMV3_FORMAT_JPEG);
        std::free(in.frameBuffer);
    }
}

// Geometry whose 32-bit product wraps to a small number must not become a small allocation.
TEST(Decompression, RecordGeometryThatWouldWrapIsRefused) {
    const std::vector<unsigned char> jpeg = MakeJpeg(64, 48, 1);
    DIMAGE in = MakeJpegImage(jpeg, 65536, 65536, 1);
    DIMAGE out;
    std::memset(&out, 0, sizeof out);
    EXPECT_LT(qmDecompressImage(&out, &in), 0);
    EXPECT_EQ(out.frameBuffer, nullptr);
    in.frameBufferSize = 0xFFFFFFFFu;  // claims room; the claim is not believed for the compressed bytes
    in.frameHeader.appendedFrameSize = static_cast<int32_t>(jpeg.size());
    EXPECT_LT(qmDecompressImageInPlace(&in), 0);
    std::free(in.frameBuffer);
}

TEST(Decompression, CompressedSizeBeyondTheBufferIsNotRead) {
    const std::vector<unsigned char> jpeg = MakeJpeg(64, 48, 1);
    DIMAGE in = MakeJpegImage(jpeg, 64, 48, 1);
    in.frameHeader.appendedFrameSize = static_cast<int32_t>(in.frameBufferSize) + 4096;
    DIMAGE out;
    EXPECT_EQ(qmDecompressImage(&out, &in), QMV3_DECOMPRESS_DECODE_FAILED);
    std::free(in.frameBuffer);
}

TEST(Decompression, StreamCutAfterItsHeaderDecodesWhatIsPresent) {
    const std::vector<unsigned char> full = MakeJpeg(64, 48, 3);
    const size_t headerEnd = qmv3test::HeaderEnd(full);
    ASSERT_GT(headerEnd, 0u);
    const std::vector<unsigned char> cut(full.begin(), full.begin() + (headerEnd + full.size()) / 2);
    DIMAGE in = MakeJpegImage(cut, 64, 48, 3);
    DIMAGE out;
    ASSERT_EQ(qmDecompressImage(&out, &in), QMV3_DECOMPRESS_DONE);
    const std::vector<unsigned char> reference = ReferenceDecode(full);
    // The first row was fully present in the stream and comes out as plain libjpeg decodes it.
    EXPECT_EQ(Bytes(out, 64 * 3), std::vector<unsigned char>(reference.begin(), reference.begin() + 64 * 3));
    std::free(out.frameBuffer);
    std::free(in.frameBuffer);
}

// Every prefix up to the end of the headers, and some beyond: each decodes or fails, nothing else.
TEST(Decompression, EveryTruncationDecodesOrFailsCleanly) {
    const std::vector<unsigned char> full = MakeJpeg(40, 24, 3);
    const size_t headerEnd = qmv3test::HeaderEnd(full);
    const size_t scanHeader = qmv3test::FindMarker(full, 0xDA);
    ASSERT_GT(scanHeader, 0u);
    int decoded = 0;
    for (size_t length = 0; length <= full.size(); length += length < headerEnd + 8 ? 1 : 37) {
        const std::vector<unsigned char> cut(full.begin(), full.begin() + length);
        DIMAGE in = MakeJpegImage(cut, 40, 24, 3);
        DIMAGE out;
        const int result = qmDecompressImage(&out, &in);
        ASSERT_TRUE(result == QMV3_DECOMPRESS_DONE || result == QMV3_DECOMPRESS_DECODE_FAILED)
            << "length " << length << " result " << result;
        // Without a complete frame header there is no image; a cut inside the scan header may still decode.
        if (length < scanHeader) {
            EXPECT_EQ(result, QMV3_DECOMPRESS_DECODE_FAILED) << "length " << length;
        }
        if (result == QMV3_DECOMPRESS_DONE) {
            ++decoded;
            std::free(out.frameBuffer);
        }
        std::free(in.frameBuffer);
    }
    EXPECT_GT(decoded, 0);
}

TEST(Decompression, RandomCorruptionsNeverCrashAndRestoreInPlace) {
    const std::vector<unsigned char> full = MakeJpeg(48, 32, 3);
    std::mt19937 random(4711);
    for (int round = 0; round < 400; ++round) {
        std::vector<unsigned char> corrupt = full;
        const int changes = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < changes; ++i) corrupt[random() % corrupt.size()] = static_cast<unsigned char>(random());
        DIMAGE image = MakeJpegImage(corrupt, 48, 32, 3, 48 * 32 * 3);
        DIMAGE out;
        const int result = qmDecompressImage(&out, &image);
        ASSERT_TRUE(result == QMV3_DECOMPRESS_DONE || result == QMV3_DECOMPRESS_DECODE_FAILED) << "round " << round;
        if (result == QMV3_DECOMPRESS_DONE) std::free(out.frameBuffer);
        const int inPlace = qmDecompressImageInPlace(&image);
        ASSERT_TRUE(inPlace == QMV3_DECOMPRESS_DONE || inPlace == QMV3_DECOMPRESS_DECODE_FAILED) << "round " << round;
        if (inPlace == QMV3_DECOMPRESS_DECODE_FAILED) {
            EXPECT_EQ(Bytes(image, corrupt.size()), corrupt) << "round " << round;
            EXPECT_EQ(image.frameHeader.imageFormat, QMV3_FORMAT_JPEG);
        }
        std::free(image.frameBuffer);
    }
}

TEST(Decompression, InPlaceDecodesIntoTheOwnBuffer) {
    const std::vector<unsigned char> jpeg = MakeJpeg(64, 48, 3);
    DIMAGE image = MakeJpegImage(jpeg, 64, 48, 3, 64 * 48 * 3);
    unsigned char* const buffer = image.frameBuffer;
    ASSERT_EQ(qmDecompressImageInPlace(&image), QMV3_DECOMPRESS_DONE);
    EXPECT_EQ(image.frameBuffer, buffer);
    EXPECT_EQ(image.frameHeader.appendedFrameSize, 64 * 48 * 3);
    EXPECT_EQ(image.sourceHeader.totalLength, 64u * 48 * 3 + 188);
    EXPECT_EQ(image.frameHeader.imageFormat, QMV3_FORMAT_RGB);
    EXPECT_EQ(image.frameHeader.imageFlags & QMV3_FLAG_IMAGE_LOSSLESS, 0);
    EXPECT_EQ(Bytes(image, 64 * 48 * 3), ReferenceDecode(jpeg));
    std::free(image.frameBuffer);
}

TEST(Decompression, InPlaceOneByteShortIsRefusedAndUnchanged) {
    const std::vector<unsigned char> jpeg = MakeJpeg(64, 48, 1);
    DIMAGE image = MakeJpegImage(jpeg, 64, 48, 1, 64 * 48 - static_cast<unsigned>(jpeg.size()) - 1);
    ASSERT_EQ(image.frameBufferSize, 64u * 48 - 1);
    const DIMAGE before = image;
    EXPECT_EQ(qmDecompressImageInPlace(&image), QMV3_DECOMPRESS_BUFFER_TOO_SMALL);
    EXPECT_EQ(std::memcmp(&image, &before, sizeof image), 0);
    EXPECT_EQ(Bytes(image, jpeg.size()), jpeg);
    std::free(image.frameBuffer);
}

// A second frame header after the scan is a fatal error once every row has been written: the
// compressed bytes must come back.
TEST(Decompression, InPlaceFailureAfterRowsWereWrittenRestoresTheStream) {
    std::vector<unsigned char> jpeg = MakeJpeg(64, 48, 1);
    const size_t sof = qmv3test::FindMarker(jpeg, 0xC0);
    const size_t sofLength = 2 + ((static_cast<size_t>(jpeg[sof + 2]) << 8) | jpeg[sof + 3]);
    const std::vector<unsigned char> sofSegment(jpeg.begin() + sof, jpeg.begin() + sof + sofLength);
    jpeg.resize(jpeg.size() - 2);  // drop the end-of-image marker
    jpeg.insert(jpeg.end(), sofSegment.begin(), sofSegment.end());
    jpeg.push_back(0xFF);
    jpeg.push_back(0xD9);
    DIMAGE image = MakeJpegImage(jpeg, 64, 48, 1, 64 * 48);
    const DIMAGE before = image;
    EXPECT_EQ(qmDecompressImageInPlace(&image), QMV3_DECOMPRESS_DECODE_FAILED);
    EXPECT_EQ(std::memcmp(&image, &before, sizeof image), 0);
    EXPECT_EQ(Bytes(image, jpeg.size()), jpeg);
    std::free(image.frameBuffer);
}

TEST(Decompression, SequenceStopsAtTheFirstFailure) {
    const std::vector<unsigned char> good = MakeJpeg(32, 16, 1);
    const std::vector<unsigned char> bad(300, 0x11);
    DIMAGE images[3] = {MakeJpegImage(good, 32, 16, 1), MakeJpegImage(bad, 32, 16, 1), MakeJpegImage(good, 32, 16, 1)};
    QMBUNCHOFIMAGES sequence{images, 3};
    EXPECT_EQ(qmDecompressSequence(&sequence, 1), QMV3_DECOMPRESS_SEQUENCE_FAILED);
    EXPECT_EQ(images[0].frameHeader.imageFormat, QMV3_FORMAT_GRAY);
    EXPECT_EQ(images[0].frameHeader.appendedFrameSize, 32 * 16);
    EXPECT_EQ(images[1].frameHeader.imageFormat, QMV3_FORMAT_JPEG);
    EXPECT_EQ(images[2].frameHeader.imageFormat, QMV3_FORMAT_JPEG);
    EXPECT_EQ(Bytes(images[2], good.size()), good);
    for (DIMAGE& image : images) std::free(image.frameBuffer);  // the leak check proves image 0's JPEG was freed
}

TEST(Decompression, SequenceKeepsCompressedBuffersUnlessAskedToFree) {
    const std::vector<unsigned char> jpeg = MakeJpeg(32, 16, 3);
    DIMAGE images[2] = {MakeJpegImage(jpeg, 32, 16, 3), MakeJpegImage(jpeg, 32, 16, 3)};
    images[1].frameHeader.imageFormat = QMV3_FORMAT_GRAY;  // not JPEG: stays as it is
    images[1].frameHeader.appendedFrameSize = static_cast<int32_t>(jpeg.size());
    unsigned char* const compressed = images[0].frameBuffer;
    QMBUNCHOFIMAGES sequence{images, 2};
    EXPECT_EQ(qmDecompressSequence(&sequence, 0), QMV3_DECOMPRESS_DONE);
    EXPECT_NE(images[0].frameBuffer, compressed);
    EXPECT_EQ(images[0].frameHeader.imageFormat, QMV3_FORMAT_RGB);
    EXPECT_EQ(Bytes(images[0], 32 * 16 * 3), ReferenceDecode(jpeg));
    EXPECT_EQ(images[1].frameHeader.imageFormat, QMV3_FORMAT_GRAY);
    std::free(compressed);
    for (DIMAGE& image : images) std::free(image.frameBuffer);
}

TEST(Decompression, InternalDecoderReportsGeometryAndRespectsCapacity) {
    const std::vector<unsigned char> jpeg = MakeJpeg(30, 20, 3);
    std::vector<unsigned char> exact(30 * 20 * 3);
    int width = -1, height = -1, format = -1;
    ASSERT_TRUE(_internal_DecompressJPEG(jpeg.data(), static_cast<int>(jpeg.size()), exact.data(),
                                         static_cast<unsigned>(exact.size()), width, height, format));
    EXPECT_EQ(width, 30);
    EXPECT_EQ(height, 20);
    EXPECT_EQ(format, QMV3_FORMAT_RGB);
    EXPECT_EQ(exact, ReferenceDecode(jpeg));
    width = height = format = -1;
    EXPECT_FALSE(_internal_DecompressJPEG(jpeg.data(), static_cast<int>(jpeg.size()), exact.data(),
                                          static_cast<unsigned>(exact.size() - 1), width, height, format));
    EXPECT_EQ(width, -1);
    EXPECT_FALSE(_internal_DecompressJPEG(nullptr, 10, exact.data(), 1800, width, height, format));
}

}  // namespace
