// IMC2 sequence files: saving against zlib's compress of the same frames, loading against zlib's
// uncompress and libdeflate's inflation of the same streams into fresh frame buffers (a load must
// hand out new memory, so the baselines allocate theirs the same way), the headers-only load against
// the full one, and the growth of the time with the number of frames.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench_files.h"
#include "qmv3/qmv3.h"
#include "ratio_table.h"
#include "synthetic_data.h"

#ifdef QMV3_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace {

using qmv3bench::FrameSpec;
using qmv3bench::TimeOf;

const FrameSpec kTiny = {"64x64 8-bit", 64, 64, 1, 8, QMV3_FORMAT_GRAY, qmv3bench::Pattern::kScene};

struct Kind {
    const char* key;
    const FrameSpec* shape;
    uint32_t frames;
    const char* text;
    int order;
    double fastSaveGoal;  // camera-like frames 0.30; incompressible bytes leave little to speed up
};

// 2048 x 2048 frames are few so that a run stays within minutes: each takes a quarter second to deflate.
const Kind kKinds[] = {
    {"grey8", &qmv3bench::kGrey8, 100, "100 x 640x480 8-bit", 100, 0.30},
    {"grey16", &qmv3bench::kGrey16, 10, "10 x 2048x2048 16-bit", 120, 0.30},
    {"random", &qmv3bench::kRandomBytes, 100, "100 x 640x480 random", 140, 0.45},
};

// A kind's sequence, its compressed frames and a file saved with the default engine, made once.
struct Material {
    QMBUNCHOFIMAGES sequence{};
    std::vector<std::vector<unsigned char>> streams;
    std::string savedFile;
};

const Material& MaterialOf(const Kind& kind) {
    static std::map<std::string, Material> made;
    auto found = made.find(kind.key);
    if (found != made.end()) return found->second;
    Material& material = made[kind.key];
    material.sequence = qmv3bench::MakeSequence(*kind.shape, kind.frames);
    material.streams = qmv3bench::CompressFrames(material.sequence);
    material.savedFile = qmv3bench::ScratchFile(std::string(kind.key) + "-saved.imc2");
    qmv3bench::FastCompression off(false);
    std::remove(material.savedFile.c_str());
    qmSaveImagesToFileEx(&material.sequence, material.savedFile.c_str(), nullptr, 0, nullptr, nullptr);
    return material;
}

void Save(benchmark::State& state, const Kind& kind, bool fast) {
    const Material& material = MaterialOf(kind);
    QMBUNCHOFIMAGES sequence = material.sequence;
    const std::string path = qmv3bench::ScratchFile(std::string(kind.key) + "-written.imc2");
    qmv3bench::FastCompression mode(fast);
    for (auto _ : state) {
        state.PauseTiming();
        std::remove(path.c_str());  // the writer never overwrites a file
        state.ResumeTiming();
        if (qmSaveImagesToFileEx(&sequence, path.c_str(), nullptr, 0, nullptr, nullptr) != QMV3_SAVE_OK) {
            state.SkipWithError("qmSaveImagesToFileEx failed");
            break;
        }
    }
    std::remove(path.c_str());
}

void ZlibCompress(benchmark::State& state, const Kind& kind) {
    const Material& material = MaterialOf(kind);
    std::vector<unsigned char> buffer(compressBound(kind.shape->bytes()));
    for (auto _ : state) {
        for (uint32_t i = 0; i < material.sequence.numFrames; ++i) {
            const DIMAGE& image = material.sequence.imageArray[i];
            uLongf length = buffer.size();
            compress(buffer.data(), &length, image.frameBuffer, image.frameHeader.appendedFrameSize);
            benchmark::DoNotOptimize(length);
        }
    }
}

void Load(benchmark::State& state, const Kind& kind) {
    const Material& material = MaterialOf(kind);
    for (auto _ : state) {
        QMBUNCHOFIMAGES loaded{};
        if (qmLoadImagesFromFileEx(material.savedFile.c_str(), &loaded, nullptr, nullptr, nullptr, 0) != QMV3_LOAD_OK) {
            state.SkipWithError("qmLoadImagesFromFileEx failed");
            break;
        }
        state.PauseTiming();
        qmFreeBunch(&loaded);
        qmv3bench::ReleaseFreedMemory();
        state.ResumeTiming();
    }
}

// What `qmv3 info` reads: the headers alone, every pixel block passed over by its length.
void LoadHeaders(benchmark::State& state, const Kind& kind) {
    const Material& material = MaterialOf(kind);
    QMV3_LOAD_OPTIONS options{};
    options.size = sizeof options;
    options.flags = QMV3_LOAD_FLAG_HEADERS_ONLY;
    for (auto _ : state) {
        QMBUNCHOFIMAGES loaded{};
        if (qmLoadImagesFromFileEx2(material.savedFile.c_str(), &loaded, &options, nullptr, nullptr, nullptr, 0) !=
            QMV3_LOAD_OK) {
            state.SkipWithError("qmLoadImagesFromFileEx2 failed");
            break;
        }
        qmFreeBunch(&loaded);
    }
}

