// Pixel operations of the image class against a straightforward loop that computes the same pixels.
// Both sides restore the frame before every iteration outside the timed part, so each starts from the
// same bytes in the same cache state.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "image/cdimage.h"
#include "ratio_table.h"
#include "synthetic_data.h"

namespace {

using qmv3bench::FrameSpec;

// A frame to work on and the record to restore it from.
struct Workbench {
    explicit Workbench(const FrameSpec& shape) : pixels(qmv3bench::MakePixels(shape, 0)), work(pixels) {
        record = qmv3bench::MakeImage(shape, 0, pixels);
        std::free(record.frameBuffer);
        record.frameBuffer = work.data();
    }
    void Restore() { std::memcpy(work.data(), pixels.data(), pixels.size()); }
    std::vector<unsigned char> pixels;
    std::vector<unsigned char> work;
    DIMAGE record;
};

template <typename Operation>
void RunImageOperation(benchmark::State& state, const FrameSpec& shape, Operation operation) {
    Workbench bench(shape);
    CDIMAGE image;
    for (auto _ : state) {
        state.PauseTiming();
        bench.Restore();
        image.setDIMAGE(bench.record, false);
        state.ResumeTiming();
        if (!operation(image)) state.SkipWithError("the operation refused the image");
        benchmark::DoNotOptimize(image.m_Img.frameBuffer);
        benchmark::ClobberMemory();
    }
}

template <typename Loop>
void RunLoop(benchmark::State& state, const FrameSpec& shape, Loop loop) {
    Workbench bench(shape);
    std::vector<unsigned char> output(bench.pixels.size());
    for (auto _ : state) {
        state.PauseTiming();
        bench.Restore();
        state.ResumeTiming();
        loop(bench.work.data(), output.data(), shape);
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
}

uint16_t Word(const unsigned char* at) {
    uint16_t value;
    std::memcpy(&value, at, 2);
    return value;
}

void PutWord(unsigned char* at, uint16_t value) { std::memcpy(at, &value, 2); }

// 2 x 2 means into a separate frame: the truncated mean of the two rows' truncated means.
void BinLoop(const unsigned char* in, unsigned char* out, const FrameSpec& shape) {
    const int w = shape.width, newWidth = shape.width / 2, newHeight = shape.height / 2;
    for (int y = 0; y < newHeight; ++y) {
        for (int x = 0; x < newWidth; ++x) {
            const size_t a = static_cast<size_t>(2 * y) * w + 2 * x, b = a + w;
            if (shape.bytesPerPixel == 1) {
                out[static_cast<size_t>(y) * newWidth + x] =
                    static_cast<unsigned char>(((in[a] + in[a + 1]) / 2 + (in[b] + in[b + 1]) / 2) / 2);
            } else {
                const unsigned top = (Word(in + 2 * a) + Word(in + 2 * a + 2)) / 2;
                const unsigned bottom = (Word(in + 2 * b) + Word(in + 2 * b + 2)) / 2;
                PutWord(out + 2 * (static_cast<size_t>(y) * newWidth + x), static_cast<uint16_t>((top + bottom) / 2));
            }
        }
    }
}

// Extremes of the values clamped to the significant range, then (v - min) * (top / (max - min)) of
// the raw value (older normalisation) or of the clamped one (within limits), truncated.
template <bool kClampValues>
void NormaliseLoop(const unsigned char* in, unsigned char* out, const FrameSpec& shape) {
    const size_t count = static_cast<size_t>(shape.width) * shape.height;
    const int top = (1 << shape.effectiveBits) - 1;
    int low = top, high = 0;
    for (size_t i = 0; i < count; ++i) {
        const int value = std::min<int>(Word(in + 2 * i), top);
        low = std::min(low, value);
        high = std::max(high, value);
    }
    const double scale = top / static_cast<double>(high - low);
    for (size_t i = 0; i < count; ++i) {
        const int value = kClampValues ? std::min<int>(Word(in + 2 * i), top) : Word(in + 2 * i);
        PutWord(out + 2 * i, static_cast<uint16_t>(static_cast<int64_t>((value - low) * scale)));
    }
}

void DownscaleLoop(const unsigned char* in, unsigned char* out, const FrameSpec& shape) {
    const size_t count = static_cast<size_t>(shape.width) * shape.height;
    const int shift = shape.effectiveBits - 8;
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<unsigned char>(Word(in + 2 * i) >> shift);
}

void GreyLoop(const unsigned char* in, unsigned char* out, const FrameSpec& shape) {
    const size_t count = static_cast<size_t>(shape.width) * shape.height;
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* rgb = in + 3 * i;
        out[i] = static_cast<unsigned char>(0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2]);
    }
}

void Grey12Loop(const unsigned char* in, unsigned char* out, const FrameSpec& shape) {
    const size_t count = static_cast<size_t>(shape.width) * shape.height;
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* rgb = in + 3 * i;
        const double luminance = 0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2];
        PutWord(out + 2 * i, static_cast<uint16_t>(luminance * 4095 / 255.0 + 0.5));
    }
}

