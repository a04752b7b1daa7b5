// Pixel operations of the image class against a straightforward loop that computes the same pixels.
// Both sides restore the frame before every iteration outside the timed part, so each starts from the
// same bytes in the same cache state.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
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

// 2 x 2 means, truncated, into a separate frame.
void BinLoop(const unsigned char* in, unsigned char* out, const FrameSpec& shape) {
    const int w = shape.width, newWidth = shape.width / 2, newHeight = shape.height / 2;
    for (int y = 0; y < newHeight; ++y) {
        for (int x = 0; x < newWidth; ++x) {
            const size_t a = static_cast<size_t>(2 * y) * w + 2 * x, b = a + w;
            if (shape.bytesPerPixel == 1) {
                out[static_cast<size_t>(y) * newWidth + x] =
                    static_cast<unsigned char>((in[a] + in[a + 1] + in[b] + in[b + 1]) / 4);
            } else {
                const unsigned sum = Word(in + 2 * a) + Word(in + 2 * a + 2) + Word(in + 2 * b) + Word(in + 2 * b + 2);
                PutWord(out + 2 * (static_cast<size_t>(y) * newWidth + x), static_cast<uint16_t>(sum / 4));
            }
        }
    }
}

// Extremes, then (v - min) * (top / (max - min)), truncated.
void NormaliseLoop(const unsigned char* in, unsigned char* out, const FrameSpec& shape) {
    const size_t count = static_cast<size_t>(shape.width) * shape.height;
    uint16_t low = 0xFFFF, high = 0;
    for (size_t i = 0; i < count; ++i) {
        low = std::min(low, Word(in + 2 * i));
        high = std::max(high, Word(in + 2 * i));
    }
    const double scale = ((1 << shape.effectiveBits) - 1) / static_cast<double>(high - low);
    for (size_t i = 0; i < count; ++i) PutWord(out + 2 * i, static_cast<uint16_t>((Word(in + 2 * i) - low) * scale));
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

void GreyNLoop(const unsigned char* in, unsigned char* out, const FrameSpec& shape) {
    const size_t count = static_cast<size_t>(shape.width) * shape.height;
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* rgb = in + 3 * i;
        const double luminance = 0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2];
        PutWord(out + 2 * i, static_cast<uint16_t>(luminance * 4095 / 255.0 + 0.5));
    }
}

struct Operation {
    int order;
    const char* name;
    const char* label;
    const FrameSpec* shape;
    bool (*operation)(CDIMAGE&);
    void (*loop)(const unsigned char*, unsigned char*, const FrameSpec&);
};

const Operation kOperations[] = {
    {700, "image/binning_2x2_8bit", "CDIMAGE binning 2x2, 640x480 8-bit vs a loop",  //
     &qmv3bench::kGrey8, [](CDIMAGE& i) { return i.performFastBinning(2, 2); }, BinLoop},
    {701, "image/binning_2x2_16bit", "CDIMAGE binning 2x2, 2048x2048 16-bit vs a loop",  //
     &qmv3bench::kGrey16, [](CDIMAGE& i) { return i.performFastBinning(2, 2); }, BinLoop},
    {702, "image/normalisation_older", "CDIMAGE older normalisation, 2048x2048 16-bit vs a loop",  //
     &qmv3bench::kGrey16, [](CDIMAGE& i) { return i.performNormalisationBuggy(NORMALISATION_FROM_MINIMUM); },
     NormaliseLoop},
    {703, "image/normalisation_limits", "CDIMAGE normalisation within limits, 2048x2048 16-bit vs a loop",  //
     &qmv3bench::kGrey16, [](CDIMAGE& i) { return i.performNormalisationLimitImproved(0, 4095); }, NormaliseLoop},
    {704, "image/grey_to_8bit", "CDIMAGE 16-bit grey to 8-bit, 2048x2048 vs a loop",  //
     &qmv3bench::kGrey16, [](CDIMAGE& i) { return i.performGrayscaleDownscaleTo1BytePerPixel(); }, DownscaleLoop},
    {705, "image/rgb_to_grey8", "CDIMAGE RGB to 8-bit grey, 640x480 vs a loop",  //
     &qmv3bench::kColour24, [](CDIMAGE& i) { return i.performRGB24DownscaleToGray8(); }, GreyLoop},
    {706, "image/rgb_to_grey12", "CDIMAGE RGB to 12-bit grey, 640x480 vs a loop",  //
     &qmv3bench::kColour24, [](CDIMAGE& i) { return i.performRGB24DownscaleToGrayN(12); }, GreyNLoop},
};

bool Register() {
    for (const Operation& op : kOperations) {
        const std::string subject = std::string(op.name) + "/cdimage", baseline = std::string(op.name) + "/loop";
        benchmark::RegisterBenchmark(
            subject.c_str(), [&op](benchmark::State& state) { RunImageOperation(state, *op.shape, op.operation); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(baseline.c_str(),
                                     [&op](benchmark::State& state) { RunLoop(state, *op.shape, op.loop); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        qmv3bench::AddRatioRow({op.order, op.label, qmv3bench::TimeOf(subject), qmv3bench::TimeOf(baseline), 0});
    }
    return true;
}

const bool registered = Register();

}  // namespace
