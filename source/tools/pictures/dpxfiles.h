// DPX files of the engine's RGBA: RGB (no alpha), 10 bits packed three to a 32-bit word
// (filled, as most readers expect) or 16 bits a sample, big-endian, values clipped to 0..1.
// The header carries the image size, transfer and colorimetric codes of the curve, and the
// time code and frame rate when they are known.
#pragma once

#include <cstdint>
#include <string>

#include "pictures/pictureformats.h"
#include "tsr/media/rgbaengine.h"

namespace tsr::tools {

// Transfer and colorimetric codes of the DPX image element for an engine curve.
struct DpxCodes {
    uint8_t transfer = 0, colorimetric = 0;
};
DpxCodes DpxCodesForCurve(unsigned curve);

void WriteDpx(const std::string& path, const media::RgbaFrame& frame, const DpxFields& fields);

} // namespace tsr::tools
