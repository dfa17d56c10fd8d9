#include "forwardtransform.h"

#include <cmath>

namespace tsr {
namespace {

// kBasis[u][m] = C(u) / 8 * cos((2m + 1)u pi / 16); F = B x B^T.
struct Basis {
    float w[8][8];
    Basis() {
        const double pi = 3.14159265358979323846;
        for (int u = 0; u < 8; ++u)
            for (int m = 0; m < 8; ++m)
                w[u][m] = static_cast<float>((u == 0 ? 1.0 : std::sqrt(2.0)) / 8.0 *
                                             std::cos((2 * m + 1) * u * pi / 16.0));
    }
};

const Basis kBasis;

} // namespace

void ForwardTransform8x8(float block[64]) {
    float rows[64]; // rows[m][v]: each sample row transformed across its columns
    for (int m = 0; m < 8; ++m)
        for (int v = 0; v < 8; ++v) {
            float sum = 0;
            for (int n = 0; n < 8; ++n) sum += kBasis.w[v][n] * block[8 * m + n];
            rows[8 * m + v] = sum;
        }
    for (int u = 0; u < 8; ++u)
        for (int v = 0; v < 8; ++v) {
            float sum = 0;
            for (int m = 0; m < 8; ++m) sum += kBasis.w[u][m] * rows[8 * m + v];
            block[8 * u + v] = sum;
        }
}

} // namespace tsr
