// Loading image sequences: round trips, the fields the reader sets itself, crafted and truncated files
// for every check, progress and interrupt, and nothing handed out on failure.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "files/files_test_util.h"
#include "qmv3/qmv3.h"

namespace {

using filestest::MakeSequence;
using filestest::PutLE;
using filestest::PutSet;
using filestest::SequenceGuard;
using qmv3test::TempDir;

struct Loaded {
    int code;
    std::string error;
};

Loaded Load(const std::string& path, QMBUNCHOFIMAGES& out, int* interrupt = nullptr, double* percent = nullptr) {
    char error[600] = {};
    const int code = qmLoadImagesFromFileEx(path.c_str(), &out, interrupt, percent, error, sizeof(error));
    return {code, error};
}

// Saves the sequence and checks that loading gives it back with the documented adjustments.
void ExpectRoundTrip(QMBUNCHOFIMAGES& saved, const std::string& path, std::string portName = "") {
    ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&saved, path.c_str()));
    QMBUNCHOFIMAGES loaded = {nullptr, 0};
    SequenceGuard guard(loaded);
    double percent = 0.0;
    const Loaded result = Load(path, loaded, nullptr, &percent);
    ASSERT_EQ(0, result.code) << result.error;
    EXPECT_DOUBLE_EQ(1.0, percent);
    ASSERT_EQ(saved.numFrames, loaded.numFrames);
    struct stat info;
    ASSERT_EQ(0, stat(path.c_str(), &info));
    for (unsigned k = 0; k < saved.numFrames; ++k) {
        DIMAGE expected = saved.imageArray[k];
        const DIMAGE& got = loaded.imageArray[k];
        if (expected.frameHeader.frameNumber == 0) expected.frameHeader.frameNumber = k + 1;
        if (static_cast<int32_t>(expected.sourceHeader.timestampSeconds) <= 0) {
            expected.sourceHeader.timestampSeconds = static_cast<uint32_t>(info.st_mtim.tv_sec);
            expected.sourceHeader.timestampMicroseconds = static_cast<uint32_t>(info.st_mtim.tv_nsec / 1000000) * 1000;
        }
        if (expected.sourceHeader.cameraPortName[0] == '\0') {
            if (portName.empty()) portName = path;
            ASSERT_LT(portName.size(), 64u);
            std::strcpy(expected.sourceHeader.cameraPortName, portName.c_str());
        }
        expected.frameBufferSize = static_cast<uint32_t>(expected.frameHeader.appendedFrameSize);
        expected.frameHeader.fspare3 = -1.0f;
        expected.frameHeader.ispare1 = expected.frameHeader.ispare2 = expected.frameHeader.ispare3 = -1;
        EXPECT_EQ(0, std::memcmp(&expected, &got, QMV3_IMAGE_HEADER_SIZE + 4)) << "header of image " << k + 1;
        EXPECT_EQ(0, std::memcmp(expected.frameBuffer, got.frameBuffer, expected.frameHeader.appendedFrameSize))
            << "frame bytes of image " << k + 1;
    }
}

TEST(Imc2Load, RoundTripsOfGrayAndRgb) {
    TempDir dir;
    struct Case {
        int bytesPerPixel;
        int format;
    } cases[] = {{1, QMV3_FORMAT_GRAY}, {2, QMV3_FORMAT_GRAY}, {3, QMV3_FORMAT_RGB}};
    for (const Case& c : cases) {
        QMBUNCHOFIMAGES images = MakeSequence(3, 37, 21, c.bytesPerPixel, c.format);
        SequenceGuard guard(images);
        ExpectRoundTrip(images, dir.file("seq" + std::to_string(c.bytesPerPixel) + ".imc2"));
    }
}

