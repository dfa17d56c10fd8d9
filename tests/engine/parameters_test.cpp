// Per-frame parameters and kernel parameter blocks, checked against the expected values and
// bit patterns.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>

#include "chainmodel.h"
#include "engine/parameters.h"
#include "testsupport.h"

namespace tsr::test {
namespace {

TEST(ParameterBlocks, FieldOffsetsMatchTheKernelContract) {
    struct Field {
        const char* name;
        size_t actual, expected;
    };
    const Field fields[] = {
        {"RawProcessingParameters.gainRed", offsetof(RawProcessingParameters, gainRed), 12},
        {"RawProcessingParameters.colorMatrix", offsetof(RawProcessingParameters, colorMatrix), 20},
        {"RawProcessingParameters.sampleOffsets", offsetof(RawProcessingParameters, sampleOffsets), 56},
        {"RawProcessingParameters.primaries", offsetof(RawProcessingParameters, primaries), 80},
        {"RawProcessingParameters.noiseBase", offsetof(RawProcessingParameters, noiseBase), 92},
        {"CLRPPS0.invRange", offsetof(CLRPPS0, invRange), 8},
        {"CLRPPS0.invGainBlue", offsetof(CLRPPS0, invGainBlue), 28},
        {"CLRPPS1.blackNorm", offsetof(CLRPPS1, blackNorm), 4},
        {"CLRPPS1.gainBlue", offsetof(CLRPPS1, gainBlue), 24},
        {"CLRPPS2.matrix", offsetof(CLRPPS2, matrix), 4},
        {"CLRPTSRD.matrix", offsetof(CLRPTSRD, matrix), 16},
        {"CLRPTSRD.sampleOffsets", offsetof(CLRPTSRD, sampleOffsets), 52},
        {"CLRPPD.chartCheckerColumns", offsetof(CLRPPD, chartCheckerColumns), 16},
        {"CLRPPD.chartLevels", offsetof(CLRPPD, chartLevels), 24},
    };
    for (const Field& f : fields) EXPECT_EQ(f.expected, f.actual) << f.name;
}

TEST(RawProcessingSetup, CopiesTheRecordAndDerivesTheNoiseLevel) {
    TsrFrameInfoRecord record = MakeRecord(64, 32, true, 2);
    record.sampleOffsets[0] = -0.25f;
    record.sampleOffsets[5] = 0.25f;
    const RawProcessingParameters p = RawProcessingSetup(record, nullptr, 0);
    EXPECT_EQ(2u, p.bayerPattern);
    EXPECT_EQ(256u, p.blackLevel);
    EXPECT_EQ(4095u, p.whiteLevel);
    EXPECT_EQ(record.gain0, p.gainRed);
    EXPECT_EQ(record.gain1, p.gainBlue);
    EXPECT_EQ(0, std::memcmp(record.colorMatrix, p.colorMatrix, sizeof p.colorMatrix));
    EXPECT_EQ(0, std::memcmp(record.sampleOffsets, p.sampleOffsets, sizeof p.sampleOffsets));
    EXPECT_EQ(record.auxFloat, p.exposure);
    EXPECT_EQ(0, p.primaries);
    EXPECT_EQ(Bits(144.0f * 5.0f + 21.333334f), Bits(p.noiseLevel)); // maxDcStep 12
    EXPECT_EQ(0x41AAAAABu, Bits(p.noiseBase));

    record.maxDcStep = 0;
    EXPECT_EQ(0x41AAAAABu, Bits(RawProcessingSetup(record, nullptr, 0).noiseLevel));
    // A step whose square overflows 32 bits is squared exactly.
    record.maxDcStep = 50000;
    EXPECT_EQ(Bits(2.5e9f * 5.0f + 21.333334f), Bits(RawProcessingSetup(record, nullptr, 0).noiseLevel));
}

TEST(RawProcessingSetup, OverrideReplacesGainsMatrixAndExposureOnly) {
    TsrFrameInfoRecord record = MakeRecord(64, 32, true, 1);
    record.sampleOffsets[2] = 0.125f;
    const float colour[12] = {2.5f, 1.25f, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1.75f};
    const RawProcessingParameters p = RawProcessingSetup(record, colour, 3);
    EXPECT_EQ(2.5f, p.gainRed);
    EXPECT_EQ(1.25f, p.gainBlue);
    EXPECT_EQ(0, std::memcmp(colour + 2, p.colorMatrix, sizeof p.colorMatrix));
    EXPECT_EQ(1.75f, p.exposure);
    EXPECT_EQ(0.125f, p.sampleOffsets[2]);
    EXPECT_EQ(256u, p.blackLevel);
    EXPECT_EQ(Bits(144.0f * 5.0f + 21.333334f), Bits(p.noiseLevel));
}

TEST(RawProcessingSetup, PrimariesFollowTheCurveIndex) {
    const TsrFrameInfoRecord record = MakeRecord(8, 8, true);
    const struct {
        unsigned curve;
        int primaries;
    } cases[] = {{0, 0}, {1, 1}, {2, 1}, {5, 1}, {8, 1}, {9, 1}, {0xFFFFFFFFu, 1}};
    for (const auto& c : cases)
        EXPECT_EQ(c.primaries, RawProcessingSetup(record, nullptr, c.curve).primaries) << "curve " << c.curve;
}

TEST(KernelBlocks, DerivedFromATypicalFrame) {
    TsrFrameInfoRecord record = MakeRecord(64, 32, true, 3);
    const float offsets[6] = {0.125f, -0.125f, 0.125f, 0.125f, -0.125f, 0.125f};
    std::memcpy(record.sampleOffsets, offsets, sizeof offsets);
    const RawProcessingParameters p = RawProcessingSetup(record, nullptr, 1);
    const FrameQuantities f = DeriveFrameQuantities(p);
    const float range = 3839.0f;
    EXPECT_EQ(range, f.range);
    EXPECT_EQ(Bits(0.9f / 0.9f), Bits(f.exposureScale));
    EXPECT_EQ(0x3F666666u, Bits(0.9f));

    // C = P x M in double, rounded once.
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            double c = 0.0;
            for (int k = 0; k < 3; ++k)
                c += kPrimariesToRgb[1][3 * i + k] * static_cast<double>(record.colorMatrix[3 * k + j]);
            EXPECT_EQ(static_cast<float>(c), f.conversion[3 * i + j]) << i << "," << j;
        }
    }
    const float noiseLevel = 144.0f * 5.0f + 21.333334f;
    EXPECT_EQ(Bits(static_cast<float>(static_cast<double>(noiseLevel) / 150994944.0)), Bits(f.noiseScale));
    EXPECT_EQ(Bits(noiseLevel / (range * 256.0f * range)), Bits(f.noiseFloor));
    EXPECT_EQ(Bits(21.333334f / (range * range)), Bits(f.noiseOffset));

