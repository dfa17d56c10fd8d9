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
#define HWY_TARGET_INCLUDE "rowkernels.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

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
        for (int c = 0; c < 3; ++c) s.scratch.rgb[c][x] = value[c];
    }
}

// Colour conversion, chart, curve and the store of row y as RGBA.
void FinishRow(Strip& s, int y) {
    const StageTimer timer(s, kStageOutput);
    const D d = s.d;
    const std::size_t N = hn::Lanes(d);
    float* rgb[3] = {s.scratch.rgb[0], s.scratch.rgb[1], s.scratch.rgb[2]};
    const float* matrix = s.job.bayer ? s.job.conversion.matrix : s.job.fourSample.matrix;
    for (int x = 0; x < s.width; x += static_cast<int>(N)) {
        V r, g, b;
        Multiply(d, matrix, hn::LoadU(d, rgb[0] + x), hn::LoadU(d, rgb[1] + x), hn::LoadU(d, rgb[2] + x), r,
                 g, b);
        hn::StoreU(r, d, rgb[0] + x);
        hn::StoreU(g, d, rgb[1] + x);
        hn::StoreU(b, d, rgb[2] + x);
    }
    if (s.job.chart) ChartRow(s, y);

    const bool roundBeforeCurve = s.job.halfOutput && s.job.curve != OutputCurveKind::None;
    std::uint8_t* out = s.job.output + static_cast<std::ptrdiff_t>(y) * s.job.outputPitch;
    const std::size_t pixelBytes = s.job.halfOutput ? 8 : 16;
    HWY_ALIGN std::uint8_t tail[16 * kMaxLanes];
    const V alpha = hn::Set(d, 1.0f);
    for (int x = 0; x < s.width; x += static_cast<int>(N)) {
        V r = hn::LoadU(d, rgb[0] + x), g = hn::LoadU(d, rgb[1] + x), b = hn::LoadU(d, rgb[2] + x);
        if (roundBeforeCurve) {
            r = RoundToHalf(d, r);
            g = RoundToHalf(d, g);
            b = RoundToHalf(d, b);
        }
        ApplyCurve(d, s.job, r, g, b);
        const bool whole = x + static_cast<int>(N) <= s.width;
        std::uint8_t* to = whole ? out + pixelBytes * static_cast<std::size_t>(x) : tail;
        if (s.job.halfOutput) {
            const DU16 du16;
            hn::StoreInterleaved4(ToHalfBits(d, r), ToHalfBits(d, g), ToHalfBits(d, b), ToHalfBits(d, alpha),
                                  du16, reinterpret_cast<std::uint16_t*>(to));
        } else {
            hn::StoreInterleaved4(r, g, b, alpha, d, reinterpret_cast<float*>(to));
        }
        if (!whole)
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