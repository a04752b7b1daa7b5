// The multi-frame grab: the delivery callback's cost per frame against malloc and memcpy of the same
// bytes (the callback must give each frame a buffer of its own), both on the benchmark thread; and the
// whole grab from a simulated 4 MiB device at the stand-in's fastest rate, for its frame rate.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_files.h"
#include "client/multi_grab.h"
#include "qmv3/qmv3.h"
#include "ratio_table.h"
#include "synthetic_data.h"
#include "zantsim.h"

namespace {

using qmv3bench::FrameSpec;

struct Kind {
    const char* key;
    const FrameSpec* shape;
    uint32_t batch;  // frames per iteration
    int order;
};

const Kind kKinds[] = {{"grey8", &qmv3bench::kGrey8, 100, 400}, {"grey16", &qmv3bench::kGrey16, 20, 401}};

// Feeds batch deliveries of one frame straight into the callback, as the delivery thread would.
void Callback(benchmark::State& state, const Kind& kind) {
    qmSetVerbose(0);
    std::vector<unsigned char> receive = qmv3bench::MakePixels(*kind.shape, 0);
    std::vector<DIMAGE> records(kind.batch);
    GrabContext context;
    std::vector<unsigned char> nothing(1);
    const DIMAGE header = qmv3bench::MakeImage(*kind.shape, 0, nothing);
    std::free(header.frameBuffer);
    std::memcpy(&context.receive, &header, QMV3_IMAGE_HEADER_SIZE);
    context.receive.frameHeader.appendedFrameSize = static_cast<int32_t>(receive.size());
    context.receive.frameBufferSize = static_cast<uint32_t>(receive.size());
    context.receive.frameBuffer = receive.data();
    context.result.imageArray = records.data();
    uint32_t frameNumber = 0;
    for (auto _ : state) {
        context.numberRequested = kind.batch;
        context.numberReceived.store(0);
        context.finished.store(false);
        _global_internal_bCallbackAllowed.store(true);
        for (uint32_t i = 0; i < kind.batch; ++i) {
            context.receive.frameHeader.frameNumber = ++frameNumber;
            _internal_qmGrabFramesCallback(context.callbackId, 0, &context);
        }
        _global_internal_bCallbackAllowed.store(false);
        state.PauseTiming();
        if (context.numberReceived.load() != kind.batch) state.SkipWithError("frames were not stored");
        for (uint32_t i = 0; i < context.numberReceived.load(); ++i) std::free(records[i].frameBuffer);
        state.ResumeTiming();
    }
}

void Memcpy(benchmark::State& state, const Kind& kind) {
    const std::vector<unsigned char> receive = qmv3bench::MakePixels(*kind.shape, 0);
    std::vector<unsigned char*> copies;
    for (auto _ : state) {
        for (uint32_t i = 0; i < kind.batch; ++i) {
            copies.push_back(static_cast<unsigned char*>(std::malloc(receive.size())));
            std::memcpy(copies.back(), receive.data(), receive.size());
            benchmark::DoNotOptimize(copies.back());
        }
        state.PauseTiming();
        qmv3bench::FreeAll(copies);
        state.ResumeTiming();
    }
}

constexpr int kSide = 2048;  // 2048 x 2048 grey pixels: 4 MiB per frame
const char kDevice[] = "/BENCH/GRABBER/CAM4M";

void ServeBenchDevice() {
    const std::string path = qmv3bench::ScratchFile("grab_bench_devices.xml");
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return;
    std::fprintf(file,
                 "<zantsim><device address=\"%s\"><property name=\"Frame4M\" width=\"%d\" height=\"%d\" "
                 "minRateMs=\"1\"/></device></zantsim>\n",
                 kDevice, kSide, kSide);
    std::fclose(file);
    zantsim_Reset();
    zantsim_LoadConfiguration(path.c_str());
    std::remove(path.c_str());
}

void GrabFrames(benchmark::State& state) {
    qmSetVerbose(0);
    ServeBenchDevice();
    const unsigned frames = static_cast<unsigned>(state.range(0));
    for (auto _ : state) {
        QMBUNCHOFIMAGES images{};
        int error = 0;
        const int received =
            qmGrabFramesEx(&images, kDevice, "Frame4M", frames, 1, QMV3_CM_TIMER, &error, nullptr, nullptr, nullptr);
        if (received != static_cast<int>(frames) || error != QMV3_GRAB_OK) state.SkipWithError("grab incomplete");
        qmFreeBunch(&images);
    }
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(frames) * state.iterations(), benchmark::Counter::kIsRate);
    zantsim_Reset();
}

const bool registered = [] {
    for (const Kind& kind : kKinds) {
        const std::string base = std::string("grab/") + kind.key + "/";
        benchmark::RegisterBenchmark((base + "callback").c_str(), [&kind](benchmark::State& s) { Callback(s, kind); })
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0);
        benchmark::RegisterBenchmark((base + "memcpy").c_str(), [&kind](benchmark::State& s) { Memcpy(s, kind); })
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0);
        qmv3bench::AddRatioRow(
            {kind.order, std::string("Grab callback per frame, ") + kind.shape->name + ", vs malloc+memcpy",
             qmv3bench::TimeOf(base + "callback", kind.batch), qmv3bench::TimeOf(base + "memcpy", kind.batch), 1.2});
    }
    // Wall-clock rate of a whole grab; no baseline, so it stays out of the table.
    benchmark::RegisterBenchmark("grab/simulated_4MiB_frames", GrabFrames)
        ->Arg(200)
        ->Iterations(1)
        ->Repetitions(1)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    return true;
}();

}  // namespace
