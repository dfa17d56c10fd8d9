// Output curves on linear RGB, evaluated per lane: HLG, the log curves with their colour matrix,
// Canon Log 2 and Nikon N-Log. A new curve is a case of ApplyCurve.
// Included once per SIMD target from rowkernels.cpp (Highway's foreach_target): the guard below
// toggles with HWY_TARGET_TOGGLE so that each target's pass compiles it again.
#if defined(TSR_CPUENGINE_CURVES_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TSR_CPUENGINE_CURVES_INL_H_
#undef TSR_CPUENGINE_CURVES_INL_H_
#else
#define TSR_CPUENGINE_CURVES_INL_H_
#endif

#include <hwy/contrib/math/math-inl.h>
#include <hwy/highway.h>

#include "cpuframe.h"

HWY_BEFORE_NAMESPACE();
namespace tsr::cpu {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// x, y, z = m r, g, b for the row-major 3x3 matrix m.
template <class DF, class V = hn::Vec<DF>>
HWY_INLINE void Multiply(DF d, const float* m, V r, V g, V b, V& x, V& y, V& z) {
    x = hn::Add(hn::Add(hn::Mul(hn::Set(d, m[0]), r), hn::Mul(hn::Set(d, m[1]), g)),
                hn::Mul(hn::Set(d, m[2]), b));
    y = hn::Add(hn::Add(hn::Mul(hn::Set(d, m[3]), r), hn::Mul(hn::Set(d, m[4]), g)),
                hn::Mul(hn::Set(d, m[5]), b));
    z = hn::Add(hn::Add(hn::Mul(hn::Set(d, m[6]), r), hn::Mul(hn::Set(d, m[7]), g)),
                hn::Mul(hn::Set(d, m[8]), b));
}

// The output curve on linear RGB, per channel; both branches are evaluated and chosen per lane.
template <class DF, class V = hn::Vec<DF>>
HWY_INLINE void ApplyCurve(DF d, const FrameJob& job, V& r, V& g, V& b) {
    V* channel[3] = {&r, &g, &b};
    switch (job.curve) {
    case OutputCurveKind::None:
        return;
    case OutputCurveKind::HLG: {
        const CLIPHLG& p = job.hlg;
        const V t = hn::Set(d, p.t);
        for (V* v : channel) {
            const V x = *v;
            const V root = hn::Mul(hn::Set(d, p.r), hn::Sqrt(hn::Max(x, hn::Zero(d))));
            const V lg = hn::Add(
                hn::Mul(hn::Set(d, p.a),
                        hn::Log2(d, hn::Add(hn::Mul(hn::Set(d, p.m), hn::Max(x, t)), hn::Set(d, p.b)))),
                hn::Set(d, p.c));
            *v = hn::IfThenElse(hn::Le(x, t), root, lg);
        }
        return;
    }
    case OutputCurveKind::Log: {
        const CLIPLOG& p = job.log;
        V x[3];
        Multiply(d, p.colorMatrix, r, g, b, x[0], x[1], x[2]);
        const V t = hn::Set(d, p.t);
        for (int c = 0; c < 3; ++c) {
            const V linear = hn::Add(hn::Mul(hn::Set(d, p.e), x[c]), hn::Set(d, p.f));
            const V lg = hn::Add(
                hn::Mul(hn::Set(d, p.c),
                        hn::Log2(d, hn::Add(hn::Mul(hn::Set(d, p.a), hn::Max(x[c], t)), hn::Set(d, p.b)))),
                hn::Set(d, p.d));
            *channel[c] = hn::IfThenElse(hn::Lt(x[c], t), linear, lg);
        }
        return;
    }
    case OutputCurveKind::CanonLog2: {
        const CLIPCANONLOG2& p = job.canonLog2;
        V x[3];
        Multiply(d, p.colorMatrix, r, g, b, x[0], x[1], x[2]);
        const V zero = hn::Zero(d);
        for (int c = 0; c < 3; ++c) {
            const V sign = hn::IfThenElse(hn::Gt(x[c], zero), hn::Set(d, 1.0f),
                                          hn::IfThenElse(hn::Lt(x[c], zero), hn::Set(d, -1.0f), zero));
            const V lg = hn::Log2(d, hn::Add(hn::Mul(hn::Set(d, p.c), hn::Abs(x[c])), hn::Set(d, 1.0f)));
            *channel[c] = hn::Add(hn::Mul(hn::Mul(sign, hn::Set(d, p.a)), lg), hn::Set(d, p.b));
        }
        return;
    }
    case OutputCurveKind::NikonNLog: {
        const CLIPNIKONNLOG& p = job.nikonNLog;
        const V t = hn::Set(d, p.t);
        const V zero = hn::Zero(d);
        for (V* v : channel) {
            const V x = *v;
            const V base = hn::Max(hn::Add(hn::Mul(hn::Set(d, p.m), x), hn::Set(d, p.b)), zero);
            // pow(base, g) for base >= 0 as exp(g ln base), with pow(0, g) = 0.
            const V power = hn::IfThenZeroElse(hn::Eq(base, zero),
                                               hn::Exp(d, hn::Mul(hn::Set(d, p.g), hn::Log(d, base))));
            const V curved = hn::Mul(hn::Set(d, p.a), power);
            const V lg =
                hn::Add(hn::Mul(hn::Set(d, p.c), hn::Log2(d, hn::Mul(hn::Set(d, p.s), hn::Max(x, t)))),
                        hn::Set(d, p.d));
            *v = hn::IfThenElse(hn::Lt(x, t), curved, lg);
        }
        return;
    }
    }
}

} // namespace HWY_NAMESPACE
} // namespace tsr::cpu
HWY_AFTER_NAMESPACE();

#endif
