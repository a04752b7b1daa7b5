// Throughput of the multi-frame grab from a simulated device with 4 MiB frames at the fastest rate
// the stand-in allows (1 ms), and the cost of the delivery callback per frame compared with a plain
// memcpy of the same bytes, both measured in the same run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "client/multi_grab.h"
#include "qmv3/qmv3.h"
#include "zantsim.h"

namespace {

constexpr int kSide = 2048;  // 2048 x 2048 grey pixels: 4 MiB per frame
constexpr uint32_t kFrameBytes = kSide * kSide;
const char kDevice[] = "/BENCH/GRABBER/CAM4M";

// Serves the 4 MiB device from a configuration file written next to the benchmark.
void ServeBenchDevice() {
    const std::string path = "grab_bench_devices.xml";
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

void BM_GrabFrames(benchmark::State& state) {
    qmSetVerbose(0);
    ServeBenchDevice();
    const unsigned frames = static_cast<unsigned>(state.range(0));
    for (auto _ : state) {
        QMBUNCHOFIMAGES images{};
        int error = 0;
        const int received =
            qmGrabFramesEx(&images, kDevice, "Frame4M", frames, 1, 3, &error, nullptr, nullptr, nullptr);
        if (received != static_cast<int>(frames) || error != 0) state.SkipWithError("grab incomplete");
        qmFreeBunch(&images);
    }
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(frames) * state.iterations(), benchmark::Counter::kIsRate);
    zantsim_Reset();
}
BENCHMARK(BM_GrabFrames)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Feeds `count` deliveries straight into the callback; returns the seconds spent in it.
double TimeCallback(GrabContext& context, uint32_t count, uint32_t& frameNumber) {
    context.numberRequested = count;
    context.numberReceived.store(0);
    context.finished.store(false);
    context.lastFrameNumber = 0;
    _global_internal_bCallbackAllowed.store(true);
    const auto start = std::chrono::steady_clock::now();
    for (uint32_t i = 0; i < count; ++i) {
        context.receive.frameHeader.frameNumber = ++frameNumber;
        _internal_qmGrabFramesCallback(1, 0, &context);
    }
    const double seconds = SecondsSince(start);
    _global_internal_bCallbackAllowed.store(false);
    for (uint32_t i = 0; i < count; ++i) std::free(context.result.imageArray[i].frameBuffer);
    return seconds;
}

// The same bytes copied into buffers of the same size, allocated and released the same way.
double TimeMemcpy(const unsigned char* source, uint32_t count) {
    std::vector<unsigned char*> copies(count, nullptr);
    const auto start = std::chrono::steady_clock::now();
    for (uint32_t i = 0; i < count; ++i) {
        copies[i] = static_cast<unsigned char*>(std::malloc(kFrameBytes));
        if (copies[i] != nullptr) std::memcpy(copies[i], source, kFrameBytes);
        benchmark::DoNotOptimize(copies[i]);
    }
    const double seconds = SecondsSince(start);
    for (unsigned char* copy : copies) std::free(copy);
    return seconds;
}

void BM_CallbackVersusMemcpy(benchmark::State& state) {
    qmSetVerbose(0);
    const uint32_t batch = static_cast<uint32_t>(state.range(0));
    GrabContext context;
    std::vector<unsigned char> receive(kFrameBytes, 0x5A);
    std::vector<DIMAGE> records(batch);
    std::memcpy(context.receive.sourceHeader.baseTag, "QMV3", 4);
    context.receive.frameHeader.appendedFrameSize = static_cast<int32_t>(kFrameBytes);
    context.receive.frameBufferSize = kFrameBytes;
    context.receive.frameBuffer = receive.data();
    context.result.imageArray = records.data();
    double callbackSeconds = 0.0, memcpySeconds = 0.0;
    uint32_t frameNumber = 0;
    for (auto _ : state) {
        callbackSeconds += TimeCallback(context, batch, frameNumber);
        memcpySeconds += TimeMemcpy(receive.data(), batch);
    }
    const double frames = static_cast<double>(batch) * state.iterations();
    state.counters["callback_us_per_frame"] = callbackSeconds / frames * 1e6;
    state.counters["memcpy_us_per_frame"] = memcpySeconds / frames * 1e6;
    state.counters["callback_to_memcpy"] = callbackSeconds / memcpySeconds;
}
BENCHMARK(BM_CallbackVersusMemcpy)->Arg(100)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
