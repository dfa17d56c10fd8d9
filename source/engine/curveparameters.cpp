#include "curveparameters.h"

#include <cmath>
#include <cstring>

namespace tsr {

CLIPHLG MakeHlgBlock() {
    CLIPHLG block;
    // ARIB STD-B67 with the input scaled so that 1.0 ends the square-root segment and 12.0
    // reaches 1.0.
    block.r = static_cast<float>(std::sqrt(1.0) * 0.5);
    block.a = static_cast<float>(0.17883277 * 0.6931471805599453);
    block.m = 1.0f;
    block.b = -0.28466892f;
    block.c = static_cast<float>(0.5 - std::log(0.7153310906278) * 0.17883277265695);
    block.t = 1.0f;
    return block;
}

CLIPCANONLOG2 MakeCanonLog2Block() {
    CLIPCANONLOG2 block;
    const float matrix[9] = {0.8804143f,  0.03456769f,  0.08501798f, 0.039596997f, 0.79360366f,
                             0.16679937f, 0.013393459f, 0.16183142f, 0.8247751f};
    std::memcpy(block.colorMatrix, matrix, sizeof matrix);
    block.a = 0.07265683f;
    block.b = 0.092864126f;
    block.c = 87.09937f;
    return block;
}

CLIPNIKONNLOG MakeNikonNLogBlock() {
    CLIPNIKONNLOG block;
    block.c = 0.10163449f;
    block.s = 0.9f;
    block.d = 0.6050831f;
    block.a = 0.6353861f;
    block.m = 0.9f;
    block.b = 0.0075f;
    block.g = 0.33333334f;
    block.t = 0.36444443f;
    return block;
}

namespace {

struct LogCurveEntry {
    float matrix[9];
    double a, b, c, d, e, f, t;
    unsigned logBase;        // 0: written with log10, 1: natural log, other: log2
    bool expectsScaledInput; // the curve wants its input divided by 0.9
};

const LogCurveEntry kLogCurves[4] = {
    {{0.9859064f, -0.048324835f, 0.06241841f, -0.018427435f, 0.86037517f, 0.15805228f, 0.013833426f,
      0.08294598f, 0.9032206f},
     0.9892,
     0.0108,
     0.256663,
     0.584555,
     6.025,
     0.09286412512218964,
     0.0078,
     0,
     true},
    // Panasonic V-Log.
    {{0.9298549f, 0.012365756f, 0.05777929f, 0.0265632f, 0.87213624f, 0.10130055f, 0.007959938f, 0.029203165f,
      0.9628369f},
     1.0,
     0.00873,
     0.241514,
     0.598206,
     5.6,
     0.125,
     0.01,
     0,
     true},
    // Sony S-Log3, two gamuts.
    {{0.89557296f, 0.04651097f, 0.05791606f, 0.026020654f, 0.8475529f, 0.12642644f, 0.0078121223f,
      0.022505479f, 0.9696824f},
     5.2631578947368425,
     0.05263157894736842,
     0.25562072336265884,
     0.41055718475073316,
     6.621943711772399,
     0.09286412512218964,
     0.01125,
     0,
     true},
    {{1.0381441f, -0.09545269f, 0.05730863f, 0.047948923f, 0.79386187f, 0.15818922f, 0.030132053f,
      0.04088579f, 0.92898214f},
     5.2631578947368425,
     0.05263157894736842,
     0.25562072336265884,
     0.41055718475073316,
     6.621943711772399,
     0.09286412512218964,
     0.01125,
     0,
     true},
};

} // namespace

CLIPLOG MakeLogBlock(int tableEntry) {
    CLIPLOG block;
    const LogCurveEntry& entry = kLogCurves[tableEntry & 3];
    std::memcpy(block.colorMatrix, entry.matrix, sizeof entry.matrix);
    double a = entry.a, c = entry.c, e = entry.e, t = entry.t;
    if (entry.expectsScaledInput) {
        a *= 0.9;
        e *= 0.9;
        t *= 1.1111111111111112;
    }
    if (entry.logBase == 0)
        c *= 0.3010299956639812;
    else if (entry.logBase == 1)
        c *= 0.6931471805599453;
    block.a = static_cast<float>(a);
    block.b = static_cast<float>(entry.b);
    block.c = static_cast<float>(c);
    block.d = static_cast<float>(entry.d);
    block.e = static_cast<float>(e);
    block.f = static_cast<float>(entry.f);
    block.t = static_cast<float>(t);
    return block;
}

OutputCurveChoice OutputCurveForIndex(unsigned curve) {
    switch (curve) {
    case 2:
        return {OutputCurveKind::HLG, 0};
    case 3:
        return {OutputCurveKind::CanonLog2, 0};
    case 4:
        return {OutputCurveKind::Log, 0};
    case 5:
        return {OutputCurveKind::NikonNLog, 0};
    case 6:
        return {OutputCurveKind::Log, 1};
    case 7:
        return {OutputCurveKind::Log, 2};
    case 8:
        return {OutputCurveKind::Log, 3};
    default:
        return {OutputCurveKind::None, 0};
    }
}

} // namespace tsr
