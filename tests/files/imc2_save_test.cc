// Saving image sequences: the exact IMC2 layout, raw storage, every triggerable check, progress,
// interrupt, and the choice of the older formats by extension.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "files/files_test_util.h"
#include "qmv3/qmv3.h"

namespace {

using filestest::FreeSequence;
using filestest::MakeSequence;
using filestest::SequenceGuard;
using qmv3test::TempDir;

uint64_t LE(const std::vector<unsigned char>& bytes, size_t offset, int size) {
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = (value << 8) | bytes.at(offset + i);
    return value;
}

std::string SetText(const std::vector<unsigned char>& bytes, size_t offset) {
    EXPECT_EQ(13, bytes.at(offset + 250));
    EXPECT_EQ(10, bytes.at(offset + 251));
    for (size_t i = offset + std::strlen(reinterpret_cast<const char*>(&bytes[offset])); i < offset + 250; ++i) {
        EXPECT_EQ(0, bytes[i]) << "padding at " << i;
    }
    return reinterpret_cast<const char*>(&bytes[offset]);
}

std::vector<unsigned char> Compressed(const DIMAGE& image) {
    uLongf length = compressBound(image.frameHeader.appendedFrameSize);
    std::vector<unsigned char> out(length);
    compress(out.data(), &length, image.frameBuffer, image.frameHeader.appendedFrameSize);
    out.resize(length);
    return out;
}

TEST(Imc2Save, WorkedExampleByteForByte) {
    TempDir dir;
    QMBUNCHOFIMAGES images = MakeSequence(2, 640, 480, 1, QMV3_FORMAT_GRAY, 1001);
    SequenceGuard guard(images);
    const std::string path = dir.file("run.imc2");
    ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&images, path.c_str()));
    const std::vector<unsigned char> bytes = qmv3test::ReadFileBytes(path);

    const std::vector<unsigned char> header = {0, 0, 0, 0, 1, 0, 0, 0, 20, 0, 0, 0, 13, 10};
    ASSERT_GT(bytes.size(), header.size());
    EXPECT_TRUE(std::equal(header.begin(), header.end(), bytes.begin()));
    const std::vector<std::string> globals = filestest::GlobalSetTexts(2, 640, 480);
    for (size_t j = 0; j < globals.size(); ++j) EXPECT_EQ(globals[j], SetText(bytes, 14 + 252 * j));

    size_t offset = filestest::kFirstImageOffset;
    ASSERT_EQ(5054u, offset);
    for (unsigned k = 1; k <= 2; ++k) {
        const std::vector<unsigned char> pixels = Compressed(images.imageArray[k - 1]);
        EXPECT_EQ(307200u, LE(bytes, offset, 8));
        ASSERT_EQ(pixels.size(), LE(bytes, offset + 8, 8));
        EXPECT_EQ(4u, LE(bytes, offset + 16, 4));
        EXPECT_EQ(13, bytes[offset + 20]);
        EXPECT_EQ(10, bytes[offset + 21]);
        const std::vector<std::string> sets = {"image_start=image " + std::to_string(k) + " of 2",
                                               "timestamp_utc=2023-07-27  3:04:05.000123 PM UTC",
                                               "image_flags=LITTLE_ENDIAN LOSSLESS XYSTART_ZERO_BASED LOCAL_TIMESTAMP",
                                               "framenumber=" + std::to_string(1000 + k)};
        for (size_t j = 0; j < sets.size(); ++j) EXPECT_EQ(sets[j], SetText(bytes, offset + 22 + 252 * j));
        offset += 22 + 4 * 252;
        ASSERT_LE(offset + pixels.size(), bytes.size());
        EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), bytes.begin() + offset)) << "pixel block " << k;
        offset += pixels.size();
    }
    EXPECT_EQ(bytes.size(), offset);
}

TEST(Imc2Save, OptionalSetsFollowTheHeader) {
    TempDir dir;
    QMBUNCHOFIMAGES images = MakeSequence(1, 4, 2, 1, QMV3_FORMAT_GRAY, 0);
    SequenceGuard guard(images);
    DIMAGE& image = images.imageArray[0];
    std::strcpy(image.sourceHeader.cameraPortName, "/SIM/CAM0");
    image.sourceHeader.cameraPortId = 7;
    image.sourceHeader.timestampSeconds = 0;
    image.frameHeader.eventNumber = 0;
    const std::string path = dir.file("ports");
    ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&images, path.c_str()));
    const std::vector<unsigned char> bytes = qmv3test::ReadFileBytes(path);
    EXPECT_EQ(22u, LE(bytes, 8, 4));
    EXPECT_EQ("camera_port_name=/SIM/CAM0", SetText(bytes, 14 + 252 * 20));
    EXPECT_EQ("camera_port_id=7", SetText(bytes, 14 + 252 * 21));
    const size_t image1 = 14 + 252 * 22;
    EXPECT_EQ(2u, LE(bytes, image1 + 16, 4));  // only image_start and image_flags
    EXPECT_EQ("image_start=image 1 of 1", SetText(bytes, image1 + 22));
    EXPECT_EQ(0u, SetText(bytes, image1 + 22 + 252).find("image_flags="));
}

