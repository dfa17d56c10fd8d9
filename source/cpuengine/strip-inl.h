// What every stage of a strip shares: the vector types, the noise model, and the frame's
// per-strip state (parameter blocks as vectors, pattern, plane sizes, picture access).
// Included once per SIMD target from rowkernels.cpp (Highway's foreach_target): the guard below
// toggles with HWY_TARGET_TOGGLE so that each target's pass compiles it again.
#if defined(TSR_CPUENGINE_STRIP_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TSR_CPUENGINE_STRIP_INL_H_
#undef TSR_CPUENGINE_STRIP_INL_H_
#else
#define TSR_CPUENGINE_STRIP_INL_H_
#endif

#include <hwy/highway.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>

#include "cpuframe.h"

HWY_BEFORE_NAMESPACE();
namespace tsr::cpu {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D = hn::ScalableTag<float>;
using V = hn::Vec<D>;
using DI = hn::RebindToSigned<D>;
using DU = hn::RebindToUnsigned<D>;
using DU16 = hn::Rebind<std::uint16_t, D>;
static_assert(HWY_MAX_BYTES / sizeof(float) <= kMaxLanes, "scratch slack is sized for at most kMaxLanes");

// ---------------------------------------------------------------- noise model

struct Noise {
    V blackNorm, scale, floorLevel, offset;
};

HWY_INLINE V Variance(const Noise& noise, V v) {
    const V t = hn::Add(noise.blackNorm, v);
    return hn::Add(noise.offset, hn::Max(noise.floorLevel, hn::Mul(noise.scale, hn::Mul(t, t))));
}

HWY_INLINE V Square(V v) {
    return hn::Mul(v, v);
}

// The square root of a noise variance (positive and finite) from the processor's reciprocal
// square-root estimate refined by one Newton step: within a few units in the last place, and much
// faster than a square root. The portable target has no fast estimate and takes the root.
HWY_INLINE V NoiseSigma(D d, V variance) {
#if HWY_TARGET == HWY_SCALAR
    (void)d;
    return hn::Sqrt(variance);
#else
    const V estimate = hn::ApproximateReciprocalSqrt(variance);
    const V root = hn::Mul(variance, estimate);
    return hn::Mul(root, hn::NegMulAdd(hn::Mul(hn::Set(d, 0.5f), root), estimate, hn::Set(d, 1.5f)));
#endif
}

// a / b from the processor's reciprocal estimate refined by one Newton step: within a few units in
// the last place, for b neither zero nor infinite, and much faster than a division.
HWY_INLINE V Divide(D d, V a, V b) {
    const V estimate = hn::ApproximateReciprocal(b);
    return hn::Mul(a, hn::Mul(estimate, hn::NegMulAdd(b, estimate, hn::Set(d, 2.0f))));
}

// ---------------------------------------------------------------- frame state per strip

struct Strip {
    const FrameJob& job;
    Scratch& scratch;
    D d;
    int width, height;
    int pattern;       // Bayer pattern; above 3 there are no red or blue photosites
    bool small;        // narrower or lower than 4: neighbours follow the edge rules pixel by pixel
    Noise greenNoise;  // green stage (black level times the inverse range)
    Noise colourNoise; // colour stage (its block's black level)
    int planeCount[2]; // columns of each parity

    Strip(const FrameJob& j, Scratch& s) : job(j), scratch(s), width(j.width), height(j.height) {
        pattern = static_cast<int>(j.green.bayerPattern);
        small = width < 4 || height < 4;
        greenNoise = Noise{hn::Set(d, static_cast<float>(j.green.blackLevel) * j.green.invRange),
                           hn::Set(d, j.green.noiseScale), hn::Set(d, j.green.noiseFloor),
                           hn::Set(d, j.green.noiseOffset)};
        colourNoise = Noise{hn::Set(d, j.colour.blackNorm), hn::Set(d, j.colour.noiseScale),
                            hn::Set(d, j.colour.noiseFloor), hn::Set(d, j.colour.noiseOffset)};
        planeCount[0] = (width + 1) / 2;
        planeCount[1] = width / 2;
    }

    bool HasRedAndBlue() const { return pattern <= 3; }
    bool RedRow(int y) const { return (y & 1) == (pattern >> 1); }
    // Column parity of the red or blue photosites of row y.
    int ColourParity(int y) const { return RedRow(y) ? (pattern & 1) : 1 - (pattern & 1); }
    float Clip(int y) const { return RedRow(y) ? job.green.invGainRed : job.green.invGainBlue; }

    // The output row being built: channel c, column parity q of Bayer rows (the colour stage's
    // order) or the whole row of four-sample rows (q = 0).
    float* RgbPlane(int c, int q) const {
        return scratch.rgb[c] + q * static_cast<std::ptrdiff_t>(scratch.planeLength);
    }

    const std::uint16_t* BayerRow(int y) const {
        return reinterpret_cast<const std::uint16_t*>(job.picture +
                                                      static_cast<std::ptrdiff_t>(y) * job.pitch);
    }
    // One normalised sample, coordinates clamped to the picture.
    float Sample(int x, int y) const {
        x = std::min(std::max(x, 0), width - 1);
        y = std::min(std::max(y, 0), height - 1);
        std::uint16_t s;
        std::memcpy(&s, job.picture + static_cast<std::ptrdiff_t>(y) * job.pitch + 2 * x, 2);
        const std::int32_t difference =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(s) - job.green.blackLevel);
        return static_cast<float>(difference) * job.green.invRange;
    }
};

// Adds the time from its construction to its end to one stage of the worker's stage clock, when
// the frame asks for it; stages started inside it count as theirs, not its.
class StageTimer {
public:
    StageTimer(const Strip& s, Stage stage)
        : m_clock(s.job.timeStages ? &s.scratch.stageClock : nullptr), m_stage(stage) {
        if (!m_clock) return;
        m_outerNested = m_clock->nested;
        m_clock->nested = 0.0;
        m_start = std::chrono::steady_clock::now();
    }
    StageTimer(const StageTimer&) = delete;
    StageTimer& operator=(const StageTimer&) = delete;
    ~StageTimer() {
        if (!m_clock) return;
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        m_clock->seconds[m_stage] += elapsed - m_clock->nested;
        m_clock->nested = m_outerNested + elapsed;
    }

private:
    StageClock* m_clock;
    Stage m_stage;
    double m_outerNested = 0.0;
    std::chrono::steady_clock::time_point m_start;
};

} // namespace HWY_NAMESPACE
} // namespace tsr::cpu
HWY_AFTER_NAMESPACE();

#endif
