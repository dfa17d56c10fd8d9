// The frame info record the engine benchmarks run their frames with: 12-bit levels over the
// black level, white balance, a camera matrix and, for four-sample frames, quarter-pixel sample
// offsets.
#pragma once

#include <cstring>

#include "tsr/framerecords.h"

inline TsrFrameInfoRecord BenchRecord(bool bayer, int width, int height) {
    TsrFrameInfoRecord r;
    std::memset(&r, 0, sizeof r);
    r.layoutCode = bayer ? TSR_LAYOUT_BP16 : TSR_LAYOUT_BP64;
    r.rowPitch = width * (bayer ? 2 : 8);
    r.width = width;
    r.height = height;
    r.blackLevel = TSR_BLACK_LEVEL;
    r.whiteLevel = 4095;
    r.gain0 = 1.9f;
    r.gain1 = 1.5f;
    const float xyz[9] = {0.41f, 0.36f, 0.18f, 0.21f, 0.72f, 0.07f, 0.02f, 0.12f, 0.95f};
    std::memcpy(r.colorMatrix, xyz, sizeof xyz);
    r.auxFloat = 1.0f;
    r.maxDcStep = 16;
    if (!bayer) {
        const float offsets[6] = {-0.25f, -0.25f, -0.25f, 0.25f, 0.25f, 0.25f};
        std::memcpy(r.sampleOffsets, offsets, sizeof offsets);
    }
    return r;
}
