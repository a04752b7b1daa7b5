// Streams: the cost of one frame from the control system's delivery until the caller holds it (the
// delivery callback's copy into the pool, qmStreamNext and qmStreamRelease, all on the benchmark thread)
// against a memcpy of the frame into memory already in use; minor page faults per frame and the growth
// of resident memory in steady state; the stand-in serving large frames against a memcpy; and four
// streams of large frames at 50 frames per second at once, which must lose no frame.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_files.h"
#include "fed_stream.h"
#include "qmv3/qmv3.h"
#include "ratio_table.h"
#include "stream/stream.h"
#include "synthetic_data.h"
#include "zant.h"
#include "zantsim.h"

namespace {

using qmv3bench::FrameSpec;

using qmv3bench::FedStream;
using qmv3bench::Kind;
using qmv3bench::kDevice;
using qmv3bench::kKinds;
using qmv3bench::ServeBenchCameras;

long MinorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

double ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    double size = 0, resident = 0;
    statm >> size >> resident;
    return resident * 4096.0;
}

void Delivery(benchmark::State& state, const Kind& kind) {
    FedStream fed(kind);
    if (fed.subscription == nullptr) {
        state.SkipWithError("the stream could not be opened");
        return;
    }
    for (int i = 0; i < 10; ++i) fed.Frame();  // the pool's warm buffers
    const long faults = MinorFaults();
    uint64_t frames = 0;
    for (auto _ : state) {
        if (!fed.Frame()) state.SkipWithError("no frame handed over");
        ++frames;
    }
    state.counters["faults_per_frame"] = static_cast<double>(MinorFaults() - faults) / static_cast<double>(frames);
    state.counters["one"] = 1.0;
}

void Memcpy(benchmark::State& state, const Kind& kind) {
    const std::vector<unsigned char> source = qmv3bench::MakePixels(*kind.shape, 0);
    std::vector<unsigned char> target(source.size(), 1);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
}

// Page faults over 1000 frames and resident memory between frame 10 000 and 100 000, 640 x 480.
void SteadyState(benchmark::State& state) {
    FedStream fed(kKinds[0]);
    if (fed.subscription == nullptr) {
        state.SkipWithError("the stream could not be opened");
        return;
    }
    for (auto _ : state) {
        for (int i = 0; i < 10000; ++i) fed.Frame();
        const long faults = MinorFaults();
        for (int i = 0; i < 1000; ++i) fed.Frame();
        state.counters["faults_per_frame"] = static_cast<double>(MinorFaults() - faults) / 1000.0;
        const double resident = ResidentBytes();
        for (int i = 11000; i < 100000; ++i) fed.Frame();
        state.counters["resident_growth_bytes"] = ResidentBytes() - resident;
    }
    state.counters["one"] = 1.0;
    state.counters["mebibyte"] = 1048576.0;
}

