// The display transform (Y'CbCr for codecs, RGBA64 for players), its colour tags, and time codes.
#include <gtest/gtest.h>
#include <half.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tsr/media/displaytransform.h"
#include "tsr/media/mediaerror.h"
#include "tsr/media/timecode.h"

namespace tsr::media::test {
namespace {

RgbaFrame HalfFrame(int width, int height, unsigned curve, const std::vector<float>& rgb) {
    RgbaFrame rgba;
    rgba.width = width;
    rgba.height = height;
    rgba.curve = curve;
    for (size_t p = 0; p < rgb.size() / 3; ++p)
        for (size_t c = 0; c < 4; ++c) {
            const uint16_t bits = half(c < 3 ? rgb[3 * p + c] : 1.0f).bits();
            rgba.bytes.push_back(static_cast<uint8_t>(bits));
            rgba.bytes.push_back(static_cast<uint8_t>(bits >> 8));
        }
    return rgba;
}

TEST(TimecodeTest, CountsFramesAtTheNominalRateAndWrapsAtMidnight) {
    struct Case {
        const char* start;
        int rateNumerator, rateDenominator;
        int frames;
        const char* text;
        uint32_t smpte;
    };
    const Case cases[] = {
        {"10:20:30:04", 25, 1, 0, "10:20:30:04", 0x10203004},
        {"00:00:59:29", 30000, 1001, 1, "00:01:00:00", 0x00010000}, // counted at 30
        {"23:59:59:23", 24, 1, 2, "00:00:00:01", 0x00000001},
        {"00:00:59;29", 30000, 1001, 1, "00:01:00;02", 0x00010042}, // drop-frame skips ;00 and ;01
    };
    for (const Case& c : cases) {
        const Timecode timecode(c.start, c.rateNumerator, c.rateDenominator);
        EXPECT_EQ(c.text, timecode.Text(c.frames)) << c.start;
        EXPECT_EQ(c.smpte, timecode.Smpte(c.frames)) << c.start;
    }
    for (const char* refused : {"00:00:00:24", "00:60:00:00", "24:00:00:00", "1:00:00", "00:00:00:00x", "",
                                "00:00:00;00"}) // drop-frame at 24 frames/s
        EXPECT_THROW(Timecode(refused, 24, 1), MediaError) << refused;
}

// 3x3 pixels at 4:2:0: the right and bottom chroma samples cover fewer pixels, and take the mean
// of those alone. Black, white and grey land on the limited range's codes.
TEST(DisplayTransformTest, ChromaOfPartBlocksAndTheRangesEnds) {
    const RgbaFrame rgba = HalfFrame(
        3, 3, 2, // HLG: no transfer, so the codes follow from the values directly
        {0, 0, 0, 1, 1, 1, 0.5f, 0.5f, 0.5f, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0.25f, 0.5f, 1, 0, 1, 0, 0, 0, 1});
    std::vector<uint16_t> luma(3 * 3), cb(2 * 2), cr(2 * 2);
    YuvPlanes planes;
    planes.data[0] = reinterpret_cast<uint8_t*>(luma.data());
    planes.data[1] = reinterpret_cast<uint8_t*>(cb.data());
    planes.data[2] = reinterpret_cast<uint8_t*>(cr.data());
    planes.stride[0] = 3 * 2;
    planes.stride[1] = planes.stride[2] = 2 * 2;
    planes.log2ChromaWidth = planes.log2ChromaHeight = 1;
    DisplayTransform(rgba.curve).ToYuv(rgba, planes);
    EXPECT_EQ(64, luma[0]);
    EXPECT_EQ(940, luma[1]);
    EXPECT_EQ(502, luma[2]); // 64 + 876 / 2
    // Pixel (2, 2) alone, pure blue: Cb = 512 + 448, Cr = 512 - 448 * kb / (1 - kr).
    EXPECT_EQ(960, cb[3]);
    EXPECT_EQ(476, cr[3]);
    // Column 2 of rows 0 and 1: grey and red; Cr of their mean is (0.5 - 0.63135...) scaled.
    const double kr = 0.2627, kb = 0.0593;
    const double mean = (kr * 1.5 + (1 - kr - kb) * 0.5 + kb * 0.5) / 2;
    EXPECT_EQ(std::lround(512 + 896 * (0.75 - mean) / (2 * (1 - kr))), cr[1]);
}

// The player's RGBA64: the same display values at full range, alpha opaque, out-of-range values
// and NaN clipped, half and float input alike, rows at the stride asked for.
TEST(DisplayTransformTest, Rgba64CarriesTheDisplayValuesAtFullRange) {
    const std::vector<float> values = {0, 0.01f, 0.18f, 1, 2, -1};
    auto bt709 = [](double v) { return v < 0.018 ? 4.5 * v : 1.099 * std::pow(v, 0.45) - 0.099; };
    for (const unsigned curve : {0u, 1u, 2u, 5u}) {
        for (const bool isFloat : {false, true}) {
            RgbaFrame rgba = HalfFrame(2, 1, curve, values);
            if (isFloat) {
                rgba.isFloat = true;
                rgba.bytes.resize(2 * 16);
                float samples[8] = {values[0], values[1], values[2], 7, values[3], values[4], NAN, 7};
                std::memcpy(rgba.bytes.data(), samples, sizeof samples);
            }
            std::vector<uint16_t> pixels(2 * 4 + 3, 0xABCD); // 3 words of padding after the row
            DisplayTransform(curve).ToRgba64(rgba, pixels.data(),
                                             2 * static_cast<std::ptrdiff_t>(pixels.size()));
            const double inputs[6] = {0, 0.01, 0.18, 1, 1, 0}; // clipped; NaN and -1 to 0
            for (size_t i = 0; i < 6; ++i) {
                const double value = half(static_cast<float>(inputs[i])); // the table works in halves
                const double display = curve <= 1 ? bt709(value) : value;
                EXPECT_NEAR(display * 65535, pixels[i / 3 * 4 + i % 3], 1.0)
                    << "curve " << curve << (isFloat ? " float" : " half") << " sample " << i;
            }
            EXPECT_EQ(65535, pixels[3]);
            EXPECT_EQ(65535, pixels[7]);
            EXPECT_EQ(0xABCD, pixels[8]); // the padding is left alone
        }
    }
}

// Front ends hand these numbers to containers and players as ISO/IEC 23091-2 code points.
TEST(DisplayTransformTest, ColourTagsAreTheStandardCodePoints) {
    struct Case {
        unsigned curve;
        int primaries, transfer, matrix;
    };
    const Case cases[] = {{0, 1, 1, 1}, {1, 9, 14, 9}, {2, 9, 18, 9}, {3, 9, 2, 9}, {8, 9, 2, 9}};
    for (const Case& c : cases) {
        const ColourTags tags = DisplayTransform(c.curve).Tags();
        EXPECT_EQ(c.primaries, static_cast<int>(tags.primaries)) << c.curve;
        EXPECT_EQ(c.transfer, static_cast<int>(tags.transfer)) << c.curve;
        EXPECT_EQ(c.matrix, static_cast<int>(tags.matrix)) << c.curve;
        EXPECT_EQ(1, static_cast<int>(tags.range)) << c.curve; // limited
    }
}

} // namespace
} // namespace tsr::media::test
