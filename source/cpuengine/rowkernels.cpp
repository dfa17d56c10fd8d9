// The raw-processing chain over a strip of output rows, compiled once per SIMD target and chosen
// at run time. Per output row: Bayer rows are normalised and split by column parity, the green
// stage fills green and colour values, the colour stage estimates red and blue and applies white
// balance, then colour conversion, the optional test chart and output curve, and the store as
// RGBA half or float. Four-sample rows are resampled bilinearly instead of the two demosaic
// stages. Intermediate rows live in each worker's scratch; nothing is whole-frame.
//
// Arithmetic follows the device kernels operation by operation (single precision, same order,
// no fused multiply-adds), and values are rounded to half precision wherever the device chain
// stores them in half-float images.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "cpuengine/rowkernels.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include <hwy/cache_control.h>
#include <hwy/highway.h>

#include <algorithm>
#include <cstring>

#include "cpuframe.h"
#include "curves-inl.h"
#include "demosaic-inl.h"
#include "foursample-inl.h"
#include "halffloat-inl.h"
#include "rowkernels.h"
#include "strip-inl.h"

HWY_BEFORE_NAMESPACE();
namespace tsr::cpu {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// ---------------------------------------------------------------- conversion, chart, store

// Draws the test chart's part of row y over the converted values.
void ChartRow(Strip& s, int y) {
    const CLRPPD& p = s.job.chartBlock;
    const int W = static_cast<int>(p.width), H = static_cast<int>(p.height);
    if (y >= H) return;
    const int x0 = static_cast<int>((1.0f - p.chartFractionX) * static_cast<float>(W) * 0.5f);
    const int y0 = static_cast<int>((1.0f - p.chartFractionY) * static_cast<float>(H) * 0.5f);
    const int w = static_cast<int>(p.chartFractionX * static_cast<float>(W));
    const int h = static_cast<int>(p.chartFractionY * static_cast<float>(H));
    if (y < y0 || y >= y0 + h) return;
    const int bandHeight = h / 8;
    if (bandHeight <= 0) return;
    const int band = std::min(7, (y - y0) / bandHeight);
    const std::uint32_t checkerColumns = std::max(1u, p.chartCheckerColumns);
    const int cols = band == 0 ? static_cast<int>(std::min(checkerColumns, 0x7fffffffu)) : 8;
    const int columnWidth = w / cols;
    if (columnWidth <= 0) return;
    const int end = std::min(x0 + w, std::min(W, s.width));
    for (int x = std::max(x0, 0); x < end; ++x) {
        const int col = std::min(cols - 1, (x - x0) / columnWidth);
        float value[3];
        if (band == 0) {
            const float v = static_cast<float>(col % 2) * p.chartCheckerLevel;
            value[0] = value[1] = value[2] = v;
        } else {
            const float v = p.chartLevels[col];
            value[0] = v * static_cast<float>((band >> 2) & 1);
            value[1] = v * static_cast<float>((band >> 1) & 1);
            value[2] = v * static_cast<float>(band & 1);
        }
        // Bayer rows are held by column parity, four-sample rows in column order.
        for (int c = 0; c < 3; ++c) {
            if (s.job.bayer)
                s.RgbPlane(c, x & 1)[x >> 1] = value[c];
            else
                s.RgbPlane(c, 0)[x] = value[c];
        }
    }
}

#if HWY_TARGET != HWY_SCALAR // one lane: even and odd columns are simply consecutive
// Even and odd columns in column order: lanes e0 o0 e1 o1 ... of the halves of twice the lanes.
HWY_INLINE hn::Vec<hn::Repartition<std::uint16_t, D>> ZipHalves(hn::Vec<DU16> even, hn::Vec<DU16> odd) {
    const DU du;
    return hn::BitCast(hn::Repartition<std::uint16_t, D>(),
                       hn::Or(hn::PromoteTo(du, even), hn::ShiftLeft<16>(hn::PromoteTo(du, odd))));
}

// The same for floats: the first and the second half of the pixels in column order.
HWY_INLINE void ZipFloats(D d, V even, V odd, V& first, V& second) {
    const hn::Half<DU> half;
    const hn::Repartition<std::uint64_t, D> du64;
    const auto e = hn::BitCast(DU(), even), o = hn::BitCast(DU(), odd);
    first = hn::BitCast(d, hn::Or(hn::PromoteTo(du64, hn::LowerHalf(half, e)),
                                  hn::ShiftLeft<32>(hn::PromoteTo(du64, hn::LowerHalf(half, o)))));
    second = hn::BitCast(d, hn::Or(hn::PromoteTo(du64, hn::UpperHalf(half, e)),
                                   hn::ShiftLeft<32>(hn::PromoteTo(du64, hn::UpperHalf(half, o)))));
}

#endif

// Copies whole vectors from an aligned buffer to an aligned destination past the caches: a frame's
// output is written once and not read back by the engine, and streaming it saves reading each
// line of it in before it is written.
HWY_INLINE void StreamOut(const std::uint8_t* from, std::uint8_t* to, std::size_t bytes) {
    const hn::CappedTag<std::uint8_t, 16> d8; // rows need be aligned to 16 bytes only
    for (std::size_t i = 0; i < bytes; i += hn::Lanes(d8)) hn::Stream(hn::Load(d8, from + i), d8, to + i);
}

// Colour conversion of four-sample rows (the colour stage converts Bayer rows), chart, curve and
// the store of row y as RGBA. Each step takes two vectors of pixels: the even and the odd columns
// of Bayer rows, or two runs of columns of four-sample rows.
void FinishRow(Strip& s, int y) {
    const StageTimer timer(s, kStageOutput);
    const D d = s.d;
    const int N = static_cast<int>(hn::Lanes(d));
    const FrameJob& job = s.job;
    const bool parity = job.bayer;
    const float* matrix = job.fourSample.matrix;
    if (!parity && job.chart) {
        for (int x = 0; x < s.width; x += N) {
            V v[3];
            Multiply(d, matrix, hn::LoadU(d, s.RgbPlane(0, 0) + x), hn::LoadU(d, s.RgbPlane(1, 0) + x),
                     hn::LoadU(d, s.RgbPlane(2, 0) + x), v[0], v[1], v[2]);
            for (int c = 0; c < 3; ++c) hn::StoreU(v[c], d, s.RgbPlane(c, 0) + x);
        }
    }
    if (job.chart) ChartRow(s, y);
    const bool convert = !parity && !job.chart;

    const bool roundBeforeCurve = job.halfOutput && job.curve != OutputCurveKind::None;
    std::uint8_t* out = job.output + static_cast<std::ptrdiff_t>(y) * job.outputPitch;
    const std::size_t pixelBytes = job.halfOutput ? 8 : 16;
    HWY_ALIGN std::uint8_t tail[32 * kMaxLanes];
    const V alpha = hn::Set(d, 1.0f);
    const DU16 du16;
    const auto alphaHalf = ToHalfBits(d, alpha);
    const std::size_t stepBytes = pixelBytes * 2 * static_cast<std::size_t>(N);
    const bool stream = reinterpret_cast<std::uintptr_t>(out) % 16 == 0;
    // Values of the first vector of a step at `at`, of the second at `at + second`.
    const std::ptrdiff_t second = parity ? static_cast<std::ptrdiff_t>(s.scratch.planeLength) : N;
    const int advance = parity ? N : 2 * N;
    for (int at = 0; (parity ? 2 * at : at) < s.width; at += advance) {
        const int x = parity ? 2 * at : at;
        V v[2][3];
        for (int i = 0; i < 2; ++i) {
            const std::ptrdiff_t from = at + i * second;
            V& r = v[i][0];
            V& g = v[i][1];
            V& b = v[i][2];
            r = hn::LoadU(d, s.RgbPlane(0, 0) + from);
            g = hn::LoadU(d, s.RgbPlane(1, 0) + from);
            b = hn::LoadU(d, s.RgbPlane(2, 0) + from);
            if (convert) Multiply(d, matrix, V(r), V(g), V(b), r, g, b);
            if (roundBeforeCurve) {
                r = RoundToHalf(d, r);
                g = RoundToHalf(d, g);
                b = RoundToHalf(d, b);
            }
            ApplyCurve(d, job, r, g, b);
        }
        const bool whole = x + 2 * N <= s.width;
        std::uint8_t* to = whole && !stream ? out + pixelBytes * static_cast<std::size_t>(x) : tail;
        const bool zip = parity && N > 1;
        if (job.halfOutput) {
            auto* halves = reinterpret_cast<std::uint16_t*>(to);
            hn::Vec<DU16> h[2][3];
            for (int i = 0; i < 2; ++i)
                for (int c = 0; c < 3; ++c) h[i][c] = ToHalfBits(d, v[i][c]);
#if HWY_TARGET != HWY_SCALAR
            if (zip) {
                const hn::Repartition<std::uint16_t, D> dw;
                hn::StoreInterleaved4(ZipHalves(h[0][0], h[1][0]), ZipHalves(h[0][1], h[1][1]),
                                      ZipHalves(h[0][2], h[1][2]), ZipHalves(alphaHalf, alphaHalf), dw,
                                      halves);
            }
#endif
            if (!zip)
                for (int i = 0; i < 2; ++i)
                    hn::StoreInterleaved4(h[i][0], h[i][1], h[i][2], alphaHalf, du16, halves + 4 * N * i);
        } else {
            auto* floats = reinterpret_cast<float*>(to);
#if HWY_TARGET != HWY_SCALAR
            if (zip)
                for (int c = 0; c < 3; ++c) ZipFloats(d, V(v[0][c]), V(v[1][c]), v[0][c], v[1][c]);
#endif
            for (int i = 0; i < 2; ++i)
                hn::StoreInterleaved4(v[i][0], v[i][1], v[i][2], alpha, d, floats + 4 * N * i);
        }
        if (whole && stream)
            StreamOut(tail, out + pixelBytes * static_cast<std::size_t>(x), stepBytes);
        else if (!whole)
            std::memcpy(out + pixelBytes * static_cast<std::size_t>(x), tail,
                        pixelBytes * static_cast<std::size_t>(s.width - x));
    }
}

void ProcessStripImpl(const FrameJob& job, Scratch& scratch, int y0, int y1) {
    Strip s(job, scratch);
    for (int y = y0; y < y1; ++y) {
        if (job.bayer)
            ColourRow(s, y);
        else
            FourSampleRow(s, y);
        FinishRow(s, y);
    }
    hwy::FlushStream(); // streamed rows are in memory before the pool reports the strip done
}

void FloatsToHalvesImpl(const float* in, std::uint16_t* out, std::size_t count) {
    const D d;
    const std::size_t N = hn::Lanes(d);
    HWY_ALIGN float values[kMaxLanes] = {};
    HWY_ALIGN std::uint16_t halves[kMaxLanes] = {};
    for (std::size_t i = 0; i < count; i += N) {
        const std::size_t n = std::min(N, count - i);
        std::memcpy(values, in + i, n * sizeof(float));
        hn::Store(ToHalfBits(d, hn::Load(d, values)), DU16(), halves);
        std::memcpy(out + i, halves, n * sizeof(std::uint16_t));
    }
}

const char* TargetNameImpl() {
    return hwy::TargetName(HWY_TARGET);
}

} // namespace HWY_NAMESPACE
} // namespace tsr::cpu
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace tsr::cpu {

HWY_EXPORT(ProcessStripImpl);
HWY_EXPORT(TargetNameImpl);
HWY_EXPORT(FloatsToHalvesImpl);

void FloatsToHalves(const float* in, std::uint16_t* out, std::size_t count) {
    HWY_DYNAMIC_DISPATCH(FloatsToHalvesImpl)(in, out, count);
}

void ProcessStrip(const FrameJob& job, Scratch& scratch, int y0, int y1) {
    HWY_DYNAMIC_DISPATCH(ProcessStripImpl)(job, scratch, y0, y1);
}

const char* ChosenTargetName() {
    return HWY_DYNAMIC_DISPATCH(TargetNameImpl)();
}

} // namespace tsr::cpu
#endif