#include "entropy.h"

#include <algorithm>

namespace tsr {

uint32_t readOverlongCodeword(BitReader& bits, unsigned q, unsigned k, unsigned s, uint32_t offset) {
    bits.skip(q);
    unsigned rest = q + k - s;
    uint32_t v = 0;
    while (rest > 0) {
        const unsigned chunk = rest > 16 ? 16 : rest;
        v = static_cast<uint32_t>((static_cast<uint64_t>(v) << chunk) | bits.read(chunk));
        rest -= chunk;
    }
    return v + offset;
}

namespace {
template <size_t N> struct ParamsTable {
    CodeParams entries[N];
    constexpr explicit ParamsTable(const uint16_t (&descriptors)[N]) : entries{} {
        for (size_t i = 0; i < N; ++i) entries[i] = codeParams(descriptors[i]);
    }
    constexpr const CodeParams& operator[](uint32_t i) const { return entries[i < N - 1 ? i : N - 1]; }
};
constexpr ParamsTable<kDcTableLast + 1> kDcParams(kDcTable);
constexpr ParamsTable<kRunTableLast + 1> kRunParams(kRunTable);
constexpr ParamsTable<kZeroTableLast + 1> kZeroParams(kZeroTable);
constexpr ParamsTable<kLevelTableLast + 1> kLevelParams(kLevelTable);
constexpr CodeParams kFirstDcParams = codeParams(kFirstDcDescriptor);
constexpr CodeParams kDcDeltaStartParams = codeParams(kDcDeltaStart);
constexpr CodeParams kRunCountStartParams = codeParams(kRunCountStart);
constexpr CodeParams kZeroRunStartParams = codeParams(kZeroRunStart);
constexpr CodeParams kLevelStartParams = codeParams(kLevelStart);

// Short level codewords are decoded by table: for each distinct level descriptor, the next
// kLevelLookupBits bits give the signed level, the bits it takes with its sign, and the
// descriptor that follows it. Longer codewords take the arithmetic path.
constexpr int kLevelLookupBits = 9;
constexpr int kMaxLog2Blocks = 4;
constexpr int kLevelClasses = 11;

struct LevelLookup {
    uint8_t classOfIndex[kLevelTableLast + 1]; // LEVEL table index -> class
    CodeParams classParams[kLevelClasses];
    uint32_t entries[kLevelClasses][1 << kLevelLookupBits]; // level << 16 | class << 6 | length
    int startClass = 0;