// Inflates every stream into a fresh frame buffer with one of the engines.
template <typename Inflate>
void InflateAll(benchmark::State& state, const Kind& kind, Inflate inflate) {
    const Material& material = MaterialOf(kind);
    const size_t frameBytes = kind.shape->bytes();
    std::vector<unsigned char*> frames;
    for (auto _ : state) {
        for (const std::vector<unsigned char>& stream : material.streams) {
            frames.push_back(static_cast<unsigned char*>(std::malloc(frameBytes)));
            if (!inflate(stream, frames.back(), frameBytes)) state.SkipWithError("inflation failed");
        }
        state.PauseTiming();
        qmv3bench::FreeAll(frames);
        qmv3bench::ReleaseFreedMemory();
        state.ResumeTiming();
    }
}

bool ZlibUncompress(const std::vector<unsigned char>& stream, unsigned char* frame, size_t frameBytes) {
    uLongf length = frameBytes;
    return uncompress(frame, &length, stream.data(), stream.size()) == Z_OK && length == frameBytes;
}

// A round trip of count small frames: save, load, release.
void RoundTrip(benchmark::State& state) {
    const uint32_t count = static_cast<uint32_t>(state.range(0));
    QMBUNCHOFIMAGES sequence = qmv3bench::MakeSequence(kTiny, count);
    const std::string path = qmv3bench::ScratchFile("frames-" + std::to_string(count) + ".imc2");
    qmv3bench::FastCompression off(false);
    for (auto _ : state) {
        state.PauseTiming();
        std::remove(path.c_str());
        state.ResumeTiming();
        QMBUNCHOFIMAGES loaded{};
        if (qmSaveImagesToFileEx(&sequence, path.c_str(), nullptr, 0, nullptr, nullptr) != QMV3_SAVE_OK ||
            qmLoadImagesFromFileEx(path.c_str(), &loaded, nullptr, nullptr, nullptr, 0) != QMV3_LOAD_OK) {
            state.SkipWithError("save or load failed");
            break;
        }
        qmFreeBunch(&loaded);
    }
    std::remove(path.c_str());
    qmv3bench::FreeSequence(sequence);
}

void RegisterKind(const Kind& kind) {
    const std::string base = std::string("imc2/") + kind.key + "/";
    const std::string text = kind.text;
    auto add = [](const std::string& name, auto function) {
        benchmark::RegisterBenchmark(name.c_str(), function)->Unit(benchmark::kMillisecond);
    };
    add(base + "save_default", [&kind](benchmark::State& s) { Save(s, kind, false); });
    add(base + "save_fast", [&kind](benchmark::State& s) { Save(s, kind, true); });
    add(base + "zlib_compress", [&kind](benchmark::State& s) { ZlibCompress(s, kind); });
    add(base + "load", [&kind](benchmark::State& s) { Load(s, kind); });
    add(base + "zlib_uncompress", [&kind](benchmark::State& s) { InflateAll(s, kind, ZlibUncompress); });
    qmv3bench::AddRatioRow({kind.order, "IMC2 save " + text + ", default, vs zlib compress",
                            TimeOf(base + "save_default"), TimeOf(base + "zlib_compress"), 1.10});
    qmv3bench::AddRatioRow({kind.order + 1, "IMC2 save " + text + ", fast, vs zlib compress",
                            TimeOf(base + "save_fast"), TimeOf(base + "zlib_compress"), kind.fastSaveGoal});
    qmv3bench::AddRatioRow({kind.order + 2, "IMC2 load " + text + " vs zlib uncompress", TimeOf(base + "load"),
                            TimeOf(base + "zlib_uncompress"), 0.65});
    // The camera-sized frames: what a summary of a long recording spares.
    if (kind.shape == &qmv3bench::kGrey16) {
        add(base + "load_headers", [&kind](benchmark::State& s) { LoadHeaders(s, kind); });
        qmv3bench::AddRatioRow({kind.order + 4, "IMC2 headers-only load (info) " + text + " vs the full load",
                                TimeOf(base + "load_headers"), TimeOf(base + "load"), 0.05});
    }
#ifdef QMV3_HAVE_LIBDEFLATE
    add(base + "libdeflate_inflate", [&kind](benchmark::State& s) {
        libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
        InflateAll(s, kind, [decompressor](const std::vector<unsigned char>& stream, unsigned char* frame, size_t n) {
            return libdeflate_zlib_decompress(decompressor, stream.data(), stream.size(), frame, n, nullptr) ==
                   LIBDEFLATE_SUCCESS;
        });
        libdeflate_free_decompressor(decompressor);
    });
    qmv3bench::AddRatioRow({kind.order + 3, "IMC2 load " + text + " vs libdeflate inflation", TimeOf(base + "load"),
                            TimeOf(base + "libdeflate_inflate"), 1.05});
#endif
}

const bool registered = [] {
    for (const Kind& kind : kKinds) RegisterKind(kind);
    benchmark::RegisterBenchmark("imc2/frames", RoundTrip)
        ->Arg(10)
        ->Arg(100)
        ->Arg(1000)
        ->Arg(10000)
        ->Unit(benchmark::kMillisecond);
    int order = 800;
    for (int count : {100, 1000, 10000}) {
        qmv3bench::AddRatioRow(
            {order++, "IMC2 save+load of 64x64 frames, time per frame: " + std::to_string(count) + " vs 10",
             TimeOf("imc2/frames/" + std::to_string(count), count), TimeOf("imc2/frames/10", 10), 1.10});
    }
    return true;
}();

}  // namespace
