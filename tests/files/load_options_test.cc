// The load with options: image ranges, headers without pixels and the one block of frames, for the
// IMC2 reader, an older kind cut after a whole load and the interchange kinds, which read only the
// range; the refusals; and the release of a one-block sequence whose frames were replaced (run under
// the address sanitizer, a double free fails here).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "files/files_test_util.h"
#include "qmv3/qmv3.h"

namespace {

using filestest::MakeSequence;
using filestest::SequenceGuard;
using qmv3test::TempDir;

constexpr unsigned kImages = 5;
constexpr int kWidth = 16, kHeight = 8;
constexpr size_t kFrameBytes = size_t{kWidth} * kHeight * 2;

QMV3_LOAD_OPTIONS Options(unsigned flags, unsigned first, unsigned last) {
    QMV3_LOAD_OPTIONS options;
    std::memset(&options, 0, sizeof options);
    options.size = sizeof options;
    options.flags = flags;
    options.firstImage = first;
    options.lastImage = last;
    return options;
}

int LoadWith(const std::string& path, const QMV3_LOAD_OPTIONS* options, QMBUNCHOFIMAGES& out, std::string* error) {
    char text[600] = {};
    const int code = qmLoadImagesFromFileEx2(path.c_str(), &out, options, nullptr, nullptr, text, sizeof text);
    if (error != nullptr) *error = text;
    return code;
}

class LoadOptions : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        QMBUNCHOFIMAGES saved = MakeSequence(kImages, kWidth, kHeight, 2, QMV3_FORMAT_GRAY, 1);
        SequenceGuard guard(saved);
        path_ = dir_.file(std::string("run") + GetParam());
        ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&saved, path_.c_str()));
        ASSERT_EQ(QMV3_LOAD_OK, qmLoadImagesFromFile(path_.c_str(), &whole_));
    }
    void TearDown() override { qmFreeBunch(&whole_); }

    TempDir dir_;
    std::string path_;
    QMBUNCHOFIMAGES whole_ = {nullptr, 0};
};

