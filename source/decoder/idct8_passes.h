// The two passes of the 8x8 inverse transform, shared by the SSE2 and AVX variants. Each variant's
// translation unit includes this header with its own instruction set, so everything here has
// internal linkage.
#pragma once

#include <emmintrin.h>

#include "idct.h"

namespace tsr {
namespace {

// Dequantises row u (16-bit products saturated) and transforms it across the horizontal
// frequencies in 32-bit fixed point. Returns the row scaled by 2^-12: outputs 0..3 and 4..7.
inline void IntegerRowPass(const int16_t* levels, const int16_t* steps, const int16_t (*weights)[8],
                           __m128& low, __m128& high) {
    const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(levels));
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(steps));
    const __m128i productLow = _mm_mullo_epi16(l, s);
    const __m128i productHigh = _mm_mulhi_epi16(l, s);
    const __m128i f = _mm_packs_epi32(_mm_unpacklo_epi16(productLow, productHigh),
                                      _mm_unpackhi_epi16(productLow, productHigh));
    // Pairs (F0,F4), (F1,F5), (F2,F6), (F3,F7) in the four 32-bit lanes.
    const __m128i pairs = _mm_unpacklo_epi16(f, _mm_srli_si128(f, 8));
    const __m128i* w = reinterpret_cast<const __m128i*>(weights);
    const __m128i even = _mm_add_epi32(_mm_madd_epi16(_mm_shuffle_epi32(pairs, 0x00), _mm_load_si128(w + 0)),
                                       _mm_madd_epi16(_mm_shuffle_epi32(pairs, 0xAA), _mm_load_si128(w + 1)));
    const __m128i odd = _mm_add_epi32(_mm_madd_epi16(_mm_shuffle_epi32(pairs, 0x55), _mm_load_si128(w + 2)),
                                      _mm_madd_epi16(_mm_shuffle_epi32(pairs, 0xFF), _mm_load_si128(w + 3)));
    const __m128 scale = _mm_set1_ps(1.0f / 4096.0f);
    low = _mm_mul_ps(_mm_cvtepi32_ps(_mm_add_epi32(even, odd)), scale);
    high = _mm_mul_ps(_mm_cvtepi32_ps(_mm_shuffle_epi32(_mm_sub_epi32(even, odd), 0x1B)), scale);
}

// Transforms columns across the vertical frequencies in single precision. r[u] holds row u of
// the row pass (pre-scaled by the column factors); on return r[m] holds output row m.
template <typename V, typename Ops> inline void FloatColumnPass(V r[8]) {
    const V t1 = Ops::Splat(kTanPiOver16), t2 = Ops::Splat(kTanPiOver8);
    const V t3 = Ops::Splat(kTan3PiOver16), c4 = Ops::Splat(kCosPiOver4);
    const V a0 = Ops::Add(r[0], r[4]), a1 = Ops::Sub(r[0], r[4]);
    const V b0 = Ops::Add(r[2], Ops::Mul(t2, r[6])), b1 = Ops::Sub(Ops::Mul(t2, r[2]), r[6]);
    const V e0 = Ops::Add(a0, b0), e3 = Ops::Sub(a0, b0), e1 = Ops::Add(a1, b1), e2 = Ops::Sub(a1, b1);
    const V pa = Ops::Add(r[1], Ops::Mul(t1, r[7])), pb = Ops::Sub(Ops::Mul(t1, r[1]), r[7]);
    const V pc = Ops::Add(r[3], Ops::Mul(t3, r[5])), pd = Ops::Sub(Ops::Mul(t3, r[3]), r[5]);
    const V o0 = Ops::Add(pa, pc), o3 = Ops::Sub(pb, pd);
    const V sum = Ops::Sub(pa, pc), diff = Ops::Add(pb, pd);
    const V o1 = Ops::Mul(c4, Ops::Add(sum, diff)), o2 = Ops::Mul(c4, Ops::Sub(sum, diff));
    r[0] = Ops::Add(e0, o0), r[7] = Ops::Sub(e0, o0);
    r[1] = Ops::Add(e1, o1), r[6] = Ops::Sub(e1, o1);
    r[2] = Ops::Add(e2, o2), r[5] = Ops::Sub(e2, o2);
    r[3] = Ops::Add(e3, o3), r[4] = Ops::Sub(e3, o3);
}

// floor(x + 32768.5) saturated to 0..65535 for eight values given as two int32 vectors of
// truncated x + 32768.5.
inline __m128i PackSamples(__m128i low, __m128i high) {
    const __m128i bias = _mm_set1_epi32(32768);
    const __m128i packed = _mm_packs_epi32(_mm_sub_epi32(low, bias), _mm_sub_epi32(high, bias));
    return _mm_xor_si128(packed, _mm_set1_epi16(static_cast<short>(0x8000)));
}

} // namespace
} // namespace tsr
