// The stand-in's scene model: rendering one frame of the simulated camera against copying a frame of
// the same size, the least any frame source costs. Google Benchmark's own lines show the time per frame,
// to be read against the 20 ms a camera serving 50 frames per second has for each.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "ratio_table.h"
#include "synthetic_data.h"
#include "zantsim.h"

namespace {

using qmv3bench::FrameSpec;

ZANTSIM_SCENE SceneOf(const FrameSpec& shape) {
    ZANTSIM_SCENE scene;
    zantsim_DefaultScene(&scene);
    scene.width = shape.width;
    scene.height = shape.height;
    scene.bytesPerPixel = shape.bytesPerPixel;
    scene.effectiveBits = shape.effectiveBits;
    return scene;
}

void RenderFrames(benchmark::State& state, const FrameSpec& shape) {
    const ZANTSIM_SCENE scene = SceneOf(shape);
    std::vector<unsigned char> frame(shape.bytes());
    uint32_t number = 1;
    if (zantsim_RenderScene(&scene, number, frame.data(), frame.size()) != 0) state.SkipWithError("render failed");
    for (auto _ : state) {
        zantsim_RenderScene(&scene, ++number, frame.data(), frame.size());
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
}

void CopyFrames(benchmark::State& state, const FrameSpec& shape) {
    const std::vector<unsigned char> source = qmv3bench::MakePixels(shape, 0);
    std::vector<unsigned char> frame(shape.bytes());
    for (auto _ : state) {
        std::memcpy(frame.data(), source.data(), frame.size());
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
}

const bool registered = [] {
    const struct {
        int order;
        const char* name;
        const FrameSpec* shape;
    } kinds[] = {{900, "scene/640x480_8bit", &qmv3bench::kGrey8}, {901, "scene/2048x2048_16bit", &qmv3bench::kGrey16}};
    for (const auto& kind : kinds) {
        const FrameSpec* shape = kind.shape;
        const std::string subject = std::string(kind.name) + "/render";
        const std::string baseline = std::string(kind.name) + "/memcpy";
        benchmark::RegisterBenchmark(subject.c_str(), [shape](benchmark::State& s) {
            RenderFrames(s, *shape);
        })->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(baseline.c_str(), [shape](benchmark::State& s) {
            CopyFrames(s, *shape);
        })->Unit(benchmark::kMillisecond);
        qmv3bench::AddRatioRow({kind.order, std::string("Scene frame of the stand-in, ") + shape->name + ", vs memcpy",
                                qmv3bench::TimeOf(subject), qmv3bench::TimeOf(baseline), 0});
    }
    return true;
}();

}  // namespace
