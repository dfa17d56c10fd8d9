#include "entropy.h"

#include <algorithm>
#include <vector>

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

// Short codewords are decoded by one table for all three adaptive kinds of symbol. A context is
// one distinct descriptor of one adaptation table (run counts, zero runs or levels); for each
// context the next kLookupBits bits of the window give an entry: the codeword's length (with
// its sign for levels; 0 when the codeword is longer or the window is all zero there), the
// context its value selects next in its own table, for levels also the run-count context it
// selects, and the value (the signed level for levels). Longer codewords take the arithmetic
// path.
constexpr int kLookupBits = 9;
constexpr int kMaxContexts = 32;
constexpr int kMaxLog2Blocks = 4;

struct Entry {
    static constexpr uint32_t Pack(unsigned length, unsigned next, unsigned nextRun, uint32_t value) {
        return value << 16 | nextRun << 11 | next << 6 | length;
    }
    static unsigned Length(uint32_t e) { return e & 63; }
    static unsigned Next(uint32_t e) { return (e >> 6) & 31; }
    static unsigned NextRun(uint32_t e) { return (e >> 11) & 31; }
    static int32_t Value(uint32_t e) { return static_cast<int32_t>(e) >> 16; }
};

struct Lookups {
    CodeParams params[kMaxContexts];
    uint16_t descriptors[kMaxContexts];
    int count = 0;
    uint8_t runOf[kRunTableLast + 1];
    uint8_t zeroOf[kZeroTableLast + 1];
    uint8_t levelOf[kLevelTableLast + 1];
    uint8_t runStart, zeroStart, levelStart;
    uint32_t entries[kMaxContexts][1 << kLookupBits];

    int RunAfter(uint32_t u) const { return runOf[u < kRunTableLast ? u : kRunTableLast]; }
    int ZeroAfter(uint32_t z) const { return zeroOf[z < kZeroTableLast ? z : kZeroTableLast]; }
    int LevelAfter(uint32_t u) const { return levelOf[u < kLevelTableLast ? u : kLevelTableLast]; }

    Lookups() : params{}, descriptors{}, runOf{}, zeroOf{}, levelOf{}, entries{} {
        // Contexts of one kind are numbered together so that each kind's descriptors stay distinct.
        auto contextOf = [&](int first, uint16_t d) {
            for (int c = first; c < count; ++c)
                if (descriptors[c] == d) return c;
            descriptors[count] = d;
            params[count] = UnpackDescriptor(d);
            return count++;
        };
        const int firstRun = count;
        runStart = uint8_t(contextOf(firstRun, kRunCountStart));
        for (int i = 0; i <= kRunTableLast; ++i) runOf[i] = uint8_t(contextOf(firstRun, kRunTable[i]));
        const int firstZero = count;
        zeroStart = uint8_t(contextOf(firstZero, kZeroRunStart));
        for (int i = 0; i <= kZeroTableLast; ++i) zeroOf[i] = uint8_t(contextOf(firstZero, kZeroTable[i]));
        const int firstLevel = count;
        levelStart = uint8_t(contextOf(firstLevel, kLevelStart));
        for (int i = 0; i <= kLevelTableLast; ++i)
            levelOf[i] = uint8_t(contextOf(firstLevel, kLevelTable[i]));

        for (int c = 0; c < count; ++c) {
            const bool isLevel = c >= firstLevel, isZero = c >= firstZero && !isLevel;
            for (uint32_t pattern = 0; pattern < (1u << kLookupBits); ++pattern) {
                const uint32_t top = pattern << (16 - kLookupBits); // the pattern as the first bits
                const uint8_t bytes[8] = {uint8_t(top >> 8), uint8_t(top)};
                BitReader probe(bytes, sizeof bytes);
                if (probe.Peek32() == 0) continue;
                uint32_t sign = 0;
                const int before = probe.ValidBits();
                const uint32_t v = isLevel ? ReadCodeword<true>(probe, params[c], &sign)
                                           : ReadCodeword<false>(probe, params[c]);
                const int length = before - probe.ValidBits();
                if (length > kLookupBits) continue;
                if (isLevel)
                    entries[c][pattern] =
                        Entry::Pack(unsigned(length), unsigned(LevelAfter(v)), unsigned(RunAfter(v)),
                                    (sign ? 0u - (v + 1) : v + 1) & 0xFFFF);
                else
                    entries[c][pattern] =
                        Entry::Pack(unsigned(length), unsigned(isZero ? ZeroAfter(v) : c), 0, v);
            }
        }
    }
};
const Lookups& SharedLookups() {
    static const Lookups tables;
    return tables;
}

