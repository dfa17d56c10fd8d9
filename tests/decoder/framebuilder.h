// Builds compressed frames byte by byte for decoder tests, independently of the encoder:
// a header with every field, a slice table and slices whose components are given as bit strings.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tsr::test {

// Appends bits written as a string of '0' and '1' (spaces ignored), padded to a byte.
inline std::vector<uint8_t> BitsToBytes(const std::string& bits) {
    std::vector<uint8_t> out;
    int used = 0;
    for (char c : bits) {
        if (c != '0' && c != '1') continue;
        if (used == 0) out.push_back(0);
        if (c == '1') out.back() |= static_cast<uint8_t>(0x80 >> used);
        used = (used + 1) & 7;
    }
    return out;
}

// The bits of value v in n bits, most significant first.
inline std::string BitsOf(uint32_t v, int n) {
    std::string s;
    for (int i = n - 1; i >= 0; --i) s += ((v >> i) & 1) ? '1' : '0';
    return s;
}

// A first-DC codeword (descriptor 700) for a DC value: "1" + 12 bits while it fits.
inline std::string FirstDcCodeword(int dc) {
    const uint32_t c = dc >= 0 ? uint32_t(2 * dc) : uint32_t(-2 * dc - 1);
    if (c < (3u << 12)) return std::string(c >> 12, '0') + "1" + BitsOf(c & 4095, 12);
    const uint32_t m = c - (3u << 12) + (1u << 11);
    int n = 0;
    while ((m >> n) != 0) ++n;
    return std::string(n - 11 + 2, '0') + BitsOf(m, n);
}

struct SliceLayout {
    uint8_t headerByte = 8 << 3;
    uint8_t qScale = 1;
    std::vector<uint8_t> components[4] = {{0}, {0}, {0}, {0}};
    int sizeOverride[3] = {-1, -1, -1}; // component sizes written into the header
};

struct FrameLayout {
    uint8_t version = 1;
    uint16_t width = 32, height = 32;
    uint8_t infoBytes[4] = {1, 2, 3, 4};
    uint16_t bayerWord = 0;
    uint16_t whiteLevelCode = 3839;
    float gain0 = 2.0f, gain1 = 1.5f;
    float colorMatrix[9] = {0.5f, 0.25f, 0.125f, 1, 2, 3, -1, -2, -3};
    float auxFloat = 0.75f;
    uint16_t auxWord = 0xBEEF;
    uint16_t flags = 0;               // log2SliceWidth and flag bits, as stored
    std::vector<uint8_t> quantMatrix; // present when not empty (sets the flag)
    std::vector<uint16_t> toneCurve;  // present when not empty (sets the flag)
    int headerSizeDelta = 0;          // added to the exact header size
    std::vector<SliceLayout> slices;  // must match the partition
};

class FrameBytes {
public:
    std::vector<uint8_t> bytes;
    void U8(uint32_t v) { bytes.push_back(static_cast<uint8_t>(v)); }
    void U16(uint32_t v) { U8(v >> 8), U8(v); }
    void U32(uint32_t v) { U16(v >> 16), U16(v); }
    void F32(float f) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        U32(v);
    }
};

inline std::vector<uint8_t> BuildFrame(const FrameLayout& f) {
    FrameBytes b;
    b.U32(0);
    for (char c : std::string("tsrf")) b.U8(uint8_t(c));
    const bool qm = !f.quantMatrix.empty(), tc = !f.toneCurve.empty();
    const int headerSize = 72 + (qm ? 64 : 0) + (tc ? 16 : 0) + f.headerSizeDelta;
    b.U16(uint16_t(headerSize));
    b.U8(0);
    b.U8(f.version);
    b.U32(0xA5A5A5A5);
    b.U16(f.width);
    b.U16(f.height);
    for (uint8_t v : f.infoBytes) b.U8(v);
    b.U16(f.bayerWord);
    b.U16(f.whiteLevelCode);
    b.F32(f.gain0);
    b.F32(f.gain1);
    for (float m : f.colorMatrix) b.F32(m);
    b.F32(f.auxFloat);
    b.U16(f.auxWord);
    b.U16(f.flags | (qm ? 1 : 0) | (tc ? 16 : 0));
    for (uint8_t w : f.quantMatrix) b.U8(w);
    for (uint16_t k : f.toneCurve) b.U16(k);
    for (int i = 0; i < f.headerSizeDelta; ++i) b.U8(0xEE);
    std::vector<std::vector<uint8_t>> slices;
    for (const SliceLayout& s : f.slices) {
        FrameBytes sb;
        sb.U8(s.headerByte);
        sb.U8(s.qScale);
        for (int c = 0; c < 3; ++c)
            sb.U16(s.sizeOverride[c] >= 0 ? uint32_t(s.sizeOverride[c]) : uint32_t(s.components[c].size()));
        for (int i = 8; i < (s.headerByte >> 3); ++i) sb.U8(0x77);
        for (const auto& c : s.components) sb.bytes.insert(sb.bytes.end(), c.begin(), c.end());
        slices.push_back(sb.bytes);
    }
    for (const auto& s : slices) b.U16(uint32_t(s.size()));
    for (const auto& s : slices) b.bytes.insert(b.bytes.end(), s.begin(), s.end());
    const uint32_t size = uint32_t(b.bytes.size());
    for (int i = 0; i < 4; ++i) b.bytes[i] = uint8_t(size >> (24 - 8 * i));
    return b.bytes;
}

// A frame of w x h whose slices all carry the given per-component DC values (no AC).
inline FrameLayout DcFrame(uint16_t w, uint16_t h, int log2SliceWidth, const int dc[4]) {
    FrameLayout f;
    f.width = w;
    f.height = h;
    f.flags = uint16_t(log2SliceWidth << 1);
    const int mbw = (w + 15) / 16, mbh = (h + 15) / 16;
    std::vector<int> widths; // slice widths of one row, largest first
    for (int lw = log2SliceWidth, x = 0; lw >= 0; --lw)
        for (; mbw - x >= (1 << lw); x += 1 << lw) widths.push_back(1 << lw);
    for (int row = 0; row < mbh; ++row) {
        for (int nb : widths) {
            SliceLayout s;
            // Every block gets the same DC: the first DC, then deltas of 0 (codeword 0 is "10000"
            // with the start descriptor 0,6,4 and "1" with the DC table's entry 0 after that).
            std::string deltas = nb > 1 ? "10000" + std::string(nb - 2, '1') : "";
            for (int c = 0; c < 4; ++c) s.components[c] = BitsToBytes(FirstDcCodeword(dc[c]) + deltas);
            f.slices.push_back(s);
        }
    }
    return f;
}

// A frame of `totalBytes` claiming a 65534 x 65534 picture: a valid header, then zero slice sizes
// up to the end, far short of the slice table such a picture needs (millions of entries).
inline std::vector<uint8_t> HugeClaimFrame(int log2SliceWidth, size_t totalBytes = 2518) {
    FrameLayout f;
    f.width = f.height = 65534;
    f.flags = uint16_t(log2SliceWidth << 1);
    std::vector<uint8_t> bytes = BuildFrame(f);
    bytes.resize(totalBytes, 0);
    for (int i = 0; i < 4; ++i) bytes[i] = uint8_t(totalBytes >> (24 - 8 * i));
    return bytes;
}

} // namespace tsr::test
