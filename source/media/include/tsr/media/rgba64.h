// The engine's RGBA as 16-bit RGBA for players and pipelines: either the display values a proxy
// shows (DisplayTransform's encoding of the curve) or the engine's values themselves, clipped to
// 0..1. Code = value * 65535, rounded; alpha 65535. One table lookup a sample, so a frame can be
// written in row bands on several threads.
//
//   const tsr::media::Rgba64Writer writer(rgba.curve, /*display*/ true);
//   writer.Write(rgba, pixels, stride, 0, rgba.height);   // or bands of rows in parallel
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tsr/media/rgbaengine.h"

namespace tsr::media {

class Rgba64Writer {
public:
    // `display` false: the engine's values clipped to 0..1, whatever the curve.
    Rgba64Writer(unsigned curve, bool display);
    unsigned Curve() const { return m_curve; }
    bool Display() const { return m_display; }
    // Writes rows firstRow .. firstRow + rowCount - 1 of `rgba` into `pixels` (row 0 of the
    // picture at `pixels`), rows `rowStride` bytes apart.
    void Write(const RgbaFrame& rgba, uint16_t* pixels, std::ptrdiff_t rowStride, int firstRow,
               int rowCount) const;

private:
    unsigned m_curve;
    bool m_display;
    std::vector<uint16_t> m_codes; // the code of every half bit pattern
};

} // namespace tsr::media
