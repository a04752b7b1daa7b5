// IMM, BKG, IMC and BKC files: exact bytes written, round trips, and hand-made broken files.
#include <gtest/gtest.h>
#include <zlib.h>

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

std::vector<unsigned char> Zlib(const std::vector<unsigned char>& data) {
    uLongf size = compressBound(data.size());
    std::vector<unsigned char> out(size);
    EXPECT_EQ(Z_OK, compress(out.data(), &size, data.data(), data.size()));
    out.resize(size);
    return out;
}

Bytes ImcFrame(double scale, const std::vector<unsigned char>& pixels) {
    std::vector<unsigned char> stream = Zlib(pixels);
    Bytes frame;
    frame.Double(scale).U32(static_cast<uint32_t>(stream.size())).U32(static_cast<uint32_t>(pixels.size()));
    return frame.Raw(stream);
}

uint32_t GetU32Le(const std::vector<unsigned char>& bytes, size_t offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
           static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

void ExpectEmpty(const VIDINFHDR& rec) {
    EXPECT_EQ(-1, rec.type);
    EXPECT_EQ(nullptr, rec.framebits);
    EXPECT_EQ(nullptr, rec.framescales);
}

TEST(ImmFile, EightBitFramesWrittenExactlyAndReadBackWithEffectiveBitsEight) {
    TempDir dir;
    RecordGuard source;
    qmv3test::FillRecord(&source.rec, 2, 2, 8, 6, 1, {{1, 2, 3, 4}, {5, 6, 7, 8}}, {0.5, 2.0});
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_imm_file(dir.file("a.imm").c_str(), &source.rec));
    Bytes expected;
    expected.U32(2).U32(2).Raw({1, 2, 3, 4}).Double(0.5).U32(2).U32(2).Raw({5, 6, 7, 8}).Double(2.0);
    EXPECT_EQ(expected.data, ReadFileBytes(dir.file("a.imm")));

    RecordGuard loaded;
    ASSERT_EQ(QMV3_LEGACY_LOAD_OK, load_imm_file(dir.file("a.imm").c_str(), &loaded.rec));
    EXPECT_EQ(1, loaded.rec.type);
    EXPECT_EQ(2, loaded.rec.numframes);
    EXPECT_EQ(8u, loaded.rec.bpp);
    EXPECT_EQ(8u, loaded.rec.ebitpp);
    EXPECT_EQ(0.5, loaded.rec.scale);
    EXPECT_EQ(2.0, loaded.rec.framescales[1]);
    EXPECT_EQ((std::vector<unsigned char>{5, 6, 7, 8}), qmv3test::Frame(loaded.rec, 1));
}

TEST(ImmFile, SixteenBitHeaderCarriesBitsAndEffectiveBits) {
    TempDir dir;
    RecordGuard source;
    qmv3test::FillRecord(&source.rec, 3, 1, 16, 12, 2, {{1, 0, 2, 0, 3, 0}}, {1.25});
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_imm_file(dir.file("b.imm").c_str(), &source.rec));
    Bytes expected;
    expected.U32(3 | 16 << 16).U32(1 | 12 << 16).Raw({1, 0, 2, 0, 3, 0}).Double(1.25);
    EXPECT_EQ(expected.data, ReadFileBytes(dir.file("b.imm")));
    RecordGuard loaded;
    ASSERT_EQ(QMV3_LEGACY_LOAD_OK, load_file(0, dir.file("b.imm").c_str(), &loaded.rec));
    EXPECT_EQ(16u, loaded.rec.bpp);
    EXPECT_EQ(12u, loaded.rec.ebitpp);
}

