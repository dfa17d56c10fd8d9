#include "codewords.h"

namespace tsr {
namespace {

int BitLength(uint64_t v) {
    int n = 0;
    for (; v; v >>= 1) ++n;
    return n;
}

struct Fields {
    unsigned s, k, r;
    explicit Fields(uint16_t d) : s(d >> 8), k((d >> 4) & 15), r(d & 15) {}
    uint64_t EscapeStart() const { return uint64_t{s + 1} << r; }
};

} // namespace

int CodewordLength(uint32_t value, uint16_t descriptor) {
    const Fields f(descriptor);
    if (value < f.EscapeStart()) return static_cast<int>((value >> f.r) + 1 + f.r);
    const uint64_t m = value - f.EscapeStart() + (uint64_t{1} << f.k);
    const int n = BitLength(m);
    return 2 * n - static_cast<int>(f.k) + static_cast<int>(f.s);
}

uint32_t MaxCodewordValue(uint16_t descriptor) {
    const Fields f(descriptor);
    // Escape codewords are 2n - K + S bits long for an n-bit M = value - ((S + 1) << R) + 2^K.
    const int maxN = (kMaxCodewordBits + static_cast<int>(f.k) - static_cast<int>(f.s)) / 2;
    if (maxN <= static_cast<int>(f.k)) return static_cast<uint32_t>(f.EscapeStart() - 1);
    const uint64_t maxValue = ((uint64_t{1} << maxN) - 1) + f.EscapeStart() - (uint64_t{1} << f.k);
    return maxValue > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(maxValue);
}

void WriteCodeword(BitWriter& out, uint32_t value, uint16_t descriptor) {
    const Fields f(descriptor);
    if (value < f.EscapeStart()) {
        out.Put(1, static_cast<int>(value >> f.r) + 1); // q zero bits and the terminating one
        out.Put(value, static_cast<int>(f.r));
        return;
    }
    const uint64_t m = value - f.EscapeStart() + (uint64_t{1} << f.k);
    const int n = BitLength(m);
    const int zeros = n - static_cast<int>(f.k) + static_cast<int>(f.s);
    out.Put(static_cast<uint32_t>(m), zeros + n); // M's own leading zeros give the prefix
}

} // namespace tsr