TEST(Imc2Load, RoundTripWithAreaOfInterestPortAndNumbers) {
    TempDir dir;
    QMBUNCHOFIMAGES images = MakeSequence(2, 20, 10, 2, QMV3_FORMAT_GRAY);
    SequenceGuard guard(images);
    for (unsigned k = 0; k < 2; ++k) {
        DIMAGE& image = images.imageArray[k];
        image.frameHeader.aoiWidth = 5;
        image.frameHeader.aoiHeight = 4;
        image.frameHeader.xStart = 3;
        image.frameHeader.yStart = 2;
        image.frameHeader.eventNumber = 77 + k;
        image.frameHeader.sourceFormat = QMV3_FORMAT_JPEG;  // decompressed from a camera's JPEG
        image.frameHeader.imageFlags = 0x3FF;
        image.frameHeader.imageRotation = 90.0f;
        image.sourceHeader.cameraPortId = 4294967295u;
        std::strcpy(image.sourceHeader.cameraPortName, "camera=port");
    }
    ExpectRoundTrip(images, dir.file("aoi.bkc2"));
}

TEST(Imc2Load, ReaderFillsFrameNumberTimeAndPortName) {
    TempDir dir;
    QMBUNCHOFIMAGES images = MakeSequence(2, 8, 8, 1, QMV3_FORMAT_GRAY, 0);
    SequenceGuard guard(images);
    for (unsigned k = 0; k < 2; ++k) images.imageArray[k].sourceHeader.timestampSeconds = 0;
    // A path longer than the port name field keeps its beginning and its end.
    const std::string path = dir.file(std::string(80, 'p') + ".imc2");
    ExpectRoundTrip(images, path, path.substr(0, 30) + "..." + path.substr(path.size() - 30));
}

TEST(Imc2Load, CompressedAndRawImagesInOneFile) {
    TempDir dir;
    QMBUNCHOFIMAGES images = MakeSequence(2, 32, 32, 1, QMV3_FORMAT_GRAY);
    SequenceGuard guard(images);
    uint32_t state = 12345;
    for (int i = 0; i < 1024; ++i) {
        state = state * 1103515245u + 12345u;
        images.imageArray[1].frameBuffer[i] = static_cast<unsigned char>(state >> 24);
    }
    ExpectRoundTrip(images, dir.file("mixed.imc2"));
}

TEST(Imc2Load, LargeCompressedFramesSpanManyReads) {
    TempDir dir;
    QMBUNCHOFIMAGES images = MakeSequence(2, 1000, 700, 2, QMV3_FORMAT_GRAY);
    SequenceGuard guard(images);
    uint32_t state = 99;
    for (unsigned k = 0; k < 2; ++k) {
        for (int i = 0; i < 1000 * 700; ++i) {  // noisy low bytes: compressed, but far beyond one read
            state = state * 1103515245u + 12345u;
            images.imageArray[k].frameBuffer[2 * i] = static_cast<unsigned char>(state >> 24);
            images.imageArray[k].frameBuffer[2 * i + 1] = static_cast<unsigned char>(i % 3);
        }
    }
    ExpectRoundTrip(images, dir.file("large.imc2"));
}

// A valid file of one 8 x 8 GRAY image, to be mutated by the crafted-file tests.
class CraftedFile : public ::testing::Test {
  protected:
    void SetUp() override {
        QMBUNCHOFIMAGES images = MakeSequence(1, 8, 8, 1, QMV3_FORMAT_GRAY);
        SequenceGuard guard(images);
        const std::string source = dir_.file("source.imc2");
        ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&images, source.c_str()));
        bytes_ = qmv3test::ReadFileBytes(source);
        path_ = dir_.file("crafted.imc2");
        p_ = "File \"" + path_ + "\"";
    }
    Loaded LoadBytes(const std::vector<unsigned char>& bytes, int* interrupt = nullptr) {
        std::remove(path_.c_str());
        qmv3test::WriteFileBytes(path_, bytes);
        QMBUNCHOFIMAGES out = {nullptr, 0};
        const Loaded result = Load(path_, out, interrupt);
        if (result.code != 0) {
            EXPECT_EQ(nullptr, out.imageArray);
            EXPECT_EQ(0u, out.numFrames);
        }
        filestest::FreeSequence(out);
        return result;
    }
    void SetText(std::vector<unsigned char>& bytes, size_t offset, const std::string& text) {
        std::memset(&bytes[offset], 0, 250);
        std::memcpy(&bytes[offset], text.data(), text.size());
    }
    static size_t GlobalSet(size_t j) { return 14 + 252 * j; }
    static size_t ImageSet(size_t j) { return filestest::kFirstImageSetsOffset + 252 * j; }
    static constexpr size_t kImage = filestest::kFirstImageOffset;

    TempDir dir_;
    std::vector<unsigned char> bytes_;
    std::string path_;
    std::string p_;
};

