// The grey pass on AVX2: twice the pixels per step. This unit alone is built for AVX2 and is called only
// where the processor has it.
#if defined(__x86_64__)

#include "analysis/region_gray_kernel.h"

namespace qmv3::analysis {

namespace {

struct Avx2 {
    using V = __m256i;
    static constexpr int kBytes = 32;
    static V Load(const void* at) { return _mm256_loadu_si256(static_cast<const V*>(at)); }
    static void Store(void* at, V v) { _mm256_storeu_si256(static_cast<V*>(at), v); }
    static V Zero() { return _mm256_setzero_si256(); }
    static V Bytes(int b) { return _mm256_set1_epi8(static_cast<char>(b)); }
    static V Shorts(int s) { return _mm256_set1_epi16(static_cast<short>(s)); }
    static V Ints(int i) { return _mm256_set1_epi32(i); }
    static V And(V a, V b) { return _mm256_and_si256(a, b); }
    static V AndNot(V a, V b) { return _mm256_andnot_si256(a, b); }  // ~a & b
    static V Xor(V a, V b) { return _mm256_xor_si256(a, b); }
    static V Sub8(V a, V b) { return _mm256_sub_epi8(a, b); }
    static V Add16(V a, V b) { return _mm256_add_epi16(a, b); }
    static V Sub16(V a, V b) { return _mm256_sub_epi16(a, b); }
    static V Add32(V a, V b) { return _mm256_add_epi32(a, b); }
    static V Add64(V a, V b) { return _mm256_add_epi64(a, b); }
    static V MinU8(V a, V b) { return _mm256_min_epu8(a, b); }
    static V MaxU8(V a, V b) { return _mm256_max_epu8(a, b); }
    static V CmpEq8(V a, V b) { return _mm256_cmpeq_epi8(a, b); }
    static V Sad(V a, V b) { return _mm256_sad_epu8(a, b); }
    static V Madd(V a, V b) { return _mm256_madd_epi16(a, b); }
    static V CmpGt16(V a, V b) { return _mm256_cmpgt_epi16(a, b); }
    static V Min16(V a, V b) { return _mm256_min_epi16(a, b); }
    static V Max16(V a, V b) { return _mm256_max_epi16(a, b); }
    static V ShiftRight32By16(V a) { return _mm256_srli_epi32(a, 16); }
    static V UnpackLow32(V a, V b) { return _mm256_unpacklo_epi32(a, b); }
    static V UnpackHigh32(V a, V b) { return _mm256_unpackhi_epi32(a, b); }
    static int64_t Sum64(V v) {
        const __m128i half = _mm_add_epi64(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
        return _mm_cvtsi128_si64(half) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(half, half));
    }
    static bool Same(V a, V b) { return _mm256_movemask_epi8(_mm256_cmpeq_epi8(a, b)) == -1; }
    // Zero-extended halves in column order (the unpack instructions would interleave the 128-bit halves).
    static void WidenBytes(V v, V& low, V& high) {
        low = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(v));
        high = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(v, 1));
    }
    static void WidenShorts(V v, V& low, V& high) {
        low = _mm256_cvtepu16_epi32(_mm256_castsi256_si128(v));
        high = _mm256_cvtepu16_epi32(_mm256_extracti128_si256(v, 1));
    }
};

}  // namespace

void PassGray8Avx2(GrayPass& pass) { PassGray8<Avx2>(pass); }
void PassGray16Avx2(GrayPass& pass) { PassGray16<Avx2>(pass); }

}  // namespace qmv3::analysis

#endif
