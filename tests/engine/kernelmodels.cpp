#include "kernelmodels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace tsr::test {

namespace {

struct Noise {
    float blackNorm, scale, floorLevel, offset;
    float Variance(float v) const {
        const float t = blackNorm + v;
        return offset + std::max(floorLevel, scale * (t * t));
    }
    float Sigma(float v) const { return std::sqrt(Variance(v)); }
};

int Clamp(int v, int lo, int hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// 0 red, 1 green, 2 blue
int Kind(int x, int y, std::uint32_t pattern) {
    const int phase = 2 * (y % 2) + (x % 2);
    if (phase == static_cast<int>(pattern)) return 0;
    if (phase == 3 - static_cast<int>(pattern)) return 2;
    return 1;
}

float RatioTerm(const Noise& noise, float c, float a1, float b1, float a2, float b2) {
    const bool any = (a1 - b1) * (a2 - b2) > 0.0f || (a2 - c) * (b2 - c) > 0.0f ||
                     noise.Sigma(a1) + noise.Sigma(b1) > std::fabs(a1 - b1) ||
                     noise.Sigma(a2) + noise.Sigma(b2) > std::fabs(a2 - b2);
    const bool all =
        a1 > noise.Sigma(a1) && b1 > noise.Sigma(b1) && a2 > noise.Sigma(a2) && b2 > noise.Sigma(b2);
    if (any && all) return (a2 + b2 - 2.0f * c) / (2.0f * (a2 + b2 + 2.0f * c));
    return 0.0f;
}

struct Pair {
    float X, G;
};

float Estimate(const Noise& noise, float Gc, const Pair n[4]) {
    const float ma = 0.25f * (n[0].X + n[1].X + n[2].X + n[3].X);
    bool ratio = Gc > noise.Sigma(Gc);
    for (int i = 0; i < 4; ++i) ratio = ratio && n[i].X > noise.Sigma(n[i].X);
    for (int i = 0; i < 4; ++i) ratio = ratio && n[i].G > noise.Sigma(n[i].G);
    if (!ratio) return ma;
    const float sGc = noise.Sigma(Gc);
    float e[4], lo[4], hi[4];
    for (int i = 0; i < 4; ++i) {
        const float sX = noise.Sigma(n[i].X), sG = noise.Sigma(n[i].G);
        e[i] = Gc * n[i].X / n[i].G;
        lo[i] = (Gc - sGc) * (n[i].X - sX) / (n[i].G + sG);
        hi[i] = (Gc + sGc) * (n[i].X + sX) / (n[i].G - sG);
    }
    const float mr = 0.25f * (e[0] + e[1] + e[2] + e[3]);
    float sumSquares = 0.0f, band = 0.0f, spread = 0.0f, variance = 0.0f;
    for (int i = 0; i < 4; ++i) {
        sumSquares += (e[i] - mr) * (e[i] - mr);
        band += (e[i] - lo[i]) * (hi[i] - e[i]);
        spread += (n[i].X - ma) * (n[i].X - ma);
        variance += noise.Variance(n[i].X);
    }
    const float Er = sumSquares + 0.75f * band;
    const float Ea = spread + 0.75f * variance;
    return ma + (mr - ma) * Ea / (Er + Ea);
}

float Texel(const std::vector<std::uint16_t>& samples, int width, int height, int x, int y, int channel) {
    x = Clamp(x, 0, width - 1);
    y = Clamp(y, 0, height - 1);
    return samples[(static_cast<size_t>(y) * width + x) * 4 + channel] / 65535.0f;
}

float Bilinear(const std::vector<std::uint16_t>& samples, int width, int height, float u, float v,
               int channel) {
    const float fu = u - 0.5f, fv = v - 0.5f;
    const float iu = std::floor(fu), iv = std::floor(fv);
    const float a = fu - iu, b = fv - iv;
    const int i0 = static_cast<int>(iu), j0 = static_cast<int>(iv);
    return (1 - a) * (1 - b) * Texel(samples, width, height, i0, j0, channel) +
           a * (1 - b) * Texel(samples, width, height, i0 + 1, j0, channel) +
           (1 - a) * b * Texel(samples, width, height, i0, j0 + 1, channel) +
           a * b * Texel(samples, width, height, i0 + 1, j0 + 1, channel);
}

void Multiply(const float m[9], float r, float g, float b, float* out) {
    out[0] = m[0] * r + m[1] * g + m[2] * b;
    out[1] = m[3] * r + m[4] * g + m[5] * b;
    out[2] = m[6] * r + m[7] * g + m[8] * b;
}

} // namespace

Plane ModelGreen(const std::vector<std::uint16_t>& bayer, int width, int height, const CLRPPS0& p) {
    const Noise noise{static_cast<float>(p.blackLevel) * p.invRange, p.noiseScale, p.noiseFloor,
                      p.noiseOffset};
    auto n = [&](int x, int y) {
        const int s = bayer[static_cast<size_t>(Clamp(y, 0, height - 1)) * width + Clamp(x, 0, width - 1)];
        return static_cast<float>(s - static_cast<int>(p.blackLevel)) * p.invRange;
    };
    Plane out(static_cast<size_t>(width) * height * 4, 0.0f);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            float* o = &out[(static_cast<size_t>(y) * width + x) * 4];
            const float centre = n(x, y);
            const int kind = Kind(x, y, p.bayerPattern);
            if (kind == 1) {
                o[0] = 0.0f;
                o[1] = centre;
                o[3] = 1.0f;
                continue;
            }
            const float w = kind == 0 ? p.invGainRed : p.invGainBlue;
            const float c = std::min(centre, w);
            float L1 = std::min(n(x - 1, y), 1.0f), R1 = std::min(n(x + 1, y), 1.0f);
            float L2 = std::min(n(x - 2, y), w), R2 = std::min(n(x + 2, y), w);
            float U1 = std::min(n(x, y - 1), 1.0f), D1 = std::min(n(x, y + 1), 1.0f);
            float U2 = std::min(n(x, y - 2), w), D2 = std::min(n(x, y + 2), w);
            if (x == 0) {
                L1 = R1;
                L2 = R2;
            } else if (x == 1) {
                L2 = c;
            } else if (x == width - 1) {
                R1 = L1;
                R2 = L2;
            } else if (x == width - 2) {
                R2 = c;
            }
            if (y == 0) {
                U1 = D1;
                U2 = D2;
            } else if (y == 1) {
                U2 = c;
            } else if (y == height - 1) {
                D1 = U1;
                D2 = U2;
            } else if (y == height - 2) {
                D2 = c;
            }
            float rh = 0.0f, rv = 0.0f;
            if (c > noise.Sigma(c)) {
                rh = RatioTerm(noise, c, L1, R1, L2, R2);
                rv = RatioTerm(noise, c, U1, D1, U2, D2);
            }
            const float Gh = 0.5f * (L1 + R1) * (1.0f - rh);
            const float Gv = 0.5f * (U1 + D1) * (1.0f - rv);
            const float Eh = (L1 - Gh) * (L1 - Gh) + (R1 - Gh) * (R1 - Gh) + (L2 - c) * (L2 - c) +
                             (R2 - c) * (R2 - c) + noise.Variance(L1) + noise.Variance(R1);
            const float Ev = (U1 - Gv) * (U1 - Gv) + (D1 - Gv) * (D1 - Gv) + (U2 - c) * (U2 - c) +
                             (D2 - c) * (D2 - c) + noise.Variance(U1) + noise.Variance(D1);
            o[0] = c;
            o[1] = Gv + (Gh - Gv) * Ev / (Eh + Ev);
            o[3] = 1.0f;
        }
    }
    return out;
}

