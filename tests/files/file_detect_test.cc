// File type detection: verdicts on well-formed files of each kind, on files whose size disagrees with
// their header, and every message of the header checks.
#include "files/file_detect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "files/files_test_util.h"
#include "qmv3/qmv3.h"

namespace {

using filestest::PutLE;
using filestest::PutSet;
using qmv3test::TempDir;

using Detector = bool (*)(const char*, char*, size_t);

class Detection : public ::testing::Test {
  protected:
    // Writes the bytes and runs the detector; the message is kept in error_.
    bool Detect(Detector detector, const std::vector<unsigned char>& bytes) {
        qmv3test::WriteFileBytes(path_, bytes);
        error_[0] = '\0';
        return detector(path_.c_str(), error_, sizeof(error_));
    }
    static std::vector<unsigned char> Imm(unsigned w, unsigned bipp, unsigned h, unsigned ebitpp, size_t frames,
                                          size_t extra = 0) {
        std::vector<unsigned char> bytes;
        const size_t pixels = static_cast<size_t>(w) * h * (bipp ? bipp : 8) / 8;
        for (size_t i = 0; i < frames; ++i) {
            PutLE(bytes, w, 2);
            PutLE(bytes, bipp, 2);
            PutLE(bytes, h, 2);
            PutLE(bytes, ebitpp, 2);
            bytes.resize(bytes.size() + pixels + 8, 0);
        }
        if (frames == 0) {
            for (unsigned v : {w, bipp, h, ebitpp}) PutLE(bytes, v, 2);
        }
        bytes.resize(bytes.size() + extra, 0);
        return bytes;
    }
    // IMC header and frame records with blocks of the given lengths.
    static std::vector<unsigned char> Imc(unsigned w, unsigned h, unsigned bits, const std::vector<uint32_t>& blocks,
                                          uint32_t lenUncompressed, double scale = 1.0) {
        std::vector<unsigned char> bytes;
        PutLE(bytes, w, 4);
        PutLE(bytes, h, 4);
        PutLE(bytes, bits, 4);
        PutLE(bytes, blocks.size(), 4);
        for (uint32_t block : blocks) {
            uint64_t scaleBits;
            std::memcpy(&scaleBits, &scale, 8);
            PutLE(bytes, scaleBits, 8);
            PutLE(bytes, block, 4);
            PutLE(bytes, lenUncompressed, 4);
            bytes.resize(bytes.size() + block, 0x55);
        }
        return bytes;
    }

