// IMC files written with either deflate engine: every stream inflates with zlib's own uncompress and the
// file loads back unchanged; the default engine writes exactly zlib's compress output.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "legacy_fixture.h"
#include "util/deflate_engine.h"

namespace {

using Bytes = std::vector<unsigned char>;

uint32_t U32At(const Bytes& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// A gradient with noise (deflates), then noise alone (cannot shrink).
std::vector<Bytes> Frames(size_t length) {
    std::vector<Bytes> frames(2, Bytes(length));
    uint32_t state = 12345;
    for (size_t i = 0; i < length; ++i) {
        state = state * 1103515245u + 12345u;
        frames[0][i] = static_cast<unsigned char>(i / 97 + (state >> 28));
        frames[1][i] = static_cast<unsigned char>(state >> 24);
    }
    return frames;
}

Bytes Compress(const Bytes& data) {
    uLongf length = compressBound(data.size());
    Bytes out(length);
    EXPECT_EQ(Z_OK, compress(out.data(), &length, data.data(), data.size()));
    out.resize(length);
    return out;
}

TEST(ImcEngines, EitherEngineWritesStreamsZlibInflatesAndTheLoaderReads) {
    const std::vector<Bytes> frames = Frames(320 * 240);
    for (const bool fast : {false, true}) {
        SCOPED_TRACE(fast ? "fast" : "default");
        if (fast) setenv(deflate_engine::kFastCompressionVariable, "1", 1);
        qmv3test::TempDir dir;
        qmv3test::RecordGuard source;
        qmv3test::FillRecord(&source.rec, 320, 240, 8, 8, VIDINFHDR_TYPE_IMC, frames, {0.5, 0.5});
        const std::string path = dir.file("run.imc");
        ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_imc_file(path.c_str(), &source.rec));
        unsetenv(deflate_engine::kFastCompressionVariable);

        const Bytes file = qmv3test::ReadFileBytes(path);
        size_t at = 16;
        for (const Bytes& frame : frames) {
            ASSERT_LE(at + 16, file.size());
            const uint32_t streamLength = U32At(file, at + 8);
            ASSERT_EQ(frame.size(), U32At(file, at + 12));
            ASSERT_LE(at + 16 + streamLength, file.size());
            const Bytes stream(file.begin() + at + 16, file.begin() + at + 16 + streamLength);
            Bytes inflated(frame.size());
            uLongf length = inflated.size();
            ASSERT_EQ(Z_OK, uncompress(inflated.data(), &length, stream.data(), stream.size()));
            EXPECT_EQ(frame, inflated);
            if (!fast) {
                EXPECT_EQ(Compress(frame), stream);
            }
            at += 16 + streamLength;
        }
        EXPECT_EQ(file.size(), at);

        qmv3test::RecordGuard loaded;
        ASSERT_EQ(QMV3_LEGACY_LOAD_OK, load_imc_file(path.c_str(), &loaded.rec));
        ASSERT_EQ(2, loaded.rec.numframes);
        EXPECT_EQ(frames[0], qmv3test::Frame(loaded.rec, 0));
        EXPECT_EQ(frames[1], qmv3test::Frame(loaded.rec, 1));
    }
}

TEST(ImcEngines, FastCompressionChangesTheStreamsOnlyWhenLibdeflateIsBuiltIn) {
    const std::vector<Bytes> frames = Frames(64 * 64);
    Bytes written[2];
    for (int fast = 0; fast < 2; ++fast) {
        if (fast == 1) setenv(deflate_engine::kFastCompressionVariable, "1", 1);
        qmv3test::TempDir dir;
        qmv3test::RecordGuard source;
        qmv3test::FillRecord(&source.rec, 64, 64, 8, 8, VIDINFHDR_TYPE_IMC, {frames[0]}, {1.0});
        ASSERT_EQ(QMV3_LEGACY_SAVE_OK, save_imc_file(dir.file("a.imc").c_str(), &source.rec));
        unsetenv(deflate_engine::kFastCompressionVariable);
        written[fast] = qmv3test::ReadFileBytes(dir.file("a.imc"));
    }
    EXPECT_EQ(deflate_engine::LibdeflateAvailable(), written[0] != written[1]);
}

}  // namespace
