#include "referencedecoder.h"

#include <cmath>
#include <cstring>

namespace reference {
namespace {

struct Range {
    unsigned last;
    uint16_t descriptor;
};

template <size_t N> uint16_t Lookup(const Range (&ranges)[N], unsigned index) {
    for (const Range& r : ranges)
        if (index <= r.last) return r.descriptor;
    return ranges[N - 1].descriptor;
}

const Range kDc[] = {{0, 16}, {1, 33}, {2, 50}, {5, 51}, {11, 68}, {12, 118}};
const Range kRun[] = {{0, 256}, {1, 273}, {3, 546}, {5, 290}, {7, 1075}, {13, 563}, {14, 51}};
const Range kZero[] = {{0, 512}, {1, 256},  {3, 0},   {5, 529}, {7, 273}, {9, 17},
                       {11, 33}, {12, 546}, {24, 34}, {26, 50}, {27, 68}};
const Range kLevel[] = {{0, 0},    {1, 529},  {3, 273},  {6, 546},  {9, 290},
                        {17, 563}, {19, 307}, {41, 580}, {93, 853}, {94, 358}};

const uint8_t kScan4[16] = {0, 4, 1, 5, 8, 12, 9, 13, 2, 6, 3, 7, 10, 14, 11, 15};
const uint8_t kScan2[4] = {0, 2, 1, 3};

// Component at cell position (row, column) for each pattern.
const int kCell[4][2][2] = {{{3, 1}, {0, 2}}, {{1, 3}, {2, 0}}, {{0, 2}, {3, 1}}, {{2, 0}, {1, 3}}};

uint32_t U16(const std::vector<uint8_t>& f, size_t at) {
    return static_cast<uint32_t>(f[at]) << 8 | f[at + 1];
}

} // namespace

const uint8_t kScan8[64] = {0,  8,  1,  9,  16, 24, 17, 25, 2,  10, 3,  11, 18, 26, 19, 27,
                            32, 40, 33, 34, 41, 48, 56, 49, 42, 35, 43, 50, 57, 58, 51, 59,
                            4,  12, 5,  6,  13, 20, 28, 21, 14, 7,  15, 22, 29, 36, 44, 37,
                            30, 23, 31, 38, 45, 52, 60, 53, 46, 39, 47, 54, 61, 62, 55, 63};

uint16_t DcDescriptor(unsigned index) {
    return Lookup(kDc, index);
}
uint16_t RunDescriptor(unsigned index) {
    return Lookup(kRun, index);
}
uint16_t ZeroDescriptor(unsigned index) {
    return Lookup(kZero, index);
}
uint16_t LevelDescriptor(unsigned index) {
    return Lookup(kLevel, index);
}

int BitReader::Bit(size_t index) const {
    const size_t byte = index / 8;
    if (byte >= m_size) return 0;
    return (m_data[byte] >> (7 - index % 8)) & 1;
}

uint32_t BitReader::Peek32() const {
    uint32_t v = 0;
    for (int i = 0; i < 32; ++i) v = v << 1 | static_cast<uint32_t>(Bit(m_bit + static_cast<size_t>(i)));
    return v;
}

uint32_t BitReader::Read(int count) {
    uint64_t v = 0;
    for (int i = 0; i < count; ++i) v = v << 1 | static_cast<uint64_t>(Bit(m_bit++));
    return static_cast<uint32_t>(v);
}

uint32_t ReadCodeword(BitReader& bits, uint16_t descriptor) {
    const unsigned s = descriptor >> 8, k = (descriptor >> 4) & 15, r = descriptor & 15;
    const uint32_t peek = bits.Peek32();
    unsigned q = 0;
    while (q < 31 && !(peek & (0x80000000u >> q))) ++q;
    if (q <= s) {
        bits.Read(static_cast<int>(q) + 1);
        return (q << r) + bits.Read(static_cast<int>(r));
    }
    const int length = static_cast<int>(2 * q + k - s);
    const uint64_t first = bits.Read(length);
    return static_cast<uint32_t>(first + (uint64_t{s + 1} << r) - (uint64_t{1} << k));
}

void DecodeComponent(const uint8_t* data, size_t size, int log2Blocks, int scaleIndex,
                     int16_t* coefficients) {
    const int nb = 1 << log2Blocks;
    const int n = scaleIndex <= 1 ? 64 : scaleIndex == 2 ? 16 : 4;
    const uint8_t* scan = scaleIndex <= 1 ? kScan8 : scaleIndex == 2 ? kScan4 : kScan2;
    const int side = scaleIndex <= 1 ? 8 : scaleIndex == 2 ? 4 : 2;
    std::memset(coefficients, 0, sizeof(int16_t) * 64 * static_cast<size_t>(nb));
    auto store = [&](int g, int value) {
        const int k = g >> log2Blocks, b = g & (nb - 1);
        const int raster = scan[k]; // raster index in a side x side block
        const int u = raster / side, v = raster % side;
        coefficients[b * 64 + 8 * u + v] = static_cast<int16_t>(static_cast<uint16_t>(value));
    };
    BitReader bits(data, size);
    uint16_t dcD = 100, runD = 66, zeroD = 0, levelD = 49;
    const int total = n * nb;

    if (bits.Peek32() == 0) return;
    const uint32_t c0 = ReadCodeword(bits, 700);
    int dc = (c0 & 1) ? -static_cast<int>((c0 + 1) / 2) : static_cast<int>(c0 / 2);
    store(0, dc);
    bool negative = false;
    for (int g = 1; g < nb; ++g) {
        if (bits.Peek32() == 0) return;
        const uint32_t c = ReadCodeword(bits, dcD);
        const int m = static_cast<int>((c + 1) >> 1);
        const int delta = ((c & 1) != 0) != negative ? -m : m;
        dc += delta;
        store(g, dc);
        negative = delta < 0;
        dcD = DcDescriptor(static_cast<unsigned>(m < 12 ? m : 12));
    }
    auto readLevel = [&](uint32_t& u) {
        u = ReadCodeword(bits, levelD);
        levelD = LevelDescriptor(u < 94 ? u : 94);
        const uint32_t sign = bits.Read(1);
        return sign ? -static_cast<int>(u + 1) : static_cast<int>(u + 1);
    };
    int g = nb;
    while (g < total) {
        if (bits.Peek32() == 0) return;
        const uint32_t count = ReadCodeword(bits, runD);
        for (uint32_t i = 0; i < count; ++i) {
            if (bits.Peek32() == 0) return;
            uint32_t u;
            const int level = readLevel(u);
            store(g, level);
            if (++g == total) return;
        }
        if (bits.Peek32() == 0) return;
        const uint32_t z = ReadCodeword(bits, zeroD);
        zeroD = ZeroDescriptor(z < 27 ? z : 27);
        g += static_cast<int>(z) + 1;
        if (g >= total) return;
        if (bits.Peek32() == 0) return;
        uint32_t u;
        const int level = readLevel(u);
        runD = RunDescriptor(u < 14 ? u : 14);
        store(g, level);
        ++g;
    }
}

std::vector<int> SlicePartition(int mbWidth, int log2SliceWidth) {
    std::vector<int> widths;
    int remaining = mbWidth;
    for (int w = log2SliceWidth; w >= 0; --w)
        while (remaining >= (1 << w)) {
            widths.push_back(w);
            remaining -= 1 << w;
        }
    return widths;
}

uint16_t ToneCurveKnotsOf(const uint16_t knots[8], uint32_t s) {
    const uint32_t i = s >> 13;
    const uint32_t d = static_cast<uint16_t>((i == 7 ? 65536u : knots[i + 1]) - knots[i]);
    const uint32_t out = (knots[i] * 8192u + (s & 8191u) * d + 4096u) >> 13;
    return static_cast<uint16_t>(out > 65535 ? 65535 : out);
}

namespace {

// cos((2m + 1)u pi / 2N) scaled by C(u), for N = 8 and 4.
struct Basis {
    double w8[8][8], w4[4][4];
    Basis() {
        const double pi = 3.14159265358979323846;
        for (int u = 0; u < 8; ++u)
            for (int m = 0; m < 8; ++m)
                w8[u][m] = (u ? std::sqrt(2.0) : 1.0) * std::cos((2 * m + 1) * u * pi / 16);
        for (int u = 0; u < 4; ++u)
            for (int m = 0; m < 4; ++m)
                w4[u][m] = (u ? std::sqrt(2.0) : 1.0) * std::cos((2 * m + 1) * u * pi / 8);
    }
    double At(int side, int u, int m) const { return side == 8 ? w8[u][m] : w4[u][m]; }
};
const Basis kBasis;

// Inverse transform of the top-left side x side coefficients (8x8 raster, dequantised) in double:
// x(m, n) = sum C(u) C(v) F(u, v) cos((2m + 1)u pi / 2N) cos((2n + 1)v pi / 2N), rounded.
void InverseTransform(const int32_t* f, int side, int32_t* out) {
    for (int m = 0; m < side; ++m)
        for (int n = 0; n < side; ++n) {
            if (side == 2) { // integer sums and differences
                const int sm = m ? -1 : 1, sn = n ? -1 : 1;
                out[m * side + n] = f[0] + sm * f[8] + sn * f[1] + sm * sn * f[9];
                continue;
            }
            double x = 0;
            for (int u = 0; u < side; ++u)
                for (int v = 0; v < side; ++v)
                    x += f[8 * u + v] * kBasis.At(side, u, m) * kBasis.At(side, v, n);
            out[m * side + n] = static_cast<int32_t>(std::floor(x + 0.5)); // 32768 added by the caller
        }
}

const size_t kHeaderAt = 8; // the header follows the frame size and the "tsrf" tag

// The header fields into `out` and its size into `headerSize`; false for an invalid frame.
bool ReadHeader(const std::vector<uint8_t>& f, Frame& out, uint32_t& headerSize) {
    const size_t size = f.size();
    if (size < 8) return false;
    const uint32_t frameSize = U16(f, 0) << 16 | U16(f, 2);
    if (frameSize == 0 || frameSize > size) return false;
    if (std::memcmp(&f[4], "tsrf", 4) != 0) return false;
    const size_t h = kHeaderAt;
    if (size < h + 72) return false;
    headerSize = U16(f, h);
    out.version = f[h + 3];
    out.width = static_cast<int>(U16(f, h + 8));
    out.height = static_cast<int>(U16(f, h + 10));
    out.bayerPattern = static_cast<int>(U16(f, h + 16) & 3);
    out.whiteLevelCode = static_cast<int>(U16(f, h + 18));
    const uint32_t flags = U16(f, h + 70);
    const bool hasMatrix = flags & 1, hasCurve = flags & 16;
    out.log2SliceWidth = static_cast<int>((flags >> 1) & 7);
    size_t at = h + 72;
    for (int i = 0; i < 64; ++i) out.quantMatrix[i] = 1;
    if (hasMatrix) {
        if (size < at + 64) return false;
        for (int i = 0; i < 64; ++i) out.quantMatrix[i] = f[at + static_cast<size_t>(i)];
        at += 64;
    }
    const uint16_t defaults[8] = {0, 512, 1024, 2048, 4096, 8192, 16384, 32768};
    std::memcpy(out.toneCurve, defaults, sizeof defaults);
    if (hasCurve) {
        if (size < at + 16) return false;
        for (int i = 0; i < 8; ++i)
            out.toneCurve[i] = static_cast<uint16_t>(U16(f, at + 2 * static_cast<size_t>(i)));
        at += 16;
    }
    if (headerSize < at - h || out.version > 1 || (out.version == 0 && hasCurve)) return false;
    if (out.width == 0 || out.height == 0 || (out.width & 1) || (out.height & 1) || out.log2SliceWidth > 4)
        return false;
    for (int i = 0; i < 64; ++i)
        if (out.quantMatrix[i] < 1 || out.quantMatrix[i] > 63) return false;
    for (int i = 1; i < 8; ++i)
        if (out.toneCurve[i] <= out.toneCurve[i - 1]) return false;
    return true;
}

struct Slice {
    size_t start, size;
};

// The slice size table at `table` and where each slice starts; also the largest qScale into
// out.maxDcStep. False when the table or a slice runs past the end.
bool ReadSliceTable(const std::vector<uint8_t>& f, size_t table, size_t count, Frame& out,
                    std::vector<Slice>& slices) {
    if (table + 2 * count > f.size()) return false;
    slices.resize(count);
    size_t pos = table + 2 * count;
    int maxQ = 0;
    for (size_t i = 0; i < count; ++i) {
        slices[i] = {pos, U16(f, table + 2 * i)};
        if (pos + slices[i].size > f.size()) return false;
        if (slices[i].size >= 2 && f[pos + 1] > maxQ) maxQ = f[pos + 1];
        pos += slices[i].size;
    }
    out.maxDcStep = maxQ * out.quantMatrix[0];
    return true;
}

// Whole macroblocks are decoded into this picture, then cropped to the frame's output size.
struct Canvas {
    int scaleIndex, side, mbOut, channels, width;
    std::vector<uint16_t> values;
};

// Block b of component c: dequantised, inverse transformed, through the tone curve.
void ReconstructBlock(const Frame& out, const int16_t* levels, int q, int side, int32_t* samples) {
    int32_t dq[64];
    for (int i = 0; i < 64; ++i) {
        const int32_t p = levels[i] * (out.quantMatrix[i] * q);
        dq[i] = p < -32768 ? -32768 : p > 32767 ? 32767 : p;
    }
    int32_t x[64];
    InverseTransform(dq, side, x);
    for (int i = 0; i < side * side; ++i) {
        const int32_t v = x[i] + 32768;
        samples[i] = ToneCurveKnotsOf(out.toneCurve, static_cast<uint32_t>(v < 0       ? 0
                                                                           : v > 65535 ? 65535
                                                                                       : v));
    }
}

// One block's four components at (ox, oy): a Bayer mosaic at scale index 0, RGBA pixels above.
void PlaceBlock(const Frame& out, const int32_t (&samples)[4][64], int ox, int oy, Canvas& canvas) {
    const int side = canvas.side;
    const size_t width = static_cast<size_t>(canvas.width);
    for (int m = 0; m < side; ++m)
        for (int n = 0; n < side; ++n) {
            if (canvas.scaleIndex == 0) {
                for (int r = 0; r < 2; ++r)
                    for (int cc = 0; cc < 2; ++cc) {
                        const int comp = kCell[out.bayerPattern][r][cc];
                        canvas.values[static_cast<size_t>(oy + 2 * m + r) * width +
                                      static_cast<size_t>(ox + 2 * n + cc)] =
                            static_cast<uint16_t>(samples[comp][m * side + n]);
                    }
            } else {
                uint16_t* p =
                    &canvas.values[(static_cast<size_t>(oy + m) * width + static_cast<size_t>(ox + n)) * 4];
                p[0] = static_cast<uint16_t>(samples[3][m * side + n]);
                p[1] = static_cast<uint16_t>(samples[0][m * side + n]);
                p[2] = static_cast<uint16_t>(samples[2][m * side + n]);
                p[3] = 65535;
            }
        }
}

// The slice of 1 << log2w macroblocks starting at macroblock (mbx0, mby); false (and nothing
// drawn) when its header is unusable.
bool DecodeSlice(const std::vector<uint8_t>& f, const Slice& slice, int log2w, int mbx0, int mby,
                 const Frame& out, Canvas& canvas) {
    const size_t start = slice.start, length = slice.size;
    if (length < 8) return false;
    const size_t hs = f[start] >> 3;
    const int q = f[start + 1];
    const size_t c0 = U16(f, start + 2), c1 = U16(f, start + 4), c2 = U16(f, start + 6);
    if (hs < 8 || q == 0 || c0 == 0 || c1 == 0 || c2 == 0 || hs + c0 + c1 + c2 >= length) return false;
    const size_t compStart[4] = {start + hs, start + hs + c0, start + hs + c0 + c1,
                                 start + hs + c0 + c1 + c2};
    const size_t compSize[4] = {c0, c1, c2, length - hs - c0 - c1 - c2};
    const int s = canvas.scaleIndex;
    std::vector<int16_t> levels(4 * 16 * 64);
    for (int c = 0; c < 4; ++c) {
        if (c == 1 && s != 0) continue;
        DecodeComponent(&f[compStart[c]], compSize[c], log2w, s, &levels[static_cast<size_t>(c) * 16 * 64]);
    }
    for (int b = 0; b < 1 << log2w; ++b) {
        int32_t samples[4][64];
        for (int c = 0; c < 4; ++c) {
            if (c == 1 && s != 0) continue;
            ReconstructBlock(out, &levels[static_cast<size_t>(c) * 1024 + static_cast<size_t>(b) * 64], q,
                             canvas.side, samples[c]);
        }
        PlaceBlock(out, samples, (mbx0 + b) * canvas.mbOut, mby * canvas.mbOut, canvas);
    }
    return true;
}

} // namespace

int DecodeFrame(const std::vector<uint8_t>& f, int scaleIndex, Frame& out) {
    out = Frame{};
    uint32_t headerSize = 0;
    if (!ReadHeader(f, out, headerSize)) return -2;

    const int mbWidth = (out.width + 15) / 16, mbHeight = (out.height + 15) / 16;
    const std::vector<int> row = SlicePartition(mbWidth, out.log2SliceWidth);
    std::vector<Slice> slices;
    if (!ReadSliceTable(f, kHeaderAt + headerSize, row.size() * static_cast<size_t>(mbHeight), out, slices))
        return -2;

    const int s = scaleIndex;
    out.outputWidth = out.width >> s;
    out.outputHeight = out.height >> s;
    Canvas canvas{s, s <= 1 ? 8 : s == 2 ? 4 : 2, 16 >> s, s == 0 ? 1 : 4, 0, {}};
    canvas.width = mbWidth * canvas.mbOut;
    canvas.values.assign(static_cast<size_t>(canvas.width) * static_cast<size_t>(mbHeight * canvas.mbOut) *
                             static_cast<size_t>(canvas.channels),
                         0);
    size_t index = 0;
    for (int mby = 0; mby < mbHeight; ++mby) {
        int mbx = 0;
        for (int log2w : row) {
            if (!DecodeSlice(f, slices[index++], log2w, mbx, mby, out, canvas)) ++out.skippedSlices;
            mbx += 1 << log2w;
        }
    }
    const size_t outRow = static_cast<size_t>(out.outputWidth) * static_cast<size_t>(canvas.channels);
    const size_t canvasRow = static_cast<size_t>(canvas.width) * static_cast<size_t>(canvas.channels);
    out.samples.resize(outRow * static_cast<size_t>(out.outputHeight));
    for (int y = 0; y < out.outputHeight; ++y)
        std::memcpy(&out.samples[static_cast<size_t>(y) * outRow],
                    &canvas.values[static_cast<size_t>(y) * canvasRow], sizeof(uint16_t) * outRow);
    return 0;
}

} // namespace reference