TEST(ImmFile, TrailingBytesIgnoredAndShortOrMixedFilesRefused) {
    TempDir dir;
    Bytes frame;
    frame.U32(2).U32(1).Raw({9, 8}).Double(3.0);
    Bytes trailing = frame;
    trailing.Raw(frame.data).Raw({1, 2, 3});
    WriteFileBytes(dir.file("t.imm"), trailing.data);
    RecordGuard loaded;
    ASSERT_EQ(QMV3_LEGACY_LOAD_OK, load_imm_file(dir.file("t.imm").c_str(), &loaded.rec));
    EXPECT_EQ(2, loaded.rec.numframes);

    std::vector<unsigned char> shortFile(frame.data.begin(), frame.data.end() - 1);
    WriteFileBytes(dir.file("s.imm"), shortFile);
    RecordGuard empty;
    EXPECT_EQ(QMV3_LEGACY_LOAD_BAD_CONTENT, load_imm_file(dir.file("s.imm").c_str(), &empty.rec));

    Bytes mixed = frame;
    mixed.U32(1).U32(2).Raw({9, 8}).Double(3.0);
    WriteFileBytes(dir.file("m.imm"), mixed.data);
    EXPECT_EQ(QMV3_LEGACY_LOAD_BAD_CONTENT, load_imm_file(dir.file("m.imm").c_str(), &empty.rec));
    ExpectEmpty(empty.rec);

    WriteFileBytes(dir.file("h.imm"), {1, 2, 3});
    EXPECT_EQ(QMV3_LEGACY_LOAD_SHORT_READ, load_imm_file(dir.file("h.imm").c_str(), &empty.rec));
    EXPECT_EQ(QMV3_LEGACY_LOAD_OPEN_FAILED, load_imm_file(dir.file("missing.imm").c_str(), &empty.rec));
    ExpectEmpty(empty.rec);
}

TEST(ImmFile, ZeroOrOverflowingFrameSizeIsRefused) {
    TempDir dir;
    RecordGuard rec;
    Bytes zero;
    zero.U32(0).U32(5).Double(1.0).U32(0).U32(5).Double(1.0);
    WriteFileBytes(dir.file("z.imm"), zero.data);
    EXPECT_EQ(QMV3_LEGACY_LOAD_BAD_CONTENT, load_imm_file(dir.file("z.imm").c_str(), &rec.rec));
    Bytes huge;  // 65535 x 65535 pixels of 255 bits do not fit 32 bits
    huge.U32(0xFFFF | 0xFF << 16).U32(0xFFFF).Double(1.0);
    WriteFileBytes(dir.file("o.imm"), huge.data);
    EXPECT_EQ(QMV3_LEGACY_LOAD_BAD_CONTENT, load_imm_file(dir.file("o.imm").c_str(), &rec.rec));
    ExpectEmpty(rec.rec);
}

TEST(ImmFile, CancelledLoadAndSaveLeaveNothing) {
    TempDir dir;
    RecordGuard source;
    qmv3test::FillRecord(&source.rec, 1, 1, 8, 8, 1, {{1}, {2}, {3}}, {});
    int cancel = 1;
    double progress = -1.0;
    EXPECT_EQ(QMV3_LEGACY_SAVE_INTERRUPTED,
              save_imm_fileEx(dir.file("c.imm").c_str(), &source.rec, &cancel, &progress));
    EXPECT_FALSE(FileExists(dir.file("c.imm")));
    EXPECT_EQ(0.0, progress);
    cancel = 0;
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_imm_fileEx(dir.file("c.imm").c_str(), &source.rec, &cancel, &progress));
    EXPECT_EQ(1.0, progress);
    RecordGuard loaded;
    cancel = 1;
    EXPECT_EQ(QMV3_LEGACY_LOAD_INTERRUPTED,
              _internal_load_imm_file(dir.file("c.imm").c_str(), &loaded.rec, &cancel, nullptr, 1.0));
    ExpectEmpty(loaded.rec);
    cancel = 0;
    ASSERT_EQ(QMV3_LEGACY_LOAD_OK,
              _internal_load_imm_file(dir.file("c.imm").c_str(), &loaded.rec, &cancel, &progress, 0.5));
    EXPECT_EQ(0.5, progress);
}

TEST(ImmFile, SaverRefusesRecordsItCannotStore) {
    TempDir dir;
    RecordGuard rec;
    EXPECT_EQ(QMV3_LEGACY_SAVE_NO_FRAMES, save_imm_file(dir.file("x.imm").c_str(), nullptr));
    qmv3test::FillRecord(&rec.rec, 1, 1, 8, 8, 5, {{1}}, {});
    EXPECT_EQ(QMV3_LEGACY_SAVE_BAD_TYPE, save_imm_file(dir.file("x.imm").c_str(), &rec.rec));
    rec.rec.type = 1;
    rec.rec.width = 70000;  // the header word holds 16 bits of width
    EXPECT_EQ(QMV3_LEGACY_SAVE_NO_FRAMES, save_imm_file(dir.file("x.imm").c_str(), &rec.rec));
    rec.rec.width = 1;
    EXPECT_EQ(QMV3_LEGACY_SAVE_CREATE_FAILED, save_imm_file(dir.file("no/such/dir.imm").c_str(), &rec.rec));
    EXPECT_FALSE(FileExists(dir.file("x.imm")));
}

