#include "entropyencoder.h"

#include <algorithm>
#include <cstdlib>

#include "bitwriter.h"
#include "codetables.h"
#include "codewords.h"

namespace tsr {
namespace {

// Largest coded magnitude: a decoder keeps coefficients in 16 bits.
constexpr int kMaxMagnitude = 32767;

void writeFirstDc(BitWriter& bits, int dc) {
    const uint32_t c = dc >= 0 ? 2u * static_cast<uint32_t>(dc) : 2u * static_cast<uint32_t>(-dc) - 1u;
    writeCodeword(bits, c, kFirstDcDescriptor);
}

// Codes the DCs of blocks 1.. as deltas; a delta's sign is sent relative to the previous one's.
void writeDcDeltas(BitWriter& bits, int16_t* dc, int blocks) {
    uint16_t descriptor = kDcDeltaStart;
    bool previousNegative = false;
    for (int b = 1; b < blocks; ++b) {
        const int previous = dc[b - 1];
        // The codeword for magnitude m is 2m - 1 or 2m; keep it within 32 bits.
        const int maxStep = std::min<int64_t>(kMaxMagnitude, maxCodewordValue(descriptor) / 2);
        const int delta = std::clamp(dc[b] - previous, -maxStep, maxStep);
        dc[b] = static_cast<int16_t>(previous + delta);
        const int m = std::abs(delta);
        const bool negative = delta < 0;
        const uint32_t c = m == 0 ? 0u : static_cast<uint32_t>(2 * m) - ((negative != previousNegative) ? 1u : 0u);
        writeCodeword(bits, c, descriptor);
        previousNegative = negative;
        descriptor = kDcTable[std::min(m, kDcTableLast)];
    }
}

// Writes level magnitude - 1 and the sign bit; returns the magnitude - 1 that was coded.
uint32_t writeLevel(BitWriter& bits, int16_t& level, uint16_t descriptor) {
    const uint32_t cap = std::min<uint32_t>(kMaxMagnitude - 1, maxCodewordValue(descriptor));
    const bool negative = level < 0;
    const uint32_t u = std::min<uint32_t>(static_cast<uint32_t>(std::abs(level)) - 1, cap);
    level = static_cast<int16_t>(negative ? -static_cast<int>(u + 1) : static_cast<int>(u + 1));
    writeCodeword(bits, u, descriptor);
    bits.put(negative ? 1u : 0u, 1);
    return u;
}

} // namespace

size_t encodeComponent(int16_t* levels, int count, int log2Blocks, std::vector<uint8_t>& out) {
    const size_t start = out.size();
    BitWriter bits(out);
    const int blocks = 1 << log2Blocks;

    writeFirstDc(bits, levels[0]);
    writeDcDeltas(bits, levels, blocks);

    // The AC coefficients alternate between runs of nonzero levels and runs of zeros.
    int last = count - 1;
    while (last >= blocks && levels[last] == 0) --last;
    uint16_t runDescriptor = kRunCountStart;
    uint16_t zeroDescriptor = kZeroRunStart;
    uint16_t levelDescriptor = kLevelStart;
    int g = blocks;
    while (g <= last) {
        int run = 0;
        while (g + run <= last && levels[g + run] != 0) ++run;
        writeCodeword(bits, static_cast<uint32_t>(run), runDescriptor);
        for (int i = 0; i < run; ++i, ++g) {
            const uint32_t u = writeLevel(bits, levels[g], levelDescriptor);
            levelDescriptor = kLevelTable[std::min<uint32_t>(u, kLevelTableLast)];
        }
        if (g > last) break;
        int zeros = 0;
        while (levels[g + zeros] == 0) ++zeros; // stops at `last` at the latest
        const uint32_t z = static_cast<uint32_t>(zeros - 1);
        writeCodeword(bits, z, zeroDescriptor);
        zeroDescriptor = kZeroTable[std::min<uint32_t>(z, kZeroTableLast)];
        g += zeros;
        const uint32_t u = writeLevel(bits, levels[g], levelDescriptor);
        levelDescriptor = kLevelTable[std::min<uint32_t>(u, kLevelTableLast)];
        runDescriptor = kRunTable[std::min<uint32_t>(u, kRunTableLast)];
        ++g;
    }
    bits.padToByte();
    return out.size() - start;
}

} // namespace tsr
