// Tessel RAW frame encoder: turns a Bayer mosaic into a compressed frame that the frame decoder
// reads back. The exact inverse of the decoder's pipeline: inverse tone curve, forward 8x8
// transform, quantisation by qScale and the quantiser matrix, adaptive entropy coding, slices,
// slice size table and frame header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tsr {

struct EncoderSettings {
    int version = 1;                   // 0 or 1 (version 0 never carries a tone curve)
    int bayerPattern = 0;              // 0..3
    uint16_t bayerPatternHighBits = 0; // bits 2..15 of the pattern word, in place (bits 0..1 are dropped)
    int log2SliceWidth = 3;            // 0..4
    int qScale = 4;                    // 1..255, for every slice unless sliceQScale gives one
    std::vector<uint8_t> sliceQScale;  // optional, slice order; missing entries use qScale; 1..255
    double targetBitsPerPhotosite = 0; // > 0: rate control picks one qScale for the frame
                                       // (qScale and sliceQScale are then ignored)
    bool hasQuantMatrix = false;
    std::array<uint8_t, 64> quantMatrix{}; // raster order, weights 1..63
    bool hasToneCurve = false;
    std::array<uint16_t, 8> toneCurve{}; // strictly increasing knots
    uint16_t whiteLevelCode = 3839;
    float gain0 = 1.0f, gain1 = 1.0f;
    std::array<float, 9> colorMatrix{1, 0, 0, 0, 1, 0, 0, 0, 1};
    float auxFloat = 1.0f;
    uint16_t auxWord = 0;
    std::array<uint8_t, 4> infoBytes{};
    uint32_t headerWord = 0;
    uint16_t extraFrameFlags = 0; // bits 5..15 of frameFlags, in place (bits 0..4 are dropped)
    int extraHeaderBytes = 0;     // zero bytes after the parsed header fields (headerSize grows)
    int sliceHeaderExtension = 0; // zero bytes after the 8-byte slice header: 0..23, because the
                                  // slice header size is the top 5 bits of its first byte
};

// What the encoder decided; filled by encodeFrame when asked.
struct EncodeReport {
    int frameQScale = 0;              // the qScale rate control chose, else settings.qScale
    std::vector<uint8_t> sliceQScale; // qScale actually used per slice, slice order
    int raisedSlices = 0;             // slices whose qScale was raised to fit 65535 bytes
};

// `mosaic` is a full-size Bayer mosaic in the decoder's output domain (the values a scale-0
// decode writes, after the tone curve). Width and height must be even and 2..65534, the row
// pitch at least `width`. Returns an empty vector on bad arguments or settings.
std::vector<uint8_t> EncodeFrame(const uint16_t* mosaic, int width, int height, ptrdiff_t rowPitchSamples,
                                 const EncoderSettings& settings);
std::vector<uint8_t> EncodeFrame(const uint16_t* mosaic, int width, int height, ptrdiff_t rowPitchSamples,
                                 const EncoderSettings& settings, EncodeReport* report);

// True when encodeFrame accepts the settings.
bool EncoderSettingsValid(const EncoderSettings& settings);

} // namespace tsr
