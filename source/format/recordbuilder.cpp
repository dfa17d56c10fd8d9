#include "format/recordbuilder.h"

#include <cstring>

#include "format/frameformat.h"

namespace tsr {

namespace {
// Reads a big-endian field of 1 to 4 bytes at an offset from the frame header.
bool ReadField(const uint8_t* input, size_t length, size_t offset, unsigned width, uint32_t& value) {
    if (!HasFrameMagic(input, length)) return false;
    if (width < 1 || width > 4 || kFrameHeaderStart + offset + width > length) return false;
    value = 0;
    for (unsigned i = 0; i < width; ++i) value = value << 8 | input[kFrameHeaderStart + offset + i];
    return true;
}

float FloatFromBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
} // namespace

bool ExtractMetadata(const uint8_t* input, size_t length, TsrFrameMetadataRecord& record) {
    uint32_t v;
    if (!ReadField(input, length, header::kInfoBytes, 4, v)) return false;
    for (int i = 0; i < 4; ++i) record.infoBytes[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    if (!ReadField(input, length, header::kBayerPattern, 4, v)) return false;
    record.bayerPattern = static_cast<uint8_t>((v >> 16) & 3);
    record.whiteLevelCode = static_cast<uint16_t>(v);
    uint32_t gain0, gain1;
    if (!ReadField(input, length, header::kGain0, 4, gain0) ||
        !ReadField(input, length, header::kGain1, 4, gain1))
        return false;
    record.gain0 = FloatFromBits(gain0);
    record.gain1 = FloatFromBits(gain1);
    for (int i = 0; i < 9; ++i) {
        if (!ReadField(input, length, header::kColorMatrix + 4 * i, 4, v)) return false;
        record.colorMatrix[i] = FloatFromBits(v);
    }
    if (!ReadField(input, length, header::kAuxFloat, 4, v)) return false;
    record.auxFloat = FloatFromBits(v);
    if (!ReadField(input, length, header::kAuxWord, 2, v)) return false;
    record.auxWord = static_cast<uint16_t>(v);
    return true;
}

void FillInfoRecord(const FrameHeader& h, int scaleIndex, int rowPitch, int maxDcStep, void* out) {
    TsrFrameInfoRecord r;
    std::memset(&r, 0, sizeof r);
    r.rowPitch = rowPitch;
    r.layoutCode = scaleIndex == 0 ? TSR_LAYOUT_BP16 : TSR_LAYOUT_BP64;
    r.width = h.width >> scaleIndex;
    r.height = h.height >> scaleIndex;
    r.bayerPattern = static_cast<uint8_t>(h.bayerPattern);
    r.blackLevel = TSR_BLACK_LEVEL;
    r.whiteLevel = h.whiteLevelCode + 256;
    r.gain0 = h.gain0;
    r.gain1 = h.gain1;
    std::memcpy(r.colorMatrix, h.colorMatrix, sizeof r.colorMatrix);
    r.auxFloat = h.auxFloat;
    r.auxWord = h.auxWord;
    r.maxDcStep = maxDcStep;
    if (scaleIndex > 0) {
        // Where red, green and blue lie relative to the pixel centre, per pattern.
        static const int kSigns[4][6] = {
            {-1, -1, -1, 1, 1, 1}, {1, -1, 1, 1, -1, 1}, {-1, 1, -1, -1, 1, -1}, {1, 1, 1, -1, -1, -1}};
        const float h2 = 0.5f / float(1 << scaleIndex);
        for (int i = 0; i < 6; ++i) r.sampleOffsets[i] = float(kSigns[h.bayerPattern][i]) * h2;
    }
    std::memcpy(out, &r, sizeof r);
}

} // namespace tsr
