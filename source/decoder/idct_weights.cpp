#include "idct.h"

#include <cmath>

namespace tsr {

namespace {
constexpr double kPi = 3.14159265358979323846;
const double kSqrt2 = std::sqrt(2.0);

double RowScale8(int row) {
    const int u = row & 7;
    return (u == 0 || u == 4) ? 1.0 : kSqrt2 * std::cos((u < 4 ? u : 8 - u) * kPi / 16);
}

int16_t Weight(double unit, double scale, double w) {
    return static_cast<int16_t>(std::lround(unit * scale * w));
}

struct Tables {
    RowWeights8 eight[8];
    RowWeights4 four[4];
    RowPairWeights8 pairs;
    Tables() {
        for (int u = 0; u < 8; ++u) {
            const double p = RowScale8(u);
            auto c = [&](int k) { return Weight(4096, p, kSqrt2 * std::cos(k * kPi / 16)); };
            eight[u] = {Weight(4096, p, 1.0), c(1), c(2), c(3), c(5), c(6), c(7)};
        }
        for (int u = 0; u < 8; ++u) {
            const RowWeights8& w = eight[u];
            const int16_t groups[4][8] = {
                {w.w0, w.w0, w.w0, int16_t(-w.w0), w.w0, int16_t(-w.w0), w.w0, w.w0},
                {w.w2, w.w6, w.w6, int16_t(-w.w2), int16_t(-w.w6), w.w2, int16_t(-w.w2), int16_t(-w.w6)},
                {w.w1, w.w5, w.w3, int16_t(-w.w1), w.w5, w.w7, w.w7, w.w3},
                {w.w3, w.w7, int16_t(-w.w7), int16_t(-w.w5), int16_t(-w.w1), w.w3, int16_t(-w.w5),
                 int16_t(-w.w1)}};
            for (int g = 0; g < 4; ++g)
                for (int i = 0; i < 8; ++i) pairs.v[u][g][i] = groups[g][i];
        }
        for (int u = 0; u < 4; ++u) {
            const double p = (u & 1) ? kSqrt2 * std::cos(kPi / 8) : 1.0;
            four[u] = {int32_t(std::lround(8192 * p)),
                       int32_t(std::lround(8192 * p * kSqrt2 * std::cos(kPi / 8))),
                       int32_t(std::lround(8192 * p * kSqrt2 * std::sin(kPi / 8)))};
        }
    }
};

const Tables& SharedTables() {
    static const Tables t;
    return t;
}
} // namespace

const RowWeights8& WeightsOfRow8(int row) {
    return SharedTables().eight[row & 7];
}
const RowWeights4& WeightsOfRow4(int row) {
    return SharedTables().four[row & 3];
}
const RowPairWeights8& PairedRowWeights8() {
    return SharedTables().pairs;
}

} // namespace tsr
