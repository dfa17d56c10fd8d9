// Dequantisation and inverse transforms of one block.
//
// Each transform takes the levels of a block (raster order, row stride 8 for 8x8, 4 for 4x4,
// 2 for 2x2), the 64 quantiser steps of the 8x8 raster, and writes side x side reconstructed
// samples: floor(x + 32768.5) saturated to 0..65535, where x is eight times the orthonormal
// 2-D inverse DCT for 8x8 (the same unnormalised sum for the smaller sides).
#pragma once

#include <cstdint>

namespace tsr {

using InverseTransform = void (*)(const int16_t* levels, const int16_t* steps, uint16_t* samples);

void InverseTransform8x8Sse2(const int16_t* levels, const int16_t* steps, uint16_t* samples);
void InverseTransform8x8Avx(const int16_t* levels, const int16_t* steps, uint16_t* samples);
void InverseTransform4x4(const int16_t* levels, const int16_t* steps, uint16_t* samples);
void InverseTransform2x2(const int16_t* levels, const int16_t* steps, uint16_t* samples);

// Fixed-point weights of the integer row pass. For 8x8, row u of the coefficient block is
// transformed with round(4096 * p(u) * w), w being 1 or sqrt2 cos(k pi / 16); p(u) is the column
// scale that the float pass expects (1 for rows 0 and 4, sqrt2 cos(u pi / 16) otherwise). For
// 4x4 the scale is 8192 and p(u) is 1 for rows 0 and 2, sqrt2 cos(pi / 8) for rows 1 and 3.
struct RowWeights8 {
    int16_t w0, w1, w2, w3, w5, w6, w7; // 1 and sqrt2 cos(k pi / 16) for k = 1, 2, 3, 5, 6, 7
};
struct RowWeights4 {
    int32_t w0, w1, w3; // 1, sqrt2 cos(pi / 8), sqrt2 sin(pi / 8)
};
const RowWeights8& WeightsOfRow8(int row);

// The 8x8 row weights arranged for pairwise 16-bit multiply-adds: for row u, four groups of
// eight values that weigh the coefficient pairs (0,4), (2,6), (1,5), (3,7) into outputs 0..3.
struct RowPairWeights8 {
    alignas(16) int16_t v[8][4][8];
};
const RowPairWeights8& PairedRowWeights8();
const RowWeights4& WeightsOfRow4(int row);

// Constants of the float pass.
constexpr float kTanPiOver8 = 0.41421357f;
constexpr float kTanPiOver16 = 0.19891237f;
constexpr float kTan3PiOver16 = 0.6681786f;
constexpr float kCosPiOver4 = 0.70710677f;

} // namespace tsr
