#include "parameters.h"

#include <cmath>
#include <cstring>

namespace tsr {

const double kPrimariesToRgb[2][9] = {
    {3.240969941904521, -1.537383177570093, -0.498610760293003, -0.96924363628088, 1.875967501507721,
     0.041555057407176, 0.055630079696994, -0.203976958888977, 1.056971514242878},
    {1.716651187971268, -0.355670783776393, -0.25336628137366, -0.666684351832489, 1.616481236634939,
     0.015768545813911, 0.017639857445311, -0.042770613257809, 0.942103121235474},
};

namespace {

constexpr float kNoiseBase = 21.333334f;
constexpr float kExposureReference = 0.9f;

} // namespace

RawProcessingParameters RawProcessingSetup(const TsrFrameInfoRecord& record, const float* colorOverride,
                                           unsigned curve) {
    RawProcessingParameters p;
    std::memset(&p, 0, sizeof p);
    if (colorOverride) {
        p.gainRed = colorOverride[0];
        p.gainBlue = colorOverride[1];
        std::memcpy(p.colorMatrix, colorOverride + 2, sizeof p.colorMatrix);
        p.exposure = colorOverride[11];
    } else {
        p.gainRed = record.gain0;
        p.gainBlue = record.gain1;
        std::memcpy(p.colorMatrix, record.colorMatrix, sizeof p.colorMatrix);
        p.exposure = record.auxFloat;
    }
    p.bayerPattern = record.bayerPattern;
    p.blackLevel = static_cast<std::uint32_t>(record.blackLevel);
    p.whiteLevel = static_cast<std::uint32_t>(record.whiteLevel);
    std::memcpy(p.sampleOffsets, record.sampleOffsets, sizeof p.sampleOffsets);
    p.primaries = curve != 0 ? 1 : 0;
    // Squared in 64 bits: a step above 46340 does not fit a 32-bit product.
    const std::int64_t step = record.maxDcStep;
    p.noiseLevel = static_cast<float>(step * step) * 5.0f + kNoiseBase;
    p.noiseBase = kNoiseBase;
    return p;
}

FrameQuantities DeriveFrameQuantities(const RawProcessingParameters& p) {
    FrameQuantities f;
    f.range = p.whiteLevel == p.blackLevel ? 65535.0f : static_cast<float>(p.whiteLevel - p.blackLevel);
    f.exposureScale = p.exposure / kExposureReference;
    const double* P = kPrimariesToRgb[p.primaries != 0 ? 1 : 0];
    const float* M = p.colorMatrix;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const double c = P[3 * i + 0] * static_cast<double>(M[0 + j]) +
                             P[3 * i + 1] * static_cast<double>(M[3 + j]) +
                             P[3 * i + 2] * static_cast<double>(M[6 + j]);
            f.conversion[3 * i + j] = static_cast<float>(c);
        }
    }
    f.noiseScale = static_cast<float>(static_cast<double>(p.noiseLevel) / 150994944.0);
    f.noiseFloor = p.noiseLevel / (f.range * 256.0f * f.range);
    f.noiseOffset = p.noiseBase / (f.range * f.range);
    return f;
}

CLRPPS0 MakeDemosaicGreenBlock(const RawProcessingParameters& p, const FrameQuantities& f) {
    CLRPPS0 b;
    b.bayerPattern = p.bayerPattern;
    b.blackLevel = p.blackLevel;
    b.invRange = 1.0f / f.range;
    b.noiseScale = f.noiseScale;
    b.noiseFloor = f.noiseFloor;
    b.noiseOffset = f.noiseOffset;
    b.invGainRed = p.gainRed == 0.0f ? 1.0f : 1.0f / p.gainRed;
    b.invGainBlue = p.gainBlue == 0.0f ? 1.0f : 1.0f / p.gainBlue;
    return b;
}

CLRPPS1 MakeDemosaicColourBlock(const RawProcessingParameters& p, const FrameQuantities& f) {
    CLRPPS1 b;
    b.bayerPattern = p.bayerPattern;
    b.blackNorm = static_cast<float>(p.blackLevel) / f.range;
    b.noiseScale = f.noiseScale;
    b.noiseFloor = f.noiseFloor;
    b.noiseOffset = f.noiseOffset;
    b.gainRed = p.gainRed;
    b.gainBlue = p.gainBlue;
    return b;
}

CLRPPS2 MakeConversionBlock(const RawProcessingParameters& p, const FrameQuantities& f) {
    CLRPPS2 b;
    b.bayerPattern = p.bayerPattern;
    for (int k = 0; k < 9; ++k) b.matrix[k] = f.exposureScale * f.conversion[k];
    return b;
}

CLRPTSRD MakeFourSampleBlock(const RawProcessingParameters& p, const FrameQuantities& f) {
    CLRPTSRD b;
    b.blackNorm = static_cast<float>(p.blackLevel) / 65535.0f;
    b.scaleRed = p.gainRed * 65535.0f / f.range;
    b.scaleGreen = 65535.0f / f.range;
    b.scaleBlue = p.gainBlue * 65535.0f / f.range;
    for (int k = 0; k < 9; ++k) b.matrix[k] = f.exposureScale * f.conversion[k];
    std::memcpy(b.sampleOffsets, p.sampleOffsets, sizeof b.sampleOffsets);
    return b;
}

bool DrawsTestChart(std::int32_t tuningValue) {
    return tuningValue == 20 || (tuningValue >= 70 && tuningValue <= 79) ||
           (tuningValue >= 19190 && tuningValue <= 19199);
}

CLRPPD MakeTestChartBlock(const RawProcessingParameters& p, std::uint32_t width, std::uint32_t height,
                          std::int32_t tuningValue) {
    CLRPPD b;
    b.width = width;
    b.height = height;
    const float fraction = 1.0f - static_cast<float>(tuningValue % 10) / 10.0f;
    b.chartFractionX = fraction;
    b.chartFractionY = fraction;
    // A nonsensical offset (huge, infinite or NaN) must not reach an out-of-range conversion.
    const double columns = std::floor(std::fabs(static_cast<double>(p.sampleOffsets[0])) * 32.0 + 0.5);
    b.chartCheckerColumns =
        columns >= 0.0 && columns <= 2147483647.0 ? static_cast<std::uint32_t>(columns) : 0u;
    b.chartCheckerLevel = 0.75f;
    const float levels[8] = {0.0625f, 0.125f, 0.25f, 0.5f, 1.0f, 2.0f, 4.0f, 8.0f};
    std::memcpy(b.chartLevels, levels, sizeof levels);
    return b;
}

} // namespace tsr