TEST_F(CraftedFile, UnmodifiedFileLoads) { EXPECT_EQ(0, LoadBytes(bytes_).code); }

TEST_F(CraftedFile, HeaderChecks) {
    struct Case {
        size_t offset;
        uint64_t value;
        int size;
        int code;
        std::string tail;
    } cases[] = {
        {0, 5, 4, -3, " is no imc2(bkc2) file (magic1 not zero)."},
        {4, 2, 4, -3, " is no imc2(bkc2) file (magic2 not one)."},
        {12, 10, 1, -3,
         " parse error (incorrect carriage return value after number_of_global_metadata_sets_in_file (must be 13, but "
         "is 10)."},
        {13, 255, 1, -3,
         " parse error (incorrect line feed value after number_of_global_metadata_sets_in_file (must be 10, but is "
         "255)."},
        {8, 19, 4, -3,
         " parse error (number_of_global_metadata_sets_in_file(19) must be larger than or equal "
         "n_mandatory_global_metadata_sets_in_file(20)."},
        {8, 101, 4, -3, " parse error (number_of_global_metadata_sets_in_file(101) must less than or equal 100."},
        {kImage, 2147483648u, 8, -11,
         " parse error: len_uncompressed too large (2147483648 > 2147483647(int32t_max) at image 1 of 1."},
        {kImage + 8, 2147483648u, 8, -11,
         " parse error: len_compressed too large (2147483648 > 2147483647(int32t_max) of image 1 of 1."},
        {kImage + 8, 65, 8, -3,
         " parse error: Value of len_compressed(65) or len_uncompressed(64) zero or u<c, of image 1 of 1."},
        {kImage, 0, 8, -3, ""},
        {kImage + 16, 11, 4, -3,
         " parse error: Value of num_image_metadata_sets=11 incorrect, of image 1 of 1. Must be [2..10]."},
        {kImage + 16, 1, 4, -3,
         " parse error: Value of num_image_metadata_sets=1 incorrect, of image 1 of 1. Must be [2..10]."},
        {kImage + 20, 0, 1, -3,
         " parse error (incorrect carriage return value after num_image_metadata_sets of image 1 of 1(must be 13, but "
         "is "
         "0))."},
        {kImage + 21, 13, 1, -3,
         " parse error (incorrect line feed value after num_image_metadata_sets of image 1 of 1(must be 10, but is "
         "13))."},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> bytes = bytes_;
        PutLE(bytes, c.offset, c.value, c.size);
        const Loaded result = LoadBytes(bytes);
        EXPECT_EQ(c.code, result.code) << c.tail;
        if (!c.tail.empty()) {
            EXPECT_EQ(p_ + c.tail, result.error);
        }
    }
}

TEST_F(CraftedFile, TruncatedFilesAreShortReads) {
    struct Case {
        size_t length;
        std::string message;
    } cases[] = {
        {2, p_ + " read error (magic1)."},
        {6, p_ + " read error (magic2)."},
        {10, p_ + " read error (number_of_global_metadata_sets_in_file)."},
        {12, p_ + " read error (carriage return after number_of_global_metadata_sets_in_file)."},
        {13, p_ + " read error (line feed after number_of_global_metadata_sets_in_file)."},
        {14 + 252 * 3 + 100,
         "Error at _internal_read_metadata_set_from_file while reading 4 of 20 global metadata set "
         "from file \"" +
             path_ + "\"."},
        {kImage + 4, p_ + " read error: Unable to read len_uncompressed value at image 1 of 1."},
        {kImage + 22 + 252 * 2 + 3, ""},
        {kImage + 22 + 252 * 4, ""},
        {bytes_.size() - 1, p_ + " read error: Unable to read image compressed bits (size=" +
                                std::to_string(bytes_.size() - kImage - 22 - 4 * 252) + ") of image 1 of 1."},
    };
    for (const Case& c : cases) {
        const std::vector<unsigned char> bytes(bytes_.begin(), bytes_.begin() + c.length);
        const Loaded result = LoadBytes(bytes);
        EXPECT_NE(0, result.code) << c.length;
        if (!c.message.empty()) {
            EXPECT_EQ(-5, result.code) << c.length;
            EXPECT_EQ(c.message, result.error);
        }
    }
}

