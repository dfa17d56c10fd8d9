// Decodes a frame with the frame decoder into a guarded buffer and hands back the picture in
// compact form (no row padding): one value per photosite at scale 0, four per pixel above.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tsr/framedecoder.h"

struct DecodedFrame {
    int result = 0;
    int width = 0; // output size at the scale
    int height = 0;
    std::vector<uint16_t> samples;
    TsrFrameInfoRecord info{};
    bool guardsIntact = true; // nothing written before or after the output buffer
    // Output values that still hold the fill value (nothing written there).
    size_t untouched = 0;
};

constexpr uint16_t kFillValue = 0x5A5A; // both bytes alike

// `width` and `height` are the picture size the output buffer is made for.
DecodedFrame DecodeFrame(FrameDecoderHandle decoder, const std::vector<uint8_t>& frame, int width, int height,
                         int scaleIndex);