TEST(BkgFile, OneFrameWrittenExactlyAndReadBackWithScaleOne) {
    TempDir dir;
    RecordGuard source;
    qmv3test::FillRecord(&source.rec, 2, 1, 8, 6, 3, {{7, 9}}, {4.0});
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_bkg_file(dir.file("a.bkg").c_str(), &source.rec));
    Bytes expected;
    expected.U32(2).U32(1).Raw({7, 9});
    EXPECT_EQ(expected.data, ReadFileBytes(dir.file("a.bkg")));
    RecordGuard loaded;
    ASSERT_EQ(QMV3_LEGACY_LOAD_OK, load_bkg_file(dir.file("a.bkg").c_str(), &loaded.rec));
    EXPECT_EQ(3, loaded.rec.type);
    EXPECT_EQ(1.0, loaded.rec.scale);
    EXPECT_EQ(8u, loaded.rec.ebitpp);
    EXPECT_EQ((std::vector<unsigned char>{7, 9}), qmv3test::Frame(loaded.rec, 0));
}

TEST(BkgFile, SaverNeedsExactlyOneFrame) {
    TempDir dir;
    RecordGuard rec;
    qmv3test::FillRecord(&rec.rec, 1, 1, 8, 8, 1, {{1}, {2}}, {});
    EXPECT_EQ(QMV3_LEGACY_SAVE_FRAME_COUNT, save_bkg_file(dir.file("a.bkg").c_str(), &rec.rec));
    EXPECT_EQ(QMV3_LEGACY_SAVE_FRAME_COUNT, save_file(3, dir.file("a.bkg").c_str(), &rec.rec));
    EXPECT_FALSE(FileExists(dir.file("a.bkg")));
}

TEST(BkgFile, TruncatedOrHugeFramesFailBeforeAllocation) {
    TempDir dir;
    RecordGuard rec;
    Bytes truncated;
    truncated.U32(4).U32(1).Raw({1, 2, 3});
    WriteFileBytes(dir.file("t.bkg"), truncated.data);
    EXPECT_EQ(QMV3_LEGACY_LOAD_SHORT_READ, load_bkg_file(dir.file("t.bkg").c_str(), &rec.rec));
    Bytes huge;  // announces 65535 x 65535 bytes in a 20-byte file
    huge.U32(0xFFFF).U32(0xFFFF).U32(0).U32(0).U32(0);
    WriteFileBytes(dir.file("h.bkg"), huge.data);
    EXPECT_EQ(QMV3_LEGACY_LOAD_SHORT_READ, load_bkg_file(dir.file("h.bkg").c_str(), &rec.rec));
    ExpectEmpty(rec.rec);
}

TEST(BkgFile, ArbitraryFrameCountLoadsRepeatedFrames) {
    TempDir dir;
    Bytes file;
    file.U32(2).U32(1).Raw({1, 2}).U32(2).U32(1).Raw({3, 4}).U8(0);
    WriteFileBytes(dir.file("a.bkg"), file.data);
    RecordGuard rec;
    rec.rec.ebitpp = 77;
    ASSERT_EQ(QMV3_LEGACY_LOAD_OK, load_bkg_file_arb(dir.file("a.bkg").c_str(), &rec.rec));
    EXPECT_EQ(2, rec.rec.numframes);
    EXPECT_EQ(4, rec.rec.type);
    EXPECT_EQ(77u, rec.rec.ebitpp);
    EXPECT_EQ((std::vector<unsigned char>{3, 4}), qmv3test::Frame(rec.rec, 1));

    Bytes mixed;
    mixed.U32(2).U32(1).Raw({1, 2}).U32(2).U32(2).Raw({3, 4});
    WriteFileBytes(dir.file("m.bkg"), mixed.data);
    RecordGuard other;
    EXPECT_EQ(QMV3_LEGACY_LOAD_BAD_CONTENT, load_bkg_file_arb(dir.file("m.bkg").c_str(), &other.rec));
    ExpectEmpty(other.rec);
    WriteFileBytes(dir.file("s.bkg"), Bytes().U32(200).U32(1).data);
    EXPECT_EQ(QMV3_LEGACY_LOAD_BAD_CONTENT, load_bkg_file_arb(dir.file("s.bkg").c_str(), &other.rec));
}

