// Writers that place the reconstructed blocks of one macroblock into the caller's image with the
// tone curve applied: four full-size mosaic writers (one per Bayer pattern) and three
// reduced-size writers of four 16-bit channels per pixel.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tsr {

// samples[c] holds the side x side reconstructed samples of component c (0, 1: green, 2: blue,
// 3: red); curve maps every 16-bit value through the tone curve. Writes `rows` output rows of
// the macroblock starting at out, rows rowPitch bytes apart, every column of the macroblock.
using MacroblockWriter = void (*)(const uint16_t* const samples[4], uint8_t* out, ptrdiff_t rowPitch,
                                  int rows, const uint16_t* curve);

// Null when no writer exists: a reduced-size layout at scale index 0 or an index outside 0..3.
MacroblockWriter SelectWriter(bool fullSizeMosaic, int scaleIndex, int bayerPattern);

} // namespace tsr
