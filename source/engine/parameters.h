// Per-frame raw-processing parameters and the kernel parameter blocks derived from them.
//
// Plain host arithmetic: single precision in the order written, except the colour matrix product,
// the noise scale and the chart checker column count, which are evaluated in double.
#pragma once

#include <cstdint>

#include "kernels/parameterblocks.h"
#include "tsr/framerecords.h"

namespace tsr {

// What the chain needs from a frame, after the host's colour override and curve choice.
struct RawProcessingParameters {
    std::uint32_t bayerPattern;
    std::uint32_t blackLevel;
    std::uint32_t whiteLevel;
    float gainRed;
    float gainBlue;
    float colorMatrix[9];   // camera RGB to CIE XYZ, row-major
    float sampleOffsets[6]; // Rx, Ry, Gx, Gy, Bx, By
    std::int32_t primaries; // 0 BT.709, 1 BT.2020
    float exposure;
    float noiseLevel;
    float noiseBase;
};
static_assert(sizeof(RawProcessingParameters) == 96, "RawProcessingParameters layout");

static_assert(sizeof(CLRPPS0) == 32, "CLRPPS0 layout");
static_assert(sizeof(CLRPPS1) == 28, "CLRPPS1 layout");
static_assert(sizeof(CLRPPS2) == 40, "CLRPPS2 layout");
static_assert(sizeof(CLRPTSRD) == 76, "CLRPTSRD layout");
static_assert(sizeof(CLRPPD) == 56, "CLRPPD layout");

// Number of floats in the host's colour override: gain0, gain1, colorMatrix[9], auxFloat.
constexpr int kColorOverrideFloats = 12;

// Builds the frame's parameters. `colorOverride` is null or points to kColorOverrideFloats
// floats that replace the record's gains, matrix and exposure; `curve` is the curve index.
RawProcessingParameters RawProcessingSetup(const TsrFrameInfoRecord& record, const float* colorOverride,
                                           unsigned curve);

// XYZ (D65) to linear RGB, row-major: index 0 BT.709, 1 BT.2020.
extern const double kPrimariesToRgb[2][9];

// Quantities the chain derives once per frame from the parameters.
struct FrameQuantities {
    float range;         // white minus black level, 65535 when they are equal
    float exposureScale; // exposure / 0.9
    float conversion[9]; // primaries matrix times colour matrix, row-major
    float noiseScale;
    float noiseFloor;
    float noiseOffset;
};

FrameQuantities DeriveFrameQuantities(const RawProcessingParameters& parameters);

CLRPPS0 MakeDemosaicGreenBlock(const RawProcessingParameters& parameters, const FrameQuantities& frame);
CLRPPS1 MakeDemosaicColourBlock(const RawProcessingParameters& parameters, const FrameQuantities& frame);
CLRPPS2 MakeConversionBlock(const RawProcessingParameters& parameters, const FrameQuantities& frame);
CLRPTSRD MakeFourSampleBlock(const RawProcessingParameters& parameters, const FrameQuantities& frame);
// Whether a tuning value asks for the test chart.
bool DrawsTestChart(std::int32_t tuningValue);
CLRPPD MakeTestChartBlock(const RawProcessingParameters& parameters, std::uint32_t width,
                          std::uint32_t height, std::int32_t tuningValue);

} // namespace tsr
