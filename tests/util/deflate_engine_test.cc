// The deflate seam: the default engine writes exactly what zlib's compress writes, both engines make
// streams that zlib inflates, and inflation insists on the exact length and an intact stream.
#include "util/deflate_engine.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

using deflate_engine::Compressor;
using deflate_engine::Engine;
using deflate_engine::Inflater;
using Bytes = std::vector<unsigned char>;

// Camera-like pixels: a gradient with noise; noiseAmplitude 256 makes every byte random.
Bytes Frame(size_t length, unsigned noiseAmplitude, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes bytes(length);
    for (size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<unsigned char>((i / 7) % 200 + random() % noiseAmplitude);
    return bytes;
}

Bytes ZlibCompress(const Bytes& input) {
    uLongf length = compressBound(input.size());
    Bytes output(length);
    EXPECT_EQ(compress(output.data(), &length, input.data(), input.size()), Z_OK);
    output.resize(length);
    return output;
}

Bytes Deflate(Compressor& compressor, const Bytes& input) {
    const unsigned char* stream = nullptr;
    size_t length = 0;
    EXPECT_TRUE(compressor.Compress(input.data(), input.size(), &stream, &length));
    return stream == nullptr ? Bytes() : Bytes(stream, stream + length);
}

struct Sample {
    const char* name;
    size_t length;
    unsigned noise;
};

const Sample kSamples[] = {
    {"empty", 0, 1}, {"one byte", 1, 1}, {"smooth", 300000, 1}, {"camera-like", 307200, 8}, {"random", 65536, 256},
};

TEST(DeflateEngine, DefaultEngineWritesExactlyWhatCompressWrites) {
    // One object for every block, small after large and large after small, as a save uses it.
    Compressor compressor(Engine::kZlib);
    for (int round = 0; round < 2; ++round) {
        for (const Sample& sample : kSamples) {
            const Bytes input = Frame(sample.length, sample.noise, 7 + round);
            EXPECT_EQ(Deflate(compressor, input), ZlibCompress(input)) << sample.name << " round " << round;
        }
    }
}

TEST(DeflateEngine, StreamsOfEveryEngineAndLevelInflateWithZlibAndTheInflater) {
    Inflater inflater;
    for (int level = 0; level <= 12; ++level) {
        // Level 0 stands for the zlib engine.
        Compressor compressor(level == 0 ? Engine::kZlib : Engine::kLibdeflate, level);
        for (const Sample& sample : kSamples) {
            const Bytes input = Frame(sample.length, sample.noise, 11);
            const Bytes stream = Deflate(compressor, input);
            Bytes viaZlib(input.size() + 1);
            uLongf length = viaZlib.size();
            ASSERT_EQ(uncompress(viaZlib.data(), &length, stream.data(), stream.size()), Z_OK)
                << sample.name << " level " << level;
            viaZlib.resize(length);
            EXPECT_EQ(viaZlib, input) << sample.name << " level " << level;
            Bytes viaInflater(input.size());
            EXPECT_TRUE(inflater.Inflate(stream.data(), stream.size(), viaInflater.data(), input.size()));
            EXPECT_EQ(viaInflater, input) << sample.name << " level " << level;
        }
    }
}

TEST(DeflateEngine, IncompressibleBlocksDoNotShrinkWithEitherEngine) {
    // The file writers store such a block as it is; both engines must report the growth honestly.
    const Bytes input = Frame(100000, 256, 3);
    for (Engine engine : {Engine::kZlib, Engine::kLibdeflate}) {
        Compressor compressor(engine);
        EXPECT_GE(Deflate(compressor, input).size(), input.size());
    }
}

TEST(DeflateEngine, FastEngineIsLibdeflateWhenBuiltIn) {
    Compressor fast(Engine::kLibdeflate);
    EXPECT_EQ(fast.engine(), deflate_engine::LibdeflateAvailable() ? Engine::kLibdeflate : Engine::kZlib);
}

TEST(DeflateEngine, InflationRefusesWrongLengthsAndDamagedStreams) {
    const Bytes input = Frame(50000, 8, 5);
    const Bytes stream = ZlibCompress(input);
    Bytes corrupted = stream;
    corrupted[corrupted.size() / 2] ^= 0x55;
    Bytes badChecksum = stream;
    badChecksum.back() ^= 0x01;
    const Bytes truncated(stream.begin(), stream.end() - 5);
    struct Case {
        const char* name;
        const Bytes* stream;
        size_t expected;
    } cases[] = {
        {"stream gives fewer bytes", &stream, input.size() + 1},
        {"stream gives more bytes", &stream, input.size() - 1},
        {"corrupted", &corrupted, input.size()},
        {"bad checksum", &badChecksum, input.size()},
        {"truncated", &truncated, input.size()},
    };
    Inflater inflater;
    for (const Case& c : cases) {
        Bytes output(c.expected + 16);
        EXPECT_FALSE(inflater.Inflate(c.stream->data(), c.stream->size(), output.data(), c.expected)) << c.name;
    }
    // The same object still inflates an intact stream after the failures; bytes after the end of the
    // stream are ignored, as zlib's uncompress ignores them.
    Bytes padded = stream;
    padded.insert(padded.end(), 9, 0xAB);
    Bytes output(input.size());
    EXPECT_TRUE(inflater.Inflate(padded.data(), padded.size(), output.data(), output.size()));
    EXPECT_EQ(output, input);
}

TEST(DeflateEngine, TheVariableSelectsTheFastEngineAndItsLevel) {
    const int chosen = deflate_engine::kDefaultFastLevel;
    struct Case {
        const char* value;
        bool fast;
        int level;
    } cases[] = {{nullptr, false, chosen}, {"", false, chosen},   {"0", false, chosen},  {"yes", false, chosen},
                 {"1 ", false, chosen},    {"13", false, chosen}, {"01", false, chosen}, {"123", false, chosen},
                 {"1", true, chosen},      {"2", true, 2},        {"9", true, 9},        {"12", true, 12}};
    for (const Case& c : cases) {
        if (c.value == nullptr) {
            unsetenv(deflate_engine::kFastCompressionVariable);
        } else {
            setenv(deflate_engine::kFastCompressionVariable, c.value, 1);
        }
        const Engine expected = c.fast && deflate_engine::LibdeflateAvailable() ? Engine::kLibdeflate : Engine::kZlib;
        EXPECT_EQ(deflate_engine::WriteEngineFromEnvironment(), expected) << (c.value ? c.value : "(unset)");
        EXPECT_EQ(deflate_engine::FastLevelFromEnvironment(), c.level) << (c.value ? c.value : "(unset)");
    }
    unsetenv(deflate_engine::kFastCompressionVariable);
}

}  // namespace
