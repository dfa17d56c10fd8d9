// What the strip kernels share with the engine: the frame's fixed description (parameter blocks,
// buffers, curve) and each worker's scratch rows, kept between frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <hwy/aligned_allocator.h>

#include "engine/curveparameters.h"
#include "engine/parameters.h"

namespace tsr::cpu {

// The chain's stages as the benchmark's stage clock counts them.
enum Stage { kStageNormalise, kStageGreen, kStageColour, kStageOutput, kStageFourSample, kStageCount };
constexpr const char* kStageNames[kStageCount] = {"normalise", "green", "colour", "output", "four-sample"};

// Seconds in each stage, its own time only (a stage that computes rows of another for its input
// does not count theirs).
struct StageClock {
    double seconds[kStageCount] = {};
    double nested = 0.0; // time of the stages inside the one running now
};

// Everything one frame needs, fixed before the strips start.
struct FrameJob {
    std::uint64_t serial = 0; // tells workers that their cached rows belong to an older frame
    bool timeStages = false;  // each worker's scratch adds up the time of each stage
    bool bayer = true;
    bool halfOutput = true;
    int width = 0, height = 0;
    const std::uint8_t* picture = nullptr;
    std::ptrdiff_t pitch = 0;
    std::uint8_t* output = nullptr;
    std::ptrdiff_t outputPitch = 0;

    CLRPPS0 green{};
    CLRPPS1 colour{};
    CLRPPS2 conversion{};
    CLRPTSRD fourSample{};
    bool chart = false;
    CLRPPD chartBlock{};

    OutputCurveKind curve = OutputCurveKind::None;
    CLIPHLG hlg{};
    CLIPCANONLOG2 canonLog2{};
    CLIPLOG log{};
    CLIPNIKONNLOG nikonNLog{};

    // Four-sample frames, per colour and output column: the two clamped texel columns of the
    // bilinear read and the weight of the second.
    const std::int32_t* column0[3] = {};
    const std::int32_t* column1[3] = {};
    const float* columnWeight[3] = {};
};

// A small cache of computed rows, keyed by row index, least recently used out first. A row
// fetched for the current output row is never evicted by the fetches that follow it, as long
// as fewer rows are held at once than there are slots.
template <int Slots> struct RowCache {
    int tag[Slots];
    std::uint64_t stamp[Slots];
    std::uint64_t clock = 0;

    RowCache() { Clear(); }
    void Clear() {
        for (int i = 0; i < Slots; ++i) {
            tag[i] = -1;
            stamp[i] = 0;
        }
    }
    // The slot holding `row`, or -1.
    int Find(int row) {
        for (int i = 0; i < Slots; ++i)
            if (tag[i] == row) {
                stamp[i] = ++clock;
                return i;
            }
        return -1;
    }
    // A slot to hold `row`, taken from the least recently used.
    int Claim(int row) {
        int victim = 0;
        for (int i = 1; i < Slots; ++i)
            if (stamp[i] < stamp[victim]) victim = i;
        tag[victim] = row;
        stamp[victim] = ++clock;
        return victim;
    }
};

// Floats in the widest vector of any target built (AVX-512); buffers leave this much slack.
constexpr int kMaxLanes = 16;

constexpr int kNormalisedSlots = 6; // a green row needs five normalised rows
constexpr int kGreenSlots = 4;      // a colour row needs three green rows
constexpr int kSourceSlots = 8;     // a four-sample row needs up to six source rows

// Normalised Bayer samples of one row, split by column parity. Role planes are by the row's
// photosites: green ones clipped at 1 (neighbours one step away), red or blue ones clipped at the
// row's white-balance clip (the centre and neighbours two steps away), with their noise terms.
struct NormalisedRow {
    float* n[2];   // unclipped, by column parity
    float* a1;     // green parity: min(n, 1)
    float* var1;   // its noise variance
    float* sigma1; // its noise sigma
    float* a2;     // red/blue parity: min(n, clip)
    float* sigma2; // its noise sigma
};

// Output of the green stage for one row, by column parity: colour value X, green G, and what the
// colour stage reads of them, computed once for every pixel that reads it. The quotients and the
// usable flag are filled where X is a colour value (red and blue photosites; every pixel of
// small frames and of patterns without red or blue).
struct GreenRow {
    float* X[2];
    float* G[2];
    float* sigmaG[2];    // noise sigma of G
    float* varX[2];      // noise variance of X
    float* usable[2];    // all bits set where X > sigmaX and G > sigmaG, otherwise zero
    float* ratio[2];     // X / G
    float* ratioLow[2];  // (X - sigmaX) / (G + sigmaG)
    float* ratioHigh[2]; // (X + sigmaX) / (G - sigmaG)
};
constexpr int kGreenRowPlanes = 16;

// One worker's rows. Planes hold kPad floats before column 0 (edge neighbours) and slack after
// the last column (whole vectors run past it).
struct Scratch {
    static constexpr int kPad = 16;

    int capacity = 0; // width the buffers are sized for
    std::uint64_t serial = ~std::uint64_t{0};
    hwy::AlignedFreeUniquePtr<float[]> memory;
    std::size_t planeLength = 0;   // floats per half-width plane
    std::size_t naturalLength = 0; // floats per full-width row

    RowCache<kNormalisedSlots> normalisedCache;
    RowCache<kGreenSlots> greenCache;
    RowCache<kSourceSlots> sourceCache;
    NormalisedRow normalised[kNormalisedSlots];
    GreenRow green[kGreenSlots];
    float* source[kSourceSlots][3]; // four-sample rows: red, green, blue, full width
    float* rgb[3];     // the output row being built, full width: by column parity for Bayer frames
    float* roles;      // small frames: per-pixel neighbour values of the green stage
    int roleCount = 0; // floats per role array
    StageClock stageClock;

    // Sizes the buffers for `width` (allocates only when it grows); false when memory runs out.
    bool Reserve(int width);
    // Forgets cached rows when a new frame starts.
    void Begin(std::uint64_t frameSerial);
};

} // namespace tsr::cpu
