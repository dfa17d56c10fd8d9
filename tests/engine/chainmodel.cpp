#include "chainmodel.h"

#include <cmath>
#include <cstring>

#include "engine/rawprocessing.h"
#include "testsupport.h"

namespace tsr::test {

namespace {

void RoundToHalf(Plane& plane, bool half) {
    if (!half) return;
    for (float& v : plane) v = HalfToFloat(FloatToHalf(v));
}

} // namespace

void DerivePrimariesToRgb(int primaries, double out[9]) {
    // Chromaticities x, y of red, green, blue (ITU-R BT.709 and BT.2020) and of D65.
    const double xy[2][3][2] = {{{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}},
                                {{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}}};
    const double wx = 0.3127, wy = 0.3290;
    double m[9]; // columns: the primaries' XYZ at unit luminance
    for (int c = 0; c < 3; ++c) {
        const double x = xy[primaries][c][0], y = xy[primaries][c][1];
        m[c] = x / y;
        m[3 + c] = 1.0;
        m[6 + c] = (1.0 - x - y) / y;
    }
    auto inverse = [](const double a[9], double r[9]) {
        const double det = a[0] * (a[4] * a[8] - a[5] * a[7]) - a[1] * (a[3] * a[8] - a[5] * a[6]) +
                           a[2] * (a[3] * a[7] - a[4] * a[6]);
        r[0] = (a[4] * a[8] - a[5] * a[7]) / det;
        r[1] = (a[2] * a[7] - a[1] * a[8]) / det;
        r[2] = (a[1] * a[5] - a[2] * a[4]) / det;
        r[3] = (a[5] * a[6] - a[3] * a[8]) / det;
        r[4] = (a[0] * a[8] - a[2] * a[6]) / det;
        r[5] = (a[2] * a[3] - a[0] * a[5]) / det;
        r[6] = (a[3] * a[7] - a[4] * a[6]) / det;
        r[7] = (a[1] * a[6] - a[0] * a[7]) / det;
        r[8] = (a[0] * a[4] - a[1] * a[3]) / det;
    };
    double mi[9];
    inverse(m, mi);
    const double white[3] = {wx / wy, 1.0, (1.0 - wx - wy) / wy};
    double scaled[9];
    for (int c = 0; c < 3; ++c) {
        const double s = mi[3 * c] * white[0] + mi[3 * c + 1] * white[1] + mi[3 * c + 2] * white[2];
        for (int r = 0; r < 3; ++r) scaled[3 * r + c] = m[3 * r + c] * s;
    }
    inverse(scaled, out);
}

ModelBlocks ModelParameterBlocks(const RawProcessingParameters& p) {
    const float range = p.whiteLevel == p.blackLevel ? 65535.0f : float(p.whiteLevel - p.blackLevel);
    const float exposureScale = p.exposure / 0.9f;
    double rgb[9];
    DerivePrimariesToRgb(p.primaries ? 1 : 0, rgb);
    float matrix[9];
    for (int i = 0; i < 9; ++i) {
        double c = 0.0;
        for (int k = 0; k < 3; ++k) c += rgb[3 * (i / 3) + k] * double(p.colorMatrix[3 * k + i % 3]);
        matrix[i] = exposureScale * float(c);
    }
    const float noiseScale = float(double(p.noiseLevel) / (9.0 * 16777216.0));
    const float noiseFloor = p.noiseLevel / (range * 256.0f * range);
    const float noiseOffset = p.noiseBase / (range * range);
    ModelBlocks b;
    std::memset(&b, 0, sizeof b);
    b.green = {p.bayerPattern,
               p.blackLevel,
               1.0f / range,
               noiseScale,
               noiseFloor,
               noiseOffset,
               p.gainRed == 0.0f ? 1.0f : 1.0f / p.gainRed,
               p.gainBlue == 0.0f ? 1.0f : 1.0f / p.gainBlue};
    b.colour = {p.bayerPattern, float(p.blackLevel) / range, noiseScale, noiseFloor, noiseOffset, p.gainRed,
                p.gainBlue};
    b.conversion.bayerPattern = p.bayerPattern;
    std::memcpy(b.conversion.matrix, matrix, sizeof matrix);
    b.fourSample.blackNorm = float(p.blackLevel) / 65535.0f;
    b.fourSample.scaleRed = p.gainRed * 65535.0f / range;
    b.fourSample.scaleGreen = 65535.0f / range;
    b.fourSample.scaleBlue = p.gainBlue * 65535.0f / range;
    std::memcpy(b.fourSample.matrix, matrix, sizeof matrix);
    std::memcpy(b.fourSample.sampleOffsets, p.sampleOffsets, sizeof p.sampleOffsets);
    return b;
}

CLRPPD ModelTestChartBlock(const RawProcessingParameters& p, std::uint32_t width, std::uint32_t height,
                           std::int32_t tuningValue) {
    CLRPPD b;
    std::memset(&b, 0, sizeof b);
    b.width = width;
    b.height = height;
    b.chartFractionX = b.chartFractionY = 1.0f - float(tuningValue % 10) / 10.0f;
    // Checker columns: |Rx| in 1/32 steps, rounded; nothing for offsets beyond any image.
    const double columns = std::round(std::fabs(double(p.sampleOffsets[0])) * 32.0);
    b.chartCheckerColumns = columns <= 2147483647.0 ? std::uint32_t(columns) : 0u;
    b.chartCheckerLevel = 0.75f;
    for (int k = 0; k < 8; ++k) b.chartLevels[k] = std::ldexp(1.0f, k - 4); // 1/16 .. 8
    return b;
}

Plane ModelChain(const ChainInput& input, const RawProcessingParameters& parameters, int tuningValue,
                 const CurveNodeList& nodes, bool halfImages) {
    const ModelBlocks blocks = ModelParameterBlocks(parameters);
    const int w = input.width, h = input.height;
    Plane plane;
    if (input.bayer) {
        Plane green = ModelGreen(*input.samples, w, h, blocks.green);
        RoundToHalf(green, halfImages);
        Plane colour = ModelColour(green, w, h, blocks.colour);
        RoundToHalf(colour, halfImages);
        plane = ModelConversion(colour, w, h, blocks.conversion);
    } else {
        plane = ModelFourSample(*input.samples, w, h, blocks.fourSample);
    }
    if (DrawsTestChart(tuningValue))
        ModelTestChart(plane, w, h, ModelTestChartBlock(parameters, w, h, tuningValue));
    RoundToHalf(plane, halfImages);
    for (const auto& node : nodes) {
        plane = ModelCurveNode(*node, plane);
        RoundToHalf(plane, halfImages);
    }
    return plane;
}

} // namespace tsr::test
