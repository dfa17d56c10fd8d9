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

#include <hwy/contrib/math/math-inl.h>
#include <hwy/highway.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "cpuframe.h"
#include "rowkernels.h"

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

#undef TSR_NATIVE_HALF
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX2 && !defined(HWY_DISABLE_F16C)
#define TSR_NATIVE_HALF 1
#else
#define TSR_NATIVE_HALF 0
#endif

// ---------------------------------------------------------------- half floats

// Rounds to the nearest half-float value (ties to even), keeping it in single precision: what a
// value becomes when stored in a half-float image and read back.
HWY_INLINE V RoundToHalf(D d, V v) {
#if TSR_NATIVE_HALF
    const hn::Rebind<hwy::float16_t, D> df16;
    return hn::PromoteTo(d, hn::DemoteTo(df16, v));
#else
    const DU du;
    const auto bits = hn::BitCast(du, v);
    const auto sign = hn::And(bits, hn::Set(du, 0x80000000u));
    const auto magnitudeBits = hn::AndNot(sign, bits);
    const V magnitude = hn::BitCast(d, magnitudeBits);
    // Normal half range: keep 10 mantissa bits, ties to even; a carry past 65504 gives infinity.
    const auto lowest = hn::And(hn::ShiftRight<13>(magnitudeBits), hn::Set(du, 1u));
    const auto kept =
        hn::And(hn::Add(magnitudeBits, hn::Add(hn::Set(du, 0xFFFu), lowest)), hn::Set(du, ~0x1FFFu));
    V normal = hn::BitCast(d, kept);
    normal = hn::IfThenElse(hn::Ge(normal, hn::Set(d, 65536.0f)), hn::Set(d, HUGE_VALF), normal);
    // Subnormal half range: multiples of 2^-24, which is one unit in the last place of 0.5.
    const V subnormal = hn::Sub(hn::Add(magnitude, hn::Set(d, 0.5f)), hn::Set(d, 0.5f));
    V rounded = hn::IfThenElse(hn::Lt(magnitude, hn::Set(d, 6.103515625e-05f)), subnormal, normal);
    rounded = hn::IfThenElse(hn::IsNaN(v), v, rounded);
    return hn::BitCast(d, hn::Or(hn::BitCast(du, rounded), sign));
#endif
}

HWY_INLINE hn::Vec<DU16> ToHalfBits(D d, V v) {
    const DU16 du16;
#if TSR_NATIVE_HALF
    const hn::Rebind<hwy::float16_t, D> df16;
    (void)d;
    return hn::BitCast(du16, hn::DemoteTo(df16, v));
#else
    const DU du;
    const DI di;
    const V rounded = RoundToHalf(d, v);
    const auto bits = hn::BitCast(du, rounded);
    const auto sign = hn::ShiftRight<16>(hn::And(bits, hn::Set(du, 0x80000000u)));
    const V magnitude = hn::Abs(rounded);
    const auto magnitudeBits = hn::BitCast(du, magnitude);
    auto half = hn::Sub(hn::ShiftRight<13>(magnitudeBits), hn::Set(du, 112u << 10));
    const auto subnormal = hn::BitCast(du, hn::ConvertTo(di, hn::Mul(magnitude, hn::Set(d, 16777216.0f))));
    half =
        hn::IfThenElse(hn::RebindMask(du, hn::Lt(magnitude, hn::Set(d, 6.103515625e-05f))), subnormal, half);
    half = hn::IfThenElse(hn::RebindMask(du, hn::Eq(magnitude, hn::Set(d, HUGE_VALF))), hn::Set(du, 0x7C00u),
                          half);
    half = hn::IfThenElse(hn::RebindMask(du, hn::IsNaN(v)), hn::Set(du, 0x7E00u), half);
    return hn::DemoteTo(du16, hn::BitCast(di, hn::Or(half, sign)));
#endif
}

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

// ---------------------------------------------------------------- green stage

// A neighbour value of the green stage with its noise terms.
struct Term {
    V v, sigma;
};

