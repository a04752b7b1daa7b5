// Small pictures of frames for display: box averages over whole blocks of the frame, so noise does not
// alias into them and a 2048-pixel frame costs one read of its pixels; grey means stretched between two
// limits before the colour table applies, so that a 12-bit frame does not come out nearly black. Only
// the caller's buffers are touched: any thread.
#include <algorithm>
#include <cstring>
#include <vector>

#include "image/value_histogram.h"
#include "qmv3/qmv3.h"
#include "util/c_boundary.h"

using qmv3::image::StretchTo8Bits;

namespace {

struct Pixels {
    QMV3_PIXEL_LAYOUT layout;
    const unsigned char* bytes;
};

// The reduction: the picture's size and the block side f, from the layout.
struct Reduction {
    uint32_t width, height, channels, factor, blockFactor;
};

bool PixelsOf(const DIMAGE* image, Pixels& pixels) {
    if (qmGetPixelLayout(image, &pixels.layout) != QMV3_LAYOUT_OK || image->frameBuffer == nullptr) return false;
    pixels.bytes = image->frameBuffer;
    return true;
}

Reduction ReductionOf(const QMV3_PIXEL_LAYOUT& layout, unsigned int maxSide, int palette) {
    Reduction r;
    const uint32_t longest = std::max(layout.width, layout.height);
    r.factor = std::max<uint32_t>(1, static_cast<uint32_t>((uint64_t{longest} + maxSide - 1) / maxSide));
    r.width = std::max<uint32_t>(1, layout.width / r.factor);
    r.height = std::max<uint32_t>(1, layout.height / r.factor);
    r.blockFactor = std::min({r.factor, layout.width, layout.height});
    r.channels = layout.channels == 3 || palette != QMV3_COLOUR_MAP_GRAY ? 3 : 1;
    return r;
}

// The sums of the blocks of one channel of the frame, an output row at a time: emit(outY, sums) with
// one sum per block. Summing in integers, a row of blocks at a time, keeps the work to one read of
// each pixel and the memory to one row of sums.
template <typename Sample, typename Emit>
void SumBlocks(const Pixels& pixels, uint32_t channel, const Reduction& r, Emit&& emit) {
    std::vector<uint64_t> sums(r.width);
    const size_t step = pixels.layout.channels;  // samples from one pixel to the next
    const size_t rowSamples = step * pixels.layout.width;
    const uint32_t factor = r.blockFactor;
    for (uint32_t outY = 0; outY < r.height; ++outY) {
        std::fill(sums.begin(), sums.end(), 0);
        for (uint32_t y = outY * factor; y < (outY + 1) * factor; ++y) {
            const unsigned char* row = pixels.bytes + (rowSamples * y + channel) * sizeof(Sample);
            auto at = [row, step](size_t x) {
                Sample value;
                std::memcpy(&value, row + step * x * sizeof(Sample), sizeof value);
                return value;
            };
            if (step == 1 && factor == 2) {
                // The live view's common case, 2048 pixels shown as 1024: a loop the compiler vectorises.
                for (uint32_t outX = 0; outX < r.width; ++outX)
                    sums[outX] += static_cast<uint32_t>(at(2 * size_t{outX})) + at(2 * size_t{outX} + 1);
                continue;
            }
            for (uint32_t outX = 0; outX < r.width; ++outX) {
                uint64_t sum = 0;
                for (uint32_t x = outX * factor; x < (outX + 1) * factor; ++x) sum += at(x);
                sums[outX] += sum;
            }
        }
        emit(outY, sums.data());
    }
}

template <typename Emit>
void SumBlocksOf(const Pixels& pixels, uint32_t channel, const Reduction& r, Emit&& emit) {
    if (pixels.layout.bytesPerSample == 2)
        SumBlocks<uint16_t>(pixels, channel, r, emit);
    else
        SumBlocks<uint8_t>(pixels, channel, r, emit);
}

void Reduce(const Pixels& pixels, const Reduction& r, uint32_t low, uint32_t high, int palette, unsigned char* out) {
    const double area = static_cast<double>(r.blockFactor) * r.blockFactor;
    const size_t width = r.width;
    if (pixels.layout.channels == 3) {
        for (uint32_t channel = 0; channel < 3; ++channel)
            SumBlocksOf(pixels, channel, r, [&](uint32_t y, const uint64_t* sums) {
                unsigned char* row = out + y * width * 3 + channel;
                for (size_t x = 0; x < width; ++x)
                    row[3 * x] = static_cast<unsigned char>(std::min(255.0, static_cast<double>(sums[x]) / area + 0.5));
            });
        return;
    }
    if (palette == QMV3_COLOUR_MAP_GRAY) {
        SumBlocksOf(pixels, 0, r, [&](uint32_t y, const uint64_t* sums) {
            unsigned char* row = out + y * width;
            for (size_t x = 0; x < width; ++x) row[x] = StretchTo8Bits(static_cast<double>(sums[x]) / area, low, high);
        });
        return;
    }
    unsigned char table[256 * 4];
    int tableBytes = sizeof table;
    QMV3_INTERNAL_qmCreateColourTable(table, &tableBytes, palette, 1, 8);
    SumBlocksOf(pixels, 0, r, [&](uint32_t y, const uint64_t* sums) {
        unsigned char* row = out + y * width * 3;
        for (size_t x = 0; x < width; ++x)
            std::memcpy(row + 3 * x, &table[4 * StretchTo8Bits(static_cast<double>(sums[x]) / area, low, high)], 3);
    });
}

bool IsPalette(int palette) { return palette >= QMV3_COLOUR_MAP_GRAY && palette <= QMV3_COLOUR_MAP_JET; }

}  // namespace

extern "C" {

QMV3_EXPORT int qmGetDisplayPictureSize(const DIMAGE* image, unsigned int maxSide, int palette,
                                        QMV3_PICTURE_SIZE* size) {
    return qmv3::Guarded<int>(QMV3_PICTURE_BAD_ARGUMENT, QMV3_PICTURE_BAD_ARGUMENT, [&]() -> int {
        if (image == nullptr || size == nullptr || maxSide == 0 || !IsPalette(palette))
            return QMV3_PICTURE_BAD_ARGUMENT;
        Pixels pixels;
        if (!PixelsOf(image, pixels)) return QMV3_PICTURE_UNSUPPORTED_IMAGE;
        const Reduction r = ReductionOf(pixels.layout, maxSide, palette);
        size->width = r.width;
        size->height = r.height;
        size->channels = r.channels;
        size->bytes = uint64_t{r.width} * r.height * r.channels;
        return QMV3_PICTURE_OK;
    });
}

QMV3_EXPORT int qmMakeDisplayPicture(const DIMAGE* image, unsigned int maxSide, uint32_t low, uint32_t high,
                                     int palette, unsigned char* pixels, size_t pixelsSize) {
    return qmv3::Guarded<int>(QMV3_PICTURE_OUT_OF_MEMORY, QMV3_PICTURE_BAD_ARGUMENT, [&]() -> int {
        if (image == nullptr || pixels == nullptr || maxSide == 0 || !IsPalette(palette))
            return QMV3_PICTURE_BAD_ARGUMENT;
        Pixels frame;
        if (!PixelsOf(image, frame)) return QMV3_PICTURE_UNSUPPORTED_IMAGE;
        const Reduction r = ReductionOf(frame.layout, maxSide, palette);
        if (pixelsSize < uint64_t{r.width} * r.height * r.channels) return QMV3_PICTURE_BAD_ARGUMENT;
        Reduce(frame, r, low, high, palette, pixels);
        return QMV3_PICTURE_OK;
    });
}

}  // extern "C"