    const CLRPPS0 s0 = MakeDemosaicGreenBlock(p, f);
    EXPECT_EQ(3u, s0.bayerPattern);
    EXPECT_EQ(256u, s0.blackLevel);
    EXPECT_EQ(Bits(1.0f / range), Bits(s0.invRange));
    EXPECT_EQ(Bits(1.0f / 1.9f), Bits(s0.invGainRed));
    EXPECT_EQ(Bits(1.0f / 1.4f), Bits(s0.invGainBlue));
    EXPECT_EQ(Bits(f.noiseScale), Bits(s0.noiseScale));

    const CLRPPS1 s1 = MakeDemosaicColourBlock(p, f);
    EXPECT_EQ(Bits(256.0f / range), Bits(s1.blackNorm));
    EXPECT_EQ(1.9f, s1.gainRed);
    EXPECT_EQ(1.4f, s1.gainBlue);
    EXPECT_EQ(Bits(f.noiseOffset), Bits(s1.noiseOffset));

    const CLRPPS2 s2 = MakeConversionBlock(p, f);
    const CLRPTSRD t = MakeFourSampleBlock(p, f);
    for (int k = 0; k < 9; ++k) {
        EXPECT_EQ(Bits(f.exposureScale * f.conversion[k]), Bits(s2.matrix[k]));
        EXPECT_EQ(Bits(s2.matrix[k]), Bits(t.matrix[k]));
    }
    EXPECT_EQ(Bits(256.0f / 65535.0f), Bits(t.blackNorm));
    EXPECT_EQ(Bits(1.9f * 65535.0f / range), Bits(t.scaleRed));
    EXPECT_EQ(Bits(65535.0f / range), Bits(t.scaleGreen));
    EXPECT_EQ(Bits(1.4f * 65535.0f / range), Bits(t.scaleBlue));
    EXPECT_EQ(0, std::memcmp(offsets, t.sampleOffsets, sizeof offsets));
}