TEST(Imc2Save, FramesThatDoNotShrinkAreStoredRaw) {
    TempDir dir;
    // A 1 x 1 frame: zlib's output is always longer than one byte.
    QMBUNCHOFIMAGES images = MakeSequence(1, 1, 1, 1, QMV3_FORMAT_GRAY);
    SequenceGuard guard(images);
    const std::string path = dir.file("tiny.imc2");
    ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&images, path.c_str()));
    const std::vector<unsigned char> bytes = qmv3test::ReadFileBytes(path);
    const size_t image1 = filestest::kFirstImageOffset;
    EXPECT_EQ(1u, LE(bytes, image1, 8));
    EXPECT_EQ(1u, LE(bytes, image1 + 8, 8));
    EXPECT_EQ(images.imageArray[0].frameBuffer[0], bytes.back());
}

// A NaN scale, which the reader refuses, is written as "not set": the file stays readable.
TEST(Imc2Save, ANanScaleIsWrittenAsNotSet) {
    TempDir dir;
    QMBUNCHOFIMAGES images = MakeSequence(1, 4, 2, 1, QMV3_FORMAT_GRAY);
    SequenceGuard guard(images);
    images.imageArray[0].frameHeader.xScale = std::nanf("");
    ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&images, dir.file("nan.imc2").c_str()));
    QMBUNCHOFIMAGES loaded = {nullptr, 0};
    ASSERT_EQ(QMV3_LOAD_OK, qmLoadImagesFromFile(dir.file("nan.imc2").c_str(), &loaded));
    EXPECT_EQ(-1.0f, loaded.imageArray[0].frameHeader.xScale);
    qmFreeBunch(&loaded);
}

TEST(Imc2Save, ParameterChecks) {
    TempDir dir;
    const std::string path = dir.file("x.imc2");
    QMBUNCHOFIMAGES empty = {nullptr, 0};
    QMBUNCHOFIMAGES noFrames = MakeSequence(0, 1, 1, 1, 0);
    SequenceGuard guard(noFrames);
    QMBUNCHOFIMAGES noArray = {nullptr, 3};
    struct Case {
        QMBUNCHOFIMAGES* images;
        const char* path;
        std::string message;
    } cases[] = {
        {&empty, nullptr, "Parameter asFilePath must not be NULL."},
        {&empty, "", "Parameter asFilePath must not be empty string."},
        {nullptr, path.c_str(), "File \"" + path + "\" save error: Parameter apImages must not be NULL."},
        {&noArray, path.c_str(), "File \"" + path + "\" save error: Parameter apImages->imageArray must not be NULL."},
        {&noFrames, path.c_str(), "File \"" + path + "\" save error: Parameter apImages->numFrames must not be NULL."},
    };
    for (const Case& c : cases) {
        char error[300] = {};
        EXPECT_EQ(QMV3_SAVE_PARAMETER_ERROR,
                  qmSaveImagesToFileEx(c.images, c.path, error, sizeof(error), nullptr, nullptr));
        EXPECT_EQ(c.message, error);
    }
    EXPECT_FALSE(qmv3test::FileExists(path));
}

TEST(Imc2Save, TenThousandImagesAreTheLimit) {
    TempDir dir;
    QMBUNCHOFIMAGES images = MakeSequence(10001, 1, 1, 1, QMV3_FORMAT_GRAY);
    SequenceGuard guard(images);
    char error[300] = {};
    const std::string path = dir.file("many.imc2");
    EXPECT_EQ(QMV3_SAVE_PARAMETER_ERROR,
              qmSaveImagesToFileEx(&images, path.c_str(), error, sizeof(error), nullptr, nullptr));
    EXPECT_EQ("File \"" + path + "\" save error: Parameter apImages->numFrames(=10001) must not be >10'000.",
              std::string(error));
    images.numFrames = 10000;
    double percent = 0.0;
    EXPECT_EQ(QMV3_SAVE_OK, qmSaveImagesToFileEx(&images, path.c_str(), error, sizeof(error), nullptr, &percent));
    EXPECT_DOUBLE_EQ(1.0, percent);
    images.numFrames = 10001;
}

