// The grey pass on SSE2, which every x86-64 processor has.
#if defined(__x86_64__)

#include "analysis/region_gray_kernel.h"

namespace qmv3::analysis {

namespace {

struct Sse2 {
    using V = __m128i;
    static constexpr int kBytes = 16;
    static V Load(const void* at) { return _mm_loadu_si128(static_cast<const V*>(at)); }
    static void Store(void* at, V v) { _mm_storeu_si128(static_cast<V*>(at), v); }
    static V Zero() { return _mm_setzero_si128(); }
    static V Bytes(int b) { return _mm_set1_epi8(static_cast<char>(b)); }
    static V Shorts(int s) { return _mm_set1_epi16(static_cast<short>(s)); }
    static V Ints(int i) { return _mm_set1_epi32(i); }
    static V And(V a, V b) { return _mm_and_si128(a, b); }
    static V AndNot(V a, V b) { return _mm_andnot_si128(a, b); }  // ~a & b
    static V Xor(V a, V b) { return _mm_xor_si128(a, b); }
    static V Sub8(V a, V b) { return _mm_sub_epi8(a, b); }
    static V Add16(V a, V b) { return _mm_add_epi16(a, b); }
    static V Sub16(V a, V b) { return _mm_sub_epi16(a, b); }
    static V Add32(V a, V b) { return _mm_add_epi32(a, b); }
    static V Add64(V a, V b) { return _mm_add_epi64(a, b); }
    static V MinU8(V a, V b) { return _mm_min_epu8(a, b); }
    static V MaxU8(V a, V b) { return _mm_max_epu8(a, b); }
    static V CmpEq8(V a, V b) { return _mm_cmpeq_epi8(a, b); }
    static V Sad(V a, V b) { return _mm_sad_epu8(a, b); }
    static V Madd(V a, V b) { return _mm_madd_epi16(a, b); }
    static V CmpGt16(V a, V b) { return _mm_cmpgt_epi16(a, b); }
    static V Min16(V a, V b) { return _mm_min_epi16(a, b); }
    static V Max16(V a, V b) { return _mm_max_epi16(a, b); }
    static V ShiftRight32By16(V a) { return _mm_srli_epi32(a, 16); }
    static V UnpackLow32(V a, V b) { return _mm_unpacklo_epi32(a, b); }
    static V UnpackHigh32(V a, V b) { return _mm_unpackhi_epi32(a, b); }
    static int64_t Sum64(V v) { return _mm_cvtsi128_si64(v) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(v, v)); }
    static bool Same(V a, V b) { return _mm_movemask_epi8(_mm_cmpeq_epi8(a, b)) == 0xFFFF; }
    // Zero-extended halves in column order.
    static void WidenBytes(V v, V& low, V& high) {
        low = _mm_unpacklo_epi8(v, Zero());
        high = _mm_unpackhi_epi8(v, Zero());
    }
    static void WidenShorts(V v, V& low, V& high) {
        low = _mm_unpacklo_epi16(v, Zero());
        high = _mm_unpackhi_epi16(v, Zero());
    }
};

}  // namespace

void PassGray8Sse2(GrayPass& pass) { PassGray8<Sse2>(pass); }
void PassGray16Sse2(GrayPass& pass) { PassGray16<Sse2>(pass); }

}  // namespace qmv3::analysis

#endif