    TempDir dir_;
    std::string path_ = dir_.file("probe");
    char error_[300];
};

TEST_F(Detection, ImmVerdicts) {
    EXPECT_TRUE(Detect(_internal_is_file_imm, Imm(100, 8, 100, 8, 1)));
    EXPECT_TRUE(Detect(_internal_is_file_imm, Imm(100, 0, 100, 0, 50)));
    EXPECT_TRUE(Detect(_internal_is_file_imm, Imm(10, 16, 10, 12, 3)));
    EXPECT_FALSE(Detect(_internal_is_file_imm, Imm(100, 8, 100, 8, 1, 5008)));  // one and a half frames
    EXPECT_STREQ(
        "Imm file size mismatch. iFileSize=15024 iImageSizeInBytesPlusScale=10016 dNumImages=1.500000 iNumImages=1",
        error_);
    // Shorter than one frame: a header alone holds no frame.
    EXPECT_FALSE(Detect(_internal_is_file_imm, Imm(65535, 16, 65535, 16, 0)));
}

TEST_F(Detection, ImmAndBkgHeaderMessages) {
    struct Case {
        std::vector<unsigned char> bytes;
        const char* imm;
        const char* bkg;
    } cases[] = {
        {{1}, "File read error (w).", "File read error (w)."},
        {{1, 0, 8}, "File read error (bipp).", "File read error (bipp)."},
        {{1, 0, 8, 0, 1}, "File read error (h).", "File read error (h)."},
        {{1, 0, 8, 0, 1, 0, 8}, "File read error (ebitpp).", "File read error (ebitpp)."},
        {Imm(0, 8, 4, 8, 1), "Imm incorrect file header (w=0, h=4, bipp=8, ebitpp=8).",
         "Bkg incorrect file header (w=0, h=4, bipp=8, ebitpp=8)."},
        {Imm(4, 12, 4, 8, 1), "Imm incorrect file header (w=4, h=4, bipp=12, ebitpp=8).",
         "Bkg incorrect file header (w=4, h=4, bipp=12, ebitpp=8)."},
        {Imm(4, 16, 4, 17, 1), "Imm incorrect file header (w=4, h=4, bipp=16, ebitpp=17).",
         "Bkg incorrect file header (w=4, h=4, bipp=16, ebitpp=17)."},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(Detect(_internal_is_file_imm, c.bytes));
        EXPECT_STREQ(c.imm, error_);
        EXPECT_FALSE(Detect(_internal_is_file_bkg, c.bytes));
        EXPECT_STREQ(c.bkg, error_);
    }
}

TEST_F(Detection, BkgNeedsTheExactSize) {
    std::vector<unsigned char> bkg = Imm(640, 8, 480, 8, 1);
    bkg.resize(bkg.size() - 8);  // no scale in a BKG file
    EXPECT_TRUE(Detect(_internal_is_file_bkg, bkg));
    bkg.push_back(0);
    EXPECT_FALSE(Detect(_internal_is_file_bkg, bkg));
    EXPECT_STREQ("Bkg file size mismatch. iFileSize=307209 iImageSizeInBytesPlusHeader=307208", error_);
}

TEST_F(Detection, ImcVerdictsAndMessages) {
    EXPECT_TRUE(Detect(_internal_is_file_imc_bkc, Imc(4, 4, 8, {10, 3}, 16)));
    EXPECT_TRUE(Detect(_internal_is_file_imc_bkc, Imc(4, 4, 16 + (12 << 16), {10}, 32)));
    std::vector<unsigned char> trailing = Imc(4, 4, 8, {10}, 16);
    trailing.push_back(0);
    struct Case {
        std::vector<unsigned char> bytes;
        const char* message;
    } cases[] = {
        {trailing, "Missing file size is not zero at the end of loading imc/bkc file. (iFileSizeMissing=1)."},
        {{1, 0, 0}, "File read error (w)."},
        {{1, 0, 0, 0, 1}, "File read error (h)."},
        {{1, 0, 0, 0, 1, 0, 0, 0, 8}, "File read error (bipp)."},
        {{1, 0, 0, 0, 1, 0, 0, 0, 8, 0, 0}, "File read error (ebitpp)."},
        {{1, 0, 0, 0, 1, 0, 0, 0, 8, 0, 0, 0, 1}, "File read error (numImg)."},
        {Imc(4, 4, 24, {1}, 16), "Imc(bkc) incorrect file header (w=4, h=4, bipp=24, ebitpp=24, numImg=1)."},
        {Imc(4, 4, 8, {}, 16), "Imc(bkc) incorrect file header (w=4, h=4, bipp=8, ebitpp=8, numImg=0)."},
        {Imc(4, 4, 8, {10}, 16, -1.0), "Scale value of image 1 of 1 is negative (must not be negative)."},
        {Imc(4, 4, 8, {10}, 16, std::nan("")), "Scale value of image 1 of 1 is not a number."},
        {Imc(4, 4, 8, {10}, 17),
         "Value of len_uncompressed(17) is not identical to iImageSizeInBytes(16), for image 1 of 1."},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(Detect(_internal_is_file_imc_bkc, c.bytes)) << c.message;
        EXPECT_STREQ(c.message, error_);
    }
    std::vector<unsigned char> bytes = Imc(4, 4, 8, {10, 4}, 16);
    PutLE(bytes, 16 + 16 + 10 + 8, 100, 4);  // the second image's len_compressed
    EXPECT_FALSE(Detect(_internal_is_file_imc_bkc, bytes));
    EXPECT_STREQ("Value of len_compressed(100) is bigger than iFileSizeMissing(4), for image 2 of 2.", error_);
    bytes.resize(16 + 16 + 10 + 4);
    EXPECT_FALSE(Detect(_internal_is_file_imc_bkc, bytes));
    EXPECT_STREQ("Unable to read scale factor value of image 2 of 2.", error_);
    bytes.resize(16 + 16 + 10 + 10);
    EXPECT_FALSE(Detect(_internal_is_file_imc_bkc, bytes));
    EXPECT_STREQ("Unable to read len_compressed of image 2 of 2.", error_);
    bytes.resize(16 + 16 + 10 + 14);
    EXPECT_FALSE(Detect(_internal_is_file_imc_bkc, bytes));
    EXPECT_STREQ("Unable to read len_uncompressed of image 2 of 2.", error_);
}

TEST_F(Detection, CommonOpenMessages) {
    for (Detector detector :
         {_internal_is_file_imm, _internal_is_file_bkg, _internal_is_file_imc_bkc, _internal_is_file_imc2_bkc2}) {
        EXPECT_FALSE(detector(nullptr, error_, sizeof(error_)));
        EXPECT_STREQ("Error opening file. Parameter asFilePath is NULL.", error_);
        EXPECT_FALSE(detector("", error_, sizeof(error_)));
        EXPECT_STREQ("Error opening file. Parameter asFilePath is empty string.", error_);
        const std::string missing = dir_.file("missing");
        EXPECT_FALSE(detector(missing.c_str(), error_, sizeof(error_)));
        EXPECT_EQ("Error opening file \"" + missing + "\".", std::string(error_));
        EXPECT_FALSE(detector(missing.c_str(), nullptr, 0));
    }
}

// A valid IMC2 file saved by the library, mutated by the IMC2 detector tests.
class Imc2Detection : public Detection {
  protected:
    void SetUp() override {
        QMBUNCHOFIMAGES images = filestest::MakeSequence(2, 8, 8, 1, QMV3_FORMAT_GRAY);
        filestest::SequenceGuard guard(images);
        const std::string source = dir_.file("source.imc2");
        ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&images, source.c_str()));
        bytes_ = qmv3test::ReadFileBytes(source);
    }
    void SetText(std::vector<unsigned char>& bytes, size_t offset, const std::string& text) {
        std::memset(&bytes[offset], 0, 250);
        std::memcpy(&bytes[offset], text.data(), text.size());
    }
    std::vector<unsigned char> bytes_;
    static constexpr size_t kImage = filestest::kFirstImageOffset;
};

