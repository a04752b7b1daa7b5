// Every truncation and every single-byte corruption of valid files of each kind: a load either
// succeeds or fails with a code and leaves the record empty, and never reads beyond a buffer.
#include <gtest/gtest.h>

#include <string>

#include "common/temp_dir.h"
#include "legacy_fixture.h"

using qmv3test::ReadFileBytes;
using qmv3test::RecordGuard;
using qmv3test::TempDir;
using qmv3test::WriteFileBytes;

namespace {

std::vector<unsigned char> SavedFile(const TempDir& dir, const std::string& name, int saveType, uint32_t bpp) {
    RecordGuard rec;
    const size_t bytes = 3 * 2 * bpp / 8;
    std::vector<unsigned char> a(bytes), b(bytes);
    for (size_t i = 0; i < bytes; ++i) a[i] = static_cast<unsigned char>(i * 37), b[i] = static_cast<unsigned char>(i);
    qmv3test::FillRecord(
        &rec.rec, 3, 2, bpp, bpp, 1,
        saveType == 3 ? std::vector<std::vector<unsigned char>>{a} : std::vector<std::vector<unsigned char>>{a, b}, {});
    EXPECT_EQ(QMV3_LEGACY_SAVE_OK, save_file(saveType, dir.file(name).c_str(), &rec.rec));
    return ReadFileBytes(dir.file(name));
}

std::vector<unsigned char> SavedBitmap(const TempDir& dir) {
    RecordGuard rec;
    qmv3test::FillRecord(&rec.rec, 3, 2, 8, 8, 1, {{1, 2, 3, 4, 5, 6}}, {});
    EXPECT_EQ(QMV3_LEGACY_SAVE_OK, save_bmp_files(dir.file("b").c_str(), &rec.rec, 2, 0));
    return ReadFileBytes(dir.file("b1.bmp"));
}

void ExpectCleanLoad(const TempDir& dir, const std::string& name, const std::vector<unsigned char>& bytes,
                     const std::string& what) {
    WriteFileBytes(dir.file(name), bytes);
    RecordGuard rec;
    int code = load_file(0, dir.file(name).c_str(), &rec.rec);
    if (code == QMV3_LEGACY_LOAD_OK) {
        EXPECT_GE(rec.rec.numframes, 1) << what;
        EXPECT_NE(nullptr, rec.rec.framebits) << what;
    } else {
        EXPECT_LT(code, 0) << what;
        EXPECT_EQ(nullptr, rec.rec.framebits) << what;
        EXPECT_EQ(nullptr, rec.rec.framescales) << what;
    }
}

TEST(DamagedFiles, TruncationsAndCorruptionsLoadCleanly) {
    TempDir dir;
    const struct {
        std::string name;
        std::vector<unsigned char> bytes;
    } files[] = {
        {"a.imm", SavedFile(dir, "s.imm", 1, 16)},
        {"a.imc", SavedFile(dir, "s.imc", 2, 8)},
        {"a.bkg", SavedFile(dir, "s.bkg", 3, 8)},
        {"a.bkc", SavedFile(dir, "s.bkc", 4, 16)},
        {"a.bmp", SavedBitmap(dir)},
    };
    for (const auto& file : files) {
        ASSERT_FALSE(file.bytes.empty()) << file.name;
        for (size_t length = 0; length < file.bytes.size(); ++length) {
            std::vector<unsigned char> cut(file.bytes.begin(), file.bytes.begin() + length);
            ExpectCleanLoad(dir, file.name, cut, file.name + " cut at " + std::to_string(length));
        }
        // The BMP palette is 1024 bytes that any value may take; corrupt only its headers and pixels.
        for (size_t at = 0; at < file.bytes.size(); ++at) {
            if (file.name == "a.bmp" && at >= 54 && at < 1078) continue;
            for (unsigned char value : {0x00, 0xFF}) {
                std::vector<unsigned char> bad = file.bytes;
                bad[at] = value;
                ExpectCleanLoad(dir, file.name, bad, file.name + " byte " + std::to_string(at));
            }
        }
    }
}

TEST(DamagedFiles, TruncatedImmKeepsOnlyWholeRecords) {
    TempDir dir;
    std::vector<unsigned char> bytes = SavedFile(dir, "s.imm", 1, 8);
    bytes.resize(bytes.size() - 1);
    WriteFileBytes(dir.file("t.imm"), bytes);
    RecordGuard rec;
    ASSERT_EQ(QMV3_LEGACY_LOAD_OK, load_imm_file(dir.file("t.imm").c_str(), &rec.rec));
    EXPECT_EQ(1, rec.rec.numframes);
}

}  // namespace
