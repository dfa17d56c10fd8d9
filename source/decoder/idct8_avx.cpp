// 8x8 inverse transform whose float pass works on whole rows of eight with 256-bit AVX operations.
// This file is compiled for AVX; it runs only when the processor and system support AVX.
#include <immintrin.h>

#include "idct8_passes.h"

namespace tsr {
namespace {
struct AvxOps {
    static __m256 Splat(float v) { return _mm256_set1_ps(v); }
    static __m256 Add(__m256 a, __m256 b) { return _mm256_add_ps(a, b); }
    static __m256 Sub(__m256 a, __m256 b) { return _mm256_sub_ps(a, b); }
    static __m256 Mul(__m256 a, __m256 b) { return _mm256_mul_ps(a, b); }
};
} // namespace

void InverseTransform8x8Avx(const int16_t* levels, const int16_t* steps, uint16_t* samples) {
    const RowPairWeights8& weights = PairedRowWeights8();
    __m256 rows[8];
    for (int u = 0; u < 8; ++u) {
        __m128 low, high;
        IntegerRowPass(levels + 8 * u, steps + 8 * u, weights.v[u], low, high);
        rows[u] = _mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1);
    }
    FloatColumnPass<__m256, AvxOps>(rows);
    const __m256 offset = _mm256_set1_ps(32768.5f);
    for (int m = 0; m < 8; ++m) {
        const __m256i truncated = _mm256_cvttps_epi32(_mm256_add_ps(rows[m], offset));
        const __m128i packed =
            PackSamples(_mm256_castsi256_si128(truncated), _mm256_extractf128_si256(truncated, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + 8 * m), packed);
    }
    _mm256_zeroupper();
}

} // namespace tsr