// Green-direction correction from the colour ratio along one axis.
HWY_INLINE V RatioCorrection(D d, V c, Term p1, Term q1, Term p2, Term q2) {
    const V zero = hn::Zero(d);
    const V two = hn::Set(d, 2.0f);
    const auto consistent = hn::Or(hn::Or(hn::Gt(hn::Mul(hn::Sub(p1.v, q1.v), hn::Sub(p2.v, q2.v)), zero),
                                          hn::Gt(hn::Mul(hn::Sub(p2.v, c), hn::Sub(q2.v, c)), zero)),
                                   hn::Or(hn::Gt(hn::Add(p1.sigma, q1.sigma), hn::Abs(hn::Sub(p1.v, q1.v))),
                                          hn::Gt(hn::Add(p2.sigma, q2.sigma), hn::Abs(hn::Sub(p2.v, q2.v)))));
    const auto aboveNoise = hn::And(hn::And(hn::Gt(p1.v, p1.sigma), hn::Gt(q1.v, q1.sigma)),
                                    hn::And(hn::Gt(p2.v, p2.sigma), hn::Gt(q2.v, q2.sigma)));
    const V sum = hn::Add(p2.v, q2.v);
    const V twoC = hn::Mul(two, c);
    const V ratio = hn::Div(hn::Sub(sum, twoC), hn::Mul(two, hn::Add(sum, twoC)));
    return hn::IfThenElseZero(hn::And(consistent, aboveNoise), ratio);
}

// Green at red or blue photosites from the centre c and its neighbours; var1 are the noise
// variances of L1, R1 (horizontal) or U1, D1 (vertical).
HWY_INLINE V GreenEstimate(D d, Term c, Term L1, Term R1, Term L2, Term R2, Term U1, Term D1, Term U2,
                           Term D2, V varL1, V varR1, V varU1, V varD1) {
    const auto bright = hn::Gt(c.v, c.sigma);
    const V rh = hn::IfThenElseZero(bright, RatioCorrection(d, c.v, L1, R1, L2, R2));
    const V rv = hn::IfThenElseZero(bright, RatioCorrection(d, c.v, U1, D1, U2, D2));
    const V half = hn::Set(d, 0.5f);
    const V one = hn::Set(d, 1.0f);
    const V Gh = hn::Mul(hn::Mul(half, hn::Add(L1.v, R1.v)), hn::Sub(one, rh));
    const V Gv = hn::Mul(hn::Mul(half, hn::Add(U1.v, D1.v)), hn::Sub(one, rv));
    const V Eh =
        hn::Add(hn::Add(hn::Add(hn::Add(hn::Add(Square(hn::Sub(L1.v, Gh)), Square(hn::Sub(R1.v, Gh))),
                                        Square(hn::Sub(L2.v, c.v))),
                                Square(hn::Sub(R2.v, c.v))),
                        varL1),
                varR1);
    const V Ev =
        hn::Add(hn::Add(hn::Add(hn::Add(hn::Add(Square(hn::Sub(U1.v, Gv)), Square(hn::Sub(D1.v, Gv))),
                                        Square(hn::Sub(U2.v, c.v))),
                                Square(hn::Sub(D2.v, c.v))),
                        varU1),
                varD1);
    return hn::Add(Gv, hn::Div(hn::Mul(hn::Sub(Gh, Gv), Ev), hn::Add(Eh, Ev)));
}

// ---------------------------------------------------------------- colour stage

// A neighbour of the colour stage: colour value and green with their noise terms.
struct Pair {
    V X, sigmaX, varX, G, sigmaG;
};

HWY_INLINE Pair LoadPair(D d, const GreenRow& row, int parity, std::ptrdiff_t index) {
    return Pair{hn::LoadU(d, row.X[parity] + index), hn::LoadU(d, row.sigmaX[parity] + index),
                hn::LoadU(d, row.varX[parity] + index), hn::LoadU(d, row.G[parity] + index),
                hn::LoadU(d, row.sigmaG[parity] + index)};
}

