// IMC2 files written with either deflate engine: every compressed block inflates with zlib's own
// uncompress, a block that does not shrink is stored as it is, the default engine writes exactly zlib's
// compress output, and the file loads back unchanged.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "files/files_test_util.h"
#include "qmv3/qmv3.h"
#include "util/deflate_engine.h"

namespace {

using Bytes = std::vector<unsigned char>;

uint64_t LE(const Bytes& bytes, size_t offset, int size) {
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = (value << 8) | bytes.at(offset + i);
    return value;
}

Bytes Compress(const unsigned char* data, size_t size) {
    uLongf length = compressBound(size);
    Bytes out(length);
    EXPECT_EQ(Z_OK, compress(out.data(), &length, data, size));
    out.resize(length);
    return out;
}

// Three 64 x 48 images: two that deflate well, then one of noise that cannot shrink.
QMBUNCHOFIMAGES Sequence() {
    QMBUNCHOFIMAGES images = filestest::MakeSequence(3, 64, 48, 1, QMV3_FORMAT_GRAY);
    uint32_t state = 99;
    DIMAGE& noisy = images.imageArray[2];
    for (int32_t i = 0; i < noisy.frameHeader.appendedFrameSize; ++i) {
        state = state * 1103515245u + 12345u;
        noisy.frameBuffer[i] = static_cast<unsigned char>(state >> 24);
    }
    return images;
}

void SaveWith(bool fast, QMBUNCHOFIMAGES& images, const std::string& path) {
    if (fast) setenv(deflate_engine::kFastCompressionVariable, "1", 1);
    EXPECT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&images, path.c_str()));
    unsetenv(deflate_engine::kFastCompressionVariable);
}

TEST(Imc2Engines, BlocksOfEitherEngineInflateWithZlibAndRawBlocksStayRaw) {
    QMBUNCHOFIMAGES images = Sequence();
    filestest::SequenceGuard guard(images);
    for (const bool fast : {false, true}) {
        SCOPED_TRACE(fast ? "fast" : "default");
        qmv3test::TempDir dir;
        const std::string path = dir.file("run.imc2");
        SaveWith(fast, images, path);
        const Bytes file = qmv3test::ReadFileBytes(path);
        size_t at = filestest::kFirstImageOffset;
        for (uint32_t k = 0; k < images.numFrames; ++k) {
            const DIMAGE& image = images.imageArray[k];
            const Bytes frame(image.frameBuffer, image.frameBuffer + image.frameHeader.appendedFrameSize);
            ASSERT_EQ(frame.size(), LE(file, at, 8));
            const uint64_t blockLength = LE(file, at + 8, 8);
            const size_t blockStart = at + 22 + LE(file, at + 16, 4) * 252;
            ASSERT_LE(blockStart + blockLength, file.size());
            const Bytes block(file.begin() + blockStart, file.begin() + blockStart + blockLength);
            if (k == 2) {
                EXPECT_EQ(frame, block) << "a block that does not shrink is stored as it is";
            } else {
                ASSERT_LT(blockLength, frame.size());
                Bytes inflated(frame.size());
                uLongf length = inflated.size();
                ASSERT_EQ(Z_OK, uncompress(inflated.data(), &length, block.data(), block.size()));
                EXPECT_EQ(frame, inflated);
                if (!fast) {
                    EXPECT_EQ(Compress(frame.data(), frame.size()), block);
                }
            }
            at = blockStart + blockLength;
        }
        EXPECT_EQ(file.size(), at);

        QMBUNCHOFIMAGES loaded{};
        ASSERT_EQ(QMV3_LOAD_OK, qmLoadImagesFromFile(path.c_str(), &loaded));
        filestest::SequenceGuard loadedGuard(loaded);
        ASSERT_EQ(images.numFrames, loaded.numFrames);
        for (uint32_t k = 0; k < images.numFrames; ++k) {
            ASSERT_EQ(images.imageArray[k].frameHeader.appendedFrameSize,
                      loaded.imageArray[k].frameHeader.appendedFrameSize);
            EXPECT_EQ(0, std::memcmp(images.imageArray[k].frameBuffer, loaded.imageArray[k].frameBuffer,
                                     images.imageArray[k].frameHeader.appendedFrameSize));
        }
    }
}

TEST(Imc2Engines, FastCompressionIsReadWhenTheSaveStarts) {
    QMBUNCHOFIMAGES images = Sequence();
    filestest::SequenceGuard guard(images);
    qmv3test::TempDir dir;
    SaveWith(false, images, dir.file("default.imc2"));
    SaveWith(true, images, dir.file("fast.imc2"));
    SaveWith(false, images, dir.file("default-again.imc2"));
    const Bytes fast = qmv3test::ReadFileBytes(dir.file("fast.imc2"));
    const Bytes standard = qmv3test::ReadFileBytes(dir.file("default.imc2"));
    EXPECT_EQ(standard, qmv3test::ReadFileBytes(dir.file("default-again.imc2")));
    EXPECT_EQ(deflate_engine::LibdeflateAvailable(), fast != standard);
}

}  // namespace