TEST(KernelBlocks, EqualLevelsAndZeroGains) {
    TsrFrameInfoRecord record = MakeRecord(8, 8, true);
    record.whiteLevel = record.blackLevel;
    record.gain0 = 0.0f;
    record.gain1 = 0.0f;
    const RawProcessingParameters p = RawProcessingSetup(record, nullptr, 0);
    const FrameQuantities f = DeriveFrameQuantities(p);
    EXPECT_EQ(65535.0f, f.range);
    const CLRPPS0 s0 = MakeDemosaicGreenBlock(p, f);
    EXPECT_EQ(Bits(1.0f / 65535.0f), Bits(s0.invRange));
    EXPECT_EQ(1.0f, s0.invGainRed);
    EXPECT_EQ(1.0f, s0.invGainBlue);
    const CLRPPS1 s1 = MakeDemosaicColourBlock(p, f);
    EXPECT_EQ(0.0f, s1.gainRed);
    EXPECT_EQ(0.0f, s1.gainBlue);
    const CLRPTSRD t = MakeFourSampleBlock(p, f);
    EXPECT_EQ(1.0f, t.scaleGreen);
    EXPECT_EQ(0.0f, t.scaleRed);
    EXPECT_EQ(0.0f, t.scaleBlue);
}

TEST(KernelBlocks, PrimariesTableRows) {
    TsrFrameInfoRecord record = MakeRecord(8, 8, true);
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::memcpy(record.colorMatrix, identity, sizeof identity);
    const FrameQuantities bt709 = DeriveFrameQuantities(RawProcessingSetup(record, nullptr, 0));
    const FrameQuantities bt2020 = DeriveFrameQuantities(RawProcessingSetup(record, nullptr, 1));
    EXPECT_EQ(static_cast<float>(3.240969941904521), bt709.conversion[0]);
    EXPECT_EQ(static_cast<float>(1.056971514242878), bt709.conversion[8]);
    EXPECT_EQ(static_cast<float>(1.716651187971268), bt2020.conversion[0]);
    EXPECT_EQ(static_cast<float>(-0.042770613257809), bt2020.conversion[7]);
}

