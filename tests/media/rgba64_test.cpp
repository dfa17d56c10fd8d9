// The 16-bit RGBA writer against the display transform (the picture a proxy shows) and against
// the plain clip of the engine's values, over every half value, whole and in bands of rows.
#include <gtest/gtest.h>
#include <half.h>

#include <cmath>
#include <cstring>

#include "tsr/media/displaytransform.h"
#include "tsr/media/rgba64.h"

namespace tsr::media {
namespace {

// Every half bit pattern once, in the red, green and blue samples of 7 rows (alpha left 0).
RgbaFrame EveryHalf() {
    RgbaFrame rgba;
    rgba.width = 65536 / 3 / 7 + 1;
    rgba.height = 7;
    rgba.bytes.assign(static_cast<size_t>(rgba.width * rgba.height) * 8, 0);
    auto* samples = reinterpret_cast<uint16_t*>(rgba.bytes.data());
    for (uint32_t bits = 0; bits < 65536; ++bits)
        samples[bits / 3 * 4 + bits % 3] = static_cast<uint16_t>(bits);
    return rgba;
}

TEST(Rgba64WriterTest, DisplayIsTheProxyPictureAndPlainIsTheClippedValue) {
    const RgbaFrame rgba = EveryHalf();
    const size_t words = static_cast<size_t>(rgba.width * rgba.height) * 4;
    const std::ptrdiff_t stride = 8 * rgba.width;
    for (unsigned curve = 0; curve <= 8; ++curve) {
        std::vector<uint16_t> expected(words), whole(words), banded(words);
        DisplayTransform(curve).ToRgba64(rgba, expected.data(), stride);
        const Rgba64Writer display(curve, true);
        display.Write(rgba, whole.data(), stride, 0, rgba.height);
        EXPECT_EQ(expected, whole) << "curve " << curve;
        for (int first = 0; first < rgba.height; first += 3)
            display.Write(rgba, banded.data(), stride, first, 3);
        EXPECT_EQ(whole, banded) << "curve " << curve;
    }
    std::vector<uint16_t> plain(words);
    Rgba64Writer(1, false).Write(rgba, plain.data(), stride, 0, rgba.height);
    const auto* samples = reinterpret_cast<const uint16_t*>(rgba.bytes.data());
    for (size_t i = 0; i < words; ++i) {
        if (i % 4 == 3) {
            ASSERT_EQ(plain[i], 65535) << i;
            continue;
        }
        half value;
        value.setBits(samples[i]);
        const float v = std::isnan(float(value)) ? 0.0f : std::fmin(std::fmax(float(value), 0.0f), 1.0f);
        // The nearest code; single precision may take the other one of a near tie.
        const double code = 65535.0 * v;
        const double slack = std::fabs(code - std::floor(code) - 0.5) < 0.01 ? 1.0 : 0.0;
        ASSERT_NEAR(plain[i], std::round(code), slack) << "half bits " << samples[i];
    }
}

} // namespace
} // namespace tsr::media
