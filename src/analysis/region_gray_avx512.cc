// The grey pass on AVX-512 (with its byte and word operations): four times the pixels per step of SSE2,
// and registers enough to keep every sum of a segment out of memory. Built for AVX-512 alone and called
// only where the processor has it.
#if defined(__x86_64__)

// The compiler's own AVX-512 header leaves the unused lanes of some results undefined on purpose, which
// its flow analysis then reports (a warning of GCC's alone).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "analysis/region_gray_kernel.h"

namespace qmv3::analysis {

namespace {

struct Avx512 {
    using V = __m512i;
    static constexpr int kBytes = 64;
    static V Load(const void* at) { return _mm512_loadu_si512(at); }
    static void Store(void* at, V v) { _mm512_storeu_si512(at, v); }
    static V Zero() { return _mm512_setzero_si512(); }
    static V Bytes(int b) { return _mm512_set1_epi8(static_cast<char>(b)); }
    static V Shorts(int s) { return _mm512_set1_epi16(static_cast<short>(s)); }
    static V Ints(int i) { return _mm512_set1_epi32(i); }
    static V And(V a, V b) { return _mm512_and_si512(a, b); }
    static V AndNot(V a, V b) { return _mm512_andnot_si512(a, b); }  // ~a & b
    static V Xor(V a, V b) { return _mm512_xor_si512(a, b); }
    static V Sub8(V a, V b) { return _mm512_sub_epi8(a, b); }
    static V Add16(V a, V b) { return _mm512_add_epi16(a, b); }
    static V Sub16(V a, V b) { return _mm512_sub_epi16(a, b); }
    static V Add32(V a, V b) { return _mm512_add_epi32(a, b); }
    static V Add64(V a, V b) { return _mm512_add_epi64(a, b); }
    static V MinU8(V a, V b) { return _mm512_min_epu8(a, b); }
    static V MaxU8(V a, V b) { return _mm512_max_epu8(a, b); }
    // Comparisons give bit masks here; the pass wants lanes of all ones.
    static V CmpEq8(V a, V b) { return _mm512_movm_epi8(_mm512_cmpeq_epi8_mask(a, b)); }
    static V Sad(V a, V b) { return _mm512_sad_epu8(a, b); }
    static V Madd(V a, V b) { return _mm512_madd_epi16(a, b); }
    static V CmpGt16(V a, V b) { return _mm512_movm_epi16(_mm512_cmpgt_epi16_mask(a, b)); }
    static V Min16(V a, V b) { return _mm512_min_epi16(a, b); }
    static V Max16(V a, V b) { return _mm512_max_epi16(a, b); }
    static V ShiftRight32By16(V a) { return _mm512_srli_epi32(a, 16); }
    static V UnpackLow32(V a, V b) { return _mm512_unpacklo_epi32(a, b); }
    static V UnpackHigh32(V a, V b) { return _mm512_unpackhi_epi32(a, b); }
    static int64_t Sum64(V v) { return _mm512_reduce_add_epi64(v); }
    static bool Same(V a, V b) { return _mm512_cmpneq_epi8_mask(a, b) == 0; }
    // Zero-extended halves in column order.
    static void WidenBytes(V v, V& low, V& high) {
        low = _mm512_cvtepu8_epi16(_mm512_castsi512_si256(v));
        high = _mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(v, 1));
    }
    static void WidenShorts(V v, V& low, V& high) {
        low = _mm512_cvtepu16_epi32(_mm512_castsi512_si256(v));
        high = _mm512_cvtepu16_epi32(_mm512_extracti64x4_epi64(v, 1));
    }
};

}  // namespace

void PassGray8Avx512(GrayPass& pass) { PassGray8<Avx512>(pass); }
void PassGray16Avx512(GrayPass& pass) { PassGray16<Avx512>(pass); }

}  // namespace qmv3::analysis

#endif