TEST(Imc2Save, OnlyGrayOrRgbSequencesWithFrameBytes) {
    TempDir dir;
    const std::string path = dir.file("x.imc2");
    const std::string p = "File \"" + path + "\" save error: ";
    QMBUNCHOFIMAGES rgba = MakeSequence(2, 4, 4, 4, QMV3_FORMAT_RGBA);
    QMBUNCHOFIMAGES mixed = MakeSequence(2, 4, 4, 1, QMV3_FORMAT_GRAY);
    QMBUNCHOFIMAGES noBytes = MakeSequence(1, 4, 4, 4, QMV3_FORMAT_RGB);  // RGB with 4 bytes: no size rule
    SequenceGuard g1(rgba), g2(mixed), g3(noBytes);
    mixed.imageArray[1].frameHeader.aoiWidth = 2;
    noBytes.imageArray[0].frameHeader.appendedFrameSize = 0;
    noBytes.imageArray[0].sourceHeader.totalLength = 188;
    char error[400] = {};
    EXPECT_EQ(QMV3_SAVE_NOT_A_SEQUENCE,
              qmSaveImagesToFileEx(&rgba, path.c_str(), error, sizeof(error), nullptr, nullptr));
    EXPECT_EQ(p + "Bunch of images passed must be either GRAY or RGB image format.", error);
    EXPECT_EQ(QMV3_SAVE_NOT_A_SEQUENCE,
              qmSaveImagesToFileEx(&mixed, path.c_str(), error, sizeof(error), nullptr, nullptr));
    EXPECT_EQ(0u, std::string(error).find(p + "Bunch of images passed must be an image sequence (header fields valid "
                                              "and almost identical), but qmIsSequence() returned "));
    EXPECT_EQ(QMV3_SAVE_NOT_A_SEQUENCE,
              qmSaveImagesToFileEx(&noBytes, path.c_str(), error, sizeof(error), nullptr, nullptr));
    EXPECT_EQ(p + "Image #1 of 1 has no frame bytes (appendedFrameSize=0).", error);
    EXPECT_FALSE(qmv3test::FileExists(path));
}

TEST(Imc2Save, ExistingFileIsLeftUntouched) {
    TempDir dir;
    QMBUNCHOFIMAGES images = MakeSequence(1, 8, 8, 1, QMV3_FORMAT_GRAY);
    SequenceGuard guard(images);
    const std::string path = dir.file("exists.imc2");
    qmv3test::WriteFileBytes(path, {1, 2, 3});
    char error[300] = {};
    EXPECT_EQ(QMV3_SAVE_FILE_EXISTS,
              qmSaveImagesToFileEx(&images, path.c_str(), error, sizeof(error), nullptr, nullptr));
    EXPECT_EQ("File \"" + path + "\" save error: File already exists.", std::string(error));
    EXPECT_EQ((std::vector<unsigned char>{1, 2, 3}), qmv3test::ReadFileBytes(path));
}

TEST(Imc2Save, UnwritableLocationGivesMinusFour) {
    QMBUNCHOFIMAGES images = MakeSequence(1, 8, 8, 1, QMV3_FORMAT_GRAY);
    SequenceGuard guard(images);
    TempDir dir;
    const std::string path = dir.file("missing/dir/x.imc2");
    char error[300] = {};
    EXPECT_EQ(QMV3_SAVE_OPEN_FAILED,
              qmSaveImagesToFileEx(&images, path.c_str(), error, sizeof(error), nullptr, nullptr));
    EXPECT_EQ("File \"" + path + "\" save error: File could not be opened for writing.", std::string(error));
}

TEST(Imc2Save, InterruptLeavesNoFile) {
    TempDir dir;
    QMBUNCHOFIMAGES images = MakeSequence(3, 8, 8, 1, QMV3_FORMAT_GRAY);
    SequenceGuard guard(images);
    const std::string path = dir.file("stop.imc2");
    int interrupt = 1;
    double percent = 0.0;
    char error[300] = {};
    EXPECT_EQ(QMV3_SAVE_INTERRUPTED,
              qmSaveImagesToFileEx(&images, path.c_str(), error, sizeof(error), &interrupt, &percent));
    EXPECT_EQ("File \"" + path + "\" save error: Interrupted by user.", std::string(error));
    EXPECT_DOUBLE_EQ(0.09, percent);  // header and global sets were written first
    EXPECT_FALSE(qmv3test::FileExists(path));
}

