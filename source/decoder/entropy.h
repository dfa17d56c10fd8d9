// Adaptive entropy decoding of one slice component into quantised levels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bitreader.h"
#include "format/codetables.h"

namespace tsr {

// Slow path for codewords longer than 32 bits, which only damaged data holds: q leading zeros,
// then q + k - s bits of value, taken modulo 2^32.
uint32_t ReadOverlongCodeword(BitReader& bits, unsigned q, unsigned k, unsigned s, uint32_t offset);

// A descriptor unpacked for decoding: switch, exponent order, Rice order and the value offset of
// the long form, ((s + 1) << r) - 2^k.
struct CodeParams {
    uint8_t s, k, r;
    uint32_t offset;
};
constexpr CodeParams UnpackDescriptor(unsigned d) {
    return {uint8_t(d >> 8), uint8_t((d >> 4) & 15), uint8_t(d & 15),
            ((((d >> 8) & 255) + 1) << (d & 15)) - (1u << ((d >> 4) & 15))};
}

// Reads one codeword from a window holding at least 33 valid bits whose top 32 bits are not all
// zero. When `WithSign` is set, the bit after the codeword is consumed too and returned in `sign`.
template <bool WithSign>
inline uint32_t ReadCodeword(BitReader& bits, const CodeParams& p, uint32_t* sign = nullptr) {
    const unsigned s = p.s, k = p.k, r = p.r;
    const uint64_t window = bits.Window();
#if defined(_MSC_VER) && !defined(__clang__)
    unsigned long index;
    _BitScanReverse64(&index, window);
    const unsigned q = 63 - index;
#else
    const unsigned q = static_cast<unsigned>(__builtin_clzll(window));
#endif
    // Both forms are computed and one is selected, which keeps the code free of a
    // data-dependent branch.
    const unsigned shortLength = q + 1 + r;
    const uint32_t shortValue = (q << r) + static_cast<uint32_t>(((window << (q + 1)) >> 1) >> (63 - r));
    const bool isShort = q <= s;
    const unsigned longLength = isShort ? 1 : 2 * q + k - s;
    if (!isShort && longLength > 32) {
        const uint32_t value = ReadOverlongCodeword(bits, q, k, s, p.offset);
        if (WithSign) *sign = bits.Read(1);
        return value;
    }
    const uint32_t longValue = static_cast<uint32_t>(window >> (64 - longLength)) + p.offset;
    const unsigned length = isShort ? shortLength : longLength;
    if (WithSign) *sign = static_cast<uint32_t>((window << length) >> 63);
    bits.Skip(length + (WithSign ? 1 : 0));
    return isShort ? shortValue : longValue;
}

template <bool WithSign> inline uint32_t ReadCodeword(BitReader& bits, unsigned d, uint32_t* sign = nullptr) {
    return ReadCodeword<WithSign>(bits, UnpackDescriptor(d), sign);
}

// Decodes the levels of one component of a slice of 2^log2Blocks blocks (0..4) with
// 2^log2Coefficients coefficients each (64, 16 or 4, scanned by the 8x8, 4x4 or 2x2 table).
// Levels land at block * 64 + raster index in `levels`, which the caller zeroed.
// Copies the bytes into a zero-padded buffer first: for tests and tools.
void DecodeComponent(const uint8_t* data, size_t size, int log2Blocks, int log2Coefficients, int16_t* levels);

constexpr int kMaxPaddedComponents = 8;

// The same for `count` (1..8) components of one slice at once, their decoding interleaved. Each
// data[i] holds sizes[i] bytes followed by kStringPadding zero bytes.
void DecodePaddedComponents(const uint8_t* const* data, const size_t* sizes, int count, int log2Blocks,
                            int log2Coefficients, int16_t* const* levels);

} // namespace tsr