TEST_F(Imc2Detection, SavedFilesAreImc2AndTrailingBytesAreNot) {
    EXPECT_TRUE(Detect(_internal_is_file_imc2_bkc2, bytes_));
    EXPECT_EQ(QMV3_FILE_IMC2_BKC2, qmCheckFileFormat(path_.c_str(), nullptr, 0));
    std::vector<unsigned char> longer = bytes_;
    longer.push_back(0);
    EXPECT_FALSE(Detect(_internal_is_file_imc2_bkc2, longer));
    EXPECT_EQ("Finished reading file position(" + std::to_string(bytes_.size()) + ") is not equal to wholeFileSize(" +
                  std::to_string(longer.size()) + ").",
              std::string(error_));
}

TEST_F(Imc2Detection, HeaderAndSetMessages) {
    const size_t set2 = 14 + 252;
    struct Case {
        size_t offset;
        uint64_t value;
        int size;
        const char* message;
    } cases[] = {
        {0, 3, 4, "Value magic1=3 is incorrect (must be (0x0))."},
        {4, 0, 4, "Value magic2=0 is incorrect (must be (0x1))."},
        {12, 10, 1, "File read error (carriage return (13) after num_global_metadata_sets_in_file is set to 10)."},
        {13, 200, 1, "File read error (line feed (10) after num_global_metadata_sets_in_file is set to 200)."},
        {8, 19, 4, "Value num_global_metadata_sets_in_file=19 incorrect. Must be [20..100]."},
        {8, 101, 4, "Value num_global_metadata_sets_in_file=101 incorrect. Must be [20..100]."},
        {set2 + 251, 0xFF, 1, "metaEntry.n=-1 is invalid, must be 10 (global_metadata_set 2 of 20 in file)."},
        {set2 + 250, 10, 1, "metaEntry.r=10 is invalid, must be 13 (global_metadata_set 2 of 20 in file)."},
        {kImage + 20, 0, 1,
         "File parse error (carriage return (13) after num_image_metadata_sets of image 1 of 2 is set to 0)."},
        {kImage + 21, 9, 1,
         "File parse error (line feed (10) after num_image_metadata_sets of image 1 of 2 is set to 9)."},
        {kImage, 0, 8, "Value of len_compressed(" /* checked by prefix below */},
        {kImage + 16, 11, 4, "Value num_image_metadata_sets=11 incorrect, of image 1 of 2. Must be [2..10]."},
        {kImage + 22 + 251, 0, 1,
         "metaEntry.n=0 is invalid, must be 10 (image_metadata_set 1 of 4 of image 1 of 2 in file)."},
        {kImage + 22 + 250, 0, 1,
         "metaEntry.r=0 is invalid, must be 13 (image_metadata_set 1 of 4 of image 1 of 2 in file)."},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> bytes = bytes_;
        PutLE(bytes, c.offset, c.value, c.size);
        EXPECT_FALSE(Detect(_internal_is_file_imc2_bkc2, bytes)) << c.message;
        EXPECT_EQ(0u, std::string(error_).find(c.message)) << error_;
    }
}

