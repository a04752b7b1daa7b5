// The live view's cost per shown frame: from a delivered frame to the page's event (the picture reduced
// to 1024 pixels, stretched, JPEG-encoded and in base64, with its histogram and spot statistics), for the
// largest frame the simulated cameras serve. Its goal is a time budget, 15 ms, so the row divides the
// measured time by that budget; the reduction alone is shown against a plain read of the frame.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

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

BENCHMARK_CAPTURE(ViewRender, grey16, qmv3bench::kGrey16)->Unit(benchmark::kMillisecond);
BENCHMARK(Budget)->Iterations(1);
BENCHMARK_CAPTURE(ReadFrame, grey16, qmv3bench::kGrey16)->Unit(benchmark::kMillisecond);

const bool kRows = qmv3bench::AddRatioRow({900, "view: 2048x2048x16 frame to its page event / the 15 ms budget",
                                            qmv3bench::TimeOf("ViewRender/grey16"),
                                            qmv3bench::CounterOf("Budget", "seconds"), 1.0}) &&
                   qmv3bench::AddRatioRow({901, "view: 2048x2048x16 frame to its page event / one read of the frame",
                                           qmv3bench::TimeOf("ViewRender/grey16"),
                                           qmv3bench::TimeOf("ReadFrame/grey16"), 0});

}  // namespace
