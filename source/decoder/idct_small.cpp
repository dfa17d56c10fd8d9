// 4x4 and 2x2 inverse transforms for the quarter and eighth size outputs.
#include <algorithm>

#include "idct.h"

namespace tsr {

namespace {
inline int32_t Dequantise(int16_t level, int16_t step) {
    return std::clamp<int32_t>(int32_t(level) * step, -32768, 32767);
}
inline uint16_t Saturate(int32_t v) {
    return static_cast<uint16_t>(std::clamp<int32_t>(v, 0, 65535));
}
} // namespace

void InverseTransform4x4(const int16_t* levels, const int16_t* steps, uint16_t* samples) {
    float r[4][4];
    for (int u = 0; u < 4; ++u) {
        const RowWeights4& w = WeightsOfRow4(u);
        int32_t f[4];
        for (int v = 0; v < 4; ++v) f[v] = Dequantise(levels[4 * u + v], steps[8 * u + v]);
        const int32_t e0 = w.w0 * f[0] + w.w0 * f[2], e1 = w.w0 * f[0] - w.w0 * f[2];
        const int32_t o0 = w.w1 * f[1] + w.w3 * f[3], o1 = w.w3 * f[1] - w.w1 * f[3];
        const float scale = 1.0f / 8192.0f;
        r[u][0] = float(e0 + o0) * scale;
        r[u][1] = float(e1 + o1) * scale;
        r[u][2] = float(e1 - o1) * scale;
        r[u][3] = float(e0 - o0) * scale;
    }
    for (int n = 0; n < 4; ++n) {
        const float a0 = r[0][n] + r[2][n], a1 = r[0][n] - r[2][n];
        const float b0 = r[1][n] + kTanPiOver8 * r[3][n], b1 = kTanPiOver8 * r[1][n] - r[3][n];
        const float y[4] = {a0 + b0, a1 + b1, a1 - b1, a0 - b0};
        for (int m = 0; m < 4; ++m) {
            const float shifted = y[m] + 32768.5f;
            samples[4 * m + n] = Saturate(shifted < 0 ? 0 : static_cast<int32_t>(shifted));
        }
    }
}

void InverseTransform2x2(const int16_t* levels, const int16_t* steps, uint16_t* samples) {
    const int32_t f00 = Dequantise(levels[0], steps[0]), f01 = Dequantise(levels[1], steps[1]);
    const int32_t f10 = Dequantise(levels[2], steps[8]), f11 = Dequantise(levels[3], steps[9]);
    samples[0] = Saturate(f00 + f10 + f01 + f11 + 32768);
    samples[1] = Saturate(f00 + f10 - f01 - f11 + 32768);
    samples[2] = Saturate(f00 - f10 + f01 - f11 + 32768);
    samples[3] = Saturate(f00 - f10 - f01 + f11 + 32768);
}

} // namespace tsr
