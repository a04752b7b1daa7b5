// The older video files: IMM save and load against plain fwrite and fread of the same bytes, IMC save
// and load against the DEFLATE engines on the same frames (fresh frame buffers on both sides of a load).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
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

using qmv3bench::TimeOf;

constexpr int kFrames = 100;
const qmv3bench::FrameSpec& kSpec = qmv3bench::kGrey8;

// 100 camera-like 640 x 480 frames as an older record of the given type.
VIDINFHDR MakeRecord(int type) {
    VIDINFHDR record;
    initialize_vidinfhdr(&record);
    record.width = kSpec.width;
    record.height = kSpec.height;
    record.bpp = 8;
    record.ebitpp = 8;
    record.scale = 0.0125;
    record.numframes = kFrames;
    record.type = type;
    record.framebits = static_cast<unsigned char**>(std::calloc(kFrames, sizeof(unsigned char*)));
    record.framescales = static_cast<double*>(std::calloc(kFrames, sizeof(double)));
    for (int i = 0; i < kFrames; ++i) {
        const std::vector<unsigned char> pixels = qmv3bench::MakePixels(kSpec, i % 8);
        record.framebits[i] = static_cast<unsigned char*>(std::malloc(pixels.size()));
        std::copy(pixels.begin(), pixels.end(), record.framebits[i]);
        record.framescales[i] = 0.0125;
    }
    return record;
}

const VIDINFHDR& RecordOf(int type) {
    static VIDINFHDR imm = MakeRecord(VIDINFHDR_TYPE_IMM);
    static VIDINFHDR imc = MakeRecord(VIDINFHDR_TYPE_IMC);
    return type == VIDINFHDR_TYPE_IMM ? imm : imc;
}

using Saver = int (*)(const char*, VIDINFHDR*, int*, double*);
using Loader = int (*)(const char*, VIDINFHDR*);

// A file of the type written once with the default engine, for the loads.
const std::string& SavedFile(int type) {
    static std::string imm, imc;
    std::string& path = type == VIDINFHDR_TYPE_IMM ? imm : imc;
    if (!path.empty()) return path;
    path = qmv3bench::ScratchFile(type == VIDINFHDR_TYPE_IMM ? "saved.imm" : "saved.imc");
    qmv3bench::FastCompression off(false);
    VIDINFHDR record = RecordOf(type);
    if (type == VIDINFHDR_TYPE_IMM) save_imm_fileEx(path.c_str(), &record, nullptr, nullptr);
    if (type == VIDINFHDR_TYPE_IMC) save_imc_fileEx(path.c_str(), &record, nullptr, nullptr);
    return path;
}

void Save(benchmark::State& state, int type, Saver saver, bool fast) {
    VIDINFHDR record = RecordOf(type);
    const std::string path = qmv3bench::ScratchFile("written" + std::to_string(type));
    qmv3bench::FastCompression mode(fast);
    for (auto _ : state) {
        if (saver(path.c_str(), &record, nullptr, nullptr) != 0) {
            state.SkipWithError("save failed");
            break;
        }
        state.PauseTiming();
        std::remove(path.c_str());
        state.ResumeTiming();
    }
}

void Load(benchmark::State& state, int type, Loader loader) {
    const std::string& path = SavedFile(type);
    for (auto _ : state) {
        VIDINFHDR loaded;
        initialize_vidinfhdr(&loaded);
        if (loader(path.c_str(), &loaded) != 0) {
            state.SkipWithError("load failed");
            break;
        }
        state.PauseTiming();
        free_vidinfhdr(&loaded);
        state.ResumeTiming();
    }
}

// The bytes of an IMM file written with fwrite: per frame its two words, the pixels, the scale.
void PlainWrite(benchmark::State& state) {
    const VIDINFHDR& record = RecordOf(VIDINFHDR_TYPE_IMM);
    const std::string path = qmv3bench::ScratchFile("plain.imm");
    const size_t frameBytes = kSpec.bytes();
    const unsigned char words[8] = {0x80, 0x02, 0, 0, 0xE0, 0x01, 0, 0};
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        for (int i = 0; i < record.numframes; ++i) {
            std::fwrite(words, 1, sizeof words, file);
            std::fwrite(record.framebits[i], 1, frameBytes, file);
            std::fwrite(&record.framescales[i], 1, sizeof(double), file);
        }
        std::fclose(file);
        state.PauseTiming();
        std::remove(path.c_str());
        state.ResumeTiming();
    }
}

// The same file read back with fread into a fresh buffer per frame.
void PlainRead(benchmark::State& state) {
    const std::string& path = SavedFile(VIDINFHDR_TYPE_IMM);
    const size_t frameBytes = kSpec.bytes();
    std::vector<unsigned char*> frames;
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        unsigned char words[8];
        double scale;
        for (int i = 0; i < kFrames; ++i) {
            frames.push_back(static_cast<unsigned char*>(std::malloc(frameBytes)));
            if (std::fread(words, 1, sizeof words, file) != sizeof words ||
                std::fread(frames.back(), 1, frameBytes, file) != frameBytes ||
                std::fread(&scale, 1, sizeof scale, file) != sizeof scale) {
                state.SkipWithError("short read");
            }
        }
        std::fclose(file);
        state.PauseTiming();
        qmv3bench::FreeAll(frames);
        state.ResumeTiming();
    }
}