Plane ModelColour(const Plane& in, int width, int height, const CLRPPS1& p) {
    const Noise noise{p.blackNorm, p.noiseScale, p.noiseFloor, p.noiseOffset};
    auto at = [&](int x, int y) {
        const float* v =
            &in[(static_cast<size_t>(Clamp(y, 0, height - 1)) * width + Clamp(x, 0, width - 1)) * 4];
        return Pair{v[0], v[1]};
    };
    Plane out(in.size());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float* centre = &in[(static_cast<size_t>(y) * width + x) * 4];
            const float X = centre[0], Gc = centre[1], A = centre[3];
            float R, B;
            const int kind = Kind(x, y, p.bayerPattern);
            if (kind == 1) {
                Pair W = at(x - 1, y), E = at(x + 1, y), N = at(x, y - 1), S = at(x, y + 1);
                if (x == 0)
                    W = E;
                else if (x == width - 1)
                    E = W;
                if (y == 0)
                    N = S;
                else if (y == height - 1)
                    S = N;
                const Pair horizontal[4] = {W, E, W, E}, vertical[4] = {N, S, N, S};
                const float eH = Estimate(noise, Gc, horizontal), eV = Estimate(noise, Gc, vertical);
                const bool redRow = (y % 2) == static_cast<int>(p.bayerPattern >> 1);
                R = redRow ? eH : eV;
                B = redRow ? eV : eH;
            } else {
                Pair NW = at(x - 1, y - 1), NE = at(x + 1, y - 1), SW = at(x - 1, y + 1),
                     SE = at(x + 1, y + 1);
                if (x == 0) {
                    NW = NE;
                    SW = SE;
                    if (y == 0)
                        NW = NE = SW = SE;
                    else if (y == height - 1)
                        NW = SW = SE = NE;
                } else if (x == width - 1) {
                    NE = NW;
                    SE = SW;
                    if (y == 0)
                        NW = NE = SE = SW;
                    else if (y == height - 1)
                        NE = SW = SE = NW;
                } else if (y == 0) {
                    NW = SW;
                    NE = SE;
                } else if (y == height - 1) {
                    SW = NW;
                    SE = NE;
                }
                const Pair diagonal[4] = {NW, SW, NE, SE};
                const float estimate = Estimate(noise, Gc, diagonal);
                R = kind == 0 ? X : estimate;
                B = kind == 0 ? estimate : X;
            }
            float* o = &out[(static_cast<size_t>(y) * width + x) * 4];
            o[0] = std::min(R * p.gainRed, 1.0f);
            o[1] = std::min(Gc, 1.0f);
            o[2] = std::min(B * p.gainBlue, 1.0f);
            o[3] = std::min(A, 1.0f);
        }
    }
    return out;
}