    LevelLookup() : classOfIndex{}, classParams{}, entries{} {
        uint16_t descriptors[kLevelClasses];
        int count = 0;
        auto classOf = [&](uint16_t d) {
            for (int c = 0; c < count; ++c)
                if (descriptors[c] == d) return c;
            descriptors[count] = d;
            classParams[count] = codeParams(d);
            return count++;
        };
        startClass = classOf(kLevelStart);
        for (int i = 0; i <= kLevelTableLast; ++i) classOfIndex[i] = uint8_t(classOf(kLevelTable[i]));
        for (int c = 0; c < count; ++c) {
            for (uint32_t pattern = 0; pattern < (1u << kLevelLookupBits); ++pattern) {
                const uint8_t bytes[8] = {uint8_t(pattern >> 1), uint8_t(pattern << 7)};
                BitReader probe(bytes, sizeof bytes);
                if (probe.peek32() == 0) continue;
                uint32_t sign;
                const int before = probe.validBits();
                const uint32_t u = readCodeword<true>(probe, classParams[c], &sign);
                const int length = before - probe.validBits();
                if (length > kLevelLookupBits) continue;
                const uint32_t magnitude = u + 1;
                const uint16_t level = uint16_t(sign ? 0u - magnitude : magnitude);
                entries[c][pattern] = uint32_t(level) << 16 | uint32_t(classOfIndex[std::min<uint32_t>(u, kLevelTableLast)]) << 6 | uint32_t(length);
            }
        }
    }
};
const LevelLookup& levelLookup() {
    static const LevelLookup lookup;
    return lookup;
}

// Where coding position g lands in the level store (block * 64 + scan[k]), for every slice
// width and scan table: one lookup instead of a shift, a mask and a scan lookup per level.
struct PositionTables {
    uint16_t positions[kMaxLog2Blocks + 1][3][16 * 64];
    PositionTables() : positions{} {
        const uint8_t* scans[3] = {kScan8x8, kScan4x4, kScan2x2};
        const int log2Coefficients[3] = {6, 4, 2};
        for (int log2Blocks = 0; log2Blocks <= kMaxLog2Blocks; ++log2Blocks)
            for (int t = 0; t < 3; ++t)
                for (uint32_t g = 0; g < (1u << (log2Blocks + log2Coefficients[t])); ++g)
                    positions[log2Blocks][t][g] =
                        uint16_t(((g & ((1u << log2Blocks) - 1)) << 6) + scans[t][g >> log2Blocks]);
    }
};
const uint16_t* positionTable(int log2Blocks, int log2Coefficients) {
    static const PositionTables tables;
    return tables.positions[log2Blocks][log2Coefficients == 6 ? 0 : log2Coefficients == 4 ? 1 : 2];
}

// A level codeword and its sign bit: +(u + 1) or -(u + 1). Returns u for the adaptation.
inline uint32_t readLevel(BitReader& bits, const CodeParams& params, int16_t& level) {
    uint32_t negative;
    const uint32_t u = readCodeword<true>(bits, params, &negative);
    const uint32_t magnitude = u + 1;
    level = static_cast<int16_t>(negative ? 0u - magnitude : magnitude);
    return u;
}
} // namespace

void decodeComponent(const uint8_t* data, size_t size, int log2Blocks, int log2Coefficients, int16_t* levels) {
    BitReader bits(data, size);
    const uint32_t blocks = 1u << log2Blocks;
    const uint32_t end = blocks << log2Coefficients;

    const CodeParams* dcParams = &kDcDeltaStartParams;
    const CodeParams* runParams = &kRunCountStartParams;
    const CodeParams* zeroParams = &kZeroRunStartParams;
    const LevelLookup& lookup = levelLookup();
    const uint16_t* position = positionTable(log2Blocks, log2Coefficients);
    int levelClass = lookup.startClass;

    // Every codeword (with its sign) takes at most 33 bits: refill below that.
    auto ensure = [&bits] {
        if (bits.validBits() < 33) bits.refill();
    };

    // DC coefficients: the first one absolute, the others as deltas with a sign flag.
    if (bits.peek32() == 0) return;
    const uint32_t first = readCodeword<false>(bits, kFirstDcParams);
    uint32_t dc = (first & 1) ? 0u - ((first >> 1) + 1) : first >> 1;
    levels[0] = static_cast<int16_t>(dc);
    bool previousNegative = false;
    for (uint32_t b = 1; b < blocks; ++b) {
        ensure();
        if (bits.peek32() == 0) return;
        const uint32_t c = readCodeword<false>(bits, *dcParams);
        const uint32_t m = (c >> 1) + (c & 1);
        const bool negative = ((c & 1) != 0) != previousNegative;
        dc += negative ? 0u - m : m;
        levels[b << 6] = static_cast<int16_t>(dc);
        previousNegative = negative && m != 0;
        dcParams = &kDcParams[m];
    }

    // AC coefficients in frequency-major order: runs of levels, then zero runs.
    uint32_t g = blocks;
    while (g < end) {
        ensure();
        if (bits.peek32() == 0) return;
        uint32_t n = readCodeword<false>(bits, *runParams);
        for (; n > 0; --n) {
            ensure();
            int16_t& level = levels[position[g]];
            const uint32_t entry = lookup.entries[levelClass][bits.window() >> (64 - kLevelLookupBits)];
            if (entry & 63) {
                bits.skip(entry & 63);
                level = static_cast<int16_t>(entry >> 16);
                levelClass = (entry >> 6) & 15;
            } else {
                if (bits.peek32() == 0) return;
                levelClass = lookup.classOfIndex[std::min<uint32_t>(readLevel(bits, lookup.classParams[levelClass], level),
                                                                    kLevelTableLast)];
            }
            if (++g == end) return;
        }
        ensure();
        if (bits.peek32() == 0) return;
        const uint32_t z = readCodeword<false>(bits, *zeroParams);
        zeroParams = &kZeroParams[z];
        if (z >= end - g - 1) return; // the zero run reaches the end
        g += z + 1;
        ensure();
        int16_t& level = levels[position[g]];
        const uint32_t entry = lookup.entries[levelClass][bits.window() >> (64 - kLevelLookupBits)];
        uint32_t u;
        if (entry & 63) {
            bits.skip(entry & 63);
            level = static_cast<int16_t>(entry >> 16);
            levelClass = (entry >> 6) & 15;
            u = static_cast<uint32_t>(level < 0 ? -level : level) - 1;
        } else {
            if (bits.peek32() == 0) return;
            u = readLevel(bits, lookup.classParams[levelClass], level);
            levelClass = lookup.classOfIndex[std::min<uint32_t>(u, kLevelTableLast)];
        }
        runParams = &kRunParams[u];
        ++g;
    }
}

} // namespace tsr
