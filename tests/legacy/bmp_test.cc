// BMP export (names, header bytes, padding, palettes) and import (8 and 24 bits, palettes, both
// row orders, grey conversion, broken headers).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/temp_dir.h"
#include "legacy/legacy.h"
#include "legacy_fixture.h"

using qmv3test::Bytes;
using qmv3test::FileExists;
using qmv3test::ReadFileBytes;
using qmv3test::RecordGuard;
using qmv3test::TempDir;
using qmv3test::WriteFileBytes;

namespace {

// File and information header of a bitmap; rows and palette are appended by the caller.
Bytes BitmapHeader(int32_t width, int32_t height, int bits, uint32_t imageSize, uint32_t coloursUsed,
                   uint32_t pixelOffset) {
    Bytes bytes;
    bytes.U8('B').U8('M').U32(pixelOffset + imageSize).U16(0).U16(0).U32(pixelOffset);
    bytes.U32(40).U32(static_cast<uint32_t>(width)).U32(static_cast<uint32_t>(height)).U16(1).U16(bits);
    bytes.U32(0).U32(imageSize).U32(0).U32(0).U32(coloursUsed).U32(0);
    return bytes;
}

std::vector<unsigned char> PaletteEntry(const std::vector<unsigned char>& file, int index) {
    return std::vector<unsigned char>(file.begin() + 54 + 4 * index, file.begin() + 58 + 4 * index);
}

TEST(BmpExport, FileNamesFollowDigits) {
    TempDir dir;
    RecordGuard rec;
    qmv3test::FillRecord(&rec.rec, 1, 1, 8, 8, 1, {{1}, {2}, {3}}, {});
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_bmp_files(dir.file("f").c_str(), &rec.rec, 0, 2));
    EXPECT_TRUE(FileExists(dir.file("f001.bmp")));
    EXPECT_TRUE(FileExists(dir.file("f003.bmp")));
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_bmp_files(dir.file("g").c_str(), &rec.rec, 0, 0));
    EXPECT_TRUE(FileExists(dir.file("g1.bmp")));
    EXPECT_TRUE(FileExists(dir.file("g3.bmp")));
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_bmp_files(dir.file("h").c_str(), &rec.rec, 0, 3));
    EXPECT_TRUE(FileExists(dir.file("h0002.bmp")));
    // The names the export writes, for faces that rename or list them.
    const struct {
        const char* prefix;
        int number, digits;
        size_t size;
        int expect;
        const char* name;
    } names[] = {{"f", 7, 1, 16, 0, "f07.bmp"}, {"g", 123, 0, 16, 0, "g123.bmp"}, {"h", 1, 3, 10, 0, "h0001.bmp"},
                 {"h", 1, 3, 9, -1, ""}, {"h", 1, 4, 16, -1, ""}};
    for (const auto& row : names) {
        char name[16] = "";
        EXPECT_EQ(row.expect, qmGetBitmapFileName(row.prefix, row.number, row.digits, name, row.size)) << row.name;
        if (row.expect == 0) {
            EXPECT_STREQ(row.name, name);
        }
    }
}

TEST(BmpExport, HeaderBytesAndBottomUpPaddedRows) {
    TempDir dir;
    RecordGuard rec;
    qmv3test::FillRecord(&rec.rec, 3, 2, 8, 8, 6, {{1, 2, 3, 4, 5, 6}}, {});
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_bmp_files(dir.file("p").c_str(), &rec.rec, 0, 0));
    std::vector<unsigned char> file = ReadFileBytes(dir.file("p1.bmp"));
    Bytes expected = BitmapHeader(3, 2, 8, 8, 0, 1078);
    for (int i = 0; i < 256; ++i) expected.U8(i).U8(i).U8(i).U8(0);
    expected.Raw({4, 5, 6, 0, 1, 2, 3, 0});
    EXPECT_EQ(expected.data, file);
    EXPECT_EQ(1086u, file.size());
    EXPECT_EQ(file.size(), qmGetBitmapFileSize(3, 2));
    EXPECT_EQ(0u, qmGetBitmapFileSize(65536, 65536));  // beyond the header's 32-bit size field
}

