// 8x8 inverse transform with 128-bit SSE2 operations throughout.
#include "idct8_passes.h"

namespace tsr {
namespace {
struct Sse2Ops {
    static __m128 Splat(float v) { return _mm_set1_ps(v); }
    static __m128 Add(__m128 a, __m128 b) { return _mm_add_ps(a, b); }
    static __m128 Sub(__m128 a, __m128 b) { return _mm_sub_ps(a, b); }
    static __m128 Mul(__m128 a, __m128 b) { return _mm_mul_ps(a, b); }
};
} // namespace

void InverseTransform8x8Sse2(const int16_t* levels, const int16_t* steps, uint16_t* samples) {
    const RowPairWeights8& weights = PairedRowWeights8();
    __m128 left[8], right[8];
    for (int u = 0; u < 8; ++u)
        IntegerRowPass(levels + 8 * u, steps + 8 * u, weights.v[u], left[u], right[u]);
    FloatColumnPass<__m128, Sse2Ops>(left);
    FloatColumnPass<__m128, Sse2Ops>(right);
    const __m128 offset = _mm_set1_ps(32768.5f);
    for (int m = 0; m < 8; ++m) {
        const __m128i low = _mm_cvttps_epi32(_mm_add_ps(left[m], offset));
        const __m128i high = _mm_cvttps_epi32(_mm_add_ps(right[m], offset));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + 8 * m), PackSamples(low, high));
    }
}

} // namespace tsr
