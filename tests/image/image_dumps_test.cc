// Dumps of the header and the frame: the exact texts, the hex-dump layout and the IMM frame record.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "image/cdimage.h"
#include "image_fixture.h"

namespace {

using imagetest::MakeRecord;
using Bytes = std::vector<unsigned char>;

// A stream into memory; Text() closes it unless the dump did so already.
class MemoryStream {
  public:
    MemoryStream() : stream_(open_memstream(&data_, &size_)) {}
    ~MemoryStream() {
        if (stream_ != nullptr) std::fclose(stream_);
        std::free(data_);
    }
    FILE* get() { return stream_; }
    std::string Text(bool closedByDump = false) {
        if (!closedByDump) std::fclose(stream_);
        stream_ = nullptr;
        return std::string(data_, size_);
    }

  private:
    char* data_ = nullptr;
    size_t size_ = 0;
    FILE* stream_;
};

const char kHeaderText[] =
    "Information of qmv3 image header\n"
    "================================\n\n"
    " Image.sourceHeader\n"
    "   baseTag='QMV3' (33564d51h)\n"
    "   cameraPortId=3\n"
    "   versionTag=1\n"
    "   totalLength=200 (bytes)\n"
    "   timestampSeconds=1700000000 (sec since epoch)\n"
    "   timestampMicroseconds=123456 (usec offset, 0 <= value < 1.000.000)\n"
    "    = human readable timestamp: [14.11.23 22:13:20:123 LTM]\n"
    "   cameraPortName\n"
    "    =\"cam0\"\n"
    "\n Image.frameHeader\n"
    "   sourceWidth  = 4 (pixels)\n"
    "   sourceHeight = 3 (pixels)\n"
    "   aoiWidth     = -1 (pixels)\n"
    "   aoiHeight    = -1 (pixels)\n"
    "   xStart = 0 (offset in pixels, see flags!)\n"
    "   yStart = 0 (offset in pixels, see flags!)\n"
    "   bytesPerPixel = 1 (bytes)\n"
    "   effectiveBPP = -1 (bits per pixel)\n"
    "   horizontalBinning = 2 (2 to 1 pixel merged)\n"
    "   verticalBinning = 0 (0 to 1 pixel merged)\n"
    "   sourceFormat = 5\n"
    "    (=JPEG)\n"
    "   imageFormat = 0\n"
    "    (=GRAY)\n\n"
    "   frameNumber = 7\n"
    "   eventNumber = 8\n"
    "   xScale = 0.250000 (millimetre per pixel (mm/px))\n"
    "   yScale = -1.000000 (millimetre per pixel (mm/px))\n"
    "   imageRotation = 0.000000 (degrees, +CW -CCW)\n"
    "   scale_x_offset = -1.000000\n"
    "   scale_y_offset = -1.000000\n"
    "   fspare3 = -1.000000\n"
    "   imageFlags = 0h\n"
    "    (=BIG_ENDIAN LOSSLESS_BIT_NOT_SET XYSTART_ZERO_BASED LOCAL_TIMESTAMP)\n"
    "   ispare1 = -1\n"
    "   ispare2 = -1\n"
    "   ispare3 = -1\n"
    "   appendedFrameSize = 12 (bytes)\n";

TEST(ImageDumps, HeaderTextLineByLine) {
    setenv("TZ", "UTC", 1);
    tzset();
    Bytes bytes(12, 0);
    CDIMAGE image(MakeRecord(CDIMAGE::FORMAT_GRAY, 4, 3, 1, bytes));
    image.setSource(3, "cam0");
    image.setTimestamp(1700000000u, 123456);
    image.setBinning(2, 0);
    image.setSourceFormat(CDIMAGE::FORMAT_JPEG);
    image.m_Img.frameHeader.frameNumber = 7;
    image.m_Img.frameHeader.eventNumber = 8;
    image.setXScale(0.25f);
    MemoryStream headers;
    ASSERT_TRUE(image.putHeadersToText(headers.get(), true));
    EXPECT_EQ(headers.Text(), kHeaderText);

    MemoryStream all;
    ASSERT_TRUE(image.putHeadersToText(all.get(), false));
    char pointer[64];
    std::snprintf(pointer, sizeof(pointer), "%016llx",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(bytes.data())));
    EXPECT_EQ(all.Text(), std::string(kHeaderText) + "\n Image.frameBufferSize=12 (bytes)\n Image.frameBuffer=0x" +
                              pointer + " (memory location ptr)\n");
    EXPECT_FALSE(image.putHeadersToText(nullptr, true));