// A file size limit makes the writes fail part way; nothing may be left behind.
TEST(Imc2Save, WriteFailureRemovesTheFile) {
    TempDir dir;
    QMBUNCHOFIMAGES images = MakeSequence(2, 64, 64, 1, QMV3_FORMAT_GRAY);
    SequenceGuard guard(images);
    signal(SIGXFSZ, SIG_IGN);
    for (rlim_t limit : {rlim_t{100}, rlim_t{6000}, rlim_t{7000}}) {
        struct rlimit old;
        getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit small = {limit, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &small);
        const std::string path = dir.file("limited" + std::to_string(limit) + ".imc2");
        char error[300] = {};
        const int code = qmSaveImagesToFileEx(&images, path.c_str(), error, sizeof(error), nullptr, nullptr);
        setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(QMV3_SAVE_WRITE_FAILED, code) << limit;
        EXPECT_EQ(0u, std::string(error).find("File \"" + path + "\" ")) << error;
        EXPECT_FALSE(qmv3test::FileExists(path)) << limit;
    }
}

TEST(Imc2Save, ErrorTextBufferRules) {
    QMBUNCHOFIMAGES images = {nullptr, 0};
    char error[10];
    std::memset(error, 'x', sizeof(error));
    EXPECT_EQ(QMV3_SAVE_PARAMETER_ERROR, qmSaveImagesToFileEx(&images, nullptr, error, 1, nullptr, nullptr));
    EXPECT_EQ('x', error[0]);
    EXPECT_EQ(QMV3_SAVE_PARAMETER_ERROR,
              qmSaveImagesToFileEx(&images, nullptr, error, sizeof(error), nullptr, nullptr));
    EXPECT_STREQ("Paramete", error);  // at most size - 2 characters
    EXPECT_EQ(QMV3_SAVE_PARAMETER_ERROR, qmSaveImagesToFile(&images, nullptr));
}

TEST(SaveDispatch, ExtensionChoosesTheOlderFormat) {
    TempDir dir;
    QMBUNCHOFIMAGES images = MakeSequence(2, 16, 8, 1, QMV3_FORMAT_GRAY);
    SequenceGuard guard(images);
    struct Case {
        const char* name;
        int format;
    } cases[] = {{"a.IMC", 2}, {"a.bkc", 2}, {"a.imm", 0}, {"a.imc2", 3}, {"a.bkc2", 3}};
    for (const Case& c : cases) {
        const std::string path = dir.file(c.name);
        double percent = 0.0;
        char error[300] = {};
        ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFileEx(&images, path.c_str(), error, sizeof(error), nullptr, &percent))
            << error;
        EXPECT_EQ(c.format, qmCheckFileFormat(path.c_str(), nullptr, 0)) << c.name;
        EXPECT_DOUBLE_EQ(1.0, percent) << c.name;
    }
}

TEST(SaveDispatch, OlderFormatFailuresCarryTheirTexts) {
    TempDir dir;
    QMBUNCHOFIMAGES gray = MakeSequence(2, 16, 8, 1, QMV3_FORMAT_GRAY);
    QMBUNCHOFIMAGES rgb = MakeSequence(1, 16, 8, 3, QMV3_FORMAT_RGB);
    SequenceGuard g1(gray), g2(rgb);
    char error[400] = {};
    const std::string bkg = dir.file("two.BKG");
    EXPECT_EQ(QMV3_LEGACY_SAVE_FRAME_COUNT,
              qmSaveImagesToFileEx(&gray, bkg.c_str(), error, sizeof(error), nullptr, nullptr));
    EXPECT_EQ("File \"" + bkg +
                  "\" save error: Error saving to bkg format: Multiple video images can not be saved as bkg file.",
              std::string(error));
    const std::string imm = dir.file("rgb.imm");
    EXPECT_EQ(QMV3_SAVE_TRANSCODING_FAILED,
              qmSaveImagesToFileEx(&rgb, imm.c_str(), error, sizeof(error), nullptr, nullptr));
    EXPECT_EQ(0u, std::string(error).find("File \"" + imm + "\" save error: Transcoding Error: Error Code: -2 ("))
        << error;
    EXPECT_FALSE(qmv3test::FileExists(imm));
    gray.numFrames = 1;
    EXPECT_EQ(QMV3_SAVE_OK, qmSaveImagesToFileEx(&gray, bkg.c_str(), error, sizeof(error), nullptr, nullptr));
    EXPECT_EQ(QMV3_FILE_BKG, qmCheckFileFormat(bkg.c_str(), nullptr, 0));
    gray.numFrames = 2;
}

}  // namespace