TEST(ImcFile, HeaderFramesAndZlibStreamsExact) {
    TempDir dir;
    RecordGuard source;
    std::vector<unsigned char> a = {0, 1, 0, 2, 0, 3, 0, 4}, b = {9, 9, 9, 9, 9, 9, 9, 9};
    qmv3test::FillRecord(&source.rec, 2, 2, 16, 12, 2, {a, b}, {0.25, 0.75});
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_imc_file(dir.file("a.imc").c_str(), &source.rec));
    Bytes expected;
    expected.U32(2).U32(2).U32(16 + (12 << 16)).U32(2);
    expected.Raw(ImcFrame(0.25, a).data).Raw(ImcFrame(0.75, b).data);
    EXPECT_EQ(expected.data, ReadFileBytes(dir.file("a.imc")));
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_bkc_file(dir.file("a.bkc").c_str(), &source.rec));
    EXPECT_EQ(expected.data, ReadFileBytes(dir.file("a.bkc")));

    RecordGuard loaded;
    ASSERT_EQ(QMV3_LEGACY_LOAD_OK, load_bkc_file(dir.file("a.bkc").c_str(), &loaded.rec));
    EXPECT_EQ(4, loaded.rec.type);
    EXPECT_EQ(16u, loaded.rec.bpp);
    EXPECT_EQ(12u, loaded.rec.ebitpp);
    EXPECT_EQ(0.25, loaded.rec.scale);
    EXPECT_EQ(b, qmv3test::Frame(loaded.rec, 1));
}

TEST(ImcFile, TinyFrameCompressesAndEightBitReadsBackWithEightEffectiveBits) {
    TempDir dir;
    RecordGuard source;
    qmv3test::FillRecord(&source.rec, 1, 1, 8, 6, 1, {{42}}, {1.0});
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_imc_file(dir.file("t.imc").c_str(), &source.rec));
    EXPECT_EQ(8u, GetU32Le(ReadFileBytes(dir.file("t.imc")), 8));
    RecordGuard loaded;
    ASSERT_EQ(QMV3_LEGACY_LOAD_OK, load_file(0, dir.file("t.imc").c_str(), &loaded.rec));
    EXPECT_EQ(2, loaded.rec.type);
    EXPECT_EQ(8u, loaded.rec.ebitpp);
    EXPECT_EQ(42, loaded.rec.framebits[0][0]);
}

struct CraftedImc {
    const char* name;
    std::vector<unsigned char> bytes;
    int code;
};

TEST(ImcFile, CraftedFilesGiveTheirCodes) {
    const std::vector<unsigned char> pixels = {1, 2, 3, 4};
    const Bytes good = ImcFrame(1.0, pixels);
    Bytes mismatch;
    mismatch.Double(1.0).U32(static_cast<uint32_t>(Zlib(pixels).size())).U32(5).Raw(Zlib(pixels));
    Bytes corrupt;
    corrupt.Double(1.0).U32(4).U32(4).Raw({1, 2, 3, 4});
    std::vector<unsigned char> cut(good.data.begin(), good.data.end() - 2);
    const CraftedImc cases[] = {
        {"bits word 24", Bytes().U32(2).U32(2).U32(24).U32(1).Raw(good.data).data, -4},
        {"no frames", Bytes().U32(2).U32(2).U32(8).U32(0).data, -4},
        {"short header", Bytes().U32(2).U32(2).U32(8).data, -5},
        {"length disagrees", Bytes().U32(2).U32(2).U32(8).U32(1).Raw(mismatch.data).data, -4},
        {"truncated stream", Bytes().U32(2).U32(2).U32(8).U32(1).Raw(cut).data, -5},
        {"bad stream", Bytes().U32(2).U32(2).U32(8).U32(1).Raw(corrupt.data).data, -8},
        {"more frames announced", Bytes().U32(2).U32(2).U32(8).U32(0x7FFFFFFF).Raw(good.data).data, -5},
        {"huge frame, tiny file",
         Bytes().U32(60000).U32(60000).U32(8).U32(1).Double(1).U32(4).U32(3600000000u).U32(0).data, -4},
    };
    TempDir dir;
    for (const auto& c : cases) {
        WriteFileBytes(dir.file("c.imc"), c.bytes);
        RecordGuard rec;
        EXPECT_EQ(c.code, load_imc_file(dir.file("c.imc").c_str(), &rec.rec)) << c.name;
        ExpectEmpty(rec.rec);
    }
    WriteFileBytes(dir.file("ok.imc"), Bytes().U32(2).U32(2).U32(8).U32(1).Raw(good.data).Raw({0, 0}).data);
    RecordGuard rec;
    EXPECT_EQ(QMV3_LEGACY_LOAD_OK, load_imc_file(dir.file("ok.imc").c_str(), &rec.rec));
    EXPECT_EQ(8u, rec.rec.ebitpp);
}