// The stand-in's read of one 2048 x 2048 16-bit frame (its served scene) against a memcpy of the frame.
void ServeLarge(benchmark::State& state) {
    ServeBenchCameras();
    std::vector<unsigned char> bytes(qmv3bench::kGrey16.bytes());
    DIMAGE image{};
    image.frameBuffer = bytes.data();
    image.frameBufferSize = static_cast<uint32_t>(bytes.size());
    DTYPE out{};
    out.dArrayLength = image.frameBufferSize;
    out.dFormat = CF_IMAGE;
    out.data = &image;
    const std::string address = std::string(kDevice) + "0";
    if (alsnExecLinkEx(address.c_str(), "Large", &out, nullptr, 1, 1000, nullptr) != 0)
        state.SkipWithError("the stand-in did not serve");
    for (auto _ : state) {
        alsnExecLinkEx(address.c_str(), "Large", &out, nullptr, 1, 1000, nullptr);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    zantsim_Reset();
}

// Four streams of 2048 x 2048 16-bit frames at 50 frames per second, each read on its own thread, for
// 250 frames each; lost frames are those dropped plus the frame numbers skipped.
void FourStreams(benchmark::State& state) {
    qmSetVerbose(0);
    ServeBenchCameras();
    constexpr int kFramesEach = 250;
    double lost = 0;
    for (auto _ : state) {
        std::atomic<long> dropped{0}, failures{0};
        std::vector<std::thread> consumers;
        for (int i = 0; i < 4; ++i)
            consumers.emplace_back([&, i] {
                QMV3_STREAM_OPTIONS options{};
                options.size = sizeof options;
                options.rateMilliseconds = 20;
                options.policy = QMV3_STREAM_KEEP_OLDEST;
                QMV3_STREAM* stream = nullptr;
                if (qmStreamOpen(&stream, (std::string(kDevice) + std::to_string(i)).c_str(), "Large", &options,
                                 nullptr) != QMV3_STREAM_OK) {
                    ++failures;
                    return;
                }
                for (int n = 0; n < kFramesEach; ++n) {
                    DIMAGE* frame = nullptr;
                    if (qmStreamNext(stream, 10000, &frame) != QMV3_STREAM_OK) {
                        ++failures;
                        break;
                    }
                    qmStreamRelease(stream, frame);
                }
                QMV3_STREAM_STATISTICS stats{};
                stats.size = sizeof stats;
                qmStreamGetStatistics(stream, &stats);
                dropped += static_cast<long>(stats.droppedQueueFull + stats.gaps);
                qmStreamClose(stream);
            });
        for (std::thread& consumer : consumers) consumer.join();
        if (failures.load() != 0) state.SkipWithError("a stream failed");
        lost += static_cast<double>(dropped.load());
    }
    state.counters["lost_frames_plus_one"] = lost + 1.0;
    state.counters["one"] = 1.0;
    zantsim_Reset();
}

const bool registered = [] {
    for (const Kind& kind : kKinds) {
        const std::string base = std::string("stream/") + kind.key + "/";
        benchmark::RegisterBenchmark((base + "delivery_to_caller").c_str(), [&kind](benchmark::State& s) {
            Delivery(s, kind);
        })->MinTime(1.0);
        benchmark::RegisterBenchmark((base + "memcpy_in_use").c_str(), [&kind](benchmark::State& s) {
            Memcpy(s, kind);
        })->MinTime(1.0);
        qmv3bench::AddRatioRow(
            {kind.order,
             std::string("Stream delivery to caller per frame, ") + kind.shape->name + ", vs memcpy into memory in use",
             qmv3bench::TimeOf(base + "delivery_to_caller"), qmv3bench::TimeOf(base + "memcpy_in_use"), 1.2});
        // Today's grab path (grab_bench.cc) for comparison: a fresh buffer and its page faults per frame.
        const uint32_t grabBatch = kind.order == 420 ? 100 : 20;
        qmv3bench::AddRatioRow({kind.order + 10,
                                std::string("Stream delivery to caller per frame, ") + kind.shape->name +
                                    ", vs the grab callback per frame",
                                qmv3bench::TimeOf(base + "delivery_to_caller"),
                                qmv3bench::TimeOf(std::string("grab/") + kind.key + "/callback", grabBatch), 0});
    }
    benchmark::RegisterBenchmark("stream/grey8/steady_state", SteadyState)->Iterations(1)->Unit(benchmark::kSecond);
    qmv3bench::AddRatioRow({422, "Stream minor page faults per frame over 1000 frames (steady state), vs 1",
                            qmv3bench::CounterOf("stream/grey8/steady_state", "faults_per_frame"),
                            qmv3bench::CounterOf("stream/grey8/steady_state", "one"), 1.0});
    qmv3bench::AddRatioRow({423, "Stream resident growth, frame 10 000 to 100 000, vs 1 MiB",
                            qmv3bench::CounterOf("stream/grey8/steady_state", "resident_growth_bytes"),
                            qmv3bench::CounterOf("stream/grey8/steady_state", "mebibyte"), 1.0});
    benchmark::RegisterBenchmark("stream/stand-in/serve_2048x2048_16bit", ServeLarge)->MinTime(1.0);
    qmv3bench::AddRatioRow({424, "Stand-in serving a 2048x2048 16-bit frame vs memcpy (200 frames/s: <= 5 ms)",
                            qmv3bench::TimeOf("stream/stand-in/serve_2048x2048_16bit"),
                            qmv3bench::TimeOf("stream/grey16/memcpy_in_use"), 0});
    benchmark::RegisterBenchmark("stream/four_streams_2048x2048_16bit_50fps", FourStreams)
        ->Iterations(1)
        ->Unit(benchmark::kSecond)
        ->UseRealTime();
    qmv3bench::AddRatioRow({425, "Four streams 2048x2048 16-bit at 50 frames/s: lost frames + 1, vs 1",
                            qmv3bench::CounterOf("stream/four_streams_2048x2048_16bit_50fps", "lost_frames_plus_one"),
                            qmv3bench::CounterOf("stream/four_streams_2048x2048_16bit_50fps", "one"), 1.0});
    return true;
}();

}  // namespace
