// Byte layout of a compressed frame: field offsets, flags, defaults and the slice partition.
// All multi-byte values in a frame are big-endian.
#pragma once

#include <cstdint>

namespace tsr {

constexpr uint8_t kFrameMagic[4] = {'t', 's', 'r', 'f'};
constexpr int kFrameHeaderStart = 8; // the frame header follows frameSize and the magic

// Offsets inside the frame header.
namespace header {
constexpr int kHeaderSize = 0;      // u16
constexpr int kVersion = 3;         // u8
constexpr int kHeaderWord = 4;      // u32
constexpr int kWidth = 8;           // u16
constexpr int kHeight = 10;         // u16
constexpr int kInfoBytes = 12;      // 4 x u8
constexpr int kBayerPattern = 16;   // u16, low 2 bits used
constexpr int kWhiteLevelCode = 18; // u16
constexpr int kGain0 = 20;          // f32
constexpr int kGain1 = 24;          // f32
constexpr int kColorMatrix = 28;    // 9 x f32
constexpr int kAuxFloat = 64;       // f32
constexpr int kAuxWord = 68;        // u16
constexpr int kFrameFlags = 70;     // u16
constexpr int kFixedSize = 72;      // bytes always present
constexpr int kQuantMatrixSize = 64;
constexpr int kToneCurveSize = 16;
} // namespace header

namespace flags {
constexpr uint16_t kHasQuantMatrix = 1u << 0;
constexpr int kLog2SliceWidthShift = 1; // bits 1..3
constexpr uint16_t kLog2SliceWidthMask = 7u << kLog2SliceWidthShift;
constexpr uint16_t kHasToneCurve = 1u << 4;
} // namespace flags

constexpr int kMaxLog2SliceWidth = 4;
constexpr int kMinSliceHeaderSize = 8;
constexpr int kMacroblockSide = 16;

constexpr uint16_t kDefaultToneCurve[8] = {0, 512, 1024, 2048, 4096, 8192, 16384, 32768};

constexpr int Popcount32(uint32_t v) {
    int n = 0;
    for (; v; v &= v - 1) ++n;
    return n;
}

constexpr int MacroblocksFor(int photosites) {
    return (photosites + kMacroblockSide - 1) / kMacroblockSide;
}

// Slices per macroblock row: widths are powers of two, the largest first.
constexpr int SlicesPerRow(int mbWidth, int log2SliceWidth) {
    return (mbWidth >> log2SliceWidth) +
           Popcount32(static_cast<uint32_t>(mbWidth) & ((1u << log2SliceWidth) - 1));
}

// Walks the slices of one macroblock row from left to right: calls fn(firstMacroblock, log2Width).
template <typename Fn> void ForEachSliceInRow(int mbWidth, int log2SliceWidth, Fn&& fn) {
    int x = 0;
    for (int log2w = log2SliceWidth; log2w >= 0; --log2w) {
        const int w = 1 << log2w;
        while (mbWidth - x >= w) {
            fn(x, log2w);
            x += w;
        }
    }
}

} // namespace tsr
