// The live view's cost per shown frame: from a delivered frame to the page's event (the picture reduced
// to 1024 pixels, stretched, JPEG-encoded and in base64, with its histogram and spot statistics), for the
// largest frame the simulated cameras serve. Its goal is a time budget, 15 ms, so the row divides the
// measured time by that budget; the reduction alone is shown against a plain read of the frame. The
// tool's load at 10 frames shown per second: a stream of such frames, each rendered and made into its
// page event as the server does, its process CPU time against the wall time (one core is 1.0).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "fed_stream.h"
#include "qmv3/qmv3.h"
#include "ratio_table.h"
#include "synthetic_data.h"
#include "view_render.h"

namespace {

constexpr double kBudgetMilliseconds = 15.0;

void ViewRender(benchmark::State& state, const qmv3bench::FrameSpec& shape) {
    const std::vector<unsigned char> pixels = qmv3bench::MakePixels(shape, 3);
    DIMAGE image = qmv3bench::MakeImage(shape, 3, pixels);
    qmv3tool::ViewRenderer renderer;
    qmv3tool::ViewSettings settings;
    size_t encoded = 0;
    for (auto _ : state) {
        qmv3tool::RenderedView view;
        std::string message;
        if (!renderer.Render(image, settings, view, message)) {
            state.SkipWithError(message.c_str());
            break;
        }
        encoded += qmv3tool::Base64(view.jpeg).size();
    }
    benchmark::DoNotOptimize(encoded);
    std::free(image.frameBuffer);
}

void Budget(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(state.iterations());
    state.counters["seconds"] = kBudgetMilliseconds / 1000.0;
}

// A read of every pixel of the frame once: the least any reduction costs.
void ReadFrame(benchmark::State& state, const qmv3bench::FrameSpec& shape) {
    const std::vector<unsigned char> pixels = qmv3bench::MakePixels(shape, 3);
    for (auto _ : state) {
        uint64_t sum = 0;
        const uint16_t* values = reinterpret_cast<const uint16_t*>(pixels.data());
        for (size_t i = 0; i < pixels.size() / 2; ++i) sum += values[i];
        benchmark::DoNotOptimize(sum);
    }
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Three seconds of the view at 10 frames a second: each frame delivered into a stream, taken as the
// newest, rendered, made into the page's JSON and given back; the rest of each tenth of a second idle.
void ViewAtTenPerSecond(benchmark::State& state) {
    qmv3bench::FedStream fed(qmv3bench::kKinds[1]);
    qmv3tool::ViewRenderer renderer;
    qmv3tool::ViewSettings settings;
    constexpr int kFrames = 30;
    const auto period = std::chrono::milliseconds(100);
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double cpuStart = ProcessCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        size_t sent = 0;
        for (int k = 0; k < kFrames; ++k) {
            fed.Deliver();
            DIMAGE* frame = nullptr;
            if (qmStreamNext(fed.handle, 1000, &frame) != QMV3_STREAM_OK) {
                state.SkipWithError("the stream handed over no frame");
                return;
            }
            qmv3tool::RenderedView view;
            std::string message;
            if (renderer.Render(*frame, settings, view, message))
                sent += qmv3tool::ViewJson(*frame, view, "2026-01-01 00:00:00.000 UTC", "").size();
            qmStreamRelease(fed.handle, frame);
            std::this_thread::sleep_until(start + (k + 1) * period);
        }
        benchmark::DoNotOptimize(sent);
        cpu += ProcessCpuSeconds() - cpuStart;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["cpu"] = cpu;
    state.counters["wall"] = wall;
}

BENCHMARK_CAPTURE(ViewRender, grey16, qmv3bench::kGrey16)->Unit(benchmark::kMillisecond);
BENCHMARK(Budget)->Iterations(1);
BENCHMARK_CAPTURE(ReadFrame, grey16, qmv3bench::kGrey16)->Unit(benchmark::kMillisecond);
BENCHMARK(ViewAtTenPerSecond)->Iterations(1)->Unit(benchmark::kMillisecond);

const bool kRows = qmv3bench::AddRatioRow({910, "view: 2048x2048x16 frame to its page event / the 15 ms budget",
                                            qmv3bench::TimeOf("ViewRender/grey16"),
                                            qmv3bench::CounterOf("Budget", "seconds"), 1.0}) &&
                   qmv3bench::AddRatioRow({911, "view: 2048x2048x16 frame to its page event / one read of the frame",
                                           qmv3bench::TimeOf("ViewRender/grey16"),
                                           qmv3bench::TimeOf("ReadFrame/grey16"), 0}) &&
                   qmv3bench::AddRatioRow({912, "view: CPU of the tool at 10 frames shown per second / one core",
                                           qmv3bench::CounterOf("ViewAtTenPerSecond", "cpu"),
                                           qmv3bench::CounterOf("ViewAtTenPerSecond", "wall"), 0.3});

}  // namespace