TEST(BmpExport, FalseColourAndJetPalettes) {
    TempDir dir;
    RecordGuard rec;
    qmv3test::FillRecord(&rec.rec, 1, 1, 8, 8, 1, {{0}}, {});
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_bmp_files(dir.file("c").c_str(), &rec.rec, 1, 0));
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_bmp_files(dir.file("j").c_str(), &rec.rec, 2, 0));
    const std::vector<unsigned char> colour = ReadFileBytes(dir.file("c1.bmp"));
    const std::vector<unsigned char> jet = ReadFileBytes(dir.file("j1.bmp"));
    const struct {
        const std::vector<unsigned char>* file;
        int index;
        std::vector<unsigned char> blueGreenRed;
    } table[] = {
        {&colour, 0, {0, 0, 0, 0}},         {&colour, 1, {255, 0, 0, 0}},   {&colour, 86, {110, 67, 0, 0}},
        {&colour, 149, {3, 208, 0, 0}},     {&colour, 150, {0, 210, 0, 0}}, {&colour, 170, {0, 255, 0, 0}},
        {&colour, 171, {0, 0, 67, 0}},      {&colour, 200, {0, 0, 132, 0}}, {&colour, 254, {0, 0, 252, 0}},
        {&colour, 255, {255, 255, 255, 0}}, {&jet, 0, {0, 0, 0, 0}},        {&jet, 1, {135, 0, 0, 0}},
        {&jet, 32, {255, 3, 0, 0}},         {&jet, 100, {235, 255, 19, 0}}, {&jet, 224, {0, 0, 251, 0}},
        {&jet, 255, {255, 255, 255, 0}},
    };
    for (const auto& row : table) EXPECT_EQ(row.blueGreenRed, PaletteEntry(*row.file, row.index)) << row.index;
}

TEST(BmpExport, ParameterChecksInOrder) {
    TempDir dir;
    RecordGuard rec;
    qmv3test::FillRecord(&rec.rec, 1, 1, 8, 8, 5, {{0}}, {});
    const std::string prefix = dir.file("e");
    EXPECT_EQ(QMV3_LEGACY_SAVE_NO_FRAMES, save_bmp_files(prefix.c_str(), nullptr, 0, 0));
    EXPECT_EQ(QMV3_LEGACY_SAVE_INTERRUPTED, save_bmp_files(prefix.c_str(), &rec.rec, 0, 4));
    EXPECT_EQ(QMV3_LEGACY_SAVE_INTERRUPTED, save_bmp_files(prefix.c_str(), &rec.rec, 3, 0));
    EXPECT_EQ(QMV3_LEGACY_SAVE_INTERRUPTED, save_bmp_files("", &rec.rec, 0, 0));
    EXPECT_EQ(QMV3_LEGACY_SAVE_INTERRUPTED, save_bmp_files(nullptr, &rec.rec, 0, 0));
    EXPECT_EQ(QMV3_LEGACY_SAVE_BAD_TYPE, save_bmp_files(prefix.c_str(), &rec.rec, 0, 0));
    rec.rec.type = 1;
    EXPECT_EQ(QMV3_LEGACY_SAVE_INTERRUPTED, save_bmp_files((prefix + std::string(250, 'x')).c_str(), &rec.rec, 0, 0));
    rec.rec.bpp = 16;
    EXPECT_EQ(QMV3_LEGACY_SAVE_NOT_8_BIT, save_bmp_files(prefix.c_str(), &rec.rec, 0, 0));
    rec.rec.numframes = 0;
    EXPECT_EQ(QMV3_LEGACY_SAVE_NO_FRAMES, save_bmp_files(prefix.c_str(), &rec.rec, 0, 0));
    rec.rec.bpp = 8;
    rec.rec.numframes = -1;
    EXPECT_EQ(QMV3_LEGACY_SAVE_OK, save_bmp_files(prefix.c_str(), &rec.rec, 0, 0));
    rec.rec.numframes = 1;
    EXPECT_EQ(QMV3_LEGACY_SAVE_WRITE_FAILED, save_bmp_files(dir.file("no/dir/e").c_str(), &rec.rec, 0, 0));
    EXPECT_EQ(QMV3_LEGACY_SAVE_INTERRUPTED,
              vkl_internal_write_bmp_file(dir.file("z.bmp").c_str(), 1, 1, rec.rec.framebits[0], 3));
    EXPECT_FALSE(FileExists(dir.file("e1.bmp")));
}

