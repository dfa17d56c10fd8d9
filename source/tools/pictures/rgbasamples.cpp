#include "pictures/rgbasamples.h"

#include <half.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tsr::tools {

using namespace media;

float RgbaSample(const RgbaFrame& frame, size_t i) {
    if (frame.isFloat) {
        float value;
        std::memcpy(&value, frame.bytes.data() + 4 * i, sizeof value);
        return value;
    }
    uint16_t bits;
    std::memcpy(&bits, frame.bytes.data() + 2 * i, sizeof bits);
    half value;
    value.setBits(bits);
    return static_cast<float>(value);
}

uint32_t QuantisedSample(float value, uint32_t maximum) {
    const float clipped = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
    return static_cast<uint32_t>(std::lround(clipped * static_cast<float>(maximum)));
}

uint8_t PreviewValue(float value, bool linear) {
    float v = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
    if (linear) v = v <= 0.0031308f ? 12.92f * v : 1.055f * std::pow(v, 1.0f / 2.4f) - 0.055f;
    return static_cast<uint8_t>(std::lround(v * 255.0f));
}

std::vector<uint16_t> QuantisedRgb16(const RgbaFrame& frame) {
    const size_t pixels = static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height);
    std::vector<uint16_t> rgb(pixels * 3);
    for (size_t p = 0; p < pixels; ++p)
        for (size_t c = 0; c < 3; ++c)
            rgb[3 * p + c] = static_cast<uint16_t>(QuantisedSample(RgbaSample(frame, 4 * p + c), 65535));
    return rgb;
}

} // namespace tsr::tools
