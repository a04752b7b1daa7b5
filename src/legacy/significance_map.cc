// Per-pixel significance test between two multi-frame records: a pixel is marked when the
// difference of the means does not exceed factor times the second record's standard deviation.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "legacy/legacy_io.h"
#include "legacy/pixel_access.h"
#include "util/c_boundary.h"
#include "util/frame_memory.h"

using namespace qmv3::legacy;

namespace {

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};
template <typename T>
using MallocPtr = std::unique_ptr<T, FreeDeleter>;

template <typename T>
MallocPtr<T> Allocate(size_t count) {
    return MallocPtr<T>(static_cast<T*>(std::malloc((count == 0 ? 1 : count) * sizeof(T))));
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

// Per pixel, in double precision and frame order: the means of both records, the second's sample
// standard deviation times factor, and the mark (1, else 0) where that is at least the difference of
// the means. Pixels go block by block, so that each frame is read in a straight run and every step
// of the arithmetic vectorises; each pixel's operations and their order stay those of a pixel-by-pixel
// loop, so the marks are the same bit for bit.
template <typename T>
void MarkSignificant(const VIDINFHDR& first, const VIDINFHDR& second, double factor, size_t pixels,
                     unsigned char* map) {
    const int32_t frames = first.numframes;
    const double count = frames, degrees = frames - 1;
    for (size_t start = 0; start < pixels; start += kPixelBlock) {
        const size_t n = std::min(kPixelBlock, pixels - start);
        double mean1[kPixelBlock] = {}, mean2[kPixelBlock] = {}, squares[kPixelBlock] = {};
        for (int32_t f = 0; f < frames; ++f) {
            const unsigned char* frame = first.framebits[f];
            for (size_t k = 0; k < n; ++k) mean1[k] += Load<T>(frame, start + k);
        }
        for (int32_t f = 0; f < frames; ++f) {
            const unsigned char* frame = second.framebits[f];
            for (size_t k = 0; k < n; ++k) mean2[k] += Load<T>(frame, start + k);
        }
        for (size_t k = 0; k < n; ++k) {
            mean1[k] /= count;
            mean2[k] /= count;
        }
        for (int32_t f = 0; f < frames; ++f) {
            const unsigned char* frame = second.framebits[f];
            for (size_t k = 0; k < n; ++k) {
                const double deviation = mean2[k] - Load<T>(frame, start + k);
                squares[k] += deviation * deviation;
            }
        }
        T marks[kPixelBlock];
        for (size_t k = 0; k < n; ++k)
            marks[k] = std::sqrt(squares[k] / degrees) * factor >= mean1[k] - mean2[k] ? T{1} : T{0};
        for (size_t k = 0; k < n; ++k) Store<T>(map, start + k, marks[k]);
    }
}

}  // namespace

extern "C" {

QMV3_EXPORT int calculate_significance_map(VIDINFHDR* first, VIDINFHDR* second, VIDINFHDR* map, double factor) {
    return qmv3::Guarded<int>(QMV3_SIGNIFICANCE_OUT_OF_MEMORY, QMV3_SIGNIFICANCE_OUT_OF_MEMORY, [&]() -> int {
        int code = CheckInputs(first, second, map);
        if (code != QMV3_SIGNIFICANCE_OK) return code;
        uint32_t frameBytes = 0;
        if (!FrameBytes(first->width, first->height, first->bpp, &frameBytes)) return QMV3_SIGNIFICANCE_OUT_OF_MEMORY;
        const size_t pixels = static_cast<size_t>(first->width) * first->height;
        // Every mark is written, so the map needs no zeroing; its pages are populated in one go.
        MallocPtr<unsigned char> frame(
            static_cast<unsigned char*>(frame_memory::AllocateFrame(frameBytes == 0 ? 1 : frameBytes)));
        MallocPtr<unsigned char*> bits = Allocate<unsigned char*>(1);
        MallocPtr<double> scales = Allocate<double>(1);
        if (!frame || !bits || !scales) return QMV3_SIGNIFICANCE_OUT_OF_MEMORY;
        ByPixelWidth(first->bpp,
                     [&](auto zero) { MarkSignificant<decltype(zero)>(*first, *second, factor, pixels, frame.get()); });
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
    });
}

}  // extern "C"