TEST_F(CraftedFile, ImageHeaderReadsComeBackShort) {
    std::vector<unsigned char> bytes = bytes_;
    // A second image announced and cut at each field of its header.
    SetText(bytes, GlobalSet(0), "number_of_images=2");
    std::vector<unsigned char> twice(bytes);
    twice.insert(twice.end(), bytes.begin() + kImage, bytes.begin() + kImage + 22 + 252 * 4);
    const struct {
        size_t keep;
        std::string message;
    } cases[] = {
        {4, p_ + " read error: Unable to read len_uncompressed value at image 2 of 2."},
        {12, p_ + " read error: Unable to read len_compressed value at image 2 of 2."},
        {18, p_ + " read error: Unable to read num_image_metadata_sets of image 2 of 2."},
        {20, p_ + " read error (carriage return after num_image_metadata_sets of image 2 of 2)."},
        {21, p_ + " read error (line feed after num_image_metadata_sets of image 2 of 2)."},
        {22 + 252 + 9,
         "Error at _internal_read_metadata_set_from_file while reading 2 of 4 per-image metadata set of "
         "image 2 of 2 from file \"" +
             path_ + "\"."},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> cut(twice.begin(), twice.begin() + bytes_.size() + c.keep);
        const Loaded result = LoadBytes(cut);
        EXPECT_EQ(-5, result.code) << c.keep;
        EXPECT_EQ(c.message, result.error);
    }
}

TEST_F(CraftedFile, GlobalMetadataChecks) {
    struct Case {
        size_t set;
        std::string text;
        int code;
        std::string message;
    } cases[] = {
        {17, "comment=x", -3, p_ + " parse error: Mandatory meta data key \"image_rotation is missing in file."},
        {17, "IMAGE_ROTATION=1.5", 0, ""},
        {17, "width_px=3", -3,
         p_ + " parse error: Error validating Key=Value \"width_px=3\" at global_metadata_set 18 of 20"},
        {15, "source_format=gray", -3, p_ + " parse error: Global metadata source_format=gray could not be converted."},
        {0, "number_of_images=0", -3, p_ + " parse error: Meta value images_in_file=0 invalid. Must be >0."},
        {0, "number_of_images=1000", -5, p_ + " read error: Unable to read len_uncompressed value at image 2 of 1000."},
        {3, "scale_x_mm/px=abc", -3, ""},
        {3, "scale_x_mm/px=-1.0", 0, ""},
        {3, "scale_x_mm/px=nan", -3, p_ + " parse error: Global metadata scale_x_mm/px=nan could not be converted to float."},
        {4, "scale_y_mm/px=-NAN", -3, p_ + " parse error: Global metadata scale_y_mm/px=-NAN could not be converted to float."},
        {3, "scale_x_mm/px", -6,
         "Error at _internal_read_metadata_set_from_file while reading 4 of 20 global metadata set "
         "from file \"" +
             path_ + "\"."},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> bytes = bytes_;
        SetText(bytes, GlobalSet(c.set), c.text);
        const Loaded result = LoadBytes(bytes);
        EXPECT_EQ(c.code, result.code) << c.text;
        if (!c.message.empty()) {
            EXPECT_EQ(c.message, result.error);
        }
    }
}

TEST_F(CraftedFile, OptionalGlobalSets) {
    std::vector<unsigned char> bytes = bytes_;
    PutLE(bytes, 8, 22, 4);
    std::vector<unsigned char> extra;
    PutSet(extra, "camera_port_name=" + std::string(70, 'n'));
    PutSet(extra, "camera_port_id=9");
    bytes.insert(bytes.begin() + kImage, extra.begin(), extra.end());
    QMBUNCHOFIMAGES out = {nullptr, 0};
    SequenceGuard guard(out);
    qmv3test::WriteFileBytes(path_, bytes);
    ASSERT_EQ(0, Load(path_, out).code);
    EXPECT_EQ(std::string(63, 'n'), out.imageArray[0].sourceHeader.cameraPortName);
    EXPECT_EQ(9u, out.imageArray[0].sourceHeader.cameraPortId);

    std::vector<unsigned char> empty = bytes;
    SetText(empty, GlobalSet(20), "camera_port_name=");
    EXPECT_EQ(p_ + " parse error: Global metadata camera_port_name must not be empty if specified.",
              LoadBytes(empty).error);
}