// 16-bit values as the record holds them (host order).
std::vector<unsigned char> Wide(const std::vector<uint16_t>& values) {
    std::vector<unsigned char> bytes(2 * values.size());
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

TEST(BmpMapping, BitsOrAutomaticContrastOverAllFrames) {
    const std::vector<unsigned char> spread = [] {
        // 200 values: one outlier at each end is set aside, so 10 and 20 become 0 and 255.
        std::vector<unsigned char> v(200, 10);
        std::fill(v.begin() + 100, v.end(), 20);
        v[0] = 0, v[199] = 255, v[50] = 15;
        return v;
    }();
    struct Case {
        const char* name;
        uint32_t bpp, ebitpp, width;
        int contrast;
        std::vector<std::vector<unsigned char>> frames;
        std::vector<std::vector<unsigned char>> expected;  // the first width bytes of each frame
    } cases[] = {
        {"12 bits", 16, 12, 4, QMV3_CONTRAST_BITS, {Wide({0, 4095, 2048, 65535})}, {{0, 255, 128, 255}}},
        {"8 bits, ebitpp 0", 8, 0, 3, QMV3_CONTRAST_BITS, {{0, 7, 255}}, {{0, 7, 255}}},
        {"outliers set aside", 8, 8, 200, QMV3_CONTRAST_AUTOMATIC, {spread}, {[&] {
             std::vector<unsigned char> v(200, 0);
             std::fill(v.begin() + 100, v.end(), 255);
             v[50] = 128;
             return v;
         }()}},
        {"frames together", 16, 16, 2, QMV3_CONTRAST_AUTOMATIC, {Wide({300, 300}), Wide({900, 900})},
         {{0, 0}, {255, 255}}},
        {"flat frame", 16, 12, 2, QMV3_CONTRAST_AUTOMATIC, {Wide({7, 7})}, {{0, 0}}},
    };
    for (const Case& c : cases) {
        RecordGuard rec;
        qmv3test::FillRecord(&rec.rec, c.width, 1, c.bpp, c.ebitpp, 1, c.frames, {});
        ASSERT_EQ(QMV3_MAP_OK, qmMapFramesTo8Bits(&rec.rec, c.contrast)) << c.name;
        EXPECT_EQ(8u, rec.rec.bpp) << c.name;
        for (size_t f = 0; f < c.expected.size(); ++f)
            EXPECT_EQ(c.expected[f], std::vector<unsigned char>(rec.rec.framebits[f], rec.rec.framebits[f] + c.width))
                << c.name << " frame " << f;
    }
}

TEST(BmpMapping, RefusalsLeaveTheRecordAndCodesHaveTexts) {
    RecordGuard rec;
    qmv3test::FillRecord(&rec.rec, 1, 1, 32, 32, 1, {{1, 2, 3, 4}}, {});
    EXPECT_EQ(QMV3_MAP_REFUSED, qmMapFramesTo8Bits(&rec.rec, QMV3_CONTRAST_BITS));
    EXPECT_EQ(32u, rec.rec.bpp);
    rec.rec.bpp = 8;
    EXPECT_EQ(QMV3_MAP_REFUSED, qmMapFramesTo8Bits(&rec.rec, 2));
    EXPECT_EQ(QMV3_MAP_REFUSED, qmMapFramesTo8Bits(nullptr, QMV3_CONTRAST_BITS));
    EXPECT_STREQ("the frames do not have 8 bits per pixel", qmGetBitmapSaveText(QMV3_LEGACY_SAVE_NOT_8_BIT));
    EXPECT_STREQ("the prefix is empty or too long", qmGetBitmapSaveText(QMV3_BMP_PARAMETER_ERROR));
    EXPECT_STREQ("export failed", qmGetBitmapSaveText(QMV3_LEGACY_SAVE_OK));
}

TEST(BmpImport, TwentyFourBitGreyConversion) {
    TempDir dir;
    Bytes file = BitmapHeader(5, 1, 24, 16, 0, 54);
    for (int value : {255, 254, 3, 2, 1}) file.U8(value).U8(value).U8(value);
    file.U8(0);
    WriteFileBytes(dir.file("g.bmp"), file.data);
    RecordGuard rec;
    ASSERT_EQ(QMV3_LEGACY_LOAD_OK, load_file(0, dir.file("g.bmp").c_str(), &rec.rec));
    EXPECT_EQ(6, rec.rec.type);
    EXPECT_EQ(8u, rec.rec.bpp);
    EXPECT_EQ(1.0, rec.rec.framescales[0]);
    EXPECT_EQ((std::vector<unsigned char>{255, 253, 3, 1, 0}), qmv3test::Frame(rec.rec, 0));
}

TEST(BmpImport, ShortPaletteLeavesMagentaAndFlagTakesIndices) {
    TempDir dir;
    Bytes file = BitmapHeader(2, 1, 8, 4, 16, 54 + 64);
    for (int i = 0; i < 16; ++i) file.U8(i * 10).U8(i * 10).U8(i * 10).U8(0);
    file.Raw({200, 3, 0, 0});
    WriteFileBytes(dir.file("p.bmp"), file.data);
    RecordGuard coloured;
    ASSERT_EQ(QMV3_LEGACY_LOAD_OK, load_bmp_file(dir.file("p.bmp").c_str(), &coloured.rec, 0));
    EXPECT_EQ((std::vector<unsigned char>{105, 30}), qmv3test::Frame(coloured.rec, 0));
    RecordGuard indices;
    ASSERT_EQ(QMV3_LEGACY_LOAD_OK, load_bmp_file(dir.file("p.bmp").c_str(), &indices.rec, 1));
    EXPECT_EQ((std::vector<unsigned char>{200, 3}), qmv3test::Frame(indices.rec, 0));
}

TEST(BmpImport, BottomUpAndTopDownGiveTheSameFrame) {
    TempDir dir;
    Bytes bottomUp = BitmapHeader(1, 2, 8, 8, 0, 54);
    bottomUp.Raw({20, 0, 0, 0, 10, 0, 0, 0});
    Bytes topDown = BitmapHeader(1, -2, 8, 8, 0, 54);
    topDown.Raw({10, 0, 0, 0, 20, 0, 0, 0});
    WriteFileBytes(dir.file("b.bmp"), bottomUp.data);
    WriteFileBytes(dir.file("t.bmp"), topDown.data);
    RecordGuard a, b;
    ASSERT_EQ(QMV3_LEGACY_LOAD_OK, load_bmp_file(dir.file("b.bmp").c_str(), &a.rec, 1));
    ASSERT_EQ(QMV3_LEGACY_LOAD_OK, load_bmp_file(dir.file("t.bmp").c_str(), &b.rec, 1));
    EXPECT_EQ((std::vector<unsigned char>{10, 20}), qmv3test::Frame(a.rec, 0));
    EXPECT_EQ(qmv3test::Frame(a.rec, 0), qmv3test::Frame(b.rec, 0));
    EXPECT_EQ(2u, b.rec.height);
}

TEST(BmpImport, ExportedFrameReadsBackThroughIndices) {
    TempDir dir;
    RecordGuard source;
    qmv3test::FillRecord(&source.rec, 3, 3, 8, 8, 1, {{1, 2, 3, 4, 5, 6, 7, 8, 9}}, {});
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_bmp_files(dir.file("r").c_str(), &source.rec, 1, 0));
    RecordGuard loaded;
    ASSERT_EQ(QMV3_LEGACY_LOAD_OK, load_bmp_file(dir.file("r1.bmp").c_str(), &loaded.rec, 1));
    EXPECT_EQ(qmv3test::Frame(source.rec, 0), qmv3test::Frame(loaded.rec, 0));
}

