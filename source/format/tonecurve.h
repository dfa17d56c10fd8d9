// The frame's tone curve and its inverse. The curve maps a reconstructed value s (0..65535)
// through eight linear segments of 8192 values each, from knot k[i] rising by d[i] = k[i+1] - k[i]
// (d[7] = 65536 - k[7]).
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tsr {

using ToneCurveKnots = std::array<uint16_t, 8>;

struct ToneCurve {
    uint16_t knots[8];
    uint16_t slopes[8]; // knots[i + 1] - knots[i], and 65536 - knots[7] for the last segment

    explicit ToneCurve(const uint16_t* k) {
        std::memcpy(knots, k, sizeof knots);
        for (int i = 0; i < 7; ++i) slopes[i] = static_cast<uint16_t>(knots[i + 1] - knots[i]);
        slopes[7] = static_cast<uint16_t>(65536u - knots[7]);
    }

    uint16_t Apply(uint16_t s) const {
        const unsigned i = s >> 13;
        const uint32_t out = (uint32_t(knots[i]) * 8192u + uint32_t(s & 8191u) * slopes[i] + 4096u) >> 13;
        return static_cast<uint16_t>(out > 65535u ? 65535u : out);
    }
};

// The curve tabulated for every input value; rebuilt only when the knots change.
class ToneCurveTable {
public:
    const uint16_t* Table() const { return m_table; }
    void Update(const uint16_t* knots) {
        if (m_valid && std::memcmp(knots, m_knots, sizeof m_knots) == 0) return;
        const ToneCurve curve(knots);
        for (uint32_t s = 0; s < 65536; ++s) m_table[s] = curve.Apply(static_cast<uint16_t>(s));
        std::memcpy(m_knots, knots, sizeof m_knots);
        m_valid = true;
    }

private:
    uint16_t m_table[65536];
    uint16_t m_knots[8] = {};
    bool m_valid = false;
};

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