Plane ModelConversion(const Plane& in, int width, int height, const CLRPPS2& p) {
    Plane out(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < out.size(); i += 4) {
        Multiply(p.matrix, in[i], in[i + 1], in[i + 2], &out[i]);
        out[i + 3] = 1.0f;
    }
    return out;
}

Plane ModelFourSample(const std::vector<std::uint16_t>& samples, int width, int height, const CLRPTSRD& p) {
    Plane out(static_cast<size_t>(width) * height * 4);
    const float* o = p.sampleOffsets;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
            const float r = Bilinear(samples, width, height, px - o[0], py - o[1], 0);
            const float g = Bilinear(samples, width, height, px - o[2], py - o[3], 1);
            const float b = Bilinear(samples, width, height, px - o[4], py - o[5], 2);
            const float R = std::min(p.scaleRed * (r - p.blackNorm), 1.0f);
            const float G = std::min(p.scaleGreen * (g - p.blackNorm), 1.0f);
            const float B = std::min(p.scaleBlue * (b - p.blackNorm), 1.0f);
            float* d = &out[(static_cast<size_t>(y) * width + x) * 4];
            Multiply(p.matrix, R, G, B, d);
            d[3] = 1.0f;
        }
    }
    return out;
}

void ModelTestChart(Plane& plane, int width, int height, const CLRPPD& p) {
    const int W = static_cast<int>(p.width), H = static_cast<int>(p.height);
    const int x0 = static_cast<int>((1.0f - p.chartFractionX) * static_cast<float>(W) * 0.5f);
    const int y0 = static_cast<int>((1.0f - p.chartFractionY) * static_cast<float>(H) * 0.5f);
    const int w = static_cast<int>(p.chartFractionX * static_cast<float>(W));
    const int h = static_cast<int>(p.chartFractionY * static_cast<float>(H));
    if (h / 8 == 0) return;
    for (int y = y0; y < y0 + h && y < height; ++y) {
        const int band = std::min(7, (y - y0) / (h / 8));
        const int cols = band == 0 ? std::max(1, static_cast<int>(p.chartCheckerColumns)) : 8;
        if (w / cols == 0) continue;
        for (int x = x0; x < x0 + w && x < width; ++x) {
            const int col = std::min(cols - 1, (x - x0) / (w / cols));
            float* d = &plane[(static_cast<size_t>(y) * width + x) * 4];
            if (band == 0) {
                const float v = static_cast<float>(col % 2) * p.chartCheckerLevel;
                d[0] = d[1] = d[2] = v;
            } else {
                const float v = p.chartLevels[col];
                d[0] = v * static_cast<float>((band >> 2) & 1);
                d[1] = v * static_cast<float>((band >> 1) & 1);
                d[2] = v * static_cast<float>(band & 1);
            }
            d[3] = 1.0f;
        }
    }
}