TEST_F(CraftedFile, PerImageMetadataChecks) {
    const std::string image = " of image 1 of 1.";
    struct Case {
        size_t set;
        std::string text;
        std::string message;
    } cases[] = {
        {0, "comment=x", p_ + " parse error: Mandatory per-image meta data key \"image_start is missing in file."},
        {2, "framenumber=5",
         p_ + " parse error: Error validating KeyValue=\"framenumber=1\" at image_metadata_set 4 of 4"
              " of image 1 of 1.)"},
        {1, "timestamp_utc=2023-07-27 15:04:05.000123 UTC",
         p_ + " parse error: Per-image metadata timestamp_utc=2023-07-27 15:04:05.000123 UTC could not be converted to "
              "UTC timestamp,for image 1 of 1."},
        {1, "timestamp_utc=9999-12-31 11:59:59.000000 PM UTC",
         p_ + " parse error: Per-image metadata timestamp_utc=9999-12-31 11:59:59.000000 PM UTC could not be "
              "converted to UTC timestamp,for image 1 of 1."},
        {2, "image_flags=FOO",
         p_ + " parse error: Per-image metadata image_flags=FOO could not be converted to flags "
              "bits,for image 1 of 1."},
        {3, "framenumber=-1",
         p_ + " parse error: Error validating KeyValue=\"framenumber=-1\" at image_metadata_set 4 "
              "of 4 of image 1 of 1.)"},
        {3, "eventnumber=12", ""},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> bytes = bytes_;
        SetText(bytes, ImageSet(c.set), c.text);
        const Loaded result = LoadBytes(bytes);
        EXPECT_EQ(c.message.empty() ? 0 : -3, result.code) << c.text;
        EXPECT_EQ(c.message, result.error);
    }
}

TEST_F(CraftedFile, PixelBlockChecks) {
    const size_t pixels = kImage + 22 + 4 * 252;
    std::vector<unsigned char> corrupt = bytes_;
    corrupt[pixels] ^= 0xFF;  // breaks the zlib header
    EXPECT_EQ(-8, LoadBytes(corrupt).code);
    EXPECT_EQ(p_ + " decompression error: zlib decompression failed at image 1 of 1.", LoadBytes(corrupt).error);

    // A stream that inflates to fewer bytes than announced: no image with undefined bytes.
    std::vector<unsigned char> shorter = bytes_;
    PutLE(shorter, kImage, 65, 8);
    EXPECT_EQ(-8, LoadBytes(shorter).code);

    // A tiny block that announces 2 GiB - 1 bytes is refused before anything that large is allocated.
    std::vector<unsigned char> huge = bytes_;
    PutLE(huge, kImage, 2147483647u, 8);
    EXPECT_EQ(-8, LoadBytes(huge).code);

    // Frame bytes that do not cover the image fail the validity check.
    std::vector<unsigned char> small = bytes_;
    SetText(small, GlobalSet(5), "source_width_px=9");
    SetText(small, GlobalSet(1), "width_px=9");
    const Loaded invalid = LoadBytes(small);
    EXPECT_EQ(-2, invalid.code);
    EXPECT_EQ(p_ + " load error: _internal_qmCheckImageValidity failed at image 1 of 1.", invalid.error);
}

// The count is believed only as far as the file goes: the load fails where the file ends.
TEST_F(CraftedFile, HugeImageCountFailsWhereTheFileEnds) {
    std::vector<unsigned char> bytes = bytes_;
    SetText(bytes, GlobalSet(0), "number_of_images=4294967295");
    const Loaded result = LoadBytes(bytes);
    EXPECT_EQ(-5, result.code);
    EXPECT_EQ(p_ + " read error: Unable to read len_uncompressed value at image 2 of 4294967295.", result.error);
}