TEST(ImcFile, ProgressAndCancel) {
    TempDir dir;
    RecordGuard source;
    qmv3test::FillRecord(&source.rec, 1, 1, 8, 8, 2, {{1}, {2}, {3}, {4}}, {});
    int cancel = 0;
    double progress = 0;
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_bkc_fileEx(dir.file("p.imc").c_str(), &source.rec, &cancel, &progress));
    EXPECT_EQ(1.0, progress);
    RecordGuard loaded;
    ASSERT_EQ(QMV3_LEGACY_LOAD_OK,
              _internal_load_imc_file(dir.file("p.imc").c_str(), &loaded.rec, &cancel, &progress, 0.5));
    EXPECT_EQ(0.5, progress);
    cancel = 1;
    RecordGuard other;
    EXPECT_EQ(QMV3_LEGACY_LOAD_INTERRUPTED,
              _internal_load_imc_bkc_file(dir.file("p.imc").c_str(), &other.rec, &cancel, nullptr, 1.0, 4));
    EXPECT_EQ(QMV3_LEGACY_SAVE_INTERRUPTED, save_imc_fileEx(dir.file("q.imc").c_str(), &source.rec, &cancel, nullptr));
    EXPECT_FALSE(FileExists(dir.file("q.imc")));
}

TEST(Loaders, RefuseFoldersAndTypesThatCouldNotBeFreed) {
    TempDir dir;
    RecordGuard rec;
    EXPECT_EQ(QMV3_LEGACY_LOAD_OPEN_FAILED, load_imm_file(dir.path().c_str(), &rec.rec));
    EXPECT_EQ(QMV3_LEGACY_LOAD_OPEN_FAILED, load_imc_file(dir.path().c_str(), &rec.rec));
    EXPECT_EQ(QMV3_LEGACY_LOAD_UNKNOWN_TYPE, load_imc_bkc_file(dir.file("a.imc").c_str(), &rec.rec, 9));
    ExpectEmpty(rec.rec);
}

TEST(Loaders, RefuseARecordThatHoldsFrames) {
    TempDir dir;
    RecordGuard source;
    qmv3test::FillRecord(&source.rec, 1, 1, 8, 8, 1, {{1}}, {});
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_imm_file(dir.file("a.imm").c_str(), &source.rec));
    const std::string path = dir.file("a.imm");
    EXPECT_EQ(QMV3_LEGACY_LOAD_NOT_EMPTY, load_imm_file(path.c_str(), &source.rec));
    EXPECT_EQ(QMV3_LEGACY_LOAD_NOT_EMPTY, load_bkg_file(path.c_str(), &source.rec));
    EXPECT_EQ(QMV3_LEGACY_LOAD_NOT_EMPTY, load_bkg_file_arb(path.c_str(), &source.rec));
    EXPECT_EQ(QMV3_LEGACY_LOAD_NOT_EMPTY, load_imc_file(path.c_str(), &source.rec));
    EXPECT_EQ(QMV3_LEGACY_LOAD_NOT_EMPTY, load_bmp_file(path.c_str(), &source.rec, 0));
    EXPECT_EQ(QMV3_LEGACY_LOAD_NOT_EMPTY, load_imm_file(path.c_str(), nullptr));
    char text[100];
    EXPECT_STREQ("Already initialized, please free VIDINFHDR (and memory) first.",
                 load_file__return_code_to_string(-6, text, sizeof text));
    std::string internal;
    EXPECT_EQ("Parameter error (VIDINFHDR passed is not empty).",
              internal_load_imm_bkg_imc_file_return_code_to_string(-6, internal));
}