// Noise-aware blend of the colour-ratio estimate and the plain average of four neighbours.
HWY_INLINE V Estimate(D d, V Gc, V sigmaGc, const Pair& n0, const Pair& n1, const Pair& n2, const Pair& n3) {
    const Pair* n[4] = {&n0, &n1, &n2, &n3};
    const V quarter = hn::Set(d, 0.25f);
    const V ma = hn::Mul(quarter, hn::Add(hn::Add(hn::Add(n0.X, n1.X), n2.X), n3.X));
    auto ratio = hn::Gt(Gc, sigmaGc);
    for (int i = 0; i < 4; ++i) ratio = hn::And(ratio, hn::Gt(n[i]->X, n[i]->sigmaX));
    for (int i = 0; i < 4; ++i) ratio = hn::And(ratio, hn::Gt(n[i]->G, n[i]->sigmaG));
    if (hn::AllFalse(d, ratio)) return ma;

    const V low = hn::Sub(Gc, sigmaGc), high = hn::Add(Gc, sigmaGc);
    V e[4];
    V spread = hn::Zero(d);
    for (int i = 0; i < 4; ++i) {
        const Pair& p = *n[i];
        e[i] = hn::Div(hn::Mul(Gc, p.X), p.G);
        const V lo = hn::Div(hn::Mul(low, hn::Sub(p.X, p.sigmaX)), hn::Add(p.G, p.sigmaG));
        const V hi = hn::Div(hn::Mul(high, hn::Add(p.X, p.sigmaX)), hn::Sub(p.G, p.sigmaG));
        spread = hn::Add(spread, hn::Mul(hn::Sub(e[i], lo), hn::Sub(hi, e[i])));
    }
    const V mr = hn::Mul(quarter, hn::Add(hn::Add(hn::Add(e[0], e[1]), e[2]), e[3]));
    V Er = hn::Zero(d), Ea = hn::Zero(d), variance = hn::Zero(d);
    for (int i = 0; i < 4; ++i) {
        Er = hn::Add(Er, Square(hn::Sub(e[i], mr)));
        Ea = hn::Add(Ea, Square(hn::Sub(n[i]->X, ma)));
        variance = hn::Add(variance, n[i]->varX);
    }
    const V threeQuarters = hn::Set(d, 0.75f);
    Er = hn::Add(Er, hn::Mul(threeQuarters, spread));
    Ea = hn::Add(Ea, hn::Mul(threeQuarters, variance));
    const V blended = hn::Add(ma, hn::Div(hn::Mul(hn::Sub(mr, ma), Ea), hn::Add(Er, Ea)));
    return hn::IfThenElse(ratio, blended, ma);
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

// ---------------------------------------------------------------- normalised rows

void Normalise(Strip& s, int y, NormalisedRow& row) {
    const D d = s.d;
    const DU16 du16;
    const DI di;
    const std::size_t N = hn::Lanes(d);
    const std::uint16_t* src = s.BayerRow(y);
    const auto black = hn::Set(di, static_cast<std::int32_t>(s.job.green.blackLevel));
    const V invRange = hn::Set(d, s.job.green.invRange);
    const int pairs = (s.width + 1) / 2;
    HWY_ALIGN std::uint16_t tail[2 * kMaxLanes] = {};
    for (int k = 0; k < pairs; k += static_cast<int>(N)) {
        const std::uint16_t* from = src + 2 * k;
        if (2 * (k + static_cast<int>(N)) > s.width) {
            std::memcpy(tail, from, sizeof(std::uint16_t) * static_cast<std::size_t>(s.width - 2 * k));
            from = tail;
        }
        hn::Vec<DU16> even, odd;
        hn::LoadInterleaved2(du16, from, even, odd);
        const V nEven = hn::Mul(hn::ConvertTo(d, hn::Sub(hn::PromoteTo(di, even), black)), invRange);
        const V nOdd = hn::Mul(hn::ConvertTo(d, hn::Sub(hn::PromoteTo(di, odd), black)), invRange);
        hn::StoreU(nEven, d, row.n[0] + k);
        hn::StoreU(nOdd, d, row.n[1] + k);
    }
    if (!s.HasRedAndBlue() || s.small) return;

    const int p = s.ColourParity(y), g = 1 - p;
    const V one = hn::Set(d, 1.0f);
    const V clip = hn::Set(d, s.Clip(y));
    for (int k = 0; k < s.planeCount[g]; k += static_cast<int>(N)) {
        const V a1 = hn::Min(hn::LoadU(d, row.n[g] + k), one);
        const V var1 = Variance(s.greenNoise, a1);
        hn::StoreU(a1, d, row.a1 + k);
        hn::StoreU(var1, d, row.var1 + k);
        hn::StoreU(hn::Sqrt(var1), d, row.sigma1 + k);
    }
    for (int k = 0; k < s.planeCount[p]; k += static_cast<int>(N)) {
        const V a2 = hn::Min(hn::LoadU(d, row.n[p] + k), clip);
        hn::StoreU(a2, d, row.a2 + k);
        hn::StoreU(hn::Sqrt(Variance(s.greenNoise, a2)), d, row.sigma2 + k);
    }
    // Neighbours beyond the edges, for widths of 4 and more: the edge rules of the green stage
    // amount to mirroring about the first and last column.
    auto mirror = [&](float* plane, int parity) {
        const int count = s.planeCount[parity];
        plane[-1] = plane[parity == 1 ? 0 : 1];
        plane[count] = parity == (s.width & 1) ? plane[count - 1] : plane[count - 2];
    };
    for (float* plane : {row.a1, row.var1, row.sigma1}) mirror(plane, g);
    for (float* plane : {row.a2, row.sigma2}) mirror(plane, p);
}

const NormalisedRow& FetchNormalised(Strip& s, int y) {
    Scratch& sc = s.scratch;
    int slot = sc.normalisedCache.Find(y);
    if (slot < 0) {
        slot = sc.normalisedCache.Claim(y);
        Normalise(s, y, sc.normalised[slot]);
    }
    return sc.normalised[slot];
}

// ---------------------------------------------------------------- green rows

// Positions of the green stage's neighbours of position i along an axis of `size` positions,
// after its edge rules (first matching case): one before, one after, two before, two after.
void GreenStageNeighbours(int i, int size, int neighbours[4]) {
    auto clamp = [size](int v) { return std::min(std::max(v, 0), size - 1); };
    int before1 = clamp(i - 1), after1 = clamp(i + 1), before2 = clamp(i - 2), after2 = clamp(i + 2);
    if (i == 0) {
        before1 = after1;
        before2 = after2;
    } else if (i == 1) {
        before2 = i;
    } else if (i == size - 1) {
        after1 = before1;
        after2 = before2;
    } else if (i == size - 2) {
        after2 = i;
    }
    neighbours[0] = before1;
    neighbours[1] = after1;
    neighbours[2] = before2;
    neighbours[3] = after2;
}

// Green stage, widths and heights of 4 and more: neighbours straight from the normalised planes.
void GreenRowFromPlanes(Strip& s, int y, GreenRow& out) {
    const D d = s.d;
    const std::size_t N = hn::Lanes(d);
    int rows[4];
    GreenStageNeighbours(y, s.height, rows);
    const NormalisedRow* r[5];
    r[0] = &FetchNormalised(s, y);
    for (int i = 0; i < 4; ++i) r[i + 1] = &FetchNormalised(s, rows[i]);
    const NormalisedRow &c = *r[0], &u1 = *r[1], &d1 = *r[2], &u2 = *r[3], &d2 = *r[4];
    const int p = s.ColourParity(y), g = 1 - p;
    const std::ptrdiff_t left = p - 1, right = p; // plane offsets of the green neighbours
    for (int k = 0; k < s.planeCount[p]; k += static_cast<int>(N)) {
        const Term centre{hn::LoadU(d, c.a2 + k), hn::LoadU(d, c.sigma2 + k)};
        const Term L1{hn::LoadU(d, c.a1 + k + left), hn::LoadU(d, c.sigma1 + k + left)};
        const Term R1{hn::LoadU(d, c.a1 + k + right), hn::LoadU(d, c.sigma1 + k + right)};
        const Term L2{hn::LoadU(d, c.a2 + k - 1), hn::LoadU(d, c.sigma2 + k - 1)};
        const Term R2{hn::LoadU(d, c.a2 + k + 1), hn::LoadU(d, c.sigma2 + k + 1)};
        const Term U1{hn::LoadU(d, u1.a1 + k), hn::LoadU(d, u1.sigma1 + k)};
        const Term D1{hn::LoadU(d, d1.a1 + k), hn::LoadU(d, d1.sigma1 + k)};
        const Term U2{hn::LoadU(d, u2.a2 + k), hn::LoadU(d, u2.sigma2 + k)};
        const Term D2{hn::LoadU(d, d2.a2 + k), hn::LoadU(d, d2.sigma2 + k)};
        const V G = GreenEstimate(d, centre, L1, R1, L2, R2, U1, D1, U2, D2, hn::LoadU(d, c.var1 + k + left),
                                  hn::LoadU(d, c.var1 + k + right), hn::LoadU(d, u1.var1 + k),
                                  hn::LoadU(d, d1.var1 + k));
        hn::StoreU(centre.v, d, out.X[p] + k);
        hn::StoreU(G, d, out.G[p] + k);
    }
    std::memcpy(out.G[g], c.n[g], sizeof(float) * static_cast<std::size_t>(s.planeCount[g]));
}

// Green stage for frames narrower or lower than 4, where the edge rules of neighbouring columns
// and rows overlap: each red or blue pixel gathers its neighbours by the rules, then the same
// vector arithmetic runs over the gathered values.
void GreenRowGathered(Strip& s, int y, GreenRow& out) {
    const D d = s.d;
    const std::size_t N = hn::Lanes(d);
    enum { kC, kL1, kR1, kL2, kR2, kU1, kD1, kU2, kD2, kValues };
    float* value[kValues];
    float* sigma[kValues];
    float* variance[kValues];
    float* column = s.scratch.roles + 3 * kValues * s.scratch.roleCount; // pixel x of each entry
    for (int i = 0; i < kValues; ++i) {
        value[i] = s.scratch.roles + i * s.scratch.roleCount;
        sigma[i] = value[i] + kValues * s.scratch.roleCount;
        variance[i] = sigma[i] + kValues * s.scratch.roleCount;
    }
    int rows[4];
    GreenStageNeighbours(y, s.height, rows);
    int count = 0;
    for (int x = 0; x < s.width; ++x) {
        const int phase = 2 * (y & 1) + (x & 1);
        const float n = s.Sample(x, y);
        if (phase != s.pattern && phase != 3 - s.pattern) {
            out.X[x & 1][x >> 1] = 0.0f;
            out.G[x & 1][x >> 1] = n;
            continue;
        }
        const float w = phase == s.pattern ? s.job.green.invGainRed : s.job.green.invGainBlue;
        int columns[4];
        GreenStageNeighbours(x, s.width, columns);
        value[kC][count] = std::min(n, w);
        value[kL1][count] = std::min(s.Sample(columns[0], y), 1.0f);
        value[kR1][count] = std::min(s.Sample(columns[1], y), 1.0f);
        value[kL2][count] = std::min(s.Sample(columns[2], y), w);
        value[kR2][count] = std::min(s.Sample(columns[3], y), w);
        value[kU1][count] = std::min(s.Sample(x, rows[0]), 1.0f);
        value[kD1][count] = std::min(s.Sample(x, rows[1]), 1.0f);
        value[kU2][count] = std::min(s.Sample(x, rows[2]), w);
        value[kD2][count] = std::min(s.Sample(x, rows[3]), w);
        column[count] = static_cast<float>(x);
        ++count;
    }
    for (int i = 0; i < kValues; ++i) {
        for (int k = count; k < count + static_cast<int>(N); ++k) value[i][k] = 1.0f;
        for (int k = 0; k < count; k += static_cast<int>(N)) {
            const V var = Variance(s.greenNoise, hn::LoadU(d, value[i] + k));
            hn::StoreU(var, d, variance[i] + k);
            hn::StoreU(hn::Sqrt(var), d, sigma[i] + k);
        }
    }
    HWY_ALIGN float G[kMaxLanes];
    for (int k = 0; k < count; k += static_cast<int>(N)) {
        auto term = [&](int i) { return Term{hn::LoadU(d, value[i] + k), hn::LoadU(d, sigma[i] + k)}; };
        const V g = GreenEstimate(d, term(kC), term(kL1), term(kR1), term(kL2), term(kR2), term(kU1),
                                  term(kD1), term(kU2), term(kD2), hn::LoadU(d, variance[kL1] + k),
                                  hn::LoadU(d, variance[kR1] + k), hn::LoadU(d, variance[kU1] + k),
                                  hn::LoadU(d, variance[kD1] + k));
        hn::Store(g, d, G);
        for (int i = 0; i < static_cast<int>(N) && k + i < count; ++i) {
            const int x = static_cast<int>(column[k + i]);
            out.X[x & 1][x >> 1] = value[kC][k + i];
            out.G[x & 1][x >> 1] = G[i];
        }
    }
}

// Green stage for a pattern without red or blue photosites: every pixel keeps its sample.
void GreenRowAllGreen(Strip& s, int y, GreenRow& out) {
    const NormalisedRow& c = FetchNormalised(s, y);
    for (int q = 0; q < 2; ++q) {
        std::memcpy(out.G[q], c.n[q], sizeof(float) * static_cast<std::size_t>(s.planeCount[q]));
        std::fill(out.X[q], out.X[q] + s.planeCount[q], 0.0f);
    }
}

void ComputeGreenRow(Strip& s, int y, GreenRow& out) {
    const D d = s.d;
    const std::size_t N = hn::Lanes(d);
    const bool everyPlane = s.small || !s.HasRedAndBlue();
    if (!s.HasRedAndBlue())
        GreenRowAllGreen(s, y, out);
    else if (s.small)
        GreenRowGathered(s, y, out);
    else
        GreenRowFromPlanes(s, y, out);

    // What the colour stage reads back: half-float values when the images are half floats, with
    // their noise terms. Colour values of green pixels are read only by small frames and
    // patterns without red or blue.
    const int p = s.HasRedAndBlue() ? s.ColourParity(y) : 0;
    for (int q = 0; q < 2; ++q) {
        const bool colour = q == p || everyPlane;
        for (int k = 0; k < s.planeCount[q]; k += static_cast<int>(N)) {
            V G = hn::LoadU(d, out.G[q] + k);
            if (s.job.halfOutput) {
                G = RoundToHalf(d, G);
                hn::StoreU(G, d, out.G[q] + k);
            }
            hn::StoreU(hn::Sqrt(Variance(s.colourNoise, G)), d, out.sigmaG[q] + k);
            if (!colour) continue;
            V X = hn::LoadU(d, out.X[q] + k);
            if (s.job.halfOutput) {
                X = RoundToHalf(d, X);
                hn::StoreU(X, d, out.X[q] + k);
            }
            const V var = Variance(s.colourNoise, X);
            hn::StoreU(var, d, out.varX[q] + k);
            hn::StoreU(hn::Sqrt(var), d, out.sigmaX[q] + k);
        }
    }
    // Neighbours beyond the edges for the colour stage: column -1 reads column 1 and column
    // `width` reads column width - 2, each clamped to the picture.
    auto copyPixel = [&](int toParity, int toIndex, int fromX) {
        const int q = fromX & 1, i = fromX >> 1;
        for (float* const* plane : {out.X, out.G, out.sigmaX, out.varX, out.sigmaG})
            plane[toParity][toIndex] = plane[q][i];
    };
    copyPixel(1, -1, std::min(1, s.width - 1));
    copyPixel(s.width & 1, s.width >> 1, std::max(s.width - 2, 0));
}

const GreenRow& FetchGreen(Strip& s, int y) {
    Scratch& sc = s.scratch;
    int slot = sc.greenCache.Find(y);
    if (slot < 0) {
        slot = sc.greenCache.Claim(y);
        ComputeGreenRow(s, y, sc.green[slot]);
    }
    return sc.green[slot];
}

// ---------------------------------------------------------------- colour stage

// Red, green and blue of row y, white-balanced and clipped, into the scratch's full-width rows.
void ColourRow(Strip& s, int y) {
    const D d = s.d;
    const std::size_t N = hn::Lanes(d);
    const int up = y == 0 ? std::min(1, s.height - 1) : y - 1;
    const int down = y == s.height - 1 ? std::max(s.height - 2, 0) : y + 1;
    const GreenRow& north = FetchGreen(s, up);
    const GreenRow& centre = FetchGreen(s, y);
    const GreenRow& south = FetchGreen(s, down);

    const bool redRow = s.RedRow(y);
    const V one = hn::Set(d, 1.0f);
    const V gainRed = hn::Set(d, s.job.colour.gainRed);
    const V gainBlue = hn::Set(d, s.job.colour.gainBlue);
    const bool half = s.job.halfOutput;
    auto finish = [&](V R, V G, V B, V& outR, V& outG, V& outB) {
        outR = hn::Min(hn::Mul(R, gainRed), one);
        outG = hn::Min(G, one);
        outB = hn::Min(hn::Mul(B, gainBlue), one);
        if (half) {
            outR = RoundToHalf(d, outR);
            outG = RoundToHalf(d, outG);
            outB = RoundToHalf(d, outB);
        }
    };
    // A green pixel of parity q: horizontal neighbours in the other parity of this row, vertical
    // ones in parity q of the rows above and below.
    auto greenPixel = [&](int q, int k, V& R, V& G, V& B) {
        const V Gc = hn::LoadU(d, centre.G[q] + k);
        const V sigmaGc = hn::LoadU(d, centre.sigmaG[q] + k);
        const int o = 1 - q;
        const Pair W = LoadPair(d, centre, o, k + q - 1);
        const Pair E = LoadPair(d, centre, o, k + q);
        const Pair Nn = LoadPair(d, north, q, k);
        const Pair S = LoadPair(d, south, q, k);
        const V eH = Estimate(d, Gc, sigmaGc, W, E, W, E);
        const V eV = Estimate(d, Gc, sigmaGc, Nn, S, Nn, S);
        finish(redRow ? eH : eV, Gc, redRow ? eV : eH, R, G, B);
    };
    // A red or blue pixel of parity q: diagonal neighbours in the other parity of the rows above
    // and below.
    auto colourPixel = [&](int q, int k, V& R, V& G, V& B) {
        const V X = hn::LoadU(d, centre.X[q] + k);
        const V Gc = hn::LoadU(d, centre.G[q] + k);
        const V sigmaGc = hn::LoadU(d, centre.sigmaG[q] + k);
        const int o = 1 - q;
        const Pair NW = LoadPair(d, north, o, k + q - 1);
        const Pair NE = LoadPair(d, north, o, k + q);
        const Pair SW = LoadPair(d, south, o, k + q - 1);
        const Pair SE = LoadPair(d, south, o, k + q);
        const V estimate = Estimate(d, Gc, sigmaGc, NW, SW, NE, SE);
        finish(redRow ? X : estimate, Gc, redRow ? estimate : X, R, G, B);
    };

    const int p = s.HasRedAndBlue() ? s.ColourParity(y) : -1;
    float* rgb[3] = {s.scratch.rgb[0], s.scratch.rgb[1], s.scratch.rgb[2]};
    for (int k = 0; k < s.planeCount[0]; k += static_cast<int>(N)) {
        V even[3], odd[3];
        if (p == 0)
            colourPixel(0, k, even[0], even[1], even[2]);
        else
            greenPixel(0, k, even[0], even[1], even[2]);
        if (p == 1)
            colourPixel(1, k, odd[0], odd[1], odd[2]);
        else
            greenPixel(1, k, odd[0], odd[1], odd[2]);
        for (int c = 0; c < 3; ++c) hn::StoreInterleaved2(even[c], odd[c], d, rgb[c] + 2 * k);
    }
}

// ---------------------------------------------------------------- four-sample rows

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

// ---------------------------------------------------------------- conversion, chart, curves

HWY_INLINE void Multiply(const float* m, V r, V g, V b, V& x, V& y, V& z) {
    const D d;
    x = hn::Add(hn::Add(hn::Mul(hn::Set(d, m[0]), r), hn::Mul(hn::Set(d, m[1]), g)),
                hn::Mul(hn::Set(d, m[2]), b));
    y = hn::Add(hn::Add(hn::Mul(hn::Set(d, m[3]), r), hn::Mul(hn::Set(d, m[4]), g)),
                hn::Mul(hn::Set(d, m[5]), b));
    z = hn::Add(hn::Add(hn::Mul(hn::Set(d, m[6]), r), hn::Mul(hn::Set(d, m[7]), g)),
                hn::Mul(hn::Set(d, m[8]), b));
}

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

// The output curve on linear RGB, per channel; both branches are evaluated and chosen per lane.
HWY_INLINE void ApplyCurve(const FrameJob& job, V& r, V& g, V& b) {
    const D d;
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
        Multiply(p.colorMatrix, r, g, b, x[0], x[1], x[2]);
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
        Multiply(p.colorMatrix, r, g, b, x[0], x[1], x[2]);
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

// Colour conversion, chart, curve and the store of row y as RGBA.
void FinishRow(Strip& s, int y) {
    const D d = s.d;
    const std::size_t N = hn::Lanes(d);
    float* rgb[3] = {s.scratch.rgb[0], s.scratch.rgb[1], s.scratch.rgb[2]};
    const float* matrix = s.job.bayer ? s.job.conversion.matrix : s.job.fourSample.matrix;
    for (int x = 0; x < s.width; x += static_cast<int>(N)) {
        V r, g, b;
        Multiply(matrix, hn::LoadU(d, rgb[0] + x), hn::LoadU(d, rgb[1] + x), hn::LoadU(d, rgb[2] + x), r, g,
                 b);
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
        ApplyCurve(s.job, r, g, b);
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