void CompressFrames(benchmark::State& state) {
    const VIDINFHDR& record = RecordOf(VIDINFHDR_TYPE_IMC);
    std::vector<unsigned char> buffer(compressBound(kSpec.bytes()));
    for (auto _ : state) {
        for (int i = 0; i < record.numframes; ++i) {
            uLongf length = buffer.size();
            compress(buffer.data(), &length, record.framebits[i], kSpec.bytes());
            benchmark::DoNotOptimize(length);
        }
    }
}

// zlib's uncompress, or libdeflate's inflation, of every frame into a fresh buffer.
void InflateFrames(benchmark::State& state, bool useLibdeflate) {
    QMBUNCHOFIMAGES sequence = qmv3bench::MakeSequence(kSpec, kFrames);
    const std::vector<std::vector<unsigned char>> streams = qmv3bench::CompressFrames(sequence);
    qmv3bench::FreeSequence(sequence);
    const size_t frameBytes = kSpec.bytes();
    std::vector<unsigned char*> frames;
#ifdef QMV3_HAVE_LIBDEFLATE
    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
#endif
    for (auto _ : state) {
        for (const std::vector<unsigned char>& stream : streams) {
            frames.push_back(static_cast<unsigned char*>(std::malloc(frameBytes)));
            uLongf length = frameBytes;
            bool inflated = false;
#ifdef QMV3_HAVE_LIBDEFLATE
            if (useLibdeflate) {
                inflated = libdeflate_zlib_decompress(decompressor, stream.data(), stream.size(), frames.back(),
                                                      frameBytes, nullptr) == LIBDEFLATE_SUCCESS;
            }
#endif
            if (!useLibdeflate) inflated = uncompress(frames.back(), &length, stream.data(), stream.size()) == Z_OK;
            if (!inflated) state.SkipWithError("inflation failed");
        }
        state.PauseTiming();
        qmv3bench::FreeAll(frames);
        state.ResumeTiming();
    }
#ifdef QMV3_HAVE_LIBDEFLATE
    libdeflate_free_decompressor(decompressor);
#endif
}

const bool registered = [] {
    auto add = [](const char* name, auto function) {
        benchmark::RegisterBenchmark(name, function)->Unit(benchmark::kMillisecond);
    };
    add("imm/save", [](benchmark::State& s) { Save(s, VIDINFHDR_TYPE_IMM, save_imm_fileEx, false); });
    add("imm/fwrite", PlainWrite);
    add("imm/load", [](benchmark::State& s) { Load(s, VIDINFHDR_TYPE_IMM, load_imm_file); });
    add("imm/fread", PlainRead);
    add("imc/save_default", [](benchmark::State& s) { Save(s, VIDINFHDR_TYPE_IMC, save_imc_fileEx, false); });
    add("imc/save_fast", [](benchmark::State& s) { Save(s, VIDINFHDR_TYPE_IMC, save_imc_fileEx, true); });
    add("imc/zlib_compress", CompressFrames);
    add("imc/load", [](benchmark::State& s) { Load(s, VIDINFHDR_TYPE_IMC, load_imc_file); });
    add("imc/zlib_uncompress", [](benchmark::State& s) { InflateFrames(s, false); });
    qmv3bench::AddRatioRow({300, "IMM save 100 x 640x480 8-bit vs fwrite of the same bytes", TimeOf("imm/save"),
                            TimeOf("imm/fwrite"), 2.0});
    qmv3bench::AddRatioRow(
        {301, "IMM load 100 x 640x480 8-bit vs fread of the same bytes", TimeOf("imm/load"), TimeOf("imm/fread"), 2.0});
    qmv3bench::AddRatioRow({310, "IMC save 100 x 640x480 8-bit, default, vs zlib compress", TimeOf("imc/save_default"),
                            TimeOf("imc/zlib_compress"), 0});
    qmv3bench::AddRatioRow({311, "IMC save 100 x 640x480 8-bit, fast, vs zlib compress", TimeOf("imc/save_fast"),
                            TimeOf("imc/zlib_compress"), 0});
    qmv3bench::AddRatioRow(
        {312, "IMC load 100 x 640x480 8-bit vs zlib uncompress", TimeOf("imc/load"), TimeOf("imc/zlib_uncompress"), 0});
#ifdef QMV3_HAVE_LIBDEFLATE
    add("imc/libdeflate_inflate", [](benchmark::State& s) { InflateFrames(s, true); });
    qmv3bench::AddRatioRow({313, "IMC load 100 x 640x480 8-bit vs libdeflate inflation", TimeOf("imc/load"),
                            TimeOf("imc/libdeflate_inflate"), 0});
#endif
    return true;
}();

}  // namespace
