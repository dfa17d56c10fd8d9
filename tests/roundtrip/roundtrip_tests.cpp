// Encoder to decoder: pictures come back close to what went in, at every scale and pattern, and
// the decoder agrees with the reference decoder on the same frames.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "decodedframe.h"
#include "encoder/frameencoder.h"
#include "encoder/syntheticscene.h"
#include "referencedecoder.h"

namespace {

struct DecoderDeleter {
    void operator()(FrameDecoder* d) const { frameDecoderDestroy(d); }
};
using Decoder = std::unique_ptr<FrameDecoder, DecoderDeleter>;

Decoder MakeDecoder(int threads = 2) {
    return Decoder(frameDecoderCreate(threads));
}

// Component at cell (row, column) per pattern: 0, 1 green, 2 blue, 3 red.
const int kCell[4][2][2] = {{{3, 1}, {0, 2}}, {{1, 3}, {2, 0}}, {{0, 2}, {3, 1}}, {{2, 0}, {1, 3}}};

// Input value of `component` at cell (cellRow, cellColumn) of the mosaic.
uint16_t CellValue(const std::vector<uint16_t>& mosaic, int width, int pattern, int component, int cellRow,
                   int cellColumn) {
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c)
            if (kCell[pattern][r][c] == component)
                return mosaic[static_cast<size_t>(2 * cellRow + r) * static_cast<size_t>(width) +
                              static_cast<size_t>(2 * cellColumn + c)];
    return 0;
}

// Mean of `component` over the cells of output pixel (y, x) at scale s (2^(s-1) cells a side).
double BoxMean(const std::vector<uint16_t>& mosaic, int width, int pattern, int component, int s, int y,
               int x) {
    const int n = 1 << (s - 1);
    double sum = 0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) sum += CellValue(mosaic, width, pattern, component, y * n + i, x * n + j);
    return sum / (n * n);
}

