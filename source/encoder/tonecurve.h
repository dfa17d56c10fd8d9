// The decoder's tone curve and its inverse. The curve maps a reconstructed value s (0..65535)
// through eight linear segments of 8192 values each, from knot k[i] rising by d[i] = k[i+1] - k[i]
// (d[7] = 65536 - k[7]).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tsr {

using ToneCurveKnots = std::array<uint16_t, 8>;

// The curve exactly as a decoder applies it.
uint16_t applyToneCurve(const ToneCurveKnots& knots, uint32_t s);

// For every curve output value v, the value s whose curve output is nearest to v; among several
// equally near, the middle one, so that small reconstruction errors leave the output unchanged.
class InverseToneCurve {
public:
    explicit InverseToneCurve(const ToneCurveKnots& knots);
    uint16_t operator()(uint16_t v) const { return m_table[v]; }

private:
    std::vector<uint16_t> m_table; // 65536 entries
};

} // namespace tsr
