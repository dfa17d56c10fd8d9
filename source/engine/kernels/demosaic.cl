/* Demosaic kernels: Bayer frame -> green plane (RPS_0000) -> red and blue planes with white
 * balance (RPS_0001) -> colour conversion (RPS_0002).
 *
 * Compiled together with parameterblocks.h, which comes first in the program text. */

__constant sampler_t nearestSampler =
    CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

typedef struct NoiseModel {
    float blackNorm;
    float scale;
    float floorLevel;
    float offset;
} NoiseModel;

static NoiseModel noiseModel(float blackNorm, float scale, float floorLevel, float offset) {
    NoiseModel noise;
    noise.blackNorm = blackNorm;
    noise.scale = scale;
    noise.floorLevel = floorLevel;
    noise.offset = offset;
    return noise;
}

static float noiseVariance(const NoiseModel* noise, float v) {
    float t = noise->blackNorm + v;
    return noise->offset + fmax(noise->floorLevel, noise->scale * (t * t));
}

static float noiseSigma(const NoiseModel* noise, float v) {
    return sqrt(noiseVariance(noise, v));
}

/* Photosite kind at (x, y) for Bayer pattern b: 0 red, 1 green, 2 blue. */
static int photositeKind(int x, int y, uint b) {
    int phase = 2 * (y & 1) + (x & 1);
    if (phase == (int)b) return 0;
    if (phase == 3 - (int)b) return 2;
    return 1;
}

static float normalisedSample(__read_only image2d_t image, int x, int y, int blackLevel, float invRange) {
    int s = (int)read_imageui(image, nearestSampler, (int2)(x, y)).x;
    return (float)(s - blackLevel) * invRange;
}

/* Green-direction correction from the colour ratio along one axis. */
static float ratioCorrection(const NoiseModel* noise, float c, float p1, float q1, float p2, float q2) {
    float sp1 = noiseSigma(noise, p1), sq1 = noiseSigma(noise, q1);
    float sp2 = noiseSigma(noise, p2), sq2 = noiseSigma(noise, q2);
    bool consistent = (p1 - q1) * (p2 - q2) > 0.0f || (p2 - c) * (q2 - c) > 0.0f ||
                      sp1 + sq1 > fabs(p1 - q1) || sp2 + sq2 > fabs(p2 - q2);
    bool aboveNoise = p1 > sp1 && q1 > sq1 && p2 > sp2 && q2 > sq2;
    if (consistent && aboveNoise) return (p2 + q2 - 2.0f * c) / (2.0f * (p2 + q2 + 2.0f * c));
    return 0.0f;
}

/* Neighbours of position p on a line of `size` photosites, at distance 1 (p1 before, q1 after)
 * and 2 (p2, q2): at the picture's edges the missing side mirrors the other, and a missing
 * neighbour at distance 2 takes the centre value c. */
static void mirrorAtEdges(int p, int size, float c, float* p1, float* q1, float* p2, float* q2) {
    if (p == 0) {
        *p1 = *q1;
        *p2 = *q2;
    } else if (p == 1) {
        *p2 = c;
    } else if (p == size - 1) {
        *q1 = *p1;
        *q2 = *p2;
    } else if (p == size - 2) {
        *q2 = c;
    }
}

/* Green at a red or blue photosite c along one axis, from the neighbours at distance 1 (p1, q1)
 * and 2 (p2, q2) and the ratio correction r; the estimate's error goes to *error. */
static float axisGreen(const NoiseModel* noise, float c, float p1, float q1, float p2, float q2, float r,
                       float* error) {
    float g = 0.5f * (p1 + q1) * (1.0f - r);
    *error = (p1 - g) * (p1 - g) + (q1 - g) * (q1 - g) + (p2 - c) * (p2 - c) + (q2 - c) * (q2 - c) +
             noiseVariance(noise, p1) + noiseVariance(noise, q1);
    return g;
}

/* The work item's photosite (x, y) and the picture's size; false outside the picture. */
static bool photositeOf(__read_only image2d_t image, int* x, int* y, int* width, int* height) {
    *x = get_global_id(0);
    *y = get_global_id(1);
    *width = get_image_width(image);
    *height = get_image_height(image);
    return *x < *width && *y < *height;
}

