// Adaptive entropy coding of one component of a slice: the inverse of the slice decoder's
// coefficient reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tsr {

// `levels` holds the component's quantised coefficients in coding order: position g is scan
// position g >> log2Blocks of block g & (blocks - 1), so the first `blocks` entries are the DCs.
// `count` is 64 << log2Blocks. Levels whose codewords would not fit 32 bits, or DC steps too
// large for the delta code, are clamped in place, so afterwards `levels` holds exactly what a
// decoder reads back. Appends the padded bit string to `out` and returns its length in bytes.
size_t EncodeComponent(int16_t* levels, int count, int log2Blocks, std::vector<uint8_t>& out);

} // namespace tsr
