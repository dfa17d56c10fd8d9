#include "entropy.h"

#include <algorithm>

namespace tsr {

uint32_t ReadOverlongCodeword(BitReader& bits, unsigned q, unsigned k, unsigned s, uint32_t offset) {
    bits.Skip(q);
    unsigned rest = q + k - s;
    uint32_t v = 0;
    while (rest > 0) {
        const unsigned chunk = rest > 16 ? 16 : rest;
        v = static_cast<uint32_t>((static_cast<uint64_t>(v) << chunk) | bits.Read(chunk));
        rest -= chunk;
    }
    return v + offset;
}

namespace {
template <size_t N> struct ParamsTable {
    CodeParams entries[N];
    constexpr explicit ParamsTable(const uint16_t (&descriptors)[N]) : entries{} {
        for (size_t i = 0; i < N; ++i) entries[i] = UnpackDescriptor(descriptors[i]);
    }
    constexpr const CodeParams& operator[](uint32_t i) const { return entries[i < N - 1 ? i : N - 1]; }
};
constexpr ParamsTable<kDcTableLast + 1> kDcParams(kDcTable);
constexpr CodeParams kFirstDcParams = UnpackDescriptor(kFirstDcDescriptor);
constexpr CodeParams kDcDeltaStartParams = UnpackDescriptor(kDcDeltaStart);

// Short codewords are decoded by table: for each distinct descriptor of an adaptation table, the
// next kLookupBits bits of the window give the value (the signed level for levels), the bits it
// takes (with its sign for levels; 0 when the codeword is longer) and the class of the
// descriptor that the value selects next. Longer codewords take the arithmetic path.
constexpr int kLookupBits = 9;
constexpr int kMaxClasses = 16;
constexpr int kMaxLog2Blocks = 4;

inline uint32_t LookupIndex(const BitReader& bits) { return static_cast<uint32_t>(bits.Window() >> (64 - kLookupBits)); }
inline unsigned EntryLength(uint32_t entry) { return entry & 63; }
inline int EntryClass(uint32_t entry) { return (entry >> 6) & 15; }

template <size_t N> struct CodeLookup {
    uint8_t classOfIndex[N];
    CodeParams classParams[kMaxClasses];
    uint32_t entries[kMaxClasses][1 << kLookupBits]; // value << 16 | next class << 6 | length
    int startClass = 0;

    CodeLookup(const uint16_t (&table)[N], uint16_t start, bool withSign) : classOfIndex{}, classParams{}, entries{} {
        uint16_t descriptors[kMaxClasses];
        int count = 0;
        auto classOf = [&](uint16_t d) {
            for (int c = 0; c < count; ++c)
                if (descriptors[c] == d) return c;
            descriptors[count] = d;
            classParams[count] = UnpackDescriptor(d);
            return count++;
        };
        startClass = classOf(start);
        for (size_t i = 0; i < N; ++i) classOfIndex[i] = uint8_t(classOf(table[i]));
        for (int c = 0; c < count; ++c) {
            for (uint32_t pattern = 0; pattern < (1u << kLookupBits); ++pattern) {
                const uint32_t top = pattern << (16 - kLookupBits); // the pattern as the first bits
                const uint8_t bytes[8] = {uint8_t(top >> 8), uint8_t(top)};
                BitReader probe(bytes, sizeof bytes);
                if (probe.Peek32() == 0) continue;
                uint32_t sign = 0;
                const int before = probe.ValidBits();
                const uint32_t v = withSign ? ReadCodeword<true>(probe, classParams[c], &sign)
                                            : ReadCodeword<false>(probe, classParams[c]);
                const int length = before - probe.ValidBits();
                if (length > kLookupBits) continue;
                const uint32_t value = withSign ? (sign ? 0u - (v + 1) : v + 1) : v;
                entries[c][pattern] = (value & 0xFFFF) << 16 | uint32_t(ClassAfter(v)) << 6 | uint32_t(length);
            }
        }
    }
    int ClassAfter(uint32_t value) const { return classOfIndex[value < N - 1 ? value : N - 1]; }
};

struct Lookups {
    CodeLookup<kLevelTableLast + 1> level{kLevelTable, kLevelStart, true};
    CodeLookup<kZeroTableLast + 1> zero{kZeroTable, kZeroRunStart, false};
    CodeLookup<kRunTableLast + 1> run{kRunTable, kRunCountStart, false};
};
const Lookups& SharedLookups() {
    static const Lookups tables;
    return tables;
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
const uint16_t* PositionTable(int log2Blocks, int log2Coefficients) {
    static const PositionTables tables;
    return tables.positions[log2Blocks][log2Coefficients == 6 ? 0 : log2Coefficients == 4 ? 1 : 2];
}

// A level codeword and its sign bit: +(u + 1) or -(u + 1). Returns u for the adaptation.
inline uint32_t ReadLevel(BitReader& bits, const CodeParams& params, int16_t& level) {
    uint32_t negative;
    const uint32_t u = ReadCodeword<true>(bits, params, &negative);
    const uint32_t magnitude = u + 1;
    level = static_cast<int16_t>(negative ? 0u - magnitude : magnitude);
    return u;
}
} // namespace

void DecodeComponent(const uint8_t* data, size_t size, int log2Blocks, int log2Coefficients, int16_t* levels) {
    BitReader bits(data, size);
    const uint32_t blocks = 1u << log2Blocks;
    const uint32_t end = blocks << log2Coefficients;

    const CodeParams* dcParams = &kDcDeltaStartParams;
    const Lookups& tables = SharedLookups();
    const uint16_t* position = PositionTable(log2Blocks, log2Coefficients);
    int levelClass = tables.level.startClass, runClass = tables.run.startClass, zeroClass = tables.zero.startClass;

    // Every codeword (with its sign) takes at most 33 bits: top the window up before each. The
    // refill is branch-free while eight bytes remain, cheaper than testing the fill level.
    auto ensure = [&bits] {
        bits.Refill();
    };
    // A level by table or, for long codewords, arithmetically; false at the end of the data.
    auto readLevelAt = [&](int16_t& level, uint32_t& u) {
        const uint32_t entry = tables.level.entries[levelClass][LookupIndex(bits)];
        if (EntryLength(entry)) {
            bits.Skip(EntryLength(entry));
            level = static_cast<int16_t>(entry >> 16);
            levelClass = EntryClass(entry);
            u = static_cast<uint32_t>(level < 0 ? -level : level) - 1;
            return true;
        }
        if (bits.Peek32() == 0) return false;
        u = ReadLevel(bits, tables.level.classParams[levelClass], level);
        levelClass = tables.level.ClassAfter(u);
        return true;
    };
    // A run count or zero run by table or arithmetically; false at the end of the data.
    auto readValue = [&bits](const auto& table, int& valueClass, bool adapt, uint32_t& value) {
        const uint32_t entry = table.entries[valueClass][LookupIndex(bits)];
        if (EntryLength(entry)) {
            bits.Skip(EntryLength(entry));
            value = entry >> 16;
            if (adapt) valueClass = EntryClass(entry);
            return true;
        }
        if (bits.Peek32() == 0) return false;
        value = ReadCodeword<false>(bits, table.classParams[valueClass]);
        if (adapt) valueClass = table.ClassAfter(value);
        return true;
    };

    // DC coefficients: the first one absolute, the others as deltas with a sign flag.
    if (bits.Peek32() == 0) return;
    const uint32_t first = ReadCodeword<false>(bits, kFirstDcParams);
    uint32_t dc = (first & 1) ? 0u - ((first >> 1) + 1) : first >> 1;
    levels[0] = static_cast<int16_t>(dc);
    bool previousNegative = false;
    for (uint32_t b = 1; b < blocks; ++b) {
        ensure();
        if (bits.Peek32() == 0) return;
        const uint32_t c = ReadCodeword<false>(bits, *dcParams);
        const uint32_t m = (c >> 1) + (c & 1);
        const bool negative = ((c & 1) != 0) != previousNegative;
        dc += negative ? 0u - m : m;
        levels[b << 6] = static_cast<int16_t>(dc);
        previousNegative = negative && m != 0;
        dcParams = &kDcParams[m];
    }

    // AC coefficients in frequency-major order: runs of levels, then zero runs.
    uint32_t g = blocks, u;
    while (g < end) {
        ensure();
        uint32_t n;
        if (!readValue(tables.run, runClass, false, n)) return;
        for (; n > 0; --n) {
            ensure();
            if (!readLevelAt(levels[position[g]], u)) return;
            if (++g == end) return;
        }
        ensure();
        uint32_t z;
        if (!readValue(tables.zero, zeroClass, true, z)) return;
        if (z >= end - g - 1) return; // the zero run reaches the end
        g += z + 1;
        ensure();
        if (!readLevelAt(levels[position[g]], u)) return;
        runClass = tables.run.ClassAfter(u);
        ++g;
    }
}

} // namespace tsr
