// Parsing of a compressed frame's header, with every validity rule.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/bytereader.h"

namespace tsr {

struct FrameHeader {
    int version = 0;
    int width = 0;
    int height = 0;
    uint8_t infoBytes[4] = {};
    int bayerPattern = 0;
    uint16_t whiteLevelCode = 0;
    float gain0 = 0, gain1 = 0;
    float colorMatrix[9] = {};
    float auxFloat = 0;
    uint16_t auxWord = 0;
    int log2SliceWidth = 0;
    bool hasQuantMatrix = false;
    bool hasToneCurve = false;
    uint8_t quantMatrix[64] = {};
    uint16_t toneCurve[8] = {};
};

// True when the bytes hold a frameSize and the magic "tsrf" after it.
bool HasFrameMagic(const uint8_t* data, size_t size);

// The picture size fields as stored, without any validity rule; 0 x 0 where the bytes are missing.
void ReadStoredDimensions(const uint8_t* data, size_t size, int& width, int& height);

// Reads frameSize, magic and the picture size without the other rules. Returns false (and 0 x 0)
// unless the size fields are readable, nonzero and even.
bool ProbeFrameDimensions(const uint8_t* data, size_t size, int& width, int& height);

// Checks frameSize and the magic, parses the frame header and leaves the reader at the slice
// size table. Returns false when the frame breaks any header rule.
bool ParseFrameHeader(ByteReader& reader, FrameHeader& header);
// The same rules for the frame header alone, read from the reader's position (byte 8 of a frame,
// where the caller has checked frameSize and the magic itself).
bool ParseFrameHeaderBody(ByteReader& reader, FrameHeader& header);

} // namespace tsr
