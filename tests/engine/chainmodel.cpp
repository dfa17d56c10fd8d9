#include "chainmodel.h"

#include "rawprocessing.h"
#include "testsupport.h"

namespace tsr::test {

namespace {

void RoundToHalf(Plane& plane, bool half) {
    if (!half) return;
    for (float& v : plane) v = HalfToFloat(FloatToHalf(v));
}

} // namespace

Plane ModelChain(const ChainInput& input, const RawProcessingParameters& parameters, int tuningValue,
                 const CurveNodeList& nodes, bool halfImages) {
    const FrameQuantities frame = DeriveFrameQuantities(parameters);
    const int w = input.width, h = input.height;
    Plane plane;
    if (input.bayer) {
        Plane green = ModelGreen(*input.samples, w, h, MakeDemosaicGreenBlock(parameters, frame));
        RoundToHalf(green, halfImages);
        Plane colour = ModelColour(green, w, h, MakeDemosaicColourBlock(parameters, frame));
        RoundToHalf(colour, halfImages);
        plane = ModelConversion(colour, w, h, MakeConversionBlock(parameters, frame));
    } else {
        plane = ModelFourSample(*input.samples, w, h, MakeFourSampleBlock(parameters, frame));
    }
    if (DrawsTestChart(tuningValue))
        ModelTestChart(plane, w, h, MakeTestChartBlock(parameters, w, h, tuningValue));
    RoundToHalf(plane, halfImages);
    for (const auto& node : nodes) {
        plane = ModelCurveNode(*node, plane);
        RoundToHalf(plane, halfImages);
    }
    return plane;
}

} // namespace tsr::test