// Where coding position g lands in the level store (block * 64 + scan[k]), for every slice
// width and scan table: one lookup instead of a shift, a mask and a scan lookup per level. One
// more entry after the last position may be read (not written through) by a lane at its end.
struct PositionTables {
    uint16_t positions[kMaxLog2Blocks + 1][3][16 * 64 + 1];
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

#if defined(__GNUC__)
#define TSR_ALWAYS_INLINE inline __attribute__((always_inline))
#define TSR_NOINLINE __attribute__((noinline))
#define TSR_UNLIKELY(x) __builtin_expect(!!(x), 0)
#else
#define TSR_ALWAYS_INLINE __forceinline
#define TSR_NOINLINE __declspec(noinline)
#define TSR_UNLIKELY(x) (x)
#endif

// One component's reader and decoding state as plain scalars, which the compiler keeps in
// registers. Contexts are held as offsets into the lookup entries.
struct Lane {
    uint64_t window;
    int64_t bits;
    const uint8_t* next;
    const uint8_t* end; // of the padded string
    uint32_t g;         // next coding position
    uint32_t level, run, zero;
    int16_t* levels;

    Lane() = default;
    Lane(const uint8_t* data, size_t paddedSize, int16_t* target) : levels(target) {
        const BitReader reader(data, paddedSize);
        window = reader.Window();
        bits = reader.ValidBits();
        next = reader.Next();
        end = reader.End();
        const Lookups& tables = SharedLookups();
        g = 0;
        level = uint32_t(tables.levelStart) << kLookupBits;
        run = uint32_t(tables.runStart) << kLookupBits;
        zero = uint32_t(tables.zeroStart) << kLookupBits;
    }
    BitReader Reader() const { return BitReader(window, int(bits), next, end); }
    void Take(const BitReader& reader) {
        window = reader.Window();
        bits = reader.ValidBits();
        next = reader.Next();
    }
    // Refills from the zero-padded string: no end test.
    TSR_ALWAYS_INLINE void Refill() {
        window |= LoadBigEndian64(next) >> bits;
        next += (63 - bits) >> 3;
        bits |= 56;
    }
    TSR_ALWAYS_INLINE void Skip(unsigned count) {
        window <<= count;
        bits -= count;
    }
};

// DC coefficients: the first one absolute, the others as deltas with a sign flag. Leaves the
// lane at the first AC position; false when the data ends first.
bool DecodeDc(Lane& lane, uint32_t blocks) {
    BitReader bits = lane.Reader();
    if (bits.Peek32() == 0) return false;
    const uint32_t first = ReadCodeword<false>(bits, kFirstDcParams);
    uint32_t dc = (first & 1) ? 0u - ((first >> 1) + 1) : first >> 1;
    lane.levels[0] = static_cast<int16_t>(dc);
    const CodeParams* dcParams = &kDcDeltaStartParams;
    bool previousNegative = false;
    for (uint32_t b = 1; b < blocks; ++b) {
        bits.Refill();
        if (bits.Peek32() == 0) return false;
        const uint32_t c = ReadCodeword<false>(bits, *dcParams);
        const uint32_t m = (c >> 1) + (c & 1);
        const bool negative = ((c & 1) != 0) != previousNegative;
        dc += negative ? 0u - m : m;
        lane.levels[b << 6] = static_cast<int16_t>(dc);
        previousNegative = negative && m != 0;
        dcParams = &kDcParams[m];
    }
    lane.Take(bits);
    lane.g = blocks;
    return true;
}

// What the lanes of one slice share.
struct Shared {
    const Lookups* tables;
    const uint32_t* entries;
    const uint16_t* position;
    uint32_t end;
};

// A codeword that is not in the table, read arithmetically from a reader state taken by value (a
// reference would keep the caller's lane out of registers).
struct LongCodeword {
    uint64_t window;
    int64_t bits;
    const uint8_t* next;
    uint32_t value;       // the codeword's value
    uint32_t signedValue; // for levels: +(value + 1) or -(value + 1) by the sign bit
    bool ended;           // the peek was all zero: the component ends
};
template <bool IsLevel>
TSR_NOINLINE LongCodeword ReadLongCodeword(const CodeParams& params, uint64_t window, int64_t bitCount,
                                           const uint8_t* next, const uint8_t* end) {
    BitReader bits(window, int(bitCount), next, end);
    LongCodeword r{};
    if (bits.Peek32() == 0) {
        r.ended = true;
        return r;
    }
    if (IsLevel) {
        uint32_t negative;
        r.value = ReadCodeword<true>(bits, params, &negative);
        r.signedValue = negative ? 0u - (r.value + 1) : r.value + 1;
    } else {
        r.value = ReadCodeword<false>(bits, params);
    }
    r.window = bits.Window();
    r.bits = bits.ValidBits();
    r.next = bits.Next();
    return r;
}

// Reads a long codeword into `r` and moves the lane past it; false when the component ends.
template <bool IsLevel>
TSR_ALWAYS_INLINE bool ReadLong(Lane& lane, const CodeParams& params, LongCodeword& r) {
    r = ReadLongCodeword<IsLevel>(params, lane.window, lane.bits, lane.next, lane.end);
    if (r.ended) return false;
    lane.window = r.window;
    lane.bits = r.bits;
    lane.next = r.next;
    return true;
}

// A level, stored at the lane's position. `AfterZeroRun`: the level after a zero run, which
// also sets the run-count context. False at the end of the data.
template <bool AfterZeroRun = false> TSR_ALWAYS_INLINE bool ReadLevel(Lane& lane, const Shared& shared) {
    // The window holds at least kLookupBits valid bits here (a refill leaves 56 or more, a
    // codeword short enough to skip without a refill takes at most 34), so the lookup need not
    // wait for this refill.
    const uint32_t entry = shared.entries[lane.level + (lane.window >> (64 - kLookupBits))];
    lane.Refill();
    uint32_t level;
    if (TSR_UNLIKELY(Entry::Length(entry) == 0)) {
        LongCodeword r;
        if (!ReadLong<true>(lane, shared.tables->params[lane.level >> kLookupBits], r)) return false;
        level = r.signedValue;
        lane.level = uint32_t(shared.tables->LevelAfter(r.value)) << kLookupBits;
        if (AfterZeroRun) lane.run = uint32_t(shared.tables->RunAfter(r.value)) << kLookupBits;
    } else {
        lane.Skip(Entry::Length(entry));
        level = static_cast<uint32_t>(Entry::Value(entry));
        lane.level = Entry::Next(entry) << kLookupBits;
        if (AfterZeroRun) lane.run = Entry::NextRun(entry) << kLookupBits;
    }
    lane.levels[shared.position[lane.g]] = static_cast<int16_t>(level);
    return true;
}
// A level of a run that is read only when `active`; otherwise the lane stays as it is (its
// lookup and refill are wasted), which keeps the loop over two lanes' runs free of a branch on
// which lane is still in its run.
TSR_ALWAYS_INLINE bool ReadLevelIf(bool active, Lane& lane, const Shared& shared, int16_t* sink) {
    const uint32_t entry = shared.entries[lane.level + (lane.window >> (64 - kLookupBits))];
    lane.Refill();
    if (TSR_UNLIKELY(active && Entry::Length(entry) == 0)) {
        if (!ReadLevel(lane, shared)) return false;
        ++lane.g;
        return true;
    }
    const unsigned length = active ? Entry::Length(entry) : 0;
    lane.Skip(length);
    lane.level = active ? Entry::Next(entry) << kLookupBits : lane.level;
    int16_t* target = active ? lane.levels + shared.position[lane.g] : sink;
    *target = static_cast<int16_t>(Entry::Value(entry));
    lane.g += active ? 1 : 0;
    return true;
}
// A run count or, with `adapt`, a zero run. False at the end of the data.
template <bool Adapt>
TSR_ALWAYS_INLINE bool ReadValue(Lane& lane, uint32_t& context, const Shared& shared, uint32_t& value) {
    const uint32_t entry = shared.entries[context + (lane.window >> (64 - kLookupBits))];
    lane.Refill();
    if (TSR_UNLIKELY(Entry::Length(entry) == 0)) {
        LongCodeword r;
        if (!ReadLong<false>(lane, shared.tables->params[context >> kLookupBits], r)) return false;
        value = r.value;
        if (Adapt) context = uint32_t(shared.tables->ZeroAfter(value)) << kLookupBits;
        return true;
    }
    lane.Skip(Entry::Length(entry));
    value = static_cast<uint32_t>(Entry::Value(entry));
    if (Adapt) context = Entry::Next(entry) << kLookupBits;
    return true;
}

// The AC symbols of a component come in groups: a run count n, n levels, a zero run and one more
// level. Where a lane stands inside a group:
enum Phase { kAtRunCount, kInRun, kAtZeroRun, kAtLevelAfterZero };

// A lane that goes on after its partner ended, and where it stands.
struct Survivor {
    Lane lane;
    Phase phase;
    uint32_t n; // levels left in the run
};

// A lane decoded by finishLane, and whether it goes on.
struct Finished {
    Lane lane;
    bool more;
};

// Decodes one lane from a phase (with `n` levels left in the run) to its end or, with
// `UntilGroupEnd`, to the end of the current group.
template <bool UntilGroupEnd>
TSR_NOINLINE Finished FinishLane(Lane lane, Phase phase, uint32_t n, const Shared& shared) {
    const uint32_t end = shared.end;
    if (lane.g >= end) return {lane, false};
    uint32_t z;
    switch (phase) {
    case kAtRunCount:
        if (UntilGroupEnd) return {lane, true};
        goto runCount;
    case kInRun:
        goto inRun;
    case kAtZeroRun:
        goto zeroRun;
    case kAtLevelAfterZero:
        goto levelAfterZero;
    }
    for (;;) {
    runCount:
        if (!ReadValue<false>(lane, lane.run, shared, n)) return {lane, false};
    inRun:
        for (; n > 0; --n) {
            if (!ReadLevel(lane, shared)) return {lane, false};
            if (++lane.g == end) return {lane, false};
        }
    zeroRun:
        if (!ReadValue<true>(lane, lane.zero, shared, z)) return {lane, false};
        if (z >= end - lane.g - 1) return {lane, false}; // the zero run reaches the end
        lane.g += z + 1;
    levelAfterZero:
        if (!ReadLevel<true>(lane, shared)) return {lane, false};
        ++lane.g;
        if (lane.g >= end) return {lane, false};
        if (UntilGroupEnd) return {lane, true};
    }
}

// Decodes two lanes group by group with their symbols interleaved, so that their dependency
// chains (window, lookup, length) overlap; the runs' common length is interleaved too. Returns,
// when one lane ends, the other and where it stands.
TSR_ALWAYS_INLINE Survivor DecodePair(Lane a, Lane b, const Shared& shared) {
    const uint32_t end = shared.end;
    uint32_t na, nb, za, zb;
    for (;;) {
        if (!ReadValue<false>(a, a.run, shared, na)) return {b, kAtRunCount, 0};
        if (!ReadValue<false>(b, b.run, shared, nb)) return {a, kInRun, na};
        // A run that passes the end stops there.
        na = na < end - a.g ? na : end - a.g;
        nb = nb < end - b.g ? nb : end - b.g;
        const uint32_t longest = na > nb ? na : nb;
        int16_t sink;
        for (uint32_t i = 0; i < longest; ++i) {
            const bool activeA = i < na, activeB = i < nb;
            if (!ReadLevelIf(activeA, a, shared, &sink)) return {b, kInRun, activeB ? nb - i : 0};
            if (!ReadLevelIf(activeB, b, shared, &sink)) return {a, kInRun, activeA ? na - i - 1 : 0};
        }
        if (a.g == end) return {b, kAtZeroRun, 0};
        if (b.g == end) return {a, kAtZeroRun, 0};
        if (!ReadValue<true>(a, a.zero, shared, za) || za >= end - a.g - 1) return {b, kAtZeroRun, 0};
        a.g += za + 1;
        if (!ReadValue<true>(b, b.zero, shared, zb) || zb >= end - b.g - 1) return {a, kAtLevelAfterZero, 0};
        b.g += zb + 1;
        if (!ReadLevel<true>(a, shared)) return {b, kAtLevelAfterZero, 0};
        ++a.g;
        if (!ReadLevel<true>(b, shared)) return {a, kAtRunCount, 0};
        ++b.g;
        if (a.g >= end) return {b, kAtRunCount, 0};
        if (b.g >= end) return {a, kAtRunCount, 0};
    }
}
} // namespace