TEST(CodeTexts, EveryCodeOfBothTables) {
    const struct {
        int code;
        const char* exported;
        const char* internal;
    } table[] = {
        {0, "Success.", "Successful."},
        {-1, "File could not be checked for type (file extension not imc or bkc or bkg or imm -> unknown).",
         "Unknown return code (-1)."},
        {-2, "File type unknown.", "Unknown return code (-2)."},
        {-3, "File could not be opened.", "Could not open file."},
        {-4, "Error in file (unexpected content). File may be corrupted.", "Error in file."},
        {-5, "Error reading file.", "Error reading file."},
        {-7, "Out of memory.", "Out of memory."},
        {-8, "Error during decompression.", "Decompression error."},
        {-9, "Return code -9 is unknown.", "User break."},
        {12, "Return code 12 is unknown.", "Unknown return code (12)."},
    };
    for (const auto& row : table) {
        char buffer[200];
        EXPECT_STREQ(row.exported, load_file__return_code_to_string(row.code, buffer, sizeof buffer));
        std::string text;
        EXPECT_EQ(row.internal, internal_load_imm_bkg_imc_file_return_code_to_string(row.code, text));
        EXPECT_EQ(row.internal, text);
    }
    char small[8];
    EXPECT_STREQ("Succes", load_file__return_code_to_string(0, small, 7));
    EXPECT_STREQ("Error translating return code.", load_file__return_code_to_string(0, small, 1));
    EXPECT_STREQ("Error translating return code.", load_file__return_code_to_string(0, nullptr, 10));
}

TEST(Dispatch, LoadByTypeOrExtension) {
    TempDir dir;
    RecordGuard source;
    qmv3test::FillRecord(&source.rec, 1, 1, 8, 8, 2, {{5}}, {});
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_imc_file(dir.file("a.IMC").c_str(), &source.rec));
    RecordGuard rec;
    EXPECT_EQ(QMV3_LEGACY_LOAD_NO_EXTENSION, load_file(0, dir.file("a.txt").c_str(), &rec.rec));
    EXPECT_EQ(QMV3_LEGACY_LOAD_UNKNOWN_TYPE, load_file(5, dir.file("a.IMC").c_str(), &rec.rec));
    EXPECT_EQ(QMV3_LEGACY_LOAD_UNKNOWN_TYPE, load_file(7, dir.file("a.IMC").c_str(), &rec.rec));
    EXPECT_EQ(QMV3_LEGACY_LOAD_BAD_CONTENT, load_file(1, dir.file("a.IMC").c_str(), &rec.rec));
    ASSERT_EQ(QMV3_LEGACY_LOAD_OK, load_file(0, dir.file("a.IMC").c_str(), &rec.rec));
    EXPECT_EQ(2, rec.rec.type);
}

TEST(Dispatch, SaveByTypeAppendsTheExtensionOfTheRecordType) {
    TempDir dir;
    RecordGuard rec;
    qmv3test::FillRecord(&rec.rec, 1, 1, 8, 8, 2, {{5}}, {});
    const std::string base = dir.file("x");
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_file(0, base.c_str(), &rec.rec));
    EXPECT_TRUE(FileExists(base + ".imc"));
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_file(0, (base + ".imc").c_str(), &rec.rec));
    EXPECT_TRUE(FileExists(base + ".imc.imc"));
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_file(1, base.c_str(), &rec.rec));
    EXPECT_EQ(17u, ReadFileBytes(base).size());
    EXPECT_EQ(QMV3_LEGACY_SAVE_BAD_TYPE, save_file(9, base.c_str(), &rec.rec));
    EXPECT_EQ(QMV3_LEGACY_SAVE_PATH_TOO_LONG, save_file(0, std::string(1020, 'a').c_str(), &rec.rec));
    rec.rec.type = 6;
    EXPECT_EQ(QMV3_LEGACY_SAVE_BAD_TYPE, save_file(0, base.c_str(), &rec.rec));
    rec.rec.type = 3;
    ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_file(0, base.c_str(), &rec.rec));
    EXPECT_EQ(9u, ReadFileBytes(base + ".bkg").size());
    rec.rec.type = 2;
    rec.rec.numframes = 0;
    EXPECT_EQ(QMV3_LEGACY_SAVE_NO_FRAMES, save_file(0, base.c_str(), &rec.rec));
    rec.rec.numframes = 1;
}

}  // namespace
