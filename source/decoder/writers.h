// Writers that place the reconstructed blocks of one macroblock into the caller's image with the
// tone curve applied: four full-size mosaic writers (one per Bayer pattern) and three
// reduced-size writers of four 16-bit channels per pixel.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tsr {

// The tone curve as the writers apply it: tabulated for every 16-bit value, and as the knots
// and slopes of its eight segments for the writers that compute it.
struct WriterCurve {
    const uint16_t* table = nullptr;
    uint16_t knots[8] = {};
    uint16_t slopes[8] = {};
};

// samples[c] holds the side x side reconstructed samples of component c (0, 1: green, 2: blue,
// 3: red). Writes `rows` output rows of the macroblock starting at out, rows rowPitch bytes apart,
// every column of the macroblock.
using MacroblockWriter = void (*)(const uint16_t* const samples[4], uint8_t* out, ptrdiff_t rowPitch,
                                  int rows, const WriterCurve& curve);

// Null when no writer exists: a reduced-size layout at scale index 0 or an index outside 0..3.
// With `vector` (the processor runs AVX), the full-size and half-size writers compute the curve
// eight samples at a time; their output is the same.
MacroblockWriter SelectWriter(bool fullSizeMosaic, int scaleIndex, int bayerPattern, bool vector = false);

// The computing writers alone: scale index 0 (per pattern) and 1; null otherwise.
MacroblockWriter SelectVectorWriter(int scaleIndex, int bayerPattern);

} // namespace tsr
