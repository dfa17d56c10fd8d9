#include "entropy.h"

#include <algorithm>

namespace tsr {

namespace {
inline int16_t signedLevel(BitReader& bits, uint32_t u) {
    const uint32_t magnitude = u + 1;
    const uint32_t negative = bits.read(1);
    return static_cast<int16_t>(negative ? 0u - magnitude : magnitude);
}
} // namespace

void decodeComponent(const uint8_t* data, size_t size, int log2Blocks, int log2Coefficients,
                     const uint8_t* scan, int16_t* levels) {
    BitReader bits(data, size);
    const uint32_t blocks = 1u << log2Blocks;
    const uint32_t end = blocks << log2Coefficients;
    const uint32_t blockMask = blocks - 1;

    unsigned dcDescriptor = kDcDeltaStart;
    unsigned runDescriptor = kRunCountStart;
    unsigned zeroDescriptor = kZeroRunStart;
    unsigned levelDescriptor = kLevelStart;

    // DC coefficients: the first one absolute, the others as deltas with a sign flag.
    if (bits.peek32() == 0) return;
    const uint32_t first = readCodeword(bits, kFirstDcDescriptor);
    uint32_t dc = (first & 1) ? 0u - ((first >> 1) + 1) : first >> 1;
    levels[0] = static_cast<int16_t>(dc);
    bool previousNegative = false;
    for (uint32_t b = 1; b < blocks; ++b) {
        if (bits.peek32() == 0) return;
        const uint32_t c = readCodeword(bits, dcDescriptor);
        const uint32_t m = (c >> 1) + (c & 1);
        const bool negative = ((c & 1) != 0) != previousNegative;
        dc += negative ? 0u - m : m;
        levels[b << 6] = static_cast<int16_t>(dc);
        previousNegative = negative && m != 0;
        dcDescriptor = kDcTable[std::min<uint32_t>(m, kDcTableLast)];
    }

    // AC coefficients in frequency-major order: runs of levels, then zero runs.
    uint32_t g = blocks;
    while (g < end) {
        if (bits.peek32() == 0) return;
        uint32_t n = readCodeword(bits, runDescriptor);
        for (; n > 0; --n) {
            if (bits.peek32() == 0) return;
            const uint32_t u = readCodeword(bits, levelDescriptor);
            levelDescriptor = kLevelTable[std::min<uint32_t>(u, kLevelTableLast)];
            levels[((g & blockMask) << 6) + scan[g >> log2Blocks]] = signedLevel(bits, u);
            if (++g == end) return;
        }
        if (bits.peek32() == 0) return;
        const uint32_t z = readCodeword(bits, zeroDescriptor);
        zeroDescriptor = kZeroTable[std::min<uint32_t>(z, kZeroTableLast)];
        if (z >= end - g - 1) return; // the zero run reaches the end
        g += z + 1;
        if (bits.peek32() == 0) return;
        const uint32_t u = readCodeword(bits, levelDescriptor);
        levelDescriptor = kLevelTable[std::min<uint32_t>(u, kLevelTableLast)];
        runDescriptor = kRunTable[std::min<uint32_t>(u, kRunTableLast)];
        levels[((g & blockMask) << 6) + scan[g >> log2Blocks]] = signedLevel(bits, u);
        ++g;
    }
}

} // namespace tsr
