#include "entropyencoder.h"

#include <algorithm>
#include <cstdlib>

#include "bitwriter.h"
#include "codewords.h"
#include "format/codetables.h"

namespace tsr {
namespace {

// Largest coded magnitude: a decoder keeps coefficients in 16 bits.
constexpr int kMaxMagnitude = 32767;

void WriteFirstDc(BitWriter& bits, int dc) {
    const uint32_t c = dc >= 0 ? 2u * static_cast<uint32_t>(dc) : 2u * static_cast<uint32_t>(-dc) - 1u;
    WriteCodeword(bits, c, kFirstDcDescriptor);
}

// Codes the DCs of blocks 1.. as deltas; a delta's sign is sent relative to the previous one's.
// Coefficients wrap modulo 2^16 in a decoder, so the shorter way round is taken: any step
// between 16-bit DCs is a delta of at most 32768.
void WriteDcDeltas(BitWriter& bits, int16_t* dc, int blocks) {
    uint16_t descriptor = kDcDeltaStart;
    bool previousNegative = false;
    for (int b = 1; b < blocks; ++b) {
        const int previous = dc[b - 1];
        // The codeword for magnitude m is 2m - 1 or 2m; only after a zero delta (descriptor 16)
        // does 32768 not fit 32 bits, and then the step is one short.
        const int maxStep = static_cast<int>(std::min<uint32_t>(32768, MaxCodewordValue(descriptor) / 2));
        const int wrapped = static_cast<int16_t>(static_cast<uint16_t>(dc[b] - previous));
        const int delta = std::clamp(wrapped, -maxStep, maxStep);
        dc[b] = static_cast<int16_t>(static_cast<uint16_t>(previous + delta));
        const int m = std::abs(delta);
        const bool negative = delta < 0;
        const uint32_t c =
            m == 0 ? 0u : static_cast<uint32_t>(2 * m) - ((negative != previousNegative) ? 1u : 0u);
        WriteCodeword(bits, c, descriptor);
        previousNegative = negative;
        descriptor = kDcTable[std::min(m, kDcTableLast)];
    }
}

// Writes level magnitude - 1 and the sign bit; returns the magnitude - 1 that was coded.
uint32_t WriteLevel(BitWriter& bits, int16_t& level, uint16_t descriptor) {
    const uint32_t cap = std::min<uint32_t>(kMaxMagnitude - 1, MaxCodewordValue(descriptor));
    const bool negative = level < 0;
    const uint32_t u = std::min<uint32_t>(static_cast<uint32_t>(std::abs(level)) - 1, cap);
    level = static_cast<int16_t>(negative ? -static_cast<int>(u + 1) : static_cast<int>(u + 1));
    WriteCodeword(bits, u, descriptor);
    bits.Put(negative ? 1u : 0u, 1);
    return u;
}

} // namespace

size_t EncodeComponent(int16_t* levels, int count, int log2Blocks, std::vector<uint8_t>& out) {
    const size_t start = out.size();
    BitWriter bits(out);
    const int blocks = 1 << log2Blocks;

    WriteFirstDc(bits, levels[0]);
    WriteDcDeltas(bits, levels, blocks);

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
        WriteCodeword(bits, static_cast<uint32_t>(run), runDescriptor);
        for (int i = 0; i < run; ++i, ++g) {
            const uint32_t u = WriteLevel(bits, levels[g], levelDescriptor);
            levelDescriptor = kLevelTable[std::min<uint32_t>(u, kLevelTableLast)];
        }
        if (g > last) break;
        int zeros = 0;
        while (levels[g + zeros] == 0) ++zeros; // stops at `last` at the latest
        const uint32_t z = static_cast<uint32_t>(zeros - 1);
        WriteCodeword(bits, z, zeroDescriptor);
        zeroDescriptor = kZeroTable[std::min<uint32_t>(z, kZeroTableLast)];
        g += zeros;
        const uint32_t u = WriteLevel(bits, levels[g], levelDescriptor);
        levelDescriptor = kLevelTable[std::min<uint32_t>(u, kLevelTableLast)];
        runDescriptor = kRunTable[std::min<uint32_t>(u, kRunTableLast)];
        ++g;
    }
    bits.PadToByte();
    return out.size() - start;
}

} // namespace tsr
