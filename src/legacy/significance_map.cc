// Per-pixel significance test between two multi-frame records: a pixel is marked when the
// difference of the means does not exceed factor times the second record's standard deviation.
#include <cmath>
#include <cstdlib>
#include <memory>

#include "legacy/legacy_io.h"
#include "legacy/pixel_access.h"

using namespace qmv3::legacy;

namespace {

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};
template <typename T>
using MallocPtr = std::unique_ptr<T, FreeDeleter>;

template <typename T>
MallocPtr<T> Allocate(size_t count, bool zeroed) {
    size_t elements = count == 0 ? 1 : count;
    void* block = zeroed ? std::calloc(elements, sizeof(T)) : std::malloc(elements * sizeof(T));
    return MallocPtr<T>(static_cast<T*>(block));
}

int CheckInputs(const VIDINFHDR* first, const VIDINFHDR* second, const VIDINFHDR* map) {
    if (map == nullptr || map->type != VIDINFHDR_TYPE_EMPTY) return QMV3_SIGNIFICANCE_MAP_NOT_EMPTY;
    if (first == nullptr || first->numframes < 2 || !HasFrames(first)) return QMV3_SIGNIFICANCE_FIRST_TOO_SHORT;
    if (second == nullptr || second->numframes < 2 || !HasFrames(second)) return QMV3_SIGNIFICANCE_SECOND_TOO_SHORT;
    if (first->numframes != second->numframes) return QMV3_SIGNIFICANCE_FRAME_COUNTS_DIFFER;
    if (first->width != second->width || first->height != second->height) return QMV3_SIGNIFICANCE_RECORDS_DIFFER;
    if (first->bpp != second->bpp || first->ebitpp != second->ebitpp) return QMV3_SIGNIFICANCE_RECORDS_DIFFER;
    // Only the widths the map can be written in are accepted, so the map frame is never too small.
    if (!IsPixelWidth(first->bpp)) return QMV3_SIGNIFICANCE_BAD_BITS;
    return QMV3_SIGNIFICANCE_OK;
}

void MeanOf(const VIDINFHDR& rec, size_t pixels, double* mean) {
    for (size_t p = 0; p < pixels; ++p) {
        double sum = 0.0;
        for (int32_t f = 0; f < rec.numframes; ++f) sum += LoadPixel(rec.framebits[f], p, rec.bpp);
        mean[p] = sum / rec.numframes;
    }
}

void Threshold(const VIDINFHDR& rec, size_t pixels, const double* mean, double factor, double* threshold) {
    for (size_t p = 0; p < pixels; ++p) {
        double sum = 0.0;
        for (int32_t f = 0; f < rec.numframes; ++f) {
            double deviation = mean[p] - LoadPixel(rec.framebits[f], p, rec.bpp);
            sum += deviation * deviation;
        }
        threshold[p] = std::sqrt(sum / (rec.numframes - 1)) * factor;
    }
}

}  // namespace

extern "C" {

QMV3_EXPORT int calculate_significance_map(VIDINFHDR* first, VIDINFHDR* second, VIDINFHDR* map, double factor) {
    int code = CheckInputs(first, second, map);
    if (code != QMV3_SIGNIFICANCE_OK) return code;
    uint32_t frameBytes = 0;
    if (!FrameBytes(first->width, first->height, first->bpp, &frameBytes)) return QMV3_SIGNIFICANCE_OUT_OF_MEMORY;
    const size_t pixels = static_cast<size_t>(first->width) * first->height;
    MallocPtr<unsigned char> frame = Allocate<unsigned char>(frameBytes, true);
    MallocPtr<unsigned char*> bits = Allocate<unsigned char*>(1, false);
    MallocPtr<double> scales = Allocate<double>(1, false);
    MallocPtr<double> mean1 = Allocate<double>(pixels, false);
    MallocPtr<double> mean2 = Allocate<double>(pixels, false);
    MallocPtr<double> threshold = Allocate<double>(pixels, false);
    if (!frame || !bits || !scales || !mean1 || !mean2 || !threshold) return QMV3_SIGNIFICANCE_OUT_OF_MEMORY;
    MeanOf(*first, pixels, mean1.get());
    MeanOf(*second, pixels, mean2.get());
    Threshold(*second, pixels, mean2.get(), factor, threshold.get());
    for (size_t p = 0; p < pixels; ++p) {
        if (threshold.get()[p] >= mean1.get()[p] - mean2.get()[p]) StorePixel(frame.get(), p, first->bpp, 1);
    }
    map->width = first->width;
    map->height = first->height;
    map->bpp = first->bpp;
    map->ebitpp = first->ebitpp;
    map->scale = first->scale;
    map->numframes = 1;
    map->type = VIDINFHDR_TYPE_SIGNIFICANCE_MAP;
    scales.get()[0] = first->scale;
    bits.get()[0] = frame.release();
    map->framebits = bits.release();
    map->framescales = scales.release();
    return QMV3_SIGNIFICANCE_OK;
}

}  // extern "C"
