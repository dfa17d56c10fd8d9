// The whole kernel chain as one C++ model, built from the per-kernel models.
#pragma once

#include "kernelmodels.h"

namespace tsr::test {

// The kernels' parameter blocks, built from the frame's parameters by the formulas the kernels
// expect, written apart from the engine's Make*Block functions so that the models check them.
struct ModelBlocks {
    CLRPPS0 green;
    CLRPPS1 colour;
    CLRPPS2 conversion;
    CLRPTSRD fourSample;
};
ModelBlocks ModelParameterBlocks(const RawProcessingParameters& parameters);
CLRPPD ModelTestChartBlock(const RawProcessingParameters& parameters, std::uint32_t width,
                           std::uint32_t height, std::int32_t tuningValue);
// XYZ (D65) to linear RGB, row-major, for BT.709 (0) or BT.2020 (1) primaries: the inverse of the
// matrix whose columns are the primaries' XYZ scaled so that RGB 1,1,1 is the white point.
void DerivePrimariesToRgb(int primaries, double out[9]);

struct ChainInput {
    bool bayer;
    const std::vector<std::uint16_t>* samples; // one per pixel (Bayer) or four per pixel
    int width, height;
};

// Expected output of the chain; with `halfImages` every image between kernels, and the output,
// holds half floats.
Plane ModelChain(const ChainInput& input, const RawProcessingParameters& parameters, int tuningValue,
                 const CurveNodeList& nodes, bool halfImages);

} // namespace tsr::test
