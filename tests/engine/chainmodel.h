// The whole kernel chain as one C++ model, built from the per-kernel models.
#pragma once

#include "kernelmodels.h"

namespace tsr::test {

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
