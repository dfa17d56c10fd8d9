// Encodes one slice: gathers its macroblocks from the mosaic, maps samples back through the tone
// curve, transforms, quantises and entropy-codes the four components behind a slice header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/tonecurve.h"

namespace tsr {

// What every slice of a frame shares.
struct SliceSource {
    const uint16_t* mosaic = nullptr;
    int width = 0;
    int height = 0;
    ptrdiff_t rowPitchSamples = 0;
    int bayerPattern = 0;
    const InverseToneCurve* inverseCurve = nullptr;
    const uint8_t* quantMatrix = nullptr; // 64 weights, raster order
    int headerExtension = 0;              // bytes after the 8-byte slice header
};

class SliceEncoder {
public:
    // Computes the transform coefficients of the slice's 2^log2Width macroblocks starting at
    // macroblock (mbX, mbY). Independent of qScale, so a slice can be emitted more than once.
    void Transform(const SliceSource& source, int mbX, int mbY, int log2Width);

    // Quantises with `qScale` and appends the slice to `out`. Returns its size in bytes, or 0
    // (and appends nothing) when the slice or one of its first three components would not fit
    // its 16-bit size field.
    size_t Emit(const SliceSource& source, int qScale, std::vector<uint8_t>& out);

private:
    int m_log2Width = 0;
    float m_coefficients[4][16][64]; // component, macroblock, raster index
    int16_t m_levels[16 * 64];       // one component in coding order
};

} // namespace tsr
