// Four-sample (bp64) frames: each colour is read bilinearly at its own sample position from
// rows converted to floats once per strip, instead of the demosaic stages.
// Included once per SIMD target from rowkernels.cpp (Highway's foreach_target): the guard below
// toggles with HWY_TARGET_TOGGLE so that each target's pass compiles it again.
#if defined(TSR_CPUENGINE_FOURSAMPLE_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TSR_CPUENGINE_FOURSAMPLE_INL_H_
#undef TSR_CPUENGINE_FOURSAMPLE_INL_H_
#else
#define TSR_CPUENGINE_FOURSAMPLE_INL_H_
#endif

#include <hwy/highway.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "cpuframe.h"
#include "strip-inl.h"

HWY_BEFORE_NAMESPACE();
namespace tsr::cpu {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

const float* const* FetchSource(Strip& s, int y) {
    Scratch& sc = s.scratch;
    int slot = sc.sourceCache.Find(y);
    if (slot >= 0) return sc.source[slot];
    slot = sc.sourceCache.Claim(y);
    const D d = s.d;
    const DU16 du16;
    const DU du;
    const std::size_t N = hn::Lanes(d);
    const std::uint16_t* src =
        reinterpret_cast<const std::uint16_t*>(s.job.picture + static_cast<std::ptrdiff_t>(y) * s.job.pitch);
    const V scale = hn::Set(d, 65535.0f);
    HWY_ALIGN std::uint16_t tail[4 * kMaxLanes] = {};
    float* const* out = sc.source[slot];
    for (int x = 0; x < s.width; x += static_cast<int>(N)) {
        const std::uint16_t* from = src + 4 * x;
        if (x + static_cast<int>(N) > s.width) {
            std::memcpy(tail, from, sizeof(std::uint16_t) * 4 * static_cast<std::size_t>(s.width - x));
            from = tail;
        }
        hn::Vec<DU16> r, g, b, a;
        hn::LoadInterleaved4(du16, from, r, g, b, a);
        hn::StoreU(
            hn::Div(hn::ConvertTo(d, hn::BitCast(hn::RebindToSigned<DU>(), hn::PromoteTo(du, r))), scale), d,
            out[0] + x);
        hn::StoreU(
            hn::Div(hn::ConvertTo(d, hn::BitCast(hn::RebindToSigned<DU>(), hn::PromoteTo(du, g))), scale), d,
            out[1] + x);
        hn::StoreU(
            hn::Div(hn::ConvertTo(d, hn::BitCast(hn::RebindToSigned<DU>(), hn::PromoteTo(du, b))), scale), d,
            out[2] + x);
    }
    return out;
}

// Bilinear reads at each colour's sample position, black level, white balance and range, clipped
// at 1, into the scratch's full-width rows.
void FourSampleRow(Strip& s, int y) {
    const StageTimer timer(s, kStageFourSample);
    const D d = s.d;
    const DI di;
    const std::size_t N = hn::Lanes(d);
    const CLRPTSRD& block = s.job.fourSample;
    const float scales[3] = {block.scaleRed, block.scaleGreen, block.scaleBlue};
    const V one = hn::Set(d, 1.0f);
    const V blackNorm = hn::Set(d, block.blackNorm);
    for (int c = 0; c < 3; ++c) {
        const float fv = (static_cast<float>(y) + 0.5f - block.sampleOffsets[2 * c + 1]) - 0.5f;
        const float iv = std::floor(fv);
        const float b = fv - iv;
        // Rows outside the picture clamp to its edge (a row far outside, or NaN, to row 0).
        const int j0 =
            iv >= 0.0f ? (iv < static_cast<float>(s.height) ? static_cast<int>(iv) : s.height - 1) : 0;
        const int j1 =
            iv + 1.0f >= 0.0f
                ? (iv + 1.0f < static_cast<float>(s.height) ? static_cast<int>(iv + 1.0f) : s.height - 1)
                : 0;
        const float* row0 = FetchSource(s, j0)[c];
        const float* row1 = FetchSource(s, j1)[c];
        const V vb = hn::Set(d, b);
        const V oneMinusB = hn::Sub(one, vb);
        const V scale = hn::Set(d, scales[c]);
        float* outRow = s.scratch.rgb[c];
        for (int x = 0; x < s.width; x += static_cast<int>(N)) {
            const V a = hn::LoadU(d, s.job.columnWeight[c] + x);
            const auto i0 = hn::LoadU(di, s.job.column0[c] + x);
            const auto i1 = hn::LoadU(di, s.job.column1[c] + x);
            const V oneMinusA = hn::Sub(one, a);
            V value = hn::Mul(hn::Mul(oneMinusA, oneMinusB), hn::GatherIndex(d, row0, i0));
            value = hn::Add(value, hn::Mul(hn::Mul(a, oneMinusB), hn::GatherIndex(d, row0, i1)));
            value = hn::Add(value, hn::Mul(hn::Mul(oneMinusA, vb), hn::GatherIndex(d, row1, i0)));
            value = hn::Add(value, hn::Mul(hn::Mul(a, vb), hn::GatherIndex(d, row1, i1)));
            hn::StoreU(hn::Min(hn::Mul(scale, hn::Sub(value, blackNorm)), one), d, outRow + x);
        }
    }
}

} // namespace HWY_NAMESPACE
} // namespace tsr::cpu
HWY_AFTER_NAMESPACE();

#endif
