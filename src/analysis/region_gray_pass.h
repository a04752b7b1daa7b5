// The pass over a grey region of 8- or 16-bit pixels in vector registers, for a region without a
// background frame. It gathers the same exact integer sums as the portable pass, so the figures agree
// to the bit whichever pass ran. region_gray_kernel.h writes it once over the operations SSE2 (every
// x86-64), AVX2 and AVX-512 share; region_gray_sse2.cc, region_gray_avx2.cc and region_gray_avx512.cc
// instantiate it, each built for its instruction set; the widest the processor has is chosen at run time.
//
// Thread rules: none; every call works on its own GrayPass.
#ifndef QMV3_ANALYSIS_REGION_GRAY_PASS_H
#define QMV3_ANALYSIS_REGION_GRAY_PASS_H

#include <cstddef>
#include <cstdint>

namespace qmv3::analysis {

// Plain pointers only: the AVX2 unit must not instantiate library templates that baseline code could
// end up calling.
struct GrayPass {
    const unsigned char* pixels = nullptr;  // the region's top left pixel, any alignment
    size_t stride = 0;                      // bytes from one frame row to the next
    int width = 0, height = 0;
    int64_t cut = 0;         // a pixel counts (has a weight) where its units reach the cut
    int64_t saturation = 0;  // units at or above which a value is saturated, from 1 to the largest unit
    // Scratch column sums, width entries each and zeroed: 16-bit weights and 8-bit counts for 8-bit
    // pixels, 32-bit weights and 16-bit counts for 16-bit pixels. narrowCounts null: no counts wanted,
    // and the count sums below are left alone.
    void* narrowWeights = nullptr;
    void* narrowCounts = nullptr;
    // The sums, zeroed by the caller: per column of the region, and per row.
    int64_t* columnWeights = nullptr;
    int64_t* columnCounts = nullptr;
    int64_t* rowWeights = nullptr;
    int64_t* rowCounts = nullptr;
    int64_t* rowColumnWeights = nullptr;
    int64_t* rowColumnCounts = nullptr;
    int64_t valueUnits = 0;
    unsigned __int128 squareUnits = 0;
    uint64_t saturated = 0;
    int64_t minimum = 0, maximum = 0;
    int minimumX = 0, minimumY = 0, maximumX = 0, maximumY = 0;  // first in row order, region-relative
};

#if defined(__x86_64__)
void PassGray8Sse2(GrayPass& pass);
void PassGray16Sse2(GrayPass& pass);
void PassGray8Avx2(GrayPass& pass);
void PassGray16Avx2(GrayPass& pass);
void PassGray8Avx512(GrayPass& pass);
void PassGray16Avx512(GrayPass& pass);
#endif

}  // namespace qmv3::analysis

#endif