// Every field of every block, word by word, against the blocks the chain model builds apart from
// the engine, for frames that reach each branch: typical, equal levels with zero gains, the
// host's colour override, BT.709 and BT.2020, each Bayer pattern.
TEST(KernelBlocks, EveryFieldMatchesTheModelBlocks) {
    auto expectSame = [](const void* actual, const void* expected, size_t size, const char* name, int frame) {
        std::uint32_t a[32], e[32];
        std::memcpy(a, actual, size);
        std::memcpy(e, expected, size);
        for (size_t i = 0; i < size / 4; ++i)
            EXPECT_EQ(e[i], a[i]) << name << " word " << i << " frame " << frame;
    };
    const float colour[12] = {2.5f, 1.25f, 0.9f, 0.1f, 0.05f, 0.2f, 0.75f, 0.05f, 0.0f, 0.1f, 0.95f, 1.75f};
    for (int frame = 0; frame < 8; ++frame) {
        TsrFrameInfoRecord record = MakeRecord(64, 32, frame % 2 == 0, frame % 4);
        const float offsets[6] = {0.125f, -0.125f, 0.375f, 0.125f, -0.125f, 0.625f};
        std::memcpy(record.sampleOffsets, offsets, sizeof offsets);
        if (frame == 5) {
            record.whiteLevel = record.blackLevel;
            record.gain0 = record.gain1 = 0.0f;
        }
        const RawProcessingParameters p =
            RawProcessingSetup(record, frame == 3 ? colour : nullptr, frame / 2);
        const FrameQuantities f = DeriveFrameQuantities(p);
        const ModelBlocks model = ModelParameterBlocks(p);
        const CLRPPS0 green = MakeDemosaicGreenBlock(p, f);
        const CLRPPS1 colourBlock = MakeDemosaicColourBlock(p, f);
        const CLRPPS2 conversion = MakeConversionBlock(p, f);
        const CLRPTSRD fourSample = MakeFourSampleBlock(p, f);
        expectSame(&green, &model.green, sizeof green, "CLRPPS0", frame);
        expectSame(&colourBlock, &model.colour, sizeof colourBlock, "CLRPPS1", frame);
        expectSame(&conversion, &model.conversion, sizeof conversion, "CLRPPS2", frame);
        expectSame(&fourSample, &model.fourSample, sizeof fourSample, "CLRPTSRD", frame);
        for (int tuning : {70, 75, 19199}) {
            const CLRPPD chart = MakeTestChartBlock(p, 1920, 1080, tuning);
            const CLRPPD expected = ModelTestChartBlock(p, 1920, 1080, tuning);
            expectSame(&chart, &expected, sizeof chart, "CLRPPD", frame);
        }
    }
}

// The primaries table against its derivation from the BT.709 and BT.2020 chromaticities.
TEST(KernelBlocks, PrimariesTableFollowsFromTheChromaticities) {
    for (int primaries : {0, 1}) {
        double derived[9];
        DerivePrimariesToRgb(primaries, derived);
        for (int i = 0; i < 9; ++i)
            EXPECT_NEAR(derived[i], kPrimariesToRgb[primaries][i], 1e-9) << primaries << " " << i;
    }
}

TEST(KernelBlocks, TestChart) {
    TsrFrameInfoRecord record = MakeRecord(8, 8, false);
    const struct {
        int tuning;
        float fraction;
        float offset;
        std::uint32_t columns;
    } cases[] = {
        {20, 1.0f, 0.0f, 0},     {75, 0.5f, 0.25f, 8},  {19199, 0.1f, -0.125f, 4}, {70, 1.0f, 0.0625f, 2},
        {79, 0.1f, 0.03125f, 1}, {19190, 1.0f, NAN, 0}, {72, 0.8f, 1e30f, 0},
    };
    for (const auto& c : cases) {
        record.sampleOffsets[0] = c.offset;
        const CLRPPD chart = MakeTestChartBlock(RawProcessingSetup(record, nullptr, 0), 1920, 1080, c.tuning);
        EXPECT_EQ(1920u, chart.width);
        EXPECT_EQ(1080u, chart.height);
        EXPECT_FLOAT_EQ(c.fraction, chart.chartFractionX) << c.tuning;
        EXPECT_EQ(Bits(chart.chartFractionX), Bits(chart.chartFractionY));
        EXPECT_EQ(c.columns, chart.chartCheckerColumns) << c.offset;
        EXPECT_EQ(0.75f, chart.chartCheckerLevel);
        EXPECT_EQ(0.0625f, chart.chartLevels[0]);
        EXPECT_EQ(8.0f, chart.chartLevels[7]);
    }
}

} // namespace
} // namespace tsr::test
