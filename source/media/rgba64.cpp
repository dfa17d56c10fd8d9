#include "tsr/media/rgba64.h"

#include <half.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tsr/media/displaytransform.h"

namespace tsr::media {

namespace {

float Clip(float value) {
    return std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
}

} // namespace

Rgba64Writer::Rgba64Writer(unsigned curve, bool display)
    : m_curve(curve), m_display(display), m_codes(65536) {
    for (size_t bits = 0; bits < m_codes.size(); ++bits) {
        half value;
        value.setBits(static_cast<uint16_t>(bits));
        const float clipped = Clip(static_cast<float>(value));
        const float shown = display ? DisplayEncode(curve, clipped) : clipped;
        m_codes[bits] = static_cast<uint16_t>(65535.0f * shown + 0.5f);
    }
}

void Rgba64Writer::Write(const RgbaFrame& rgba, uint16_t* pixels, std::ptrdiff_t rowStride, int firstRow,
                         int rowCount) const {
    const size_t width = static_cast<size_t>(rgba.width);
    const uint16_t* codes = m_codes.data();
    for (int y = firstRow; y < firstRow + rowCount && y < rgba.height; ++y) {
        auto* out = reinterpret_cast<uint16_t*>(reinterpret_cast<uint8_t*>(pixels) + y * rowStride);
        const size_t first = static_cast<size_t>(y) * width * 4;
        if (rgba.isFloat) {
            const auto* in = reinterpret_cast<const float*>(rgba.bytes.data()) + first;
            for (size_t x = 0; x < width; ++x) {
                for (size_t c = 0; c < 3; ++c) out[4 * x + c] = codes[half(Clip(in[4 * x + c])).bits()];
                out[4 * x + 3] = 65535;
            }
            continue;
        }
        // Whole pixels as one 64-bit store each: red, green, blue and an opaque alpha, little-endian.
        const auto* in = reinterpret_cast<const uint16_t*>(rgba.bytes.data()) + first;
        for (size_t x = 0; x < width; ++x, in += 4) {
            const uint64_t pixel = static_cast<uint64_t>(codes[in[0]]) |
                                   static_cast<uint64_t>(codes[in[1]]) << 16 |
                                   static_cast<uint64_t>(codes[in[2]]) << 32 | uint64_t{0xFFFF} << 48;
            std::memcpy(out + 4 * x, &pixel, sizeof pixel);
        }
    }
}

} // namespace tsr::media
