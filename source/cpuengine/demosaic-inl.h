// The two demosaic stages of Bayer frames. Rows are normalised and split by column parity; the
// green stage fills in green at red and blue photosites with its noise terms; the colour stage
// estimates red and blue everywhere from the green rows above, at and below, and applies white
// balance. Each stage keeps its recent rows in the worker's scratch caches.
// Included once per SIMD target from rowkernels.cpp (Highway's foreach_target): the guard below
// toggles with HWY_TARGET_TOGGLE so that each target's pass compiles it again.
#if defined(TSR_CPUENGINE_DEMOSAIC_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TSR_CPUENGINE_DEMOSAIC_INL_H_
#undef TSR_CPUENGINE_DEMOSAIC_INL_H_
#else
#define TSR_CPUENGINE_DEMOSAIC_INL_H_
#endif

#include <hwy/highway.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "cpuframe.h"
#include "curves-inl.h"
#include "halffloat-inl.h"
#include "strip-inl.h"

HWY_BEFORE_NAMESPACE();
namespace tsr::cpu {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// ---------------------------------------------------------------- green estimate

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
    const V ratio = Divide(d, hn::Sub(sum, twoC), hn::Mul(two, hn::Add(sum, twoC)));
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
    return hn::Add(Gv, Divide(d, hn::Mul(hn::Sub(Gh, Gv), Ev), hn::Add(Eh, Ev)));
}

// ---------------------------------------------------------------- colour estimate