__kernel void RPS_0000(__constant CLRPPS0* parameters, __read_only image2d_t inImage,
                       __write_only image2d_t outImage) {
    int x, y, width, height;
    if (!photositeOf(inImage, &x, &y, &width, &height)) return;

    int blackLevel = (int)parameters->blackLevel;
    float invRange = parameters->invRange;
    float n = normalisedSample(inImage, x, y, blackLevel, invRange);
    int kind = photositeKind(x, y, parameters->bayerPattern);
    if (kind == 1) {
        /* Alpha 1 so that a four-channel stand-in for the two-channel image reads like one. */
        write_imagef(outImage, (int2)(x, y), (float4)(0.0f, n, 0.0f, 1.0f));
        return;
    }

    NoiseModel noise = noiseModel((float)parameters->blackLevel * invRange, parameters->noiseScale,
                                  parameters->noiseFloor, parameters->noiseOffset);

    float w = kind == 0 ? parameters->invGainRed : parameters->invGainBlue;
    float c = fmin(n, w);

    float L1 = fmin(normalisedSample(inImage, x - 1, y, blackLevel, invRange), 1.0f);
    float R1 = fmin(normalisedSample(inImage, x + 1, y, blackLevel, invRange), 1.0f);
    float L2 = fmin(normalisedSample(inImage, x - 2, y, blackLevel, invRange), w);
    float R2 = fmin(normalisedSample(inImage, x + 2, y, blackLevel, invRange), w);
    float U1 = fmin(normalisedSample(inImage, x, y - 1, blackLevel, invRange), 1.0f);
    float D1 = fmin(normalisedSample(inImage, x, y + 1, blackLevel, invRange), 1.0f);
    float U2 = fmin(normalisedSample(inImage, x, y - 2, blackLevel, invRange), w);
    float D2 = fmin(normalisedSample(inImage, x, y + 2, blackLevel, invRange), w);

    mirrorAtEdges(x, width, c, &L1, &R1, &L2, &R2);
    mirrorAtEdges(y, height, c, &U1, &D1, &U2, &D2);

    float rh = 0.0f, rv = 0.0f;
    if (c > noiseSigma(&noise, c)) {
        rh = ratioCorrection(&noise, c, L1, R1, L2, R2);
        rv = ratioCorrection(&noise, c, U1, D1, U2, D2);
    }

    float Eh, Ev;
    float Gh = axisGreen(&noise, c, L1, R1, L2, R2, rh, &Eh);
    float Gv = axisGreen(&noise, c, U1, D1, U2, D2, rv, &Ev);
    float G = Gv + (Gh - Gv) * Ev / (Eh + Ev);
    write_imagef(outImage, (int2)(x, y), (float4)(c, G, 0.0f, 1.0f));
}

/* Noise-aware blend of a colour-ratio estimate and the plain average of four neighbours, each
 * given as (colour value, green value). */
static float getEstimate(const NoiseModel* noise, float Gc, float2 n0, float2 n1, float2 n2, float2 n3) {
    float X[4] = {n0.x, n1.x, n2.x, n3.x};
    float G[4] = {n0.y, n1.y, n2.y, n3.y};
    float ma = 0.25f * (X[0] + X[1] + X[2] + X[3]);

    float sGc = noiseSigma(noise, Gc);
    if (!(Gc > sGc)) return ma;
    float sX[4], sG[4];
    for (int i = 0; i < 4; ++i) {
        sX[i] = noiseSigma(noise, X[i]);
        if (!(X[i] > sX[i])) return ma;
    }
    for (int i = 0; i < 4; ++i) {
        sG[i] = noiseSigma(noise, G[i]);
        if (!(G[i] > sG[i])) return ma;
    }

    float e[4];
    float spread = 0.0f;
    for (int i = 0; i < 4; ++i) {
        e[i] = Gc * X[i] / G[i];
        float lo = (Gc - sGc) * (X[i] - sX[i]) / (G[i] + sG[i]);
        float hi = (Gc + sGc) * (X[i] + sX[i]) / (G[i] - sG[i]);
        spread += (e[i] - lo) * (hi - e[i]);
    }
    float mr = 0.25f * (e[0] + e[1] + e[2] + e[3]);
    float Er = 0.0f, Ea = 0.0f, variance = 0.0f;
    for (int i = 0; i < 4; ++i) {
        Er += (e[i] - mr) * (e[i] - mr);
        Ea += (X[i] - ma) * (X[i] - ma);
        variance += noiseVariance(noise, X[i]);
    }
    Er += 0.75f * spread;
    Ea += 0.75f * variance;
    return ma + (mr - ma) * Ea / (Er + Ea);
}