void DecodePaddedComponents(const uint8_t* const* data, const size_t* sizes, int count, int log2Blocks,
                            int log2Coefficients, int16_t* const* levels) {
    const Lookups& tables = SharedLookups();
    const Shared shared{&tables, tables.entries[0], PositionTable(log2Blocks, log2Coefficients),
                        (1u << log2Blocks) << log2Coefficients};
    // The DC values are few and decoded one component at a time; the lanes that go on wait in
    // a queue.
    Lane queue[kMaxPaddedComponents];
    int queued = 0;
    for (int i = 0; i < count; ++i) {
        Lane lane(data[i], sizes[i] + kStringPadding, levels[i]);
        if (DecodeDc(lane, 1u << log2Blocks)) queue[queued++] = lane;
    }
    // Two lanes at a time. When one ends, its partner finishes its group alone and the next lane
    // of the queue takes the free place; only the last lane runs alone to its end.
    int next = 0;
    if (queued >= 2) {
        Lane a = queue[0], b = queue[1];
        next = 2;
        for (;;) {
            const Survivor survivor = DecodePair(a, b, shared);
            const Finished finished = FinishLane<true>(survivor.lane, survivor.phase, survivor.n, shared);
            if (finished.more) {
                if (next == queued) {
                    FinishLane<false>(finished.lane, kAtRunCount, 0, shared);
                    return;
                }
                a = finished.lane;
                b = queue[next++];
            } else {
                if (queued - next < 2) break;
                a = queue[next++];
                b = queue[next++];
            }
        }
    }
    if (next < queued) FinishLane<false>(queue[next], kAtRunCount, 0, shared);
}

void DecodeComponent(const uint8_t* data, size_t size, int log2Blocks, int log2Coefficients,
                     int16_t* levels) {
    std::vector<uint8_t> padded(size + kStringPadding);
    std::copy(data, data + size, padded.begin());
    const uint8_t* paddedData = padded.data();
    DecodePaddedComponents(&paddedData, &size, 1, log2Blocks, log2Coefficients, &levels);
}

} // namespace tsr