// Image sections built from scratch and ending where their fault leaves them, so that they are smaller
// than any complete image: each gets the message of its own fault.
TEST_F(CraftedFile, SmallImageSectionsGetTheMessageOfTheirFault) {
    const auto set = [&](size_t j) {
        return std::vector<unsigned char>(&bytes_[ImageSet(j)], &bytes_[ImageSet(j + 1)]);
    };
    const std::vector<unsigned char> start = set(0), flags = set(2);  // the two mandatory per-image sets
    const auto section = [&](uint64_t u, uint64_t c, uint32_t m, int sets, size_t pixels) {
        std::vector<unsigned char> bytes;
        PutLE(bytes, u, 8);
        PutLE(bytes, c, 8);
        PutLE(bytes, m, 4);
        bytes.push_back(13);
        bytes.push_back(10);
        if (sets > 0) bytes.insert(bytes.end(), start.begin(), start.end());
        if (sets > 1) bytes.insert(bytes.end(), flags.begin(), flags.end());
        bytes.insert(bytes.end(), pixels, 0x5A);
        return bytes;
    };
    const std::vector<unsigned char> image = section(64, 64, 2, 2, 64);  // a whole 8 x 8 raw image
    const std::string setFailed =
        "Error at _internal_read_metadata_set_from_file while reading 2 of 2 per-image "
        "metadata set of image 1 of 1 from file \"" +
        path_ + "\".";
    const struct {
        const char* count;
        std::vector<unsigned char> images;
        int code;
        std::string message;
    } cases[] = {
        {"1", image, 0, ""},
        {"1", section(64, 64, 1, 1, 0), -3,
         p_ + " parse error: Value of num_image_metadata_sets=1 incorrect, of image 1 of 1. Must be [2..10]."},
        {"1", section(0, 0, 2, 2, 0), -3,
         p_ + " parse error: Value of len_compressed(0) or len_uncompressed(0) zero or u<c, of image 1 of 1."},
        {"1", section(64, 64, 2, 1, 0), -5, setFailed},
        {"1", section(64, 64, 2, 2, 10), -5,
         p_ + " read error: Unable to read image compressed bits (size=64) of image 1 of 1."},
        {"1", std::vector<unsigned char>(image.begin(), image.begin() + 3), -5,
         p_ + " read error: Unable to read len_uncompressed value at image 1 of 1."},
        {"4294967295", {}, -5, p_ + " read error: Unable to read len_uncompressed value at image 1 of 4294967295."},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> bytes(bytes_.begin(), bytes_.begin() + kImage);
        SetText(bytes, GlobalSet(0), std::string("number_of_images=") + c.count);
        bytes.insert(bytes.end(), c.images.begin(), c.images.end());
        const Loaded result = LoadBytes(bytes);
        EXPECT_EQ(c.code, result.code) << c.message;
        EXPECT_EQ(c.message, result.error);
    }
}

TEST_F(CraftedFile, RawBlockLongerThanTheFile) {
    std::vector<unsigned char> bytes = bytes_;
    PutLE(bytes, kImage, 100000, 8);
    PutLE(bytes, kImage + 8, 100000, 8);
    EXPECT_EQ(-5, LoadBytes(bytes).code);
}

TEST_F(CraftedFile, InterruptStopsAfterTheGlobalBlock) {
    int interrupt = 1;
    const Loaded result = LoadBytes(bytes_, &interrupt);
    EXPECT_EQ(-9, result.code);
    EXPECT_EQ(p_ + " load error: Interrupted by user.", result.error);
}