float ModelLog(const CLIPLOG& k, float x) {
    if (x < k.t) return k.e * x + k.f;
    return k.c * std::log2(k.a * x + k.b) + k.d;
}

float ModelHlg(const CLIPHLG& k, float x) {
    if (x <= k.t) return k.r * std::sqrt(std::max(x, 0.0f));
    return k.a * std::log2(k.m * x + k.b) + k.c;
}

float ModelCanonLog2(const CLIPCANONLOG2& k, float x) {
    const float sign = x > 0.0f ? 1.0f : (x < 0.0f ? -1.0f : 0.0f);
    return sign * k.a * std::log2(k.c * std::fabs(x) + 1.0f) + k.b;
}

float ModelNLog(const CLIPNIKONNLOG& k, float x) {
    if (x < k.t) return k.a * std::pow(std::max(k.m * x + k.b, 0.0f), k.g);
    return k.c * std::log2(k.s * x) + k.d;
}

Plane ModelCurveNode(const ImageProcessingNode<1>& node, const Plane& plane) {
    Plane out(plane.size());
    const std::string name = node.KernelName();
    for (size_t i = 0; i < plane.size(); i += 4) {
        float v[3] = {plane[i], plane[i + 1], plane[i + 2]};
        float* d = &out[i];
        if (name == "ImageProcessing_Log") {
            const auto& k = static_cast<const ImageProcessingNode_Log<1>&>(node).Parameters();
            float xn[3];
            Multiply(k.colorMatrix, v[0], v[1], v[2], xn);
            for (int c = 0; c < 3; ++c) d[c] = ModelLog(k, xn[c]);
        } else if (name == "ImageProcessing_HLG") {
            const auto& k = static_cast<const ImageProcessingNode_HLG<1>&>(node).Parameters();
            for (int c = 0; c < 3; ++c) d[c] = ModelHlg(k, v[c]);
        } else if (name == "ImageProcessing_Canon_CanonLog2") {
            const auto& k = static_cast<const ImageProcessingNode_Canon_CanonLog2<1>&>(node).Parameters();
            float xn[3];
            Multiply(k.colorMatrix, v[0], v[1], v[2], xn);
            for (int c = 0; c < 3; ++c) d[c] = ModelCanonLog2(k, xn[c]);
        } else {
            const auto& k = static_cast<const ImageProcessingNode_Nikon_NLog<1>&>(node).Parameters();
            for (int c = 0; c < 3; ++c) d[c] = ModelNLog(k, v[c]);
        }
        d[3] = plane[i + 3];
    }
    return out;
}

float MaxDifference(const Plane& a, const Plane& b, int channels) {
    float worst = a.size() == b.size() ? 0.0f : INFINITY;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (static_cast<int>(i % 4) >= channels) continue;
        const float d = std::fabs(a[i] - b[i]);
        if (!(d <= worst)) worst = std::isnan(d) ? INFINITY : d;
    }
    return worst;
}

} // namespace tsr::test
