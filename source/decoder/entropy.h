// Adaptive entropy decoding of one slice component into quantised levels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bitreader.h"
#include "codetables.h"

namespace tsr {

// Reads one codeword with descriptor d. The caller has checked that the 32-bit peek is not zero.
// Codewords longer than 32 bits only occur in damaged data; their value is taken modulo 2^32.
inline uint32_t readCodeword(BitReader& bits, unsigned d) {
    const unsigned s = Descriptor::s(static_cast<uint16_t>(d));
    const unsigned k = Descriptor::k(static_cast<uint16_t>(d));
    const unsigned r = Descriptor::r(static_cast<uint16_t>(d));
    const uint64_t window = bits.window();
#if defined(_MSC_VER) && !defined(__clang__)
    unsigned long index;
    _BitScanReverse64(&index, window);
    const unsigned q = 63 - index;
#else
    const unsigned q = static_cast<unsigned>(__builtin_clzll(window));
#endif
    if (q <= s) {
        const unsigned length = q + 1 + r;
        const uint32_t v = r ? static_cast<uint32_t>((window << (q + 1)) >> (64 - r)) : 0;
        bits.consume(length);
        return (q << r) + v;
    }
    const unsigned length = 2 * q + k - s;
    const uint32_t offset = ((s + 1) << r) - (1u << k);
    if (length <= 32) {
        const uint32_t v = static_cast<uint32_t>(window >> (64 - length));
        bits.consume(length);
        return v + offset;
    }
    // Damaged data: q leading zeros, then q + k - s bits of value.
    bits.consume(q);
    unsigned rest = q + k - s;
    uint32_t v = 0;
    while (rest > 0) {
        const unsigned chunk = rest > 16 ? 16 : rest;
        v = static_cast<uint32_t>((static_cast<uint64_t>(v) << chunk) | bits.read(chunk));
        rest -= chunk;
    }
    return v + offset;
}

// Decodes the levels of one component of a slice of 2^log2Blocks blocks with 2^log2Coefficients
// coefficients each. Levels land at block * 64 + scan[k] in `levels`, which the caller zeroed.
void decodeComponent(const uint8_t* data, size_t size, int log2Blocks, int log2Coefficients,
                     const uint8_t* scan, int16_t* levels);

} // namespace tsr