int MaxDifference(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b) {
    EXPECT_EQ(a.size(), b.size());
    int worst = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

const std::array<uint16_t, 8> kLinearCurve = {0, 8192, 16384, 24576, 32768, 40960, 49152, 57344};

struct Layout {
    int width, height;
};
const Layout kLayouts[] = {{64, 32}, {48, 34}, {130, 66}, {1000, 36}, {2, 2}, {18, 130}};

// Every pattern and layout, cycling through versions, quantiser matrix and tone curve. At scale 0
// and 1 (the full 8x8 transform) the picture is within a few units of the input; at every
// scale the decoder is within a few units of the reference decoder's double-precision result
// (the decoder's 12-bit fixed-point weights stray by a few units of the 16-bit value before the
// curve; the default curve divides that by 4 or more, the linear curve passes it on).
TEST(RoundTrip, EveryPatternLayoutAndScaleMatchesInputAndReference) {
    const Decoder decoder = MakeDecoder();
    ASSERT_TRUE(decoder);
    int variant = 0;
    for (int pattern = 0; pattern < 4; ++pattern)
        for (const Layout& layout : kLayouts) {
            ++variant;
            tsr::EncoderSettings s;
            s.bayerPattern = pattern;
            s.version = variant % 3 == 0 ? 0 : 1;
            s.hasToneCurve = s.version == 1 && variant % 2 == 0;
            s.toneCurve = kLinearCurve;
            s.hasQuantMatrix = variant % 4 < 2;
            for (int i = 0; i < 64; ++i)
                s.quantMatrix[static_cast<size_t>(i)] = static_cast<uint8_t>(1 + (i % 8 + i / 8) / 6);
            s.log2SliceWidth = variant % 5;
            s.qScale = 1;
            s.whiteLevelCode = 4000;
            tsr::SceneSettings scene;
            scene.width = layout.width;
            scene.height = layout.height;
            scene.whiteLevelCode = s.whiteLevelCode;
            std::vector<uint16_t> mosaic = tsr::RenderSceneMosaic(scene, pattern, variant * 0.7);
            if (s.hasToneCurve) // the output domain is now the whole 16-bit range
                for (uint16_t& v : mosaic) v = static_cast<uint16_t>(v * 15);
            const auto frame = tsr::EncodeFrame(mosaic.data(), layout.width, layout.height, layout.width, s);
            ASSERT_FALSE(frame.empty());
            // Weights up to 3 triple the rounding error of the high frequencies.
            const int inputTolerance = (s.hasToneCurve ? 16 : 4) * (s.hasQuantMatrix ? 2 : 1);
            const int agreeTolerance = s.hasToneCurve ? 6 : 1;

            for (int scale = 0; scale < 4; ++scale) {
                const std::string where = std::to_string(layout.width) + "x" + std::to_string(layout.height) +
                                          " pattern " + std::to_string(pattern) + " scale " +
                                          std::to_string(scale) + (s.hasToneCurve ? " curve" : "") +
                                          (s.hasQuantMatrix ? " matrix" : "") + " version " +
                                          std::to_string(s.version);
                const DecodedFrame decoded =
                    DecodeFrame(decoder.get(), frame, layout.width, layout.height, scale);
                ASSERT_EQ(decoded.result, 0) << where;
                EXPECT_TRUE(decoded.guardsIntact) << where;
                if (!s.hasToneCurve) { // with the full 16-bit range the fill value is a real sample value
                    EXPECT_EQ(decoded.untouched, 0u) << where;
                }
                reference::Frame expected;
                ASSERT_EQ(reference::DecodeFrame(frame, scale, expected), 0) << where;
                EXPECT_LE(MaxDifference(decoded.samples, expected.samples), agreeTolerance) << where;

                const TsrFrameInfoRecord& info = decoded.info;
                EXPECT_EQ(info.width, layout.width >> scale) << where;
                EXPECT_EQ(info.height, layout.height >> scale) << where;
                EXPECT_EQ(info.layoutCode, scale == 0 ? TSR_LAYOUT_BP16 : TSR_LAYOUT_BP64) << where;
                EXPECT_EQ(info.bayerPattern, pattern) << where;
                EXPECT_EQ(info.whiteLevel, 4256) << where;
                EXPECT_EQ(info.maxDcStep, s.hasQuantMatrix ? s.quantMatrix[0] : 1) << where;

                if (scale == 0) {
                    EXPECT_LE(MaxDifference(decoded.samples, mosaic), inputTolerance) << where;
                } else if (scale == 1) { // each pixel holds the cell's red, first green and blue
                    int worst = 0;
                    for (int y = 0; y < decoded.height; ++y)
                        for (int x = 0; x < decoded.width; ++x) {
                            const uint16_t* p =
                                &decoded
                                     .samples[(static_cast<size_t>(y) * static_cast<size_t>(decoded.width) +
                                               static_cast<size_t>(x)) *
                                              4];
                            worst = std::max(
                                {worst, std::abs(p[0] - CellValue(mosaic, layout.width, pattern, 3, y, x)),
                                 std::abs(p[1] - CellValue(mosaic, layout.width, pattern, 0, y, x)),
                                 std::abs(p[2] - CellValue(mosaic, layout.width, pattern, 2, y, x)),
                                 std::abs(p[3] - 65535)});
                        }
                    EXPECT_LE(worst, inputTolerance) << where;
                }
            }
        }
}

// A mosaic whose component blocks are flat holds only DC coefficients: every scale then shows
// each block's value exactly (up to the curve's rounding), which is the DC expectation of the
// reduced scales.
TEST(RoundTrip, FlatBlocksShowTheirValueAtEveryScale) {
    const Decoder decoder = MakeDecoder(1);
    const int width = 80, height = 48; // 5 x 3 macroblocks
    for (int pattern = 0; pattern < 4; ++pattern) {
        std::vector<uint16_t> mosaic(static_cast<size_t>(width * height));
        auto blockValue = [](int mbx, int mby, int component) {
            return static_cast<uint16_t>(300 + 911 * component + 257 * mbx + 131 * mby);
        };
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                mosaic[static_cast<size_t>(y * width + x)] =
                    blockValue(x / 16, y / 16, kCell[pattern][y & 1][x & 1]);
        tsr::EncoderSettings s;
        s.bayerPattern = pattern;
        s.qScale = 1;
        s.log2SliceWidth = 1;
        const auto frame = tsr::EncodeFrame(mosaic.data(), width, height, width, s);
        for (int scale = 0; scale < 4; ++scale) {
            const DecodedFrame decoded = DecodeFrame(decoder.get(), frame, width, height, scale);
            ASSERT_EQ(decoded.result, 0);
            const int side = 16 >> scale;
            int worst = 0;
            for (int y = 0; y < decoded.height; ++y)
                for (int x = 0; x < decoded.width; ++x) {
                    if (scale == 0) {
                        worst = std::max(worst,
                                         std::abs(decoded.samples[static_cast<size_t>(y * width + x)] -
                                                  blockValue(x / 16, y / 16, kCell[pattern][y & 1][x & 1])));
                        continue;
                    }
                    const uint16_t* p = &decoded.samples[static_cast<size_t>(y * decoded.width + x) * 4];
                    const int components[3] = {3, 0, 2};
                    for (int c = 0; c < 3; ++c)
                        worst =
                            std::max(worst, std::abs(p[c] - blockValue(x / side, y / side, components[c])));
                }
            EXPECT_LE(worst, 1) << "pattern " << pattern << " scale " << scale;
        }
    }
}

// On smooth content the reduced scales approximate box averages of the input's cells. The 4-point
// (2-point) transform of the low 4x4 (2x2) coefficients is not exactly the box average of the
// 8-point reconstruction: frequency u is weighted a little differently, and the higher
// frequencies are dropped. For a ramp that rises by G across the 8 cells of a block, the 2-point
// transform lands 0.04 G from the mean of its 4 cells (the 4-point one closer), per axis. The
// tolerance is 0.08 G, G the largest rise of a component within a block, plus a few units for
// curvature and rounding.
TEST(RoundTrip, ReducedScalesApproximateBoxAveragesOfSmoothContent) {
    const Decoder decoder = MakeDecoder();
    const int width = 256, height = 128;
    std::vector<uint16_t> mosaic(static_cast<size_t>(width * height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double c = 1 + (x & 1) + (y & 1);
            mosaic[static_cast<size_t>(y * width + x)] = static_cast<uint16_t>(
                1500 + 300 * c + 700 * std::sin(x / (20.0 * c)) * std::cos(y / 25.0) + 2.0 * x - 3.0 * y);
        }
    // Largest rise of one colour (photosites of equal parity) within a macroblock.
    double rise = 0;
    for (int mby = 0; mby < height / 16; ++mby)
        for (int mbx = 0; mbx < width / 16; ++mbx)
            for (int parity = 0; parity < 4; ++parity) {
                int low = 65535, high = 0;
                for (int y = parity >> 1; y < 16; y += 2)
                    for (int x = parity & 1; x < 16; x += 2) {
                        const int v = mosaic[static_cast<size_t>((mby * 16 + y) * width + mbx * 16 + x)];
                        low = std::min(low, v), high = std::max(high, v);
                    }
                rise = std::max(rise, static_cast<double>(high - low));
            }
    const double tolerance = 0.08 * rise + 4;
    for (int pattern = 0; pattern < 4; ++pattern) {
        tsr::EncoderSettings s;
        s.bayerPattern = pattern;
        s.qScale = 1;
        const auto frame = tsr::EncodeFrame(mosaic.data(), width, height, width, s);
        for (int scale = 2; scale < 4; ++scale) {
            const DecodedFrame decoded = DecodeFrame(decoder.get(), frame, width, height, scale);
            ASSERT_EQ(decoded.result, 0);
            double worst = 0;
            for (int y = 0; y < decoded.height; ++y)
                for (int x = 0; x < decoded.width; ++x) {
                    const uint16_t* p = &decoded.samples[static_cast<size_t>(y * decoded.width + x) * 4];
                    const int components[3] = {3, 0, 2};
                    for (int c = 0; c < 3; ++c)
                        worst = std::max(worst, std::fabs(p[c] - BoxMean(mosaic, width, pattern,
                                                                         components[c], scale, y, x)));
                }
            EXPECT_LE(worst, tolerance) << "pattern " << pattern << " scale " << scale << " rise " << rise;
        }
    }
}

// Per-slice qScale reaches the frame info record as maxDcStep (largest qScale times weight 0), and
// coarser slices still decode where they are.
TEST(RoundTrip, PerSliceQScaleAndMaxDcStep) {
    const Decoder decoder = MakeDecoder();
    tsr::SceneSettings scene;
    scene.width = 48;
    scene.height = 34;
    const auto mosaic = tsr::RenderSceneMosaic(scene, 0, 0);
    struct Case {
        std::vector<uint8_t> sliceQScale;
        int qScale, weight0, maxDcStep;
    } const cases[] = {
        {{4, 9, 2}, 1, 1, 9}, {{4, 9, 2}, 1, 3, 27}, {{}, 7, 1, 7}, {{1, 1, 1, 1, 1, 200}, 1, 2, 400}};
    for (const Case& c : cases) {
        tsr::EncoderSettings s;
        s.log2SliceWidth = 1;
        s.qScale = c.qScale;
        s.sliceQScale = c.sliceQScale;
        s.hasQuantMatrix = c.weight0 != 1;
        s.quantMatrix.fill(1);
        s.quantMatrix[0] = static_cast<uint8_t>(c.weight0);
        const auto frame = tsr::EncodeFrame(mosaic.data(), 48, 34, 48, s);
        for (int scale = 0; scale < 4; ++scale) {
            const DecodedFrame decoded = DecodeFrame(decoder.get(), frame, 48, 34, scale);
            ASSERT_EQ(decoded.result, 0);
            EXPECT_EQ(decoded.info.maxDcStep, c.maxDcStep) << c.maxDcStep << " scale " << scale;
            reference::Frame expected;
            ASSERT_EQ(reference::DecodeFrame(frame, scale, expected), 0);
            EXPECT_LE(MaxDifference(decoded.samples, expected.samples), 1);
        }
    }
}

// Content at the limits: full-range noise and hard black/white edges through a slope-1 curve, so
// levels reach the 16-bit limits, DC steps wrap, dequantised products saturate (weights up to 63
// at qScale 255) and codewords grow to their longest; with slice header extensions and header
// padding. The decoder agrees with the reference at every scale.
TEST(RoundTrip, ExtremeContentAgreesWithReference) {
    const Decoder decoder = MakeDecoder();
    const int width = 96, height = 50;
    std::vector<uint16_t> mosaic(static_cast<size_t>(width * height));
    uint32_t state = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const bool noise = x >= 48;
            mosaic[static_cast<size_t>(y * width + x)] =
                noise ? static_cast<uint16_t>(state >> 16) : (((x / 3) ^ (y / 5)) & 1 ? 65535 : 0);
        }
    struct Case {
        int qScale;
        bool matrix;
        int extension, padding;
    } const cases[] = {{1, false, 0, 0}, {1, true, 23, 3}, {255, true, 8, 0}, {40, false, 1, 1000}};
    for (const Case& c : cases) {
        tsr::EncoderSettings s;
        s.qScale = c.qScale;
        s.log2SliceWidth = 4;
        s.hasToneCurve = true;
        s.toneCurve = kLinearCurve;
        s.hasQuantMatrix = c.matrix;
        for (int i = 0; i < 64; ++i)
            s.quantMatrix[static_cast<size_t>(i)] = static_cast<uint8_t>(i == 0 ? 63 : 1 + i % 63);
        s.sliceHeaderExtension = c.extension;
        s.extraHeaderBytes = c.padding;
        const auto frame = tsr::EncodeFrame(mosaic.data(), width, height, width, s);
        ASSERT_FALSE(frame.empty());
        for (int scale = 0; scale < 4; ++scale) {
            const DecodedFrame decoded = DecodeFrame(decoder.get(), frame, width, height, scale);
            ASSERT_EQ(decoded.result, 0);
            EXPECT_TRUE(decoded.guardsIntact);
            reference::Frame expected;
            ASSERT_EQ(reference::DecodeFrame(frame, scale, expected), 0);
            // Near full-scale coefficients the fixed-point weights stray furthest; on average by
            // well under a unit.
            EXPECT_LE(MaxDifference(decoded.samples, expected.samples), 8)
                << "qScale " << c.qScale << " scale " << scale;
            double total = 0;
            for (size_t i = 0; i < decoded.samples.size(); ++i)
                total += std::abs(decoded.samples[i] - expected.samples[i]);
            EXPECT_LE(total / static_cast<double>(decoded.samples.size()), 1.0)
                << "qScale " << c.qScale << " scale " << scale;
            EXPECT_EQ(decoded.info.maxDcStep, c.qScale * (c.matrix ? 63 : 1));
            if (scale == 0 && c.qScale == 1 && !c.matrix) {
                EXPECT_LE(MaxDifference(decoded.samples, mosaic), 24);
            }
        }
    }
}

// A rate-controlled 4K-wide strip: the size lands near the target and the picture decodes.
TEST(RoundTrip, RateControlledFrameDecodes) {
    const Decoder decoder = MakeDecoder();
    tsr::SceneSettings scene;
    scene.width = 4096;
    scene.height = 64;
    const auto mosaic = tsr::RenderSceneMosaic(scene, 3, 1.0);
    tsr::EncoderSettings s;
    s.bayerPattern = 3;
    s.targetBitsPerPhotosite = 4;
    const auto frame = tsr::EncodeFrame(mosaic.data(), 4096, 64, 4096, s);
    EXPECT_NEAR(8.0 * static_cast<double>(frame.size()) / (4096 * 64), 4.0, 0.4);
    const DecodedFrame decoded = DecodeFrame(decoder.get(), frame, 4096, 64, 0);
    ASSERT_EQ(decoded.result, 0);
    reference::Frame expected;
    ASSERT_EQ(reference::DecodeFrame(frame, 0, expected), 0);
    EXPECT_LE(MaxDifference(decoded.samples, expected.samples), 1);
}

} // namespace