TEST_F(Imc2Detection, MetadataMessages) {
    struct Case {
        size_t offset;
        std::string text;
        std::string message;
    } cases[] = {
        {14, "comment=x", "Mandatory meta data key \"number_of_images\" missing in file."},
        {14, "number_of_images=0", "Meta value images_in_file=0 invalid. Must be >0."},
        {14 + 252, "width_px=-4",
         "Error validating KeyValue=\"width_px=-4\" at global_metadata_set 2 of 20 in file: Validation error: Value "
         "(-4) is no valid uint32."},
        {kImage + 22, "comment=x", "Mandatory image meta data key \"image_start\" of image 1 of 2 missing in file."},
        {kImage + 22 + 252 * 3, "image_start=again",
         "Error validating KeyValue=\"image_start=again\" at image_metadata_set 4 of 4 of image 1 of 2 in file: "
         "Validation error: Key (image_start) appeared more than once."},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> bytes = bytes_;
        SetText(bytes, c.offset, c.text);
        EXPECT_FALSE(Detect(_internal_is_file_imc2_bkc2, bytes)) << c.text;
        EXPECT_EQ(c.message, error_);
    }
    std::vector<unsigned char> unknown = bytes_;
    SetText(unknown, 14 + 252 * 19, "scale_y_offset=1.0");
    SetText(unknown, 14 + 252 * 18, "my_own_key=1");  // replaces scale_x_offset: now missing
    EXPECT_FALSE(Detect(_internal_is_file_imc2_bkc2, unknown));
    EXPECT_STREQ("Mandatory meta data key \"scale_x_offset\" missing in file.", error_);
    PutLE(unknown, 8, 21, 4);
    std::vector<unsigned char> set;
    PutSet(set, "scale_x_offset=2");
    unknown.insert(unknown.begin() + kImage, set.begin(), set.end());
    EXPECT_TRUE(Detect(_internal_is_file_imc2_bkc2, unknown)) << error_;
}

TEST_F(Imc2Detection, TruncatedFiles) {
    struct Case {
        size_t length;
        const char* message;
    } cases[] = {
        {3, "File read error (magic1)."},
        {7, "File read error (magic2)."},
        {11, "File read error (num_global_metadata_sets_in_file)."},
        {12, "File read error (carriage return after num_global_metadata_sets_in_file)."},
        {13, "File read error (line feed after num_global_metadata_sets_in_file)."},
        {14 + 252 + 3, "File read error (global_metadata_set 2 of 20 in file)."},
        {kImage + 9, "Unable to read len_uncompressed of image 1 of 2."},
        {kImage + 17, "Unable to read num_image_metadata_sets of image 1 of 2."},
        {kImage + 20, "File read error (carriage return after num_image_metadata_sets for image 1 of 2)."},
        {kImage + 21, "File read error (line feed after num_image_metadata_sets for image 1 of 2)."},
        {kImage + 22 + 5, "File read error (image_metadata_set 1 of 4 of image 1 of 2 in file)."},
        {kImage + 22 + 4 * 252 + 3, "Unable to read len_uncompressed of image 2 of 2."},
        {bytes_.size() - 1, "Finished reading file position("},
    };
    for (const Case& c : cases) {
        const std::vector<unsigned char> bytes(bytes_.begin(), bytes_.begin() + c.length);
        EXPECT_FALSE(Detect(_internal_is_file_imc2_bkc2, bytes)) << c.message;
        EXPECT_EQ(0u, std::string(error_).find(c.message)) << error_;
    }
}

TEST(CheckFileFormat, NoKnownKind) {
    TempDir dir;
    const std::string missing = dir.file("missing.imc2");
    char error[300] = {};
    EXPECT_EQ(QMV3_FILE_UNKNOWN, qmCheckFileFormat(missing.c_str(), error, sizeof(error)));
    EXPECT_EQ("File (" + missing +
                  ") is either no IMC2 or BKC2 or IMC or BKC or IMM or BKG or could not be found or "
                  "opened.",
              std::string(error));
    EXPECT_EQ(QMV3_FILE_UNKNOWN, qmCheckFileFormat(nullptr, error, sizeof(error)));
    EXPECT_STREQ("File (NULL) is either no IMC2 or BKC2 or IMC or BKC or IMM or BKG or could not be found or opened.",
                 error);
    const std::string text = dir.file("text");
    qmv3test::WriteFileBytes(text, {'h', 'e', 'l', 'l', 'o', '\n'});
    EXPECT_EQ(QMV3_FILE_UNKNOWN, qmCheckFileFormat(text.c_str(), nullptr, 0));
}

}  // namespace
