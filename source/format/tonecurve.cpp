#include "format/tonecurve.h"

namespace tsr {

InverseToneCurve::InverseToneCurve(const ToneCurveKnots& knots) : m_table(65536) {
    // The curve is non-decreasing: walk s and the output values together. For each output value
    // v, [first[v], last[v]] is the run of s that produce it (empty when the curve jumps over v).
    std::vector<int32_t> first(65536, -1), last(65536, -1);
    const ToneCurve curve(knots.data());
    for (uint32_t s = 0; s < 65536; ++s) {
        const uint16_t v = curve.Apply(static_cast<uint16_t>(s));
        if (first[v] < 0) first[v] = static_cast<int32_t>(s);
        last[v] = static_cast<int32_t>(s);
    }
    // Nearest produced value below and above each v.
    std::vector<int32_t> below(65536), above(65536);
    int32_t seen = -1;
    for (int v = 0; v < 65536; ++v) {
        if (first[v] >= 0) seen = v;
        below[v] = seen;
    }
    seen = -1;
    for (int v = 65535; v >= 0; --v) {
        if (first[v] >= 0) seen = v;
        above[v] = seen;
    }
    for (int v = 0; v < 65536; ++v) {
        int32_t s;
        if (first[v] >= 0) {
            s = (first[v] + last[v] + 1) / 2;
        } else if (below[v] < 0) {
            s = first[above[v]];
        } else if (above[v] < 0 || v - below[v] <= above[v] - v) {
            s = last[below[v]];
        } else {
            s = first[above[v]];
        }
        m_table[v] = static_cast<uint16_t>(s);
    }
}

} // namespace tsr