/* Two pairs of neighbours on either side of position p on a line of `size`: at the first position
 * the missing "before" values take the "after" ones, at the last the other way round. */
static void mirrorPairs(int p, int size, float2* before1, float2* after1, float2* before2, float2* after2) {
    if (p == 0) {
        *before1 = *after1;
        *before2 = *after2;
    } else if (p == size - 1) {
        *after1 = *before1;
        *after2 = *before2;
    }
}

static float2 readPair(__read_only image2d_t image, int x, int y) {
    return read_imagef(image, nearestSampler, (int2)(x, y)).xy;
}

__kernel void RPS_0001(__constant CLRPPS1* parameters, __read_only image2d_t inImage,
                       __write_only image2d_t outImage) {
    int x, y, width, height;
    if (!photositeOf(inImage, &x, &y, &width, &height)) return;

    NoiseModel noise = noiseModel(parameters->blackNorm, parameters->noiseScale, parameters->noiseFloor,
                                  parameters->noiseOffset);

    uint b = parameters->bayerPattern;
    float4 centre = read_imagef(inImage, nearestSampler, (int2)(x, y));
    float X = centre.x;
    float Gc = centre.y;
    float A = centre.w;
    float R, B;

    int kind = photositeKind(x, y, b);
    if (kind == 1) {
        float2 W = readPair(inImage, x - 1, y);
        float2 E = readPair(inImage, x + 1, y);
        float2 N = readPair(inImage, x, y - 1);
        float2 S = readPair(inImage, x, y + 1);
        mirrorPairs(x, width, &W, &E, &W, &E);
        mirrorPairs(y, height, &N, &S, &N, &S);
        float eH = getEstimate(&noise, Gc, W, E, W, E);
        float eV = getEstimate(&noise, Gc, N, S, N, S);
        bool onRedRow = (y & 1) == (int)(b >> 1);
        R = onRedRow ? eH : eV;
        B = onRedRow ? eV : eH;
    } else {
        float2 NW = readPair(inImage, x - 1, y - 1);
        float2 NE = readPair(inImage, x + 1, y - 1);
        float2 SW = readPair(inImage, x - 1, y + 1);
        float2 SE = readPair(inImage, x + 1, y + 1);
        /* Columns first, then rows: a corner takes its one inner diagonal neighbour. */
        mirrorPairs(x, width, &NW, &NE, &SW, &SE);
        mirrorPairs(y, height, &NW, &SW, &NE, &SE);
        float est = getEstimate(&noise, Gc, NW, SW, NE, SE);
        R = kind == 0 ? X : est;
        B = kind == 0 ? est : X;
    }

    write_imagef(outImage, (int2)(x, y),
                 (float4)(fmin(R * parameters->gainRed, 1.0f), fmin(Gc, 1.0f),
                          fmin(B * parameters->gainBlue, 1.0f), fmin(A, 1.0f)));
}

__kernel void RPS_0002(__constant CLRPPS2* parameters, __read_only image2d_t inImage,
                       __write_only image2d_t outImage) {
    int x = get_global_id(0);
    int y = get_global_id(1);
    if (x >= get_image_width(inImage) || y >= get_image_height(inImage)) return;
    float4 v = read_imagef(inImage, nearestSampler, (int2)(x, y));
    __constant float* m = parameters->matrix;
    write_imagef(outImage, (int2)(x, y),
                 (float4)(m[0] * v.x + m[1] * v.y + m[2] * v.z, m[3] * v.x + m[4] * v.y + m[5] * v.z,
                          m[6] * v.x + m[7] * v.y + m[8] * v.z, 1.0f));
}
