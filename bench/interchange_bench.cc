// The tool's uncompressed TIFF and HDF5 exports of 100 frames of 2048 x 2048 x 16 bits against an fwrite
// of the same frame bytes into one file: the formats' own cost on top of writing the data.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench_files.h"
#include "interchange/interchange.h"
#include "qmv3/qmv3.h"
#include "ratio_table.h"
#include "synthetic_data.h"

namespace {

const uint32_t kFrames = 100;

const QMBUNCHOFIMAGES& Frames() {
    static const QMBUNCHOFIMAGES sequence = qmv3bench::MakeSequence(qmv3bench::kGrey16, kFrames);
    return sequence;
}

interchange::ExportFrames FrameList() {
    interchange::ExportFrames frames;
    for (uint32_t i = 0; i < Frames().numFrames; ++i) frames.push_back({&Frames().imageArray[i], i + 1});
    return frames;
}

void Fwrite(benchmark::State& state) {
    const std::string path = qmv3bench::ScratchFile("frames.raw");
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        bool ok = file != nullptr;
        for (uint32_t i = 0; ok && i < Frames().numFrames; ++i) {
            const DIMAGE& image = Frames().imageArray[i];
            const size_t bytes = static_cast<size_t>(image.frameHeader.appendedFrameSize);
            ok = std::fwrite(image.frameBuffer, 1, bytes, file) == bytes;
        }
        if (file != nullptr && std::fclose(file) != 0) ok = false;
        if (!ok) state.SkipWithError("fwrite failed");
        state.PauseTiming();
        std::remove(path.c_str());
        state.ResumeTiming();
    }
}

// 1 x 1 GRAY frames: the cost per page is the TIFF structure alone, which must not grow with the pages
// written before it.
const qmv3bench::FrameSpec kOnePixel = {"1x1 GRAY", 1, 1, 1, 8, QMV3_FORMAT_GRAY, qmv3bench::Pattern::kScene};

template <uint32_t Count>
void TinyPages(benchmark::State& state) {
    static const QMBUNCHOFIMAGES sequence = qmv3bench::MakeSequence(kOnePixel, Count);
    interchange::ExportFrames frames;
    for (uint32_t i = 0; i < sequence.numFrames; ++i) frames.push_back({&sequence.imageArray[i], i + 1});
    const std::string path = qmv3bench::ScratchFile("tiny.tif");
    const interchange::ExportControl control;
    for (auto _ : state) {
        std::string message;
        if (!interchange::WriteTiffFile(path, frames, control, message)) state.SkipWithError(message.c_str());
        state.PauseTiming();
        std::remove(path.c_str());
        state.ResumeTiming();
    }
}

template <bool (*Write)(const std::string&, const interchange::ExportFrames&, const interchange::ExportControl&,
                        std::string&)>
void Export(benchmark::State& state, const char* name) {
    const std::string path = qmv3bench::ScratchFile(name);
    const interchange::ExportFrames frames = FrameList();
    const interchange::ExportControl control;
    for (auto _ : state) {
        std::string message;
        if (!Write(path, frames, control, message)) state.SkipWithError(message.c_str());
        state.PauseTiming();
        std::remove(path.c_str());  // the writers never replace a file
        state.ResumeTiming();
    }
}

const bool registered = [] {
    benchmark::RegisterBenchmark("interchange/fwrite", Fwrite)->Unit(benchmark::kMillisecond)->Iterations(1);
    benchmark::RegisterBenchmark("interchange/tiff", Export<interchange::WriteTiffFile>, "frames.tif")
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark("interchange/hdf5", Export<interchange::WriteHdf5File>, "frames.h5")
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark("interchange/tiff-1000-pages", TinyPages<1000>)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark("interchange/tiff-10000-pages", TinyPages<10000>)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    qmv3bench::AddRatioRow({902, "TIFF export of 1x1 frames, time per frame: 10000 frames vs 1000",
                            qmv3bench::TimeOf("interchange/tiff-10000-pages", 10000),
                            qmv3bench::TimeOf("interchange/tiff-1000-pages", 1000), 1.2});
    qmv3bench::AddRatioRow({900, "TIFF export 100 x 2048x2048 16-bit, uncompressed, vs fwrite",
                            qmv3bench::TimeOf("interchange/tiff"), qmv3bench::TimeOf("interchange/fwrite"), 1.5});
    qmv3bench::AddRatioRow({901, "HDF5 export 100 x 2048x2048 16-bit, uncompressed, vs fwrite",
                            qmv3bench::TimeOf("interchange/hdf5"), qmv3bench::TimeOf("interchange/fwrite"), 1.5});
    return true;
}();

}  // namespace
