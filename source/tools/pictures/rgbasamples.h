// Reading the engine's RGBA sample by sample, and the two mappings every integer writer shares:
// a value clipped to 0..1 to a code, and the 8-bit display value of a preview.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tsr/media/rgbaengine.h"

namespace tsr::tools {

// Channel value of pixel sample `i` (0-based, over all samples) as a float.
float RgbaSample(const media::RgbaFrame& frame, size_t i);

// `value` clipped to 0..1 (NaN to 0) as the nearest code of 0..maximum.
uint32_t QuantisedSample(float value, uint32_t maximum);

// The frame's red, green and blue, each QuantisedSample to 16 bits, three a pixel.
std::vector<uint16_t> QuantisedRgb16(const media::RgbaFrame& frame);

// The 8-bit display value of a linear (sRGB transfer) or already curved value.
uint8_t PreviewValue(float value, bool linear);

} // namespace tsr::tools
