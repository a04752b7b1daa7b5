// The deflate seam on its own, frame by frame in memory: each engine against zlib's compress and
// uncompress of the same frames. These rows show what the file rows can gain from the engines at most.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "ratio_table.h"
#include "synthetic_data.h"
#include "util/deflate_engine.h"

namespace {

using deflate_engine::Engine;
using qmv3bench::FrameSpec;
using qmv3bench::TimeOf;

constexpr int kDistinctFrames = 4;

std::vector<std::vector<unsigned char>> Frames(const FrameSpec& shape) {
    std::vector<std::vector<unsigned char>> frames;
    for (int i = 0; i < kDistinctFrames; ++i) frames.push_back(qmv3bench::MakePixels(shape, i));
    return frames;
}

// stream_bytes counts the streams of the frames, to compare sizes.
void SeamCompress(benchmark::State& state, const FrameSpec& shape, Engine engine,
                  int level = deflate_engine::kDefaultFastLevel) {
    const auto frames = Frames(shape);
    deflate_engine::Compressor compressor(engine, level);
    size_t total = 0;
    for (auto _ : state) {
        total = 0;
        for (const auto& frame : frames) {
            const unsigned char* stream = nullptr;
            size_t length = 0;
            if (!compressor.Compress(frame.data(), frame.size(), &stream, &length)) state.SkipWithError("failed");
            benchmark::DoNotOptimize(stream);
            total += length;
        }
    }
    state.counters["stream_bytes"] = static_cast<double>(total);
}

void ZlibCompress(benchmark::State& state, const FrameSpec& shape) {
    const auto frames = Frames(shape);
    std::vector<unsigned char> buffer(compressBound(shape.bytes()));
    size_t total = 0;
    for (auto _ : state) {
        total = 0;
        for (const auto& frame : frames) {
            uLongf length = buffer.size();
            if (compress(buffer.data(), &length, frame.data(), frame.size()) != Z_OK) state.SkipWithError("failed");
            benchmark::DoNotOptimize(length);
            total += length;
        }
    }
    state.counters["stream_bytes"] = static_cast<double>(total);
}

// Inflation into one reused frame buffer: the engines alone, without the cost of fresh memory.
void Inflate(benchmark::State& state, const FrameSpec& shape, bool seam) {
    std::vector<std::vector<unsigned char>> streams;
    for (const auto& frame : Frames(shape)) {
        uLongf length = compressBound(frame.size());
        std::vector<unsigned char> stream(length);
        compress(stream.data(), &length, frame.data(), frame.size());
        stream.resize(length);
        streams.push_back(std::move(stream));
    }
    std::vector<unsigned char> output(shape.bytes());
    deflate_engine::Inflater inflater;
    for (auto _ : state) {
        for (const auto& stream : streams) {
            uLongf length = output.size();
            const bool inflated = seam ? inflater.Inflate(stream.data(), stream.size(), output.data(), output.size())
                                       : uncompress(output.data(), &length, stream.data(), stream.size()) == Z_OK;
            if (!inflated) state.SkipWithError("failed");
            benchmark::DoNotOptimize(output.data());
        }
    }
}

const bool registered = [] {
    const struct {
        const char* key;
        const FrameSpec* shape;
        int order;
    } kinds[] = {{"grey8", &qmv3bench::kGrey8, 50}, {"grey16", &qmv3bench::kGrey16, 60}};
    for (const auto& kind : kinds) {
        const FrameSpec* shape = kind.shape;
        const std::string base = std::string("deflate/") + kind.key + "/";
        const std::string text = std::string(", ") + shape->name + " frames";
        auto add = [](const std::string& name, auto function) {
            benchmark::RegisterBenchmark(name.c_str(), function)->Unit(benchmark::kMillisecond);
        };
        add(base + "seam_zlib", [shape](benchmark::State& s) { SeamCompress(s, *shape, Engine::kZlib); });
        add(base + "seam_fast", [shape](benchmark::State& s) { SeamCompress(s, *shape, Engine::kLibdeflate); });
        add(base + "zlib_compress", [shape](benchmark::State& s) { ZlibCompress(s, *shape); });
        add(base + "seam_inflate", [shape](benchmark::State& s) { Inflate(s, *shape, true); });
        add(base + "zlib_uncompress", [shape](benchmark::State& s) { Inflate(s, *shape, false); });
        qmv3bench::AddRatioRow({kind.order, "Deflate seam, default engine" + text + ", vs zlib compress",
                                TimeOf(base + "seam_zlib"), TimeOf(base + "zlib_compress"), 0});
        qmv3bench::AddRatioRow({kind.order + 1, "Deflate seam, fast engine" + text + ", vs zlib compress",
                                TimeOf(base + "seam_fast"), TimeOf(base + "zlib_compress"), 0});
        qmv3bench::AddRatioRow({kind.order + 2, "Deflate seam, inflation" + text + ", vs zlib uncompress",
                                TimeOf(base + "seam_inflate"), TimeOf(base + "zlib_uncompress"), 0});
        // The fast engine's levels: time and stream size against zlib's default; the goals belong to the
        // level that "1" selects.
        for (int level = 1; level <= 12; ++level) {
            const std::string name = base + "level_" + std::to_string(level);
            add(name, [shape, level](benchmark::State& s) { SeamCompress(s, *shape, Engine::kLibdeflate, level); });
            const bool chosen = level == deflate_engine::kDefaultFastLevel;
            const std::string label = "Fast level " + std::to_string(level) + (chosen ? " (default)" : "") + text;
            qmv3bench::AddRatioRow({2000 + 10 * kind.order + 2 * level, label + ", time vs zlib compress", TimeOf(name),
                                    TimeOf(base + "zlib_compress"), chosen ? 0.30 : 0});
            qmv3bench::AddRatioRow({2001 + 10 * kind.order + 2 * level, label + ", size vs zlib compress",
                                    qmv3bench::CounterOf(name, "stream_bytes"),
                                    qmv3bench::CounterOf(base + "zlib_compress", "stream_bytes"), chosen ? 1.05 : 0});
        }
    }
    return true;
}();

}  // namespace
