// Output curves without OpenCL: the parameter blocks of the image-processing kernels, their
// values, and which curve a curve index selects. The OpenCL nodes and the CPU engine both take
// their constants from here.
#pragma once

namespace tsr {

// Parameter blocks of the image-processing kernels (packed floats, the layout the program's
// structures have).
struct CLIPCM {
    float matrix[9];
};
struct CLIPLOG {
    float colorMatrix[9];
    float a, b, c, d, e, f, t;
};
struct CLIPHLG {
    float r, a, m, b, c, t;
};
struct CLIPCANONLOG2 {
    float colorMatrix[9];
    float a, b, c;
};
struct CLIPNIKONNLOG {
    float c, s, d, a, m, b, g, t;
};
static_assert(sizeof(CLIPCM) == 36, "CLIPCM layout");
static_assert(sizeof(CLIPLOG) == 64, "CLIPLOG layout");
static_assert(sizeof(CLIPHLG) == 24, "CLIPHLG layout");
static_assert(sizeof(CLIPCANONLOG2) == 48, "CLIPCANONLOG2 layout");
static_assert(sizeof(CLIPNIKONNLOG) == 32, "CLIPNIKONNLOG layout");

// The curve a curve index selects.
enum class OutputCurveKind { None, HLG, CanonLog2, Log, NikonNLog };

struct OutputCurveChoice {
    OutputCurveKind kind;
    int logTableEntry; // 0..3 for OutputCurveKind::Log
};

// 0 and 1 (linear BT.709 and BT.2020) and anything above 8 select no curve.
OutputCurveChoice OutputCurveForIndex(unsigned curve);

CLIPHLG MakeHlgBlock();
CLIPCANONLOG2 MakeCanonLog2Block();
CLIPNIKONNLOG MakeNikonNLogBlock();
// Built from entry 0..3 of the generic log table.
CLIPLOG MakeLogBlock(int tableEntry);

} // namespace tsr