TEST(BmpImport, BrokenFilesGiveTheirCodes) {
    auto header = [](int32_t width, int32_t height, int bits, uint32_t imageSize) {
        return BitmapHeader(width, height, bits, imageSize, 0, 54);
    };
    Bytes wrongSignature = header(1, 1, 24, 4).Raw({1, 2, 3, 0});
    wrongSignature.data[1] = 'X';
    Bytes compressed = header(1, 1, 24, 4).Raw({1, 2, 3, 0});
    compressed.data[30] = 1;
    Bytes planes = header(1, 1, 24, 4).Raw({1, 2, 3, 0});
    planes.data[26] = 2;
    const struct {
        const char* name;
        std::vector<unsigned char> bytes;
        int code;
    } cases[] = {
        {"signature", wrongSignature.data, -4},
        {"compression", compressed.data, -8},
        {"planes", planes.data, -4},
        {"16 bits", header(1, 1, 16, 4).Raw({1, 2, 0, 0}).data, -8},
        {"width 0", header(0, 1, 24, 4).Raw({1, 2, 3, 0}).data, -4},
        {"height 0", header(1, 0, 24, 4).Raw({1, 2, 3, 0}).data, -4},
        {"image size 0", header(1, 1, 24, 0).Raw({1, 2, 3, 0}).data, -5},
        {"rows exceed image size", header(1, 2, 24, 4).Raw({1, 2, 3, 0, 1, 2, 3, 0}).data, -4},
        {"image size beyond file", header(1, 1, 24, 4000000000u).Raw({1, 2, 3, 0}).data, -5},
        {"short information header", Bytes().U8('B').U8('M').U32(0).U32(0).U32(54).U32(40).data, -5},
    };
    TempDir dir;
    for (const auto& c : cases) {
        WriteFileBytes(dir.file("x.bmp"), c.bytes);
        RecordGuard rec;
        EXPECT_EQ(c.code, load_bmp_file(dir.file("x.bmp").c_str(), &rec.rec, 0)) << c.name;
        EXPECT_EQ(nullptr, rec.rec.framebits) << c.name;
    }
    RecordGuard rec;
    EXPECT_EQ(QMV3_LEGACY_LOAD_NULL_ARGUMENT, load_bmp_file(nullptr, &rec.rec, 0));
    EXPECT_EQ(QMV3_LEGACY_LOAD_NULL_ARGUMENT, load_bmp_file(dir.file("x.bmp").c_str(), nullptr, 0));
    EXPECT_EQ(QMV3_LEGACY_LOAD_OPEN_FAILED, load_bmp_file(dir.file("none.bmp").c_str(), &rec.rec, 0));
}

TEST(BmpImport, TracesEveryStepAtLogLevelTwo) {
    setenv("ORSEL_CLIENTLIB_LOGLEVEL", "2", 1);
    qmSetVerbose(1);
    TempDir dir;
    RecordGuard source;
    qmv3test::FillRecord(&source.rec, 1, 1, 8, 8, 1, {{9}}, {});
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_bmp_files(dir.file("t").c_str(), &source.rec, 0, 0));
    RecordGuard loaded;
    qmv3test::StreamCapture capture(2);
    ASSERT_EQ(QMV3_LEGACY_LOAD_OK, load_bmp_file(dir.file("t1.bmp").c_str(), &loaded.rec, 0));
    const std::string log = capture.End();
    size_t position = 0;
    for (int step = 1; step <= 10; ++step) {
        const std::string line = "v2videofileload load_bmp_file #" + std::to_string(step) + ".";
        position = log.find(line, position);
        ASSERT_NE(std::string::npos, position) << line << " in " << log;
    }
}

}  // namespace