struct Neighbour {
    V X, varX, ratio, ratioLow, ratioHigh;
    hn::Mask<D> usable;
    Neighbour(const GreenRow& row, int parity, std::ptrdiff_t index) {
        const D d;
        X = hn::LoadU(d, row.X[parity] + index);
        varX = hn::LoadU(d, row.varX[parity] + index);
        ratio = hn::LoadU(d, row.ratio[parity] + index);
        ratioLow = hn::LoadU(d, row.ratioLow[parity] + index);
        ratioHigh = hn::LoadU(d, row.ratioHigh[parity] + index);
        usable = hn::MaskFromVec(hn::LoadU(d, row.usable[parity] + index));
    }
};
HWY_INLINE V Estimate(D d, V Gc, V sigmaGc, const Neighbour& n0, const Neighbour& n1, const Neighbour& n2,
                      const Neighbour& n3) {
    const Neighbour* n[4] = {&n0, &n1, &n2, &n3};
    const V quarter = hn::Set(d, 0.25f);
    const V ma = hn::Mul(quarter, hn::Add(hn::Add(hn::Add(n0.X, n1.X), n2.X), n3.X));
    auto ratio = hn::Gt(Gc, sigmaGc);
    for (int i = 0; i < 4; ++i) ratio = hn::And(ratio, n[i]->usable);
    if (hn::AllFalse(d, ratio)) return ma;
    const V low = hn::Sub(Gc, sigmaGc), high = hn::Add(Gc, sigmaGc);
    V e[4];
    V spread = hn::Zero(d);
    for (int i = 0; i < 4; ++i) {
        const Neighbour& p = *n[i];
        e[i] = hn::Mul(Gc, p.ratio);
        const V lo = hn::Mul(low, p.ratioLow);
        const V hi = hn::Mul(high, p.ratioHigh);
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
    const V blended = hn::Add(ma, Divide(d, hn::Mul(hn::Sub(mr, ma), Ea), hn::Add(Er, Ea)));
    return hn::IfThenElse(ratio, blended, ma);
}

// Estimate(a, b, a, b): the same operations in the same order, each neighbour's terms once.
HWY_INLINE V EstimateTwo(D d, V Gc, V sigmaGc, const Neighbour& a, const Neighbour& b) {
    const V quarter = hn::Set(d, 0.25f);
    const V ma = hn::Mul(quarter, hn::Add(hn::Add(hn::Add(a.X, b.X), a.X), b.X));
    const auto ratio = hn::And(hn::Gt(Gc, sigmaGc), hn::And(a.usable, b.usable));
    if (hn::AllFalse(d, ratio)) return ma;
    const V low = hn::Sub(Gc, sigmaGc), high = hn::Add(Gc, sigmaGc);
    const V ea = hn::Mul(Gc, a.ratio), eb = hn::Mul(Gc, b.ratio);
    const V sa = hn::Mul(hn::Sub(ea, hn::Mul(low, a.ratioLow)), hn::Sub(hn::Mul(high, a.ratioHigh), ea));
    const V sb = hn::Mul(hn::Sub(eb, hn::Mul(low, b.ratioLow)), hn::Sub(hn::Mul(high, b.ratioHigh), eb));
    const V spread = hn::Add(hn::Add(hn::Add(sa, sb), sa), sb);
    const V mr = hn::Mul(quarter, hn::Add(hn::Add(hn::Add(ea, eb), ea), eb));
    const V ra = Square(hn::Sub(ea, mr)), rb = Square(hn::Sub(eb, mr));
    const V xa = Square(hn::Sub(a.X, ma)), xb = Square(hn::Sub(b.X, ma));
    const V threeQuarters = hn::Set(d, 0.75f);
    const V Er = hn::Add(hn::Add(hn::Add(hn::Add(ra, rb), ra), rb), hn::Mul(threeQuarters, spread));
    const V variance = hn::Add(hn::Add(hn::Add(a.varX, b.varX), a.varX), b.varX);
    const V Ea = hn::Add(hn::Add(hn::Add(hn::Add(xa, xb), xa), xb), hn::Mul(threeQuarters, variance));
    const V blended = hn::Add(ma, Divide(d, hn::Mul(hn::Sub(mr, ma), Ea), hn::Add(Er, Ea)));
    return hn::IfThenElse(ratio, blended, ma);
}

// ---------------------------------------------------------------- normalised rows

void Normalise(Strip& s, int y, NormalisedRow& row) {
    const StageTimer timer(s, kStageNormalise);
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
        hn::StoreU(NoiseSigma(d, var1), d, row.sigma1 + k);
    }
    for (int k = 0; k < s.planeCount[p]; k += static_cast<int>(N)) {
        const V a2 = hn::Min(hn::LoadU(d, row.n[p] + k), clip);
        hn::StoreU(a2, d, row.a2 + k);
        hn::StoreU(NoiseSigma(d, Variance(s.greenNoise, a2)), d, row.sigma2 + k);
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
            hn::StoreU(NoiseSigma(d, var), d, sigma[i] + k);
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
    const StageTimer timer(s, kStageGreen);
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
    // their noise terms and the quotients of the ratio estimate. Colour values of green pixels
    // are read only by small frames and patterns without red or blue.
    const int p = s.HasRedAndBlue() ? s.ColourParity(y) : 0;
    for (int q = 0; q < 2; ++q) {
        const bool colour = q == p || everyPlane;
        for (int k = 0; k < s.planeCount[q]; k += static_cast<int>(N)) {
            V G = hn::LoadU(d, out.G[q] + k);
            if (s.job.halfOutput) {
                G = RoundToHalf(d, G);
                hn::StoreU(G, d, out.G[q] + k);
            }
            const V sigmaG = NoiseSigma(d, Variance(s.colourNoise, G));
            hn::StoreU(sigmaG, d, out.sigmaG[q] + k);
            if (!colour) continue;
            V X = hn::LoadU(d, out.X[q] + k);
            if (s.job.halfOutput) {
                X = RoundToHalf(d, X);
                hn::StoreU(X, d, out.X[q] + k);
            }
            const V var = Variance(s.colourNoise, X);
            const V sigmaX = NoiseSigma(d, var);
            hn::StoreU(var, d, out.varX[q] + k);
            hn::StoreU(hn::VecFromMask(d, hn::And(hn::Gt(X, sigmaX), hn::Gt(G, sigmaG))), d,
                       out.usable[q] + k);
            hn::StoreU(Divide(d, X, G), d, out.ratio[q] + k);
            hn::StoreU(Divide(d, hn::Sub(X, sigmaX), hn::Add(G, sigmaG)), d, out.ratioLow[q] + k);
            hn::StoreU(Divide(d, hn::Add(X, sigmaX), hn::Sub(G, sigmaG)), d, out.ratioHigh[q] + k);
        }
    }
    // Neighbours beyond the edges for the colour stage: column -1 reads column 1 and column
    // `width` reads column width - 2, each clamped to the picture.
    auto copyPixel = [&](int toParity, int toIndex, int fromX) {
        const int q = fromX & 1, i = fromX >> 1;
        for (float* const* plane :
             {out.X, out.G, out.sigmaG, out.varX, out.usable, out.ratio, out.ratioLow, out.ratioHigh})
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

// The three green rows a colour row reads, and what is fixed for the row.
struct ColourContext {
    const GreenRow& north;
    const GreenRow& centre;
    const GreenRow& south;
    bool redRow, half;
    V one, gainRed, gainBlue;
};

// White balance, clipping, the rounding of a half-float image and the colour conversion of one
// vector of pixels.
HWY_INLINE void FinishPixels(D d, const ColourContext& c, const float* matrix, V R, V G, V B, V& outR,
                             V& outG, V& outB) {
    R = hn::Min(hn::Mul(R, c.gainRed), c.one);
    G = hn::Min(G, c.one);
    B = hn::Min(hn::Mul(B, c.gainBlue), c.one);
    if (c.half) {
        R = RoundToHalf(d, R);
        G = RoundToHalf(d, G);
        B = RoundToHalf(d, B);
    }
    Multiply(d, matrix, R, G, B, outR, outG, outB);
}

// A green pixel of parity q: horizontal neighbours in the other parity of this row, vertical
// ones in parity q of the rows above and below.
HWY_INLINE void GreenPixels(D d, const ColourContext& c, const float* matrix, int q, int k, V& R, V& G,
                            V& B) {
    const V Gc = hn::LoadU(d, c.centre.G[q] + k);
    const V sigmaGc = hn::LoadU(d, c.centre.sigmaG[q] + k);
    const int o = 1 - q;
    const Neighbour W{c.centre, o, k + q - 1}, E{c.centre, o, k + q}, Nn{c.north, q, k}, S{c.south, q, k};
    const V eH = EstimateTwo(d, Gc, sigmaGc, W, E);
    const V eV = EstimateTwo(d, Gc, sigmaGc, Nn, S);
    FinishPixels(d, c, matrix, c.redRow ? eH : eV, Gc, c.redRow ? eV : eH, R, G, B);
}

// A red or blue pixel of parity q: diagonal neighbours in the other parity of the rows above and
// below.
HWY_INLINE void ColourPixels(D d, const ColourContext& c, const float* matrix, int q, int k, V& R, V& G,
                             V& B) {
    const V X = hn::LoadU(d, c.centre.X[q] + k);
    const V Gc = hn::LoadU(d, c.centre.G[q] + k);
    const V sigmaGc = hn::LoadU(d, c.centre.sigmaG[q] + k);
    const int o = 1 - q;
    const Neighbour NW{c.north, o, k + q - 1}, NE{c.north, o, k + q}, SW{c.south, o, k + q - 1},
        SE{c.south, o, k + q};
    const V estimate = Estimate(d, Gc, sigmaGc, NW, SW, NE, SE);
    FinishPixels(d, c, matrix, c.redRow ? X : estimate, Gc, c.redRow ? estimate : X, R, G, B);
}

// Red, green and blue of row y, white-balanced, clipped and converted by the conversion matrix,
// into the scratch's output row by column parity.
void ColourRow(Strip& s, int y) {
    const StageTimer timer(s, kStageColour);
    const D d = s.d;
    const std::size_t N = hn::Lanes(d);
    const int up = y == 0 ? std::min(1, s.height - 1) : y - 1;
    const int down = y == s.height - 1 ? std::max(s.height - 2, 0) : y + 1;
    const GreenRow& north = FetchGreen(s, up);
    const GreenRow& centre = FetchGreen(s, y);
    const GreenRow& south = FetchGreen(s, down);
    const ColourContext c{north,
                          centre,
                          south,
                          s.RedRow(y),
                          s.job.halfOutput,
                          hn::Set(d, 1.0f),
                          hn::Set(d, s.job.colour.gainRed),
                          hn::Set(d, s.job.colour.gainBlue)};
    const float* matrix = s.job.conversion.matrix;

    const int p = s.HasRedAndBlue() ? s.ColourParity(y) : -1;
    for (int q = 0; q < 2; ++q) {
        float* out[3] = {s.RgbPlane(0, q), s.RgbPlane(1, q), s.RgbPlane(2, q)};
        for (int k = 0; k < s.planeCount[q]; k += static_cast<int>(N)) {
            V R, G, B;
            if (q == p)
                ColourPixels(d, c, matrix, q, k, R, G, B);
            else
                GreenPixels(d, c, matrix, q, k, R, G, B);
            hn::StoreU(R, d, out[0] + k);
            hn::StoreU(G, d, out[1] + k);
            hn::StoreU(B, d, out[2] + k);
        }
    }
}

} // namespace HWY_NAMESPACE
} // namespace tsr::cpu
HWY_AFTER_NAMESPACE();

#endif
