// The older video files: IMM save and load, and a BKG load, against plain fwrite and fread of the same
// bytes; IMC and BKC saves and loads against the DEFLATE engines on the same frames (fresh frame buffers
// on both sides of a load). The BKG holds one 2048 x 2048 16-bit background, the others 100 frames.
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

using qmv3bench::TimeOf;

constexpr int kFrames = 100;
const qmv3bench::FrameSpec& kSpec = qmv3bench::kGrey8;

// A camera-like older record of the given type: 100 frames of 640 x 480 8-bit, or for a background one
// frame of 2048 x 2048 16-bit.
VIDINFHDR MakeRecord(int type) {
    const qmv3bench::FrameSpec& shape = type == VIDINFHDR_TYPE_BKG ? qmv3bench::kGrey16 : kSpec;
    const int frames = type == VIDINFHDR_TYPE_BKG ? 1 : kFrames;
    VIDINFHDR record;
    initialize_vidinfhdr(&record);
    record.width = shape.width;
    record.height = shape.height;
    record.bpp = 8 * shape.bytesPerPixel;
    record.ebitpp = shape.effectiveBits;
    record.scale = 0.0125;
    record.numframes = frames;
    record.type = type;
    record.framebits = static_cast<unsigned char**>(std::calloc(frames, sizeof(unsigned char*)));
    record.framescales = static_cast<double*>(std::calloc(frames, sizeof(double)));
    for (int i = 0; i < frames; ++i) {
        const std::vector<unsigned char> pixels = qmv3bench::MakePixels(shape, i % 8);
        record.framebits[i] = static_cast<unsigned char*>(std::malloc(pixels.size()));
        std::copy(pixels.begin(), pixels.end(), record.framebits[i]);
        record.framescales[i] = 0.0125;
    }
    return record;
}

const VIDINFHDR& RecordOf(int type) {
    static VIDINFHDR imm = MakeRecord(VIDINFHDR_TYPE_IMM);
    static VIDINFHDR imc = MakeRecord(VIDINFHDR_TYPE_IMC);
    static VIDINFHDR bkc = MakeRecord(VIDINFHDR_TYPE_BKC);
    static VIDINFHDR bkg = MakeRecord(VIDINFHDR_TYPE_BKG);
    switch (type) {
        case VIDINFHDR_TYPE_IMM:
            return imm;
        case VIDINFHDR_TYPE_IMC:
            return imc;
        case VIDINFHDR_TYPE_BKC:
            return bkc;
        default:
            return bkg;
    }
}

using Saver = int (*)(const char*, VIDINFHDR*, int*, double*);
using Loader = int (*)(const char*, VIDINFHDR*);

// A file of the type written once with the default engine, for the loads.
const std::string& SavedFile(int type) {
    static std::map<int, std::string> paths;
    std::string& path = paths[type];
    if (!path.empty()) return path;
    path = qmv3bench::ScratchFile("saved-" + std::to_string(type));
    qmv3bench::FastCompression off(false);
    VIDINFHDR record = RecordOf(type);
    if (save_file(type, path.c_str(), &record) != 0) path.clear();
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
        qmv3bench::ReleaseFreedMemory();
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

// The same file read back with fread into a fresh buffer per frame: per frame two words, the pixels and,
// in an IMM file, the scale.
void PlainRead(benchmark::State& state, int type) {
    const std::string& path = SavedFile(type);
    const VIDINFHDR& record = RecordOf(type);
    const size_t frameBytes = static_cast<size_t>(record.width) * record.height * (record.bpp / 8);
    const size_t trailer = type == VIDINFHDR_TYPE_IMM ? sizeof(double) : 0;
    std::vector<unsigned char*> frames;
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        unsigned char words[8];
        double scale;
        for (int i = 0; i < record.numframes; ++i) {
            frames.push_back(static_cast<unsigned char*>(std::malloc(frameBytes)));
            if (std::fread(words, 1, sizeof words, file) != sizeof words ||
                std::fread(frames.back(), 1, frameBytes, file) != frameBytes ||
                std::fread(&scale, 1, trailer, file) != trailer) {
                state.SkipWithError("short read");
            }
        }
        std::fclose(file);
        state.PauseTiming();
        qmv3bench::FreeAll(frames);
        qmv3bench::ReleaseFreedMemory();
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
        qmv3bench::ReleaseFreedMemory();
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
    add("imm/fread", [](benchmark::State& s) { PlainRead(s, VIDINFHDR_TYPE_IMM); });
    add("bkg/load", [](benchmark::State& s) { Load(s, VIDINFHDR_TYPE_BKG, load_bkg_file); });
    add("bkg/fread", [](benchmark::State& s) { PlainRead(s, VIDINFHDR_TYPE_BKG); });
    add("imc/save_default", [](benchmark::State& s) { Save(s, VIDINFHDR_TYPE_IMC, save_imc_fileEx, false); });
    add("imc/save_fast", [](benchmark::State& s) { Save(s, VIDINFHDR_TYPE_IMC, save_imc_fileEx, true); });
    add("imc/zlib_compress", CompressFrames);
    add("imc/load", [](benchmark::State& s) { Load(s, VIDINFHDR_TYPE_IMC, load_imc_file); });
    add("bkc/load", [](benchmark::State& s) { Load(s, VIDINFHDR_TYPE_BKC, load_bkc_file); });
    add("imc/zlib_uncompress", [](benchmark::State& s) { InflateFrames(s, false); });
    qmv3bench::AddRatioRow({300, "IMM save 100 x 640x480 8-bit vs fwrite of the same bytes", TimeOf("imm/save"),
                            TimeOf("imm/fwrite"), 2.0});
    qmv3bench::AddRatioRow(
        {301, "IMM load 100 x 640x480 8-bit vs fread of the same bytes", TimeOf("imm/load"), TimeOf("imm/fread"), 1.1});
    qmv3bench::AddRatioRow(
        {302, "BKG load 2048x2048 16-bit vs fread of the same bytes", TimeOf("bkg/load"), TimeOf("bkg/fread"), 1.1});
    qmv3bench::AddRatioRow({310, "IMC save 100 x 640x480 8-bit, default, vs zlib compress", TimeOf("imc/save_default"),
                            TimeOf("imc/zlib_compress"), 0});
    qmv3bench::AddRatioRow({311, "IMC save 100 x 640x480 8-bit, fast, vs zlib compress", TimeOf("imc/save_fast"),
                            TimeOf("imc/zlib_compress"), 0});
    qmv3bench::AddRatioRow(
        {312, "IMC load 100 x 640x480 8-bit vs zlib uncompress", TimeOf("imc/load"), TimeOf("imc/zlib_uncompress"), 0});
#ifdef QMV3_HAVE_LIBDEFLATE
    add("imc/libdeflate_inflate", [](benchmark::State& s) { InflateFrames(s, true); });
    qmv3bench::AddRatioRow({313, "IMC load 100 x 640x480 8-bit vs libdeflate inflation", TimeOf("imc/load"),
                            TimeOf("imc/libdeflate_inflate"), 1.1});
    qmv3bench::AddRatioRow({314, "BKC load 100 x 640x480 8-bit vs libdeflate inflation", TimeOf("bkc/load"),
                            TimeOf("imc/libdeflate_inflate"), 1.1});
#endif
    return true;
}();

}  // namespace