TEST_P(LoadOptions, GivesTheImagesOfTheRangeInTheFormAskedFor) {
    struct Case {
        unsigned flags, first, last;
        unsigned expectFirst, expectCount;
    };
    const Case cases[] = {
        {0, 0, 0, 1, 5},
        {0, 2, 3, 2, 2},
        {0, 4, 0, 4, 2},
        {0, 3, 99, 3, 3},
        {QMV3_LOAD_FLAG_HEADERS_ONLY, 0, 0, 1, 5},
        {QMV3_LOAD_FLAG_HEADERS_ONLY, 5, 5, 5, 1},
        {QMV3_LOAD_FLAG_ONE_BLOCK, 0, 0, 1, 5},
        {QMV3_LOAD_FLAG_ONE_BLOCK, 2, 4, 2, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("flags " + std::to_string(c.flags) + " images " + std::to_string(c.first) + ".." +
                     std::to_string(c.last));
        const QMV3_LOAD_OPTIONS options = Options(c.flags, c.first, c.last);
        QMBUNCHOFIMAGES loaded = {nullptr, 0};
        ASSERT_EQ(QMV3_LOAD_OK, LoadWith(path_, &options, loaded, nullptr));
        ASSERT_EQ(c.expectCount, loaded.numFrames);
        for (unsigned i = 0; i < loaded.numFrames; ++i) {
            const DIMAGE& got = loaded.imageArray[i];
            const DIMAGE& full = whole_.imageArray[c.expectFirst - 1 + i];
            EXPECT_EQ(0, std::memcmp(&got, &full, QMV3_IMAGE_HEADER_SIZE)) << "header of image " << i;
            if (c.flags & QMV3_LOAD_FLAG_HEADERS_ONLY) {
                EXPECT_EQ(nullptr, got.frameBuffer);
                EXPECT_EQ(0u, got.frameBufferSize);
            } else {
                ASSERT_NE(nullptr, got.frameBuffer);
                EXPECT_EQ(0, std::memcmp(got.frameBuffer, full.frameBuffer, kFrameBytes)) << "pixels of image " << i;
            }
        }
        const bool imc2 = std::string(GetParam()) == ".imc2";
        if ((c.flags & QMV3_LOAD_FLAG_ONE_BLOCK) && imc2) {
            for (unsigned i = 1; i < loaded.numFrames; ++i)
                EXPECT_EQ(loaded.imageArray[0].frameBuffer + i * kFrameBytes, loaded.imageArray[i].frameBuffer);
        }
        qmFreeBunch(&loaded);
    }
}

TEST_P(LoadOptions, RefusesBadOptionsAndLeavesTheSequenceEmpty) {
    struct Case {
        QMV3_LOAD_OPTIONS options;
        const char* reason;
    };
    QMV3_LOAD_OPTIONS small = Options(0, 0, 0);
    small.size = sizeof(unsigned);
    const Case cases[] = {
        {small, "options.size"},
        {Options(0x80, 0, 0), "unknown option flags"},
        {Options(0, 4, 2), "lies before firstImage"},
        {Options(0, 6, 0), "images 6..5 requested, the file holds 5"},
    };
    for (const Case& c : cases) {
        QMBUNCHOFIMAGES loaded = {nullptr, 0};
        std::string error;
        EXPECT_EQ(QMV3_LOAD_PARAMETER_ERROR, LoadWith(path_, &c.options, loaded, &error));
        EXPECT_NE(std::string::npos, error.find(c.reason)) << error;
        EXPECT_EQ(nullptr, loaded.imageArray);
        EXPECT_EQ(0u, loaded.numFrames);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, LoadOptions, ::testing::Values(".imc2", ".imc", ".imm", ".tif", ".h5"));

// Headers only decode nothing: under a load memory limit below one frame the full load is refused and the
// headers-only load is not; an IMC stream damaged at its end is never inflated.
TEST(HeadersOnly, NeitherDecodesNorAllocatesThePixels) {
    struct Case {
        const char* extension;
        unsigned images;
        bool damageLastStream;
    };
    const Case cases[] = {{".imc2", 4, false}, {".imc", 4, false}, {".imc", 4, true}, {".imm", 4, false},
                          {".bkg", 1, false},  {".tif", 4, false},  {".h5", 4, false},  {".png", 1, false}};
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.extension) + (c.damageLastStream ? " damaged" : ""));
        QMBUNCHOFIMAGES saved = MakeSequence(c.images, kWidth, kHeight, 1, QMV3_FORMAT_GRAY, 1);
        SequenceGuard guard(saved);
        const std::string path = dir.file(std::string(c.damageLastStream ? "damaged" : "run") + c.extension);
        std::remove(path.c_str());
        ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&saved, path.c_str()));
        if (c.damageLastStream) {
            std::vector<unsigned char> bytes = qmv3test::ReadFileBytes(path);
            for (size_t i = bytes.size() - 4; i < bytes.size(); ++i) bytes[i] ^= 0xFF;  // the stream's checksum
            qmv3test::WriteFileBytes(path, bytes);
        }
        qmSetLoadMemoryLimit(kWidth * kHeight / 2);
        QMBUNCHOFIMAGES full = {nullptr, 0}, headers = {nullptr, 0};
        const QMV3_LOAD_OPTIONS options = Options(QMV3_LOAD_FLAG_HEADERS_ONLY, 0, 0);
        EXPECT_NE(QMV3_LOAD_OK, LoadWith(path, nullptr, full, nullptr));
        std::string error;
        EXPECT_EQ(QMV3_LOAD_OK, LoadWith(path, &options, headers, &error)) << error;
        qmSetLoadMemoryLimit(0);
        EXPECT_EQ(c.images, headers.numFrames);
        // The headers are those of a full load (time stamps and frame numbers included).
        const bool loads = !c.damageLastStream && LoadWith(path, nullptr, full, nullptr) == QMV3_LOAD_OK;
        for (unsigned i = 0; i < headers.numFrames; ++i) {
            EXPECT_EQ(nullptr, headers.imageArray[i].frameBuffer);
            EXPECT_EQ(kWidth * kHeight, headers.imageArray[i].frameHeader.appendedFrameSize);
            if (loads) {
                EXPECT_EQ(0, std::memcmp(&headers.imageArray[i], &full.imageArray[i], QMV3_IMAGE_HEADER_SIZE)) << i;
            }
        }
        qmFreeBunch(&full);
        qmFreeBunch(&headers);
    }
}

// A frame replaced in a one-block sequence goes through qmReleaseFrameBuffer; qmFreeBunch then frees the
// new buffer and the block once, and qmDecompressSequence and qmFreeImage know the block's frames.
TEST(OneBlock, FramesReplacedSinceTheLoadAreReleasedOnceEach) {
    TempDir dir;
    QMBUNCHOFIMAGES saved = MakeSequence(3, kWidth, kHeight, 2, QMV3_FORMAT_GRAY, 1);
    SequenceGuard guard(saved);
    const std::string path = dir.file("run.imc2");
    ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&saved, path.c_str()));
    const QMV3_LOAD_OPTIONS options = Options(QMV3_LOAD_FLAG_ONE_BLOCK, 0, 0);
    QMBUNCHOFIMAGES loaded = {nullptr, 0};
    ASSERT_EQ(QMV3_LOAD_OK, LoadWith(path, &options, loaded, nullptr));
    DIMAGE& replaced = loaded.imageArray[1];
    qmReleaseFrameBuffer(&replaced);
    EXPECT_EQ(nullptr, replaced.frameBuffer);
    replaced.frameBuffer = static_cast<unsigned char*>(std::malloc(kFrameBytes));
    replaced.frameBufferSize = kFrameBytes;
    EXPECT_EQ(QMV3_DECOMPRESS_DONE, qmDecompressSequence(&loaded, 1));  // nothing to decode, nothing freed
    EXPECT_EQ(QMV3_BUNCH_OK, qmFreeBunch(&loaded));
    EXPECT_EQ(nullptr, loaded.imageArray);
}

}  // namespace