    // The export gives the same text, with the port name escaped when asked for, whole or cut.
    char text[sizeof kHeaderText + 16];
    const int length = static_cast<int>(sizeof kHeaderText) - 1;
    EXPECT_EQ(length, qmGetImageHeaderText(&image.m_Img, 0, text, sizeof text));
    EXPECT_EQ(std::string(kHeaderText), text);
    EXPECT_EQ(length, qmGetImageHeaderText(&image.m_Img, 0, text, 8));
    EXPECT_STREQ("Informa", text);
    std::strcpy(image.m_Img.sourceHeader.cameraPortName, "c\n\x1b");
    ASSERT_EQ(length + 3, qmGetImageHeaderText(&image.m_Img, QMV3_HEADER_TEXT_ESCAPED, text, sizeof text));
    EXPECT_NE(nullptr, std::strstr(text, "    =\"c\\n\\x1b\"\n"));
    EXPECT_EQ(-1, qmGetImageHeaderText(&image.m_Img, 0x4, text, sizeof text));
    EXPECT_EQ(-1, qmGetImageHeaderText(nullptr, 0, text, sizeof text));
}

TEST(ImageDumps, EscapedTextsCannotForgeLinesOrDriveATerminal) {
    const struct {
        const char* text;
        size_t size;
        const char* escaped;
    } cases[] = {
        {"plain \xc3\xa9t\xc3\xa9", 64, "plain \xc3\xa9t\xc3\xa9"},  // valid UTF-8 stays
        {"a\nb\\c\x1b[31m", 64, "a\\nb\\\\c\\x1b[31m"},
        {"\xff\xc2\x85|\xe0\x80\x80", 64, "\\xff\\xc2\\x85|\\xe0\\x80\\x80"},  // no UTF-8, a C1 control, overlong
        {"cut here", 3, "cut"},
    };
    for (const auto& c : cases) {
        char escaped[64];
        EXPECT_EQ(static_cast<int>(std::strlen(c.escaped)), qmEscapeText(c.text, c.size, escaped, sizeof escaped));
        EXPECT_STREQ(c.escaped, escaped);
    }
    EXPECT_EQ(-1, qmEscapeText(nullptr, 4, nullptr, 0));
}

TEST(ImageDumps, HeaderHexDumpHasElevenFullLinesAndAPartialOne) {
    CDIMAGE image;
    image.m_Img.sourceHeader.timestampSeconds = 0;
    MemoryStream stream;
    ASSERT_TRUE(image.putHeadersToHexDumpText(stream.get()));
    const std::string text = stream.Text();
    char exported[1024];
    EXPECT_EQ(static_cast<int>(text.size()), qmGetImageHeaderText(&image.m_Img, QMV3_HEADER_TEXT_HEX, exported, 1024));
    EXPECT_EQ(text, exported);
    const std::string intro =
        "Information of qmv3 header bits (binary dump)\n"
        "=============================================\n\n"
        "Contents: 188 (bytes)\n\n--\n\n";
    ASSERT_EQ(text.substr(0, intro.size()), intro);
    const std::string firstLine = "     1:.51.4d.56.33.00.00.00.00.01.00.00.00.bc.00.00.00 QMV3............\n";
    EXPECT_EQ(text.substr(intro.size(), firstLine.size()), firstLine);
    const char* labels[] = {"    10:", "    20:", "    30:", "    40:", "    50:", "    60:",
                            "    70:", "    80:", "    90:", "    A0:", "    B0:"};
    size_t at = intro.size() + firstLine.size();
    for (const char* label : labels) {
        ASSERT_EQ(text.substr(at, 7), label);
        at = text.find('\n', at);
        if (std::string(label) == "    B0:") break;
        ASSERT_NE(at, std::string::npos);
        ++at;
    }
    EXPECT_EQ(at, std::string::npos);  // the last line has no line break
    EXPECT_EQ(text.size() - text.rfind("    B0:"), 7u + 12 * 3);
}

TEST(ImageDumps, FrameHexDumpClosesTheStream) {
    Bytes bytes = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P', 0, 1, 2, 127};
    CDIMAGE image;
    ASSERT_TRUE(image.appendRawBuffer(CDIMAGE::FORMAT_JPEG, bytes.data(), bytes.size(), bytes.size()));
    MemoryStream stream;
    ASSERT_TRUE(image.dumpFrameBitsAsHexDump(stream.get()));
    EXPECT_EQ(stream.Text(true),
              "Information of qmv3 frame buffer bits\n=====================================\n\n"
              "Contents: 20 bytes (is: appendedFrameSize)\n\n--\n\n"
              "     1:.41.42.43.44.45.46.47.48.49.4a.4b.4c.4d.4e.4f.50 ABCDEFGHIJKLMNOP\n"
              "    10:.00.01.02.7f");

    image.setAppendedFrameSizeBytes(3);
    MemoryStream shortFrame;
    ASSERT_TRUE(image.dumpFrameBitsAsHexDump(shortFrame.get()));
    const std::string text = shortFrame.Text(true);
    EXPECT_EQ(text.substr(text.size() - 16), "     1:.41.42.43");
}

