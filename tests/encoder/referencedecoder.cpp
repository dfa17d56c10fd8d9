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

} // namespace

int DecodeFrame(const std::vector<uint8_t>& f, int scaleIndex, Frame& out) {
    out = Frame{};
    const size_t size = f.size();
    if (size < 8) return -2;
    const uint32_t frameSize = U16(f, 0) << 16 | U16(f, 2);
    if (frameSize == 0 || frameSize > size) return -2;
    if (std::memcmp(&f[4], "tsrf", 4) != 0) return -2;
    const size_t h = 8;
    if (size < h + 72) return -2;
    const uint32_t headerSize = U16(f, h);
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
        if (size < at + 64) return -2;
        for (int i = 0; i < 64; ++i) out.quantMatrix[i] = f[at + static_cast<size_t>(i)];
        at += 64;
    }
    const uint16_t defaults[8] = {0, 512, 1024, 2048, 4096, 8192, 16384, 32768};
    std::memcpy(out.toneCurve, defaults, sizeof defaults);
    if (hasCurve) {
        if (size < at + 16) return -2;
        for (int i = 0; i < 8; ++i)
            out.toneCurve[i] = static_cast<uint16_t>(U16(f, at + 2 * static_cast<size_t>(i)));
        at += 16;
    }
    if (headerSize < at - h || out.version > 1 || (out.version == 0 && hasCurve)) return -2;
    if (out.width == 0 || out.height == 0 || (out.width & 1) || (out.height & 1) || out.log2SliceWidth > 4)
        return -2;
    for (int i = 0; i < 64; ++i)
        if (out.quantMatrix[i] < 1 || out.quantMatrix[i] > 63) return -2;
    for (int i = 1; i < 8; ++i)
        if (out.toneCurve[i] <= out.toneCurve[i - 1]) return -2;

    const int mbWidth = (out.width + 15) / 16, mbHeight = (out.height + 15) / 16;
    const std::vector<int> row = SlicePartition(mbWidth, out.log2SliceWidth);
    const size_t sliceCount = row.size() * static_cast<size_t>(mbHeight);
    const size_t table = h + headerSize;
    if (table + 2 * sliceCount > size) return -2;
    std::vector<size_t> sliceStart(sliceCount), sliceSize(sliceCount);
    size_t pos = table + 2 * sliceCount;
    int maxQ = 0;
    for (size_t i = 0; i < sliceCount; ++i) {
        sliceSize[i] = U16(f, table + 2 * i);
        sliceStart[i] = pos;
        if (pos + sliceSize[i] > size) return -2;
        if (sliceSize[i] >= 2 && f[pos + 1] > maxQ) maxQ = f[pos + 1];
        pos += sliceSize[i];
    }
    out.maxDcStep = maxQ * out.quantMatrix[0];

    const int s = scaleIndex;
    const int side = s <= 1 ? 8 : s == 2 ? 4 : 2;
    const int mbOut = 16 >> s;
    out.outputWidth = out.width >> s;
    out.outputHeight = out.height >> s;
    const int channels = s == 0 ? 1 : 4;
    const int fullWidth = mbWidth * mbOut; // whole macroblocks are decoded, then cropped
    std::vector<uint16_t> full(static_cast<size_t>(fullWidth) * static_cast<size_t>(mbHeight * mbOut) *
                                   static_cast<size_t>(channels),
                               0);
    std::vector<int16_t> levels(4 * 16 * 64);
    size_t index = 0;
    for (int mby = 0; mby < mbHeight; ++mby) {
        int mbx = 0;
        for (int log2w : row) {
            const size_t start = sliceStart[index], length = sliceSize[index];
            ++index;
            const int nb = 1 << log2w;
            const int mbx0 = mbx;
            mbx += nb;
            if (length < 8) {
                ++out.skippedSlices;
                continue;
            }
            const size_t hs = f[start] >> 3;
            const int q = f[start + 1];
            const size_t c0 = U16(f, start + 2), c1 = U16(f, start + 4), c2 = U16(f, start + 6);
            if (hs < 8 || q == 0 || c0 == 0 || c1 == 0 || c2 == 0 || hs + c0 + c1 + c2 >= length) {
                ++out.skippedSlices;
                continue;
            }
            const size_t compStart[4] = {start + hs, start + hs + c0, start + hs + c0 + c1,
                                         start + hs + c0 + c1 + c2};
            const size_t compSize[4] = {c0, c1, c2, length - hs - c0 - c1 - c2};
            for (int c = 0; c < 4; ++c) {
                if (c == 1 && s != 0) continue;
                DecodeComponent(&f[compStart[c]], compSize[c], log2w, s,
                                &levels[static_cast<size_t>(c) * 16 * 64]);
            }
            for (int b = 0; b < nb; ++b) {
                int32_t samples[4][64];
                for (int c = 0; c < 4; ++c) {
                    if (c == 1 && s != 0) continue;
                    int32_t dq[64];
                    for (int i = 0; i < 64; ++i) {
                        const int32_t p = levels[static_cast<size_t>(c) * 1024 + static_cast<size_t>(b) * 64 +
                                                 static_cast<size_t>(i)] *
                                          (out.quantMatrix[i] * q);
                        dq[i] = p < -32768 ? -32768 : p > 32767 ? 32767 : p;
                    }
                    int32_t x[64];
                    InverseTransform(dq, side, x);
                    for (int i = 0; i < side * side; ++i) {
                        const int32_t v = x[i] + 32768;
                        samples[c][i] = ToneCurveKnotsOf(out.toneCurve, static_cast<uint32_t>(v < 0       ? 0
                                                                                       : v > 65535 ? 65535
                                                                                                   : v));
                    }
                }
                const int ox = (mbx0 + b) * mbOut, oy = mby * mbOut;
                for (int m = 0; m < side; ++m)
                    for (int n = 0; n < side; ++n) {
                        if (s == 0) {
                            for (int r = 0; r < 2; ++r)
                                for (int cc = 0; cc < 2; ++cc) {
                                    const int comp = kCell[out.bayerPattern][r][cc];
                                    full[static_cast<size_t>(oy + 2 * m + r) *
                                             static_cast<size_t>(fullWidth) +
                                         static_cast<size_t>(ox + 2 * n + cc)] =
                                        static_cast<uint16_t>(samples[comp][m * side + n]);
                                }
                        } else {
                            uint16_t* p =
                                &full[(static_cast<size_t>(oy + m) * static_cast<size_t>(fullWidth) +
                                       static_cast<size_t>(ox + n)) *
                                      4];
                            p[0] = static_cast<uint16_t>(samples[3][m * side + n]);
                            p[1] = static_cast<uint16_t>(samples[0][m * side + n]);
                            p[2] = static_cast<uint16_t>(samples[2][m * side + n]);
                            p[3] = 65535;
                        }
                    }
            }
        }
    }
    out.samples.resize(static_cast<size_t>(out.outputWidth) * static_cast<size_t>(out.outputHeight) *
                       static_cast<size_t>(channels));
    for (int y = 0; y < out.outputHeight; ++y)
        std::memcpy(
            &out.samples[static_cast<size_t>(y) * static_cast<size_t>(out.outputWidth) *
                         static_cast<size_t>(channels)],
            &full[static_cast<size_t>(y) * static_cast<size_t>(fullWidth) * static_cast<size_t>(channels)],
            sizeof(uint16_t) * static_cast<size_t>(out.outputWidth) * static_cast<size_t>(channels));
    return 0;
}

} // namespace reference