void Grey4Loop(const unsigned char* in, unsigned char* out, const FrameSpec& shape) {
    const size_t count = static_cast<size_t>(shape.width) * shape.height;
    const double divisor = 255.0 / 15;
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* rgb = in + 3 * i;
        const double luminance = 0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2];
        out[i] = static_cast<unsigned char>(luminance / divisor + 0.5);
    }
}

// The operations at two sizes of one pixel kind: 640 x 480 and 2048 x 2048.
const FrameSpec kGrey8Small = {"640x480 8-bit", 640, 480, 1, 8, QMV3_FORMAT_GRAY, qmv3bench::Pattern::kScene};
const FrameSpec kGrey8Large = {"2048x2048 8-bit", 2048, 2048, 1, 8, QMV3_FORMAT_GRAY, qmv3bench::Pattern::kScene};
const FrameSpec kGrey16Small = {"640x480 16-bit", 640, 480, 2, 12, QMV3_FORMAT_GRAY, qmv3bench::Pattern::kScene};
const FrameSpec kGrey16Large = {"2048x2048 16-bit", 2048, 2048, 2, 12, QMV3_FORMAT_GRAY, qmv3bench::Pattern::kScene};
const FrameSpec kColourSmall = {"640x480 RGB", 640, 480, 3, 8, QMV3_FORMAT_RGB, qmv3bench::Pattern::kScene};
const FrameSpec kColourLarge = {"2048x2048 RGB", 2048, 2048, 3, 8, QMV3_FORMAT_RGB, qmv3bench::Pattern::kScene};

struct Operation {
    const char* name;
    const char* label;
    const FrameSpec* small;
    const FrameSpec* large;
    bool (*operation)(CDIMAGE&);
    void (*loop)(const unsigned char*, unsigned char*, const FrameSpec&);
};

const Operation kOperations[] = {
    {"binning_2x2_8bit", "CDIMAGE binning 2x2, 8-bit", &kGrey8Small, &kGrey8Large,
     [](CDIMAGE& i) { return i.performFastBinning(2, 2); }, BinLoop},
    {"binning_2x2_16bit", "CDIMAGE binning 2x2, 16-bit", &kGrey16Small, &kGrey16Large,
     [](CDIMAGE& i) { return i.performFastBinning(2, 2); }, BinLoop},
    {"normalisation_older", "CDIMAGE older normalisation, 16-bit", &kGrey16Small, &kGrey16Large,
     [](CDIMAGE& i) { return i.performNormalisationBuggy(NORMALISATION_FROM_MINIMUM); }, NormaliseLoop<false>},
    {"normalisation_limits", "CDIMAGE normalisation within limits, 16-bit", &kGrey16Small, &kGrey16Large,
     [](CDIMAGE& i) { return i.performNormalisationLimitImproved(0, 4095); }, NormaliseLoop<true>},
    {"grey_to_8bit", "CDIMAGE 16-bit grey to 8-bit", &kGrey16Small, &kGrey16Large,
     [](CDIMAGE& i) { return i.performGrayscaleDownscaleTo1BytePerPixel(); }, DownscaleLoop},
    {"rgb_to_grey8", "CDIMAGE RGB to 8-bit grey", &kColourSmall, &kColourLarge,
     [](CDIMAGE& i) { return i.performRGB24DownscaleToGray8(); }, GreyLoop},
    {"rgb_to_grey12", "CDIMAGE RGB to 12-bit grey", &kColourSmall, &kColourLarge,
     [](CDIMAGE& i) { return i.performRGB24DownscaleToGrayN(12); }, Grey12Loop},
    {"rgb_to_grey4", "CDIMAGE RGB to 4-bit grey", &kColourSmall, &kColourLarge,
     [](CDIMAGE& i) { return i.performRGB24DownscaleToGrayN(4); }, Grey4Loop},
};

bool Register() {
    int order = 700;
    for (const Operation& op : kOperations) {
        std::string subjects[2];
        for (int large = 0; large < 2; ++large) {
            const FrameSpec* shape = large ? op.large : op.small;
            const std::string prefix = std::string("image/") + op.name + (large ? "/2048x2048" : "/640x480");
            const std::string subject = prefix + "/cdimage", baseline = prefix + "/loop";
            benchmark::RegisterBenchmark(
                subject.c_str(),
                [&op, shape](benchmark::State& state) { RunImageOperation(state, *shape, op.operation); })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            benchmark::RegisterBenchmark(baseline.c_str(),
                                         [&op, shape](benchmark::State& state) { RunLoop(state, *shape, op.loop); })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            qmv3bench::AddRatioRow({order++, std::string(op.label) + ", " + shape->name + " vs a loop",
                                    qmv3bench::TimeOf(subject), qmv3bench::TimeOf(baseline), 1.3});
            subjects[large] = subject;
        }
        const double smallPixels = 640.0 * 480, largePixels = 2048.0 * 2048;
        qmv3bench::AddRatioRow({1000 + order, std::string(op.label) + ", time per pixel: 2048x2048 vs 640x480",
                                qmv3bench::TimeOf(subjects[1], largePixels),
                                qmv3bench::TimeOf(subjects[0], smallPixels), 1.2});
    }
    return true;
}

const bool registered = Register();

}  // namespace
