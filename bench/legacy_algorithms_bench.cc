// The older analysis algorithms against a straightforward loop that computes the same pixels, on records
// of 4 frames of 16-bit pixels at two sizes. Every iteration starts from a fresh copy of the record,
// made outside the timed part.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "qmv3/qmv3.h"
#include "ratio_table.h"
#include "synthetic_data.h"

namespace {

using qmv3bench::FrameSpec;

constexpr int kFrames = 4;

const FrameSpec kSmall = {"640x480", 640, 480, 2, 12, QMV3_FORMAT_GRAY, qmv3bench::Pattern::kScene};
const FrameSpec kLarge = {"2048x2048", 2048, 2048, 2, 12, QMV3_FORMAT_GRAY, qmv3bench::Pattern::kScene};

// The frames of two records (the second for the significance map) and a working record for each.
struct Records {
    explicit Records(const FrameSpec& shape) : shape(shape) {
        for (int k = 0; k < 2; ++k) {
            for (int f = 0; f < kFrames; ++f) pixels[k].push_back(qmv3bench::MakePixels(shape, 10 * k + f));
            std::memset(&work[k], 0, sizeof work[k]);
            initialize_vidinfhdr(&work[k]);
        }
        std::memset(&map, 0, sizeof map);
        initialize_vidinfhdr(&map);
    }
    ~Records() {
        for (VIDINFHDR& rec : work) free_vidinfhdr(&rec);
        free_vidinfhdr(&map);
    }
    // Rebuilds both working records from the frames and empties the map.
    void Restore() {
        for (int k = 0; k < 2; ++k) {
            VIDINFHDR& rec = work[k];
            if (rec.numframes != kFrames) {
                free_vidinfhdr(&rec);
                rec.width = shape.width;
                rec.height = shape.height;
                rec.bpp = 16;
                rec.ebitpp = 12;
                rec.scale = 1.0;
                rec.numframes = kFrames;
                rec.type = VIDINFHDR_TYPE_IMC;
                rec.framebits = static_cast<unsigned char**>(std::calloc(kFrames, sizeof(unsigned char*)));
                rec.framescales = static_cast<double*>(std::calloc(kFrames, sizeof(double)));
                for (int f = 0; f < kFrames; ++f)
                    rec.framebits[f] = static_cast<unsigned char*>(std::malloc(shape.bytes()));
            }
            for (int f = 0; f < kFrames; ++f) std::memcpy(rec.framebits[f], pixels[k][f].data(), shape.bytes());
        }
        free_vidinfhdr(&map);
    }
    const FrameSpec& shape;
    std::vector<std::vector<unsigned char>> pixels[2];
    VIDINFHDR work[2];
    VIDINFHDR map;
};

inline uint32_t At(const unsigned char* frame, size_t index) {
    uint16_t value;
    std::memcpy(&value, frame + 2 * index, 2);
    return value;
}

inline void Put(unsigned char* frame, size_t index, uint32_t value) {
    const uint16_t word = static_cast<uint16_t>(value);
    std::memcpy(frame + 2 * index, &word, 2);
}

size_t Pixels(const VIDINFHDR& rec) { return static_cast<size_t>(rec.width) * rec.height; }

// Means of both records, the second's standard deviation times 1.5, marks into out.
void SignificanceLoop(Records& r, unsigned char* out) {
    const VIDINFHDR &a = r.work[0], &b = r.work[1];
    for (size_t p = 0; p < Pixels(a); ++p) {
        double sumA = 0, sumB = 0, squares = 0;
        for (int f = 0; f < kFrames; ++f) sumA += At(a.framebits[f], p);
        for (int f = 0; f < kFrames; ++f) sumB += At(b.framebits[f], p);
        const double meanA = sumA / kFrames, meanB = sumB / kFrames;
        for (int f = 0; f < kFrames; ++f) {
            const double deviation = meanB - At(b.framebits[f], p);
            squares += deviation * deviation;
        }
        if (std::sqrt(squares / (kFrames - 1)) * 1.5 >= meanA - meanB) Put(out, p, 1);
    }
}

void SpikeLoop(Records& r, unsigned char*) {
    const VIDINFHDR& a = r.work[0];
    const size_t w = a.width;
    for (int f = 0; f < kFrames; ++f) {
        unsigned char* frame = a.framebits[f];
        for (size_t y = 1; y + 1 < a.height; ++y) {
            for (size_t x = 1; x + 1 < w; ++x) {
                const uint32_t v = At(frame, y * w + x);
                if (v == 0) continue;
                const uint32_t t = 2 * v / 3;
                int darker = 0;
                uint32_t sum = 0;
                for (size_t yy = y - 1; yy <= y + 1; ++yy) {
                    for (size_t xx = x - 1; xx <= x + 1; ++xx) {
                        if (yy == y && xx == x) continue;
                        const uint32_t n = At(frame, yy * w + xx);
                        darker += n < t;
                        sum += n;
                    }
                }
                if (darker > 3) Put(frame, y * w + x, sum >> 3);
            }
        }
    }
}

void NormaliseLoop(Records& r, unsigned char*) {
    const VIDINFHDR& a = r.work[0];
    const double target = 4095;
    for (int f = 0; f < kFrames; ++f) {
        unsigned char* frame = a.framebits[f];
        uint32_t largest = 0;
        for (size_t p = 0; p < Pixels(a); ++p) largest = std::max(largest, At(frame, p));
        const double factor = largest == 0 ? target : target / largest;
        for (size_t p = 0; p < Pixels(a); ++p)
            Put(frame, p, static_cast<uint32_t>(std::min(At(frame, p) * factor, target)));
    }
}

void AverageLoop(Records& r, unsigned char* out) {
    const VIDINFHDR& a = r.work[0];
    for (size_t p = 0; p < Pixels(a); ++p) {
        double sum = 0;
        for (int f = 0; f < kFrames; ++f) sum += At(a.framebits[f], p);
        Put(out, p, static_cast<uint32_t>(sum / kFrames));
    }
}

void EnvelopeLoop(Records& r, unsigned char* out) {
    const VIDINFHDR& a = r.work[0];
    for (size_t p = 0; p < Pixels(a); ++p) {
        uint32_t largest = 0;
        for (int f = 0; f < kFrames; ++f) largest = std::max(largest, At(a.framebits[f], p));
        Put(out, p, largest);
    }
}

struct Algorithm {
    const char* name;
    const char* label;
    int (*run)(Records&);
    void (*loop)(Records&, unsigned char*);
};

const Algorithm kAlgorithms[] = {
    {"significance_map", "calculate_significance_map, 2 x 4 frames 16-bit",
     [](Records& r) { return calculate_significance_map(&r.work[0], &r.work[1], &r.map, 1.5); }, SignificanceLoop},
    {"xrayfilter", "xrayfilter, 4 frames 16-bit", [](Records& r) { return xrayfilter(&r.work[0]); }, SpikeLoop},
    {"normalizeframes", "normalizeframes, 4 frames 16-bit", [](Records& r) { return normalizeframes(&r.work[0]); },
     NormaliseLoop},
    {"average", "convert_format to BKG by average, 4 frames 16-bit",
     [](Records& r) { return convert_format(&r.work[0], VIDINFHDR_TYPE_BKG, 1); }, AverageLoop},
    {"envelope", "convert_format to BKG by envelope, 4 frames 16-bit",
     [](Records& r) { return convert_format(&r.work[0], VIDINFHDR_TYPE_BKG, 2); }, EnvelopeLoop},
};

void RunAlgorithm(benchmark::State& state, const FrameSpec& shape, const Algorithm& algorithm) {
    Records records(shape);
    for (auto _ : state) {
        state.PauseTiming();
        records.Restore();
        state.ResumeTiming();
        if (algorithm.run(records) != 0) state.SkipWithError("the algorithm failed");
        benchmark::ClobberMemory();
    }
}

void RunLoop(benchmark::State& state, const FrameSpec& shape, const Algorithm& algorithm) {
    Records records(shape);
    // The loops write their frame into fresh memory, as the algorithms do (zeroed for the map).
    for (auto _ : state) {
        state.PauseTiming();
        records.Restore();
        state.ResumeTiming();
        unsigned char* out = static_cast<unsigned char*>(
            algorithm.loop == SignificanceLoop ? std::calloc(1, shape.bytes()) : std::malloc(shape.bytes()));
        algorithm.loop(records, out);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
        state.PauseTiming();
        std::free(out);
        state.ResumeTiming();
    }
}

bool Register() {
    int order = 720;
    for (const Algorithm& algorithm : kAlgorithms) {
        std::string subjects[2];
        for (int large = 0; large < 2; ++large) {
            const FrameSpec* shape = large ? &kLarge : &kSmall;
            const std::string prefix = std::string("older/") + algorithm.name + "/" + shape->name;
            benchmark::RegisterBenchmark(
                (prefix + "/library").c_str(),
                [&algorithm, shape](benchmark::State& state) { RunAlgorithm(state, *shape, algorithm); })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            benchmark::RegisterBenchmark(
                (prefix + "/loop").c_str(),
                [&algorithm, shape](benchmark::State& state) { RunLoop(state, *shape, algorithm); })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            qmv3bench::AddRatioRow({order++, std::string(algorithm.label) + ", " + shape->name + " vs a loop",
                                    qmv3bench::TimeOf(prefix + "/library"), qmv3bench::TimeOf(prefix + "/loop"), 1.3});
            subjects[large] = prefix + "/library";
        }
        qmv3bench::AddRatioRow({1000 + order, std::string(algorithm.label) + ", time per pixel: 2048x2048 vs 640x480",
                                qmv3bench::TimeOf(subjects[1], 2048.0 * 2048),
                                qmv3bench::TimeOf(subjects[0], 640.0 * 480), 1.2});
    }
    return true;
}

const bool registered = Register();

}  // namespace
