// Plain C++ models of the device kernels, written from their formulas (single precision, in the
// order the formulas are written). Planes hold four floats per pixel, rows top to bottom.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/curves.h"
#include "engine/parameters.h"

namespace tsr::test {

using Plane = std::vector<float>;

Plane ModelGreen(const std::vector<std::uint16_t>& bayer, int width, int height, const CLRPPS0& block);
Plane ModelColour(const Plane& green, int width, int height, const CLRPPS1& block);
Plane ModelConversion(const Plane& colour, int width, int height, const CLRPPS2& block);
Plane ModelFourSample(const std::vector<std::uint16_t>& samples, int width, int height,
                      const CLRPTSRD& block);
// Draws over `plane` in place.
void ModelTestChart(Plane& plane, int width, int height, const CLRPPD& block);

float ModelLog(const CLIPLOG& block, float x);
float ModelHlg(const CLIPHLG& block, float x);
float ModelCanonLog2(const CLIPCANONLOG2& block, float x);
float ModelNLog(const CLIPNIKONNLOG& block, float x);
// The node's kernel applied to a plane (matrices included).
Plane ModelCurveNode(const ImageProcessingNode<1>& node, const Plane& plane);

// Largest absolute difference of the first `channels` channels.
float MaxDifference(const Plane& a, const Plane& b, int channels = 4);

} // namespace tsr::test
