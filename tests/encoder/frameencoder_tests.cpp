#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

#include "encoder/frameencoder.h"
#include "encoder/ratecontrol.h"
#include "encoder/syntheticscene.h"
#include "format/frameformat.h"
#include "format/tonecurve.h"
#include "referencedecoder.h"

namespace {

uint32_t Be16(const std::vector<uint8_t>& f, size_t at) {
    return static_cast<uint32_t>(f[at]) << 8 | f[at + 1];
}
uint32_t Be32(const std::vector<uint8_t>& f, size_t at) {
    return Be16(f, at) << 16 | Be16(f, at + 2);
}
uint32_t FloatBits(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return bits;
}

std::vector<uint16_t> Scene(int width, int height, int pattern, double t = 0.5) {
    tsr::SceneSettings s;
    s.width = width;
    s.height = height;
    return tsr::RenderSceneMosaic(s, pattern, t);
}

std::vector<uint8_t> Encode(const std::vector<uint16_t>& mosaic, int width, int height,
                            const tsr::EncoderSettings& settings, tsr::EncodeReport* report = nullptr) {
    return tsr::EncodeFrame(mosaic.data(), width, height, width, settings, report);
}

int MaxDifference(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b) {
    EXPECT_EQ(a.size(), b.size());
    int worst = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

TEST(FrameEncoder, WritesEveryHeaderFieldBigEndian) {
    tsr::EncoderSettings s;
    s.version = 1;
    s.bayerPattern = 2;
    s.bayerPatternHighBits = 0xABCC;
    s.log2SliceWidth = 2;
    s.hasQuantMatrix = true;
    for (int i = 0; i < 64; ++i) s.quantMatrix[static_cast<size_t>(i)] = static_cast<uint8_t>(1 + i % 63);
    s.hasToneCurve = true;
    s.toneCurve = {0, 600, 1300, 2500, 4500, 9000, 17000, 33000};
    s.whiteLevelCode = 0x1234;
    s.gain0 = 1.75f;
    s.gain1 = -2.5f;
    s.colorMatrix = {0.5f, 0.25f, 0.125f, 1, 2, 3, -1, -2, -3};
    s.auxFloat = 3.0f;
    s.auxWord = 0xBEEF;
    s.infoBytes = {9, 8, 7, 6};
    s.headerWord = 0xCAFEF00D;
    s.extraFrameFlags = 0x8020;
    s.extraHeaderBytes = 5;
    const auto mosaic = Scene(48, 34, s.bayerPattern);
    const auto f = Encode(mosaic, 48, 34, s);
    ASSERT_FALSE(f.empty());

    EXPECT_EQ(Be32(f, 0), f.size());
    EXPECT_EQ(std::string(f.begin() + 4, f.begin() + 8), "tsrf");
    const size_t h = 8;
    EXPECT_EQ(Be16(f, h + 0), 72u + 64 + 16 + 5);
    EXPECT_EQ(f[h + 2], 0);
    EXPECT_EQ(f[h + 3], 1);
    EXPECT_EQ(Be32(f, h + 4), 0xCAFEF00Du);
    EXPECT_EQ(Be16(f, h + 8), 48u);
    EXPECT_EQ(Be16(f, h + 10), 34u);
    EXPECT_EQ((std::vector<uint8_t>(f.begin() + h + 12, f.begin() + h + 16)),
              (std::vector<uint8_t>{9, 8, 7, 6}));
    EXPECT_EQ(Be16(f, h + 16), 0xABCEu);
    EXPECT_EQ(Be16(f, h + 18), 0x1234u);
    EXPECT_EQ(Be32(f, h + 20), FloatBits(1.75f));
    EXPECT_EQ(Be32(f, h + 24), FloatBits(-2.5f));
    for (size_t i = 0; i < 9; ++i) EXPECT_EQ(Be32(f, h + 28 + 4 * i), FloatBits(s.colorMatrix[i])) << i;
    EXPECT_EQ(Be32(f, h + 64), FloatBits(3.0f));
    EXPECT_EQ(Be16(f, h + 68), 0xBEEFu);
    EXPECT_EQ(Be16(f, h + 70), 0x8020u | 1u | 2u << 1 | 16u);
    for (size_t i = 0; i < 64; ++i) EXPECT_EQ(f[h + 72 + i], s.quantMatrix[i]) << i;
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(Be16(f, h + 136 + 2 * i), s.toneCurve[i]) << i;
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(f[h + 152 + i], 0) << i;

    // Slice size table: 3 macroblock rows of 2 + 1 slices, then the slices back to back.
    const size_t table = h + 157;
    size_t sum = 0;
    for (size_t i = 0; i < 6; ++i) sum += Be16(f, table + 2 * i);
    EXPECT_EQ(table + 12 + sum, f.size());

    // Version 0, no matrix, no curve: the 72-byte header.
    tsr::EncoderSettings plain;
    plain.version = 0;
    const auto g = Encode(mosaic, 48, 34, plain);
    EXPECT_EQ(Be16(g, h), 72u);
    EXPECT_EQ(g[h + 3], 0);
    EXPECT_EQ(Be16(g, h + 70), 3u << 1);
}

TEST(FrameEncoder, PartitionsRowsIntoPowerOfTwoSlices) {
    EXPECT_EQ(reference::SlicePartition(13, 3), (std::vector<int>{3, 2, 0}));
    EXPECT_EQ(reference::SlicePartition(63, 4), (std::vector<int>{4, 4, 4, 3, 2, 1, 0}));
    struct Case {
        int width, log2;
    } const cases[] = {{208, 3}, {1000, 4}, {16, 4}, {4096, 3}, {130, 0}};
    for (const Case& c : cases) {
        const int mbWidth = tsr::MacroblocksFor(c.width);
        std::vector<int> widths;
        tsr::ForEachSliceInRow(mbWidth, c.log2, [&](int, int log2w) { widths.push_back(log2w); });
        EXPECT_EQ(widths, reference::SlicePartition(mbWidth, c.log2)) << c.width;
        EXPECT_EQ(tsr::SlicesPerRow(mbWidth, c.log2), static_cast<int>(widths.size())) << c.width;
    }
    // The encoded frame has that many slices: 13 macroblocks with width 3 give 8, 4, 1.
    tsr::EncoderSettings s;
    s.qScale = 1;
    const auto mosaic = Scene(208, 16, 0);
    const auto f = Encode(mosaic, 208, 16, s);
    const size_t table = 8 + 72;
    EXPECT_EQ(table + 6 + Be16(f, table) + Be16(f, table + 2) + Be16(f, table + 4), f.size());
    reference::Frame decoded;
    ASSERT_EQ(reference::DecodeFrame(f, 0, decoded), 0);
    EXPECT_LE(MaxDifference(decoded.samples, mosaic), 3);
}

// At qScale 1 the reconstruction is within a few units of the input for any layout: sizes that
// are and are not whole macroblocks, all patterns, both versions, matrix and curve. A level's
// rounding error of up to half a step spreads over the block with a spread of about 2.3 steps
// before the curve; the default curve divides by 16 to 4 over the sensor range, the linear
// curve below by 1.
TEST(FrameEncoder, ReconstructsTheMosaicClosely) {
    const std::array<uint16_t, 8> linearCurve = {0, 8192, 16384, 24576, 32768, 40960, 49152, 57344};
    struct Case {
        int width, height, pattern, log2, version;
        bool matrix, curve;
        int qScale, tolerance;
    } const cases[] = {
        {64, 32, 0, 3, 1, false, false, 1, 3},  {48, 34, 1, 2, 0, false, false, 1, 3},
        {130, 66, 2, 4, 1, false, true, 1, 10}, {34, 18, 3, 0, 1, true, false, 1, 4},
        {2, 2, 0, 3, 0, false, false, 1, 3},    {66, 50, 1, 1, 1, true, true, 1, 16},
        {64, 64, 0, 3, 1, false, false, 4, 10}, {64, 64, 2, 3, 1, false, false, 16, 40},
    };
    for (const Case& c : cases) {
        tsr::EncoderSettings s;
        s.version = c.version;
        s.bayerPattern = c.pattern;
        s.log2SliceWidth = c.log2;
        s.qScale = c.qScale;
        s.hasQuantMatrix = c.matrix;
        for (int i = 0; i < 64; ++i)
            s.quantMatrix[static_cast<size_t>(i)] = static_cast<uint8_t>(i == 0 ? 1 : 1 + i / 32);
        s.hasToneCurve = c.curve;
        s.toneCurve = linearCurve;
        std::vector<uint16_t> mosaic = Scene(c.width, c.height, c.pattern);
        if (c.curve) // the decoder's output domain is now the whole 16-bit range
            for (uint16_t& v : mosaic) v = static_cast<uint16_t>(v * 15);
        const auto f = Encode(mosaic, c.width, c.height, s);
        ASSERT_FALSE(f.empty());
        reference::Frame decoded;
        ASSERT_EQ(reference::DecodeFrame(f, 0, decoded), 0);
        EXPECT_EQ(decoded.skippedSlices, 0);
        EXPECT_LE(MaxDifference(decoded.samples, mosaic), c.tolerance)
            << c.width << "x" << c.height << " pattern " << c.pattern << " qScale " << c.qScale;
    }
}

TEST(FrameEncoder, UsesPerSliceQScaleAndReportsIt) {
    tsr::EncoderSettings s;
    s.log2SliceWidth = 3; // 48 wide: slices of 2 and 1 macroblocks, 3 rows
    s.qScale = 5;
    s.sliceQScale = {4, 9, 2};
    const auto mosaic = Scene(48, 34, 0);
    tsr::EncodeReport report;
    const auto f = Encode(mosaic, 48, 34, s, &report);
    EXPECT_EQ(report.sliceQScale, (std::vector<uint8_t>{4, 9, 2, 5, 5, 5}));
    EXPECT_EQ(report.raisedSlices, 0);
    reference::Frame decoded;
    ASSERT_EQ(reference::DecodeFrame(f, 0, decoded), 0);
    EXPECT_EQ(decoded.maxDcStep, 9);
    size_t at = 8 + 72 + 12;
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(f[at], 8 << 3);
        EXPECT_EQ(f[at + 1], report.sliceQScale[static_cast<size_t>(i)]);
        at += Be16(f, 8 + 72 + 2 * static_cast<size_t>(i));
    }
    // maxDcStep scales with quantiser weight 0.
    s.hasQuantMatrix = true;
    s.quantMatrix.fill(3);
    reference::Frame weighted;
    ASSERT_EQ(reference::DecodeFrame(Encode(mosaic, 48, 34, s), 0, weighted), 0);
    EXPECT_EQ(weighted.maxDcStep, 27);
}

TEST(FrameEncoder, SliceHeaderExtensionAndExtraHeaderBytesAreSkippable) {
    tsr::EncoderSettings s;
    s.qScale = 1;
    s.sliceHeaderExtension = 23; // the largest: 31 bytes, first byte 248
    s.extraHeaderBytes = 1000;
    const auto mosaic = Scene(40, 20, 3);
    s.bayerPattern = 3;
    const auto f = Encode(mosaic, 40, 20, s);
    ASSERT_FALSE(f.empty());
    const size_t table = 8 + 1072;
    EXPECT_EQ(f[table + 2 * 4], 248);
    reference::Frame decoded;
    ASSERT_EQ(reference::DecodeFrame(f, 0, decoded), 0);
    EXPECT_LE(MaxDifference(decoded.samples, mosaic), 3);
}

// The encoder's inverse curve, against the reference decoder's forward curve: a produced value maps
// to the middle of its run of inputs (rounded up), any other value to the input giving the nearest
// produced value (the lower one on a tie).
TEST(InverseToneCurve, MiddleOfEachRunOrNearestProducedValue) {
    const tsr::ToneCurveKnots curves[] = {{0, 512, 1024, 2048, 4096, 8192, 16384, 32768},
                                          {0, 1000, 2000, 3000, 4000, 5000, 6000, 60000}};
    for (const tsr::ToneCurveKnots& knots : curves) {
        const tsr::InverseToneCurve inverse(knots);
        std::vector<int> first(65536, -1), last(65536, -1);
        for (int s = 0; s < 65536; ++s) {
            const int v = reference::ToneCurveKnotsOf(knots.data(), uint32_t(s));
            if (first[v] < 0) first[v] = s;
            last[v] = s;
        }
        int worst = 0;
        for (int v = 0, below = -1; v < 65536; ++v) {
            if (first[v] >= 0) below = v;
            int above = v;
            while (above < 65536 && first[above] < 0) ++above;
            const int produced = reference::ToneCurveKnotsOf(knots.data(), inverse(uint16_t(v)));
            if (first[v] >= 0) {
                EXPECT_EQ(inverse(uint16_t(v)), (first[v] + last[v] + 1) / 2) << v;
            } else {
                const int nearest = below < 0 || (above < 65536 && above - v < v - below) ? above : below;
                if (produced != nearest) ++worst;
            }
        }
        EXPECT_EQ(worst, 0) << "values not mapped to the nearest produced value";
    }
}

TEST(FrameEncoder, RejectsBadArgumentsAndSettings) {
    const auto mosaic = Scene(32, 32, 0);
    auto rejects = [&](auto change) {
        tsr::EncoderSettings s;
        change(s);
        return Encode(mosaic, 32, 32, s).empty();
    };
    EXPECT_TRUE(rejects([](tsr::EncoderSettings& s) { s.version = 2; }));
    EXPECT_TRUE(rejects([](tsr::EncoderSettings& s) {
        s.version = 0, s.hasToneCurve = true, s.toneCurve = {0, 1, 2, 3, 4, 5, 6, 7};
    }));
    EXPECT_TRUE(rejects([](tsr::EncoderSettings& s) { s.bayerPattern = 4; }));
    EXPECT_TRUE(rejects([](tsr::EncoderSettings& s) { s.log2SliceWidth = 5; }));
    EXPECT_TRUE(rejects([](tsr::EncoderSettings& s) { s.qScale = 0; }));
    EXPECT_TRUE(rejects([](tsr::EncoderSettings& s) { s.qScale = 256; }));
    EXPECT_TRUE(rejects([](tsr::EncoderSettings& s) { s.sliceQScale = {3, 0}; }));
    EXPECT_TRUE(rejects([](tsr::EncoderSettings& s) { s.hasQuantMatrix = true; })); // weights 0
    EXPECT_TRUE(rejects([](tsr::EncoderSettings& s) { s.hasQuantMatrix = true, s.quantMatrix.fill(64); }));
    EXPECT_TRUE(rejects([](tsr::EncoderSettings& s) {
        s.hasQuantMatrix = true, s.quantMatrix.fill(1), s.quantMatrix[63] = 64;
    }));
    EXPECT_TRUE(rejects([](tsr::EncoderSettings& s) {
        s.hasQuantMatrix = true, s.quantMatrix.fill(1), s.quantMatrix[0] = 0;
    }));
    // Equal knots in the middle, at the first and at the last pair.
    for (const std::array<uint16_t, 8>& curve :
         {std::array<uint16_t, 8>{0, 1, 2, 3, 3, 5, 6, 7}, std::array<uint16_t, 8>{0, 0, 2, 3, 4, 5, 6, 7},
          std::array<uint16_t, 8>{0, 1, 2, 3, 4, 5, 6, 6}})
        EXPECT_TRUE(rejects([&](tsr::EncoderSettings& s) { s.hasToneCurve = true, s.toneCurve = curve; }));
    EXPECT_TRUE(rejects([](tsr::EncoderSettings& s) { s.sliceHeaderExtension = 24; }));
    EXPECT_TRUE(rejects([](tsr::EncoderSettings& s) { s.extraHeaderBytes = -1; }));
    EXPECT_TRUE(rejects([](tsr::EncoderSettings& s) { s.targetBitsPerPhotosite = NAN; }));
    EXPECT_FALSE(rejects([](tsr::EncoderSettings& s) { s.hasQuantMatrix = true, s.quantMatrix.fill(63); }));
    tsr::EncoderSettings ok;
    EXPECT_TRUE(tsr::EncodeFrame(nullptr, 32, 32, 32, ok).empty());
    EXPECT_TRUE(tsr::EncodeFrame(mosaic.data(), 31, 32, 32, ok).empty());
    EXPECT_TRUE(tsr::EncodeFrame(mosaic.data(), 32, 0, 32, ok).empty());
    EXPECT_TRUE(tsr::EncodeFrame(mosaic.data(), 32, 32, 30, ok).empty());
    EXPECT_FALSE(tsr::EncodeFrame(mosaic.data(), 30, 32, 32, ok).empty()); // a pitch wider than the picture
}

TEST(RateControl, PicksTheQScaleNearestTheTarget) {
    int calls = 0;
    const auto bytes = [&](int q) {
        ++calls;
        return static_cast<size_t>(1000000 / q);
    };
    EXPECT_EQ(tsr::ChooseQScale(1000000.0 / 37.2, bytes), 37);
    EXPECT_LE(calls, 12);
    EXPECT_EQ(tsr::ChooseQScale(5e6, bytes), 1);
    EXPECT_EQ(tsr::ChooseQScale(10, bytes), 255);
}

TEST(RateControl, LandsNearTheTargetBitsPerPhotosite) {
    const int width = 256, height = 192;
    const auto mosaic = Scene(width, height, 1);
    for (double target : {2.0, 4.0, 8.0}) {
        tsr::EncoderSettings s;
        s.bayerPattern = 1;
        s.targetBitsPerPhotosite = target;
        tsr::EncodeReport report;
        const auto f = Encode(mosaic, width, height, s, &report);
        const double bits = 8.0 * static_cast<double>(f.size()) / (width * height);
        EXPECT_NEAR(bits, target, target * 0.1) << "qScale " << report.frameQScale;
        for (uint8_t q : report.sliceQScale) EXPECT_EQ(q, report.frameQScale);
    }
}

} // namespace