TEST(LoadDispatch, ParameterChecks) {
    TempDir dir;
    const std::string path = dir.file("x.imc2");
    const std::string p = "File \"" + path + "\" load error: ";
    DIMAGE one;
    QMBUNCHOFIMAGES empty = {nullptr, 0};
    QMBUNCHOFIMAGES counted = {nullptr, 1};
    QMBUNCHOFIMAGES pointed = {&one, 0};
    struct Case {
        const char* path;
        QMBUNCHOFIMAGES* images;
        std::string message;
    } cases[] = {
        {nullptr, &empty, "Parameter asFilePath must not be NULL."},
        {"", &empty, "Parameter asFilePath must not be empty string."},
        {path.c_str(), nullptr, p + "Parameter apImages must not be NULL."},
        {path.c_str(), &counted, p + "Parameter apImages->numFrames must not be bigger than zero."},
        {path.c_str(), &pointed, p + "Parameter apImages->imageArray must not be initialized (!=NULL)."},
    };
    for (const Case& c : cases) {
        char error[300] = {};
        EXPECT_EQ(QMV3_LOAD_PARAMETER_ERROR,
                  qmLoadImagesFromFileEx(c.path, c.images, nullptr, nullptr, error, sizeof(error)));
        EXPECT_EQ(c.message, error);
    }
    EXPECT_EQ(QMV3_LOAD_OPEN_FAILED, qmLoadImagesFromFile(path.c_str(), &empty));
    char error[300] = {};
    EXPECT_EQ(QMV3_LOAD_OPEN_FAILED,
              qmLoadImagesFromFileEx(path.c_str(), &empty, nullptr, nullptr, error, sizeof(error)));
    EXPECT_EQ("File \"" + path + "\" could not be opened for reading.", std::string(error));
}

// A FIFO would block the open forever and a device never end: every kind is refused at once, as a file
// that cannot be opened.
TEST(LoadDispatch, SpecialFilesAreRefusedWithoutBlocking) {
    TempDir dir;
    const std::string imc2 = dir.file("fifo.imc2"), imc = dir.file("fifo.imc"), imm = dir.file("fifo.imm");
    for (const std::string& fifo : {imc2, imc, imm}) ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    for (const std::string& path : {imc2, imc, imm, std::string("/dev/zero"), dir.path()}) {
        QMBUNCHOFIMAGES images = {nullptr, 0};
        EXPECT_NE(QMV3_LOAD_OK, qmLoadImagesFromFile(path.c_str(), &images)) << path;
        EXPECT_EQ(QMV3_FILE_UNKNOWN, qmCheckFileFormat(path.c_str(), nullptr, 0)) << path;
    }
}

TEST(LoadDispatch, OlderFormatsLoadAsGraySequences) {
    TempDir dir;
    QMBUNCHOFIMAGES images = MakeSequence(2, 16, 8, 2, QMV3_FORMAT_GRAY);
    SequenceGuard guard(images);
    for (const char* name : {"a.imm", "a.imc", "a.bkc", "b.bkg"}) {
        const std::string path = dir.file(name);
        images.numFrames = name[0] == 'b' ? 1 : 2;
        ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&images, path.c_str())) << name;
        QMBUNCHOFIMAGES loaded = {nullptr, 0};
        SequenceGuard loadedGuard(loaded);
        double percent = 0.0;
        const Loaded result = Load(path, loaded, nullptr, &percent);
        ASSERT_EQ(0, result.code) << name << ": " << result.error;
        ASSERT_EQ(images.numFrames, loaded.numFrames);
        EXPECT_DOUBLE_EQ(1.0, percent);
        for (unsigned k = 0; k < loaded.numFrames; ++k) {
            const DIMAGE& image = loaded.imageArray[k];
            EXPECT_EQ(2, image.frameHeader.bytesPerPixel);
            EXPECT_EQ(k + 1, image.frameHeader.frameNumber);
            EXPECT_EQ(0, std::memcmp(images.imageArray[k].frameBuffer, image.frameBuffer, 16 * 8 * 2)) << name;
        }
    }
    images.numFrames = 2;
}

TEST(LoadDispatch, OlderLoaderFailuresAndInterrupt) {
    TempDir dir;
    QMBUNCHOFIMAGES images = MakeSequence(2, 16, 8, 1, QMV3_FORMAT_GRAY);
    SequenceGuard guard(images);
    const std::string path = dir.file("a.imc");
    ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&images, path.c_str()));
    QMBUNCHOFIMAGES loaded = {nullptr, 0};
    int interrupt = 1;
    const Loaded result = Load(path, loaded, &interrupt);
    EXPECT_EQ(-9, result.code);
    EXPECT_EQ("File \"" + path + "\" load error: User break.", result.error);
    EXPECT_EQ(nullptr, loaded.imageArray);
}

}  // namespace
