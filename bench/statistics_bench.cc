// One image's spot statistics (border background 8 pixels wide, threshold 0, the report's default)
// against two loops over the same frame: the definitions written out plainly, one pass per figure with
// double sums, and the floor, a loop that only sums the region's pixels once.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "qmv3/qmv3.h"
#include "ratio_table.h"
#include "synthetic_data.h"

namespace {

using qmv3bench::FrameSpec;

constexpr int kBorder = 8;

struct Subject {
    explicit Subject(const FrameSpec& shape) : pixels(qmv3bench::MakePixels(shape, 3)) {
        image = qmv3bench::MakeImage(shape, 3, pixels);
        width = shape.width;
        height = shape.height;
        wide = shape.bytesPerPixel == 2;
    }
    ~Subject() { std::free(image.frameBuffer); }
    double At(int i, int j) const {
        const size_t index = static_cast<size_t>(j) * width + i;
        if (!wide) return image.frameBuffer[index];
        uint16_t value;
        std::memcpy(&value, image.frameBuffer + 2 * index, 2);
        return value;
    }
    std::vector<unsigned char> pixels;
    DIMAGE image;
    int width, height;
    bool wide;
};

QMV3_STATISTICS_OPTIONS Options() {
    QMV3_STATISTICS_OPTIONS options = {};
    options.size = sizeof options;
    options.background = QMV3_BACKGROUND_BORDER;
    options.border = kBorder;
    return options;
}

void RunLibrary(benchmark::State& state, const FrameSpec& shape) {
    Subject subject(shape);
    const QMV3_STATISTICS_OPTIONS options = Options();
    QMV3_STATISTICS result;
    for (auto _ : state) {
        if (qmImageStatistics(&subject.image, &options, &result) != QMV3_STATISTICS_OK)
            state.SkipWithError("statistics failed");
        benchmark::DoNotOptimize(result);
    }
}

// The definitions as a reader would first write them: a pass per figure, doubles throughout.
void RunDefinitions(benchmark::State& state, const FrameSpec& shape) {
    Subject s(shape);
    const int w = s.width, h = s.height;
    const double top = std::pow(2.0, shape.effectiveBits) - 1;
    for (auto _ : state) {
        double low = HUGE_VAL, high = -HUGE_VAL, total = 0, squares = 0, saturated = 0;
        int lowAt = 0, highAt = 0;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i)
                if (s.At(i, j) < low) low = s.At(i, j), lowAt = j * w + i;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i)
                if (s.At(i, j) > high) high = s.At(i, j), highAt = j * w + i;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) total += s.At(i, j);
        const double mean = total / (double(w) * h);
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) squares += (s.At(i, j) - mean) * (s.At(i, j) - mean);
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) saturated += s.At(i, j) >= top;
        std::vector<double> ring;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i)
                if (i < kBorder || j < kBorder || i >= w - kBorder || j >= h - kBorder) ring.push_back(s.At(i, j));
        std::sort(ring.begin(), ring.end());
        const double b = ring.size() % 2 ? ring[ring.size() / 2]
                                         : (ring[ring.size() / 2 - 1] + ring[ring.size() / 2]) / 2;
        auto weight = [&](int i, int j) { return s.At(i, j) - b > 0 ? s.At(i, j) - b : 0.0; };
        double net = 0, wi = 0, wj = 0, xx = 0, yy = 0, xy = 0;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) net += weight(i, j);
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) wi += weight(i, j) * i;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) wj += weight(i, j) * j;
        const double cx = wi / net, cy = wj / net;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) xx += weight(i, j) * (i - cx) * (i - cx);
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) yy += weight(i, j) * (j - cy) * (j - cy);
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) xy += weight(i, j) * (i - cx) * (j - cy);
        benchmark::DoNotOptimize(low + high + lowAt + highAt + squares + saturated + net + xx + yy + xy);
    }
}

// The floor: every pixel of the region read once into one sum.
void RunSum(benchmark::State& state, const FrameSpec& shape) {
    Subject s(shape);
    for (auto _ : state) {
        uint64_t sum = 0;
        for (int j = 0; j < s.height; ++j) {
            if (s.wide) {
                const uint16_t* row = reinterpret_cast<const uint16_t*>(s.image.frameBuffer) + size_t(j) * s.width;
                for (int i = 0; i < s.width; ++i) sum += row[i];
            } else {
                const uint8_t* row = s.image.frameBuffer + size_t(j) * s.width;
                for (int i = 0; i < s.width; ++i) sum += row[i];
            }
        }
        benchmark::DoNotOptimize(sum);
    }
}

bool Register() {
    int order = 760;
    for (const FrameSpec* shape : {&qmv3bench::kGrey8, &qmv3bench::kGrey16}) {
        const std::string prefix = std::string("statistics/") + shape->name;
        benchmark::RegisterBenchmark((prefix + "/library").c_str(),
                                     [shape](benchmark::State& state) { RunLibrary(state, *shape); })
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((prefix + "/definitions").c_str(),
                                     [shape](benchmark::State& state) { RunDefinitions(state, *shape); })
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((prefix + "/sum").c_str(),
                                     [shape](benchmark::State& state) { RunSum(state, *shape); })
            ->Unit(benchmark::kMicrosecond);
        qmv3bench::AddRatioRow({order++, std::string("Image statistics, ") + shape->name + ", vs the definitions' loops",
                                qmv3bench::TimeOf(prefix + "/library"), qmv3bench::TimeOf(prefix + "/definitions"),
                                1.3});
        qmv3bench::AddRatioRow({order++, std::string("Image statistics, ") + shape->name + ", vs one summing loop",
                                qmv3bench::TimeOf(prefix + "/library"), qmv3bench::TimeOf(prefix + "/sum"), 3.0});
    }
    return true;
}

const bool registered = Register();

}  // namespace
