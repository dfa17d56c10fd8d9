// Files from the engine's RGBA output: raw (the bytes exactly), OpenEXR (half or float as
// produced), 16-bit PNG/TIFF (RGB, clamped to 0..1) and an 8-bit PNG preview. Linear output
// (curve indices 0 and 1) gets the sRGB transfer function in the preview; curved output is
// shown as it is.
#pragma once

#include <cstdint>
#include <string>

#include "pictures/imagefiles.h"
#include "support/outputnames.h"
#include "tsr/media/rgbaengine.h"

namespace tsr::tools {

void WriteRgbaPicture(const media::RgbaFrame& frame, PictureFormat format, const std::string& path,
                      ExrCompression compression);

// Channel value of pixel sample `i` (0-based, over all samples) as a float.
float RgbaSample(const media::RgbaFrame& frame, size_t i);

// `value` clipped to 0..1 (NaN to 0) as the nearest code of 0..maximum.
uint32_t QuantisedSample(float value, uint32_t maximum);

// The 8-bit display value of a linear (sRGB transfer) or already curved value.
uint8_t PreviewValue(float value, bool linear);

} // namespace tsr::tools