// Only a dump that has begun closes the stream: an unmet precondition leaves it to the caller.
TEST(ImageDumps, FrameHexDumpLeavesTheStreamOpenWhenRefused) {
    Bytes bytes = {1, 2, 3};
    CDIMAGE image;
    ASSERT_TRUE(image.appendRawBuffer(CDIMAGE::FORMAT_JPEG, bytes.data(), bytes.size(), bytes.size()));
    for (int32_t appended : {0, 4}) {  // nothing appended, more appended than the buffer holds
        image.setAppendedFrameSizeBytes(appended);
        MemoryStream stream;
        EXPECT_FALSE(image.dumpFrameBitsAsHexDump(stream.get()));
        EXPECT_GT(std::fprintf(stream.get(), "still open"), 0);
        EXPECT_EQ(stream.Text(), "still open");
    }
}

TEST(ImageDumps, BinaryDumpWritesTheFrameBytes) {
    Bytes bytes = {9, 0, 255, 4};
    CDIMAGE image;
    ASSERT_TRUE(image.appendRawBuffer(CDIMAGE::FORMAT_BMP, bytes.data(), 3, bytes.size()));
    MemoryStream stream;
    ASSERT_TRUE(image.dumpFrameBitsAsBinary(stream.get()));
    EXPECT_EQ(stream.Text(), std::string("\x09\x00\xff", 3));
    CDIMAGE empty;
    MemoryStream none;
    EXPECT_FALSE(empty.dumpFrameBitsAsBinary(none.get()));
}

std::vector<uint16_t> ImmWords(const std::string& record) {
    std::vector<uint16_t> words(4);
    for (int i = 0; i < 4; ++i) {
        words[i] = static_cast<uint16_t>(static_cast<unsigned char>(record[2 * i]) |
                                         static_cast<unsigned char>(record[2 * i + 1]) << 8);
    }
    return words;
}

double ImmScale(const std::string& record) {
    double scale;
    std::memcpy(&scale, record.data() + record.size() - 8, sizeof(scale));
    return scale;
}

TEST(ImageDumps, ImmFrameRecord) {
    Bytes large(640 * 480, 7);
    CDIMAGE image(MakeRecord(CDIMAGE::FORMAT_GRAY, 640, 480, 1, large));
    image.setXYScale(0.25f);
    MemoryStream eight;
    ASSERT_TRUE(image.dumpFrameBitsAsIMM(eight.get()));
    std::string record = eight.Text();
    ASSERT_EQ(record.size(), 307216u);
    EXPECT_EQ(ImmWords(record), (std::vector<uint16_t>{640, 0, 480, 0}));
    EXPECT_EQ(record[8], 7);
    EXPECT_EQ(ImmScale(record), 0.25);

    Bytes words = imagetest::Words({4095, 1});
    DIMAGE deepRecord = MakeRecord(CDIMAGE::FORMAT_GRAY, 2, 1, 2, words);
    deepRecord.frameHeader.effectiveBitsPerPixel = 12;
    deepRecord.frameHeader.xScale = 0.25f;
    deepRecord.frameHeader.yScale = 0.5f;
    CDIMAGE deep(deepRecord);
    MemoryStream twelve;
    ASSERT_TRUE(deep.dumpFrameBitsAsIMM(twelve.get()));
    record = twelve.Text();
    ASSERT_EQ(record.size(), 20u);
    EXPECT_EQ(ImmWords(record), (std::vector<uint16_t>{2, 16, 1, 12}));
    EXPECT_EQ(ImmScale(record), 1.0);
}

TEST(ImageDumps, ImmRefusesWhatTheFileCannotHold) {
    Bytes rgb(6, 0);
    CDIMAGE colour(MakeRecord(CDIMAGE::FORMAT_RGB, 2, 1, 3, rgb));
    Bytes jpegBytes(10, 0);
    CDIMAGE jpeg(MakeRecord(CDIMAGE::FORMAT_JPEG, 2, 1, 1, jpegBytes));
    Bytes wide(65536, 0);
    CDIMAGE tooWide(MakeRecord(CDIMAGE::FORMAT_GRAY, 65536, 1, 1, wide));
    for (CDIMAGE* image : {&colour, &jpeg, &tooWide}) {
        MemoryStream stream;
        EXPECT_FALSE(image->dumpFrameBitsAsIMM(stream.get()));
        EXPECT_EQ(stream.Text(), "");
    }
}

}  // namespace
