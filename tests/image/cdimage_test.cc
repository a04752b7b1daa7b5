// The image class: reset state, setters' refusals, records in and out, older frames, expanding an area.
#include "image/cdimage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image_fixture.h"

namespace {

using imagetest::MakeRecord;

TEST(CdImage, FreshImageIsResetAndFailsAtTheSourceWidth) {
    CDIMAGE image;
    EXPECT_EQ(std::memcmp(image.m_Img.sourceHeader.baseTag, "QMV3", 4), 0);
    EXPECT_EQ(image.m_Img.sourceHeader.versionTag, 1u);
    EXPECT_EQ(image.m_Img.sourceHeader.totalLength, 188u);
    EXPECT_EQ(image.m_Img.frameHeader.sourceFormat, 0);
    EXPECT_EQ(image.m_Img.frameHeader.imageFormat, 0);
    EXPECT_EQ(image.m_Img.frameHeader.xStart, -1);
    EXPECT_EQ(image.m_Img.frameHeader.fspare3, -1.0f);
    EXPECT_GT(image.m_Img.sourceHeader.timestampSeconds, 1600000000u);
    std::string message;
    EXPECT_FALSE(CDIMAGE::checkValidity(image.m_Img, message));
    EXPECT_EQ(message, "Img.frameHeader.sourceWidth=0 is invalid (must be >=1).");
}

TEST(CdImage, SettersRefuseInvalidValuesAndLeaveTheRecord) {
    CDIMAGE image;
    const DIMAGE before = image.m_Img;
    EXPECT_FALSE(image.setDimensions(640, 0));
    EXPECT_FALSE(image.setBinning(-2, 1));
    EXPECT_FALSE(image.setSourceFormat(-1));
    EXPECT_FALSE(image.setImageFormat(13));
    EXPECT_FALSE(image.setXYScale(0.0f));
    EXPECT_FALSE(image.setYScale(-1.0f));
    image.setTimestamp(-1.0);
    EXPECT_EQ(std::memcmp(&before, &image.m_Img, sizeof(DIMAGE)), 0);

    EXPECT_TRUE(image.setDimensions(640, 480));
    EXPECT_EQ(image.m_Img.frameHeader.aoiWidth, -1);
    EXPECT_EQ(image.m_Img.frameHeader.xStart, 0);
    EXPECT_FALSE(image.setAOI(600, 0, 41, 10));
    EXPECT_FALSE(image.isAoiSet());
    EXPECT_TRUE(image.setAOI(600, 0, 40, 10));
    EXPECT_EQ(image.getAppendedWidth(), 40);
    EXPECT_FALSE(image.setAOI(2147483647, 0, 1, 1));  // the sum would overflow an int
}

TEST(CdImage, SourceNameKeepsAtMost63Characters) {
    CDIMAGE image;
    const std::string longName(100, 'n');
    image.setSource(3, longName.c_str());
    EXPECT_EQ(image.getSourcePortId(), 3);
    EXPECT_EQ(std::string(image.getSourceName()), longName.substr(0, 63));
    image.setSource(4, "cam");
    EXPECT_STREQ(image.getSourceName(), "cam");
    EXPECT_EQ(image.m_Img.sourceHeader.cameraPortName[10], '\0');
}

TEST(CdImage, TimestampsAndScales) {
    CDIMAGE image;
    image.setTimestamp(1.5);
    EXPECT_EQ(image.getTimestampSeconds(), 1);
    EXPECT_EQ(image.getTimestampMicroseconds(), 500000);
    image.setTimestampMsec(10, 250);
    EXPECT_DOUBLE_EQ(image.getTimestampAsZantTimestamp(), 10.25);
    struct {
        float x, y;
        double expected;
    } scales[] = {{0.1f, 0.1005f, 0.1f}, {0.1f, 0.102f, 1.0}, {-1.0f, -1.0f, 1.0}};
    for (const auto& s : scales) {
        image.m_Img.frameHeader.xScale = s.x;
        image.m_Img.frameHeader.yScale = s.y;
        EXPECT_EQ(image.getQMV2Scale(), static_cast<double>(static_cast<float>(s.expected))) << s.x << " " << s.y;
    }
}

TEST(CdImage, AppendedFrameSizeStaysInsideTheBuffer) {
    std::vector<unsigned char> bytes(500, 0);
    CDIMAGE image;
    ASSERT_TRUE(image.appendRawBuffer(CDIMAGE::FORMAT_JPEG, bytes.data(), 10, bytes.size()));
    EXPECT_FALSE(image.setAppendedFrameSizeBytes(1000));
    EXPECT_TRUE(image.setAppendedFrameSizeBytes(400));
    EXPECT_EQ(image.m_Img.sourceHeader.totalLength, 588u);
    EXPECT_EQ(image.getAppendedFrameSizeBytes(), 400);
    EXPECT_TRUE(image.setAppendedFrameSizeBytes(-3));
    EXPECT_EQ(image.m_Img.sourceHeader.totalLength, 188u);
    EXPECT_EQ(image.getAppendedFrameSizeBytes(), 0);
    EXPECT_FALSE(image.appendRawBuffer(0, bytes.data(), 11, 10));
    EXPECT_FALSE(image.appendRawBuffer(13, bytes.data(), 1, 10));
    EXPECT_FALSE(image.appendRawBuffer(0, nullptr, 1, 10));
    EXPECT_FALSE(image.appendRawBuffer(0, bytes.data(), 1, size_t{1} << 33));
}

TEST(CdImage, CopyToRecordNeedsRoomForEveryFrameByte) {
    std::vector<unsigned char> bytes = {1, 2, 3, 4, 5, 6};
    CDIMAGE image(MakeRecord(CDIMAGE::FORMAT_GRAY, 3, 2, 1, bytes));
    std::vector<unsigned char> small(5, 9), exact(6, 9);
    DIMAGE out = {};
    out.frameBuffer = small.data();
    out.frameBufferSize = 5;
    EXPECT_FALSE(image.copyToZantDIMAGE(&out, false));
    EXPECT_EQ(out.frameHeader.sourceWidth, 0);
    EXPECT_EQ(small, std::vector<unsigned char>(5, 9));
    out.frameBuffer = exact.data();
    out.frameBufferSize = 6;
    ASSERT_TRUE(image.copyToZantDIMAGE(&out, false));
    EXPECT_EQ(exact, bytes);
    EXPECT_EQ(out.frameBuffer, exact.data());
    EXPECT_EQ(out.sourceHeader.totalLength, 194u);
    ASSERT_TRUE(image.copyToZantDIMAGE(&out, true));
    EXPECT_EQ(out.frameBuffer, nullptr);
    EXPECT_EQ(out.sourceHeader.totalLength, 188u);
    EXPECT_FALSE(image.copyToZantDIMAGE(nullptr, true));
}

TEST(CdImage, DeepCopyOwnsItsBufferAndReadsNoMoreThanTheSourceHolds) {
    std::vector<unsigned char> bytes = {1, 2, 3, 4};
    DIMAGE record = MakeRecord(CDIMAGE::FORMAT_GRAY, 2, 2, 1, bytes);
    record.frameBufferSize = 3;  // claims more frame bytes than the buffer holds
    CDIMAGE image;
    ASSERT_TRUE(image.fromQMV3DIMAGE(record));
    EXPECT_TRUE(image.ownsFrameBuffer());
    EXPECT_NE(image.getFrameBufferPointer(), bytes.data());
    EXPECT_EQ(image.getFrameBufferPointerSizeBytes(), 4);
    EXPECT_EQ(std::memcmp(image.getFrameBufferPointer(), bytes.data(), 3), 0);
    ASSERT_TRUE(image.fromQMV3DIMAGE(image.m_Img));  // replacing with a copy of itself releases the old buffer
    image.setDIMAGE(record, false);
    EXPECT_FALSE(image.ownsFrameBuffer());
}

QMV2VIDHDR OlderHeader(uint32_t length) {
    QMV2VIDHDR header = {};
    header.kennung = CDIMAGE::QMV2_KENNUNG_TAG;
    header.frameDataLength = length;
    header.frameNumber = 77;
    header.timestampSeconds = 1000;
    header.timestampMilliseconds = 250;
    header.width = 2;
    header.height = 2;
    header.scale = 0.5f;
    header.bitsPerPixel = 16;
    return header;
}

TEST(CdImage, OlderFrameBecomesAValidImage) {
    const std::vector<unsigned char> pixels = {1, 0, 2, 0, 3, 0, 4, 0};
    std::vector<unsigned char> buffer(88 + 4, 0);
    QMV2VIDHDR header = OlderHeader(8);
    header.extraHeaderBytes = 4;
    std::memcpy(buffer.data(), &header, sizeof(header));
    buffer.insert(buffer.end(), pixels.begin(), pixels.end());
    CDIMAGE image;
    ASSERT_TRUE(image.fromQMV2Frame(buffer.data()));
    const DIMAGE_FRAMEHEADER& fh = image.m_Img.frameHeader;
    EXPECT_EQ(fh.bytesPerPixel, 2);
    EXPECT_EQ(fh.effectiveBitsPerPixel, 16);
    EXPECT_EQ(fh.frameNumber, 77u);
    EXPECT_EQ(image.getTimestampMicroseconds(), 250000);
    EXPECT_EQ(image.getXScale(), 0.5f);
    EXPECT_STREQ(image.getSourceName(), "QMV2: some video source");
    EXPECT_EQ(image.getFrameBufferPointerSizeBytes(), CDIMAGE::iMAX_TRANSPORT_SIZE);
    EXPECT_EQ(std::memcmp(image.getFrameBufferPointer(), pixels.data(), 8), 0);
    EXPECT_TRUE(image.checkValidity());

    header.compressed = 1;
    header.effectiveBitsPerPixel = 12;
    CDIMAGE shared(header, buffer.data() + 92);
    EXPECT_EQ(shared.getImageFormat(), CDIMAGE::FORMAT_HUFFYUV);
    EXPECT_EQ(shared.getEffectiveBitsPerPixel(), 12);
    EXPECT_EQ(shared.getFrameBufferPointer(), buffer.data() + 92);
    EXPECT_FALSE(shared.ownsFrameBuffer());
    EXPECT_TRUE(shared.checkValidity());
}

TEST(CdImage, OlderFrameRefusals) {
    std::vector<unsigned char> pixels(8, 0);
    CDIMAGE image;
    QMV2VIDHDR header = OlderHeader(8);
    header.kennung = 0x44332211;
    EXPECT_FALSE(image.fromQMV2Frame(header, pixels.data()));
    CDIMAGE untagged(header, pixels.data());
    EXPECT_EQ(untagged.getSourceWidth(), 0);
    header = OlderHeader(CDIMAGE::iMAX_TRANSPORT_SIZE + 1u);
    EXPECT_FALSE(image.fromQMV2Frame(header, pixels.data()));
    EXPECT_FALSE(image.fromQMV2Frame(OlderHeader(8), nullptr));
    EXPECT_EQ(image.getFrameBufferPointer(), nullptr);
}

TEST(CdImage, ExpandAoiPlacesTheAreaInAZeroFrame) {
    std::vector<unsigned char> area = {1, 2, 3, 4, 5, 6, 7, 8};
    DIMAGE record = MakeRecord(CDIMAGE::FORMAT_GRAY, 8, 4, 1, area);
    record.frameHeader.aoiWidth = 4;
    record.frameHeader.aoiHeight = 2;
    record.frameHeader.xStart = 2;
    record.frameHeader.yStart = 1;
    std::vector<unsigned char> scratch(8);
    CDIMAGE image(record);
    EXPECT_FALSE(image.expandAoi(scratch.data(), scratch.size(), false));  // 8 bytes cannot hold 32
    EXPECT_EQ(image.getAppendedFrameSizeBytes(), 8);
    EXPECT_FALSE(image.expandAoi(scratch.data(), 7, true));
    ASSERT_TRUE(image.expandAoi(scratch.data(), scratch.size(), true));
    std::vector<unsigned char> expected(32, 0);
    const unsigned char rows[] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::memcpy(&expected[10], rows, 4);
    std::memcpy(&expected[18], rows + 4, 4);
    EXPECT_EQ(std::vector<unsigned char>(image.getFrameBufferPointer(), image.getFrameBufferPointer() + 32), expected);
    EXPECT_TRUE(image.ownsFrameBuffer());
    EXPECT_FALSE(image.isAoiSet());
    EXPECT_EQ(image.m_Img.sourceHeader.totalLength, 220u);
    EXPECT_TRUE(image.checkValidity());

    record.frameHeader.imageFlags = CDIMAGE::FLAG_XYSTART_ONE_BASED;
    CDIMAGE oneBased(record);
    EXPECT_FALSE(oneBased.expandAoi(scratch.data(), scratch.size(), true));
}

TEST(CdImage, FullFrameSizeIsZeroWhenItExceedsAnInt) {
    CDIMAGE image;
    image.setDimensions(65536, 65536);
    image.m_Img.frameHeader.bytesPerPixel = 1;
    EXPECT_EQ(image.getMaxRawBytes(), 0);
    image.setDimensions(INT32_MAX, INT32_MAX);
    image.m_Img.frameHeader.bytesPerPixel = 4;
    EXPECT_EQ(image.getMaxRawBytes(), 0);
    image.m_Img.frameHeader.bytesPerPixel = 1;
    image.setDimensions(640, 480);
    EXPECT_EQ(image.getMaxRawBytes(), 307200);
}

TEST(CdImage, DerivedEffectiveBitsOfANonsensicalPixelSizeSaturate) {
    CDIMAGE image;
    image.m_Img.frameHeader.effectiveBitsPerPixel = -1;
    image.m_Img.frameHeader.bytesPerPixel = 2;
    EXPECT_EQ(image.getEffectiveBitsPerPixel(), 16);
    image.m_Img.frameHeader.bytesPerPixel = INT32_MAX;
    EXPECT_EQ(image.getEffectiveBitsPerPixel(), INT32_MAX);
    image.m_Img.frameHeader.bytesPerPixel = INT32_MIN;
    EXPECT_EQ(image.getEffectiveBitsPerPixel(), INT32_MIN);
}

}  // namespace
