#include "format/frameheader.h"

#include <cstring>

#include "format/bigendian.h"
#include "format/frameformat.h"

namespace tsr {

namespace {
bool ReadSizeAndMagic(ByteReader& reader) {
    const uint32_t frameSize = reader.U32();
    if (frameSize == 0 || frameSize > reader.size()) return false;
    uint8_t magic[4];
    for (uint8_t& b : magic) b = reader.U8();
    return !reader.Failed() && std::memcmp(magic, kFrameMagic, 4) == 0;
}
} // namespace

bool HasFrameMagic(const uint8_t* data, size_t size) {
    return data && size >= kFrameHeaderStart && std::memcmp(data + 4, kFrameMagic, 4) == 0;
}

void ReadStoredDimensions(const uint8_t* data, size_t size, int& width, int& height) {
    const size_t end = kFrameHeaderStart + header::kHeight + 2;
    const bool present = data && size >= end;
    width = present ? static_cast<int>(LoadU16Be(data + kFrameHeaderStart + header::kWidth)) : 0;
    height = present ? static_cast<int>(LoadU16Be(data + kFrameHeaderStart + header::kHeight)) : 0;
}

bool ProbeFrameDimensions(const uint8_t* data, size_t size, int& width, int& height) {
    width = height = 0;
    ByteReader reader(data, size);
    if (!ReadSizeAndMagic(reader)) return false;
    reader.Skip(header::kWidth);
    const int w = reader.U16();
    const int h = reader.U16();
    if (reader.Failed() || w == 0 || h == 0 || (w & 1) || (h & 1)) return false;
    width = w;
    height = h;
    return true;
}

bool ParseFrameHeader(ByteReader& reader, FrameHeader& h) {
    return ReadSizeAndMagic(reader) && ParseFrameHeaderBody(reader, h);
}

bool ParseFrameHeaderBody(ByteReader& reader, FrameHeader& h) {
    const size_t start = reader.Position();
    const unsigned headerSize = reader.U16();
    reader.U8(); // reserved
    h.version = reader.U8();
    reader.U32(); // header word: not used
    h.width = reader.U16();
    h.height = reader.U16();
    for (uint8_t& b : h.infoBytes) b = reader.U8();
    h.bayerPattern = reader.U16() & 3;
    h.whiteLevelCode = reader.U16();
    h.gain0 = reader.F32();
    h.gain1 = reader.F32();
    for (float& m : h.colorMatrix) m = reader.F32();
    h.auxFloat = reader.F32();
    h.auxWord = reader.U16();
    const unsigned flags = reader.U16();
    h.hasQuantMatrix = (flags & flags::kHasQuantMatrix) != 0;
    h.log2SliceWidth = (flags & flags::kLog2SliceWidthMask) >> flags::kLog2SliceWidthShift;
    h.hasToneCurve = (flags & flags::kHasToneCurve) != 0;
    if (h.hasQuantMatrix) {
        for (uint8_t& w : h.quantMatrix) w = reader.U8();
    } else {
        std::memset(h.quantMatrix, 1, sizeof h.quantMatrix);
    }
    if (h.hasToneCurve) {
        for (uint16_t& k : h.toneCurve) k = reader.U16();
    } else {
        std::memcpy(h.toneCurve, kDefaultToneCurve, sizeof h.toneCurve);
    }

    if (reader.Failed() || headerSize < reader.Position() - start) return false;
    if (h.version > 1 || (h.version == 0 && h.hasToneCurve)) return false;
    if (h.width == 0 || h.height == 0 || (h.width & 1) || (h.height & 1)) return false;
    if (h.log2SliceWidth > kMaxLog2SliceWidth) return false;
    for (uint8_t w : h.quantMatrix)
        if (w < 1 || w > 63) return false;
    for (int i = 1; i < 8; ++i)
        if (h.toneCurve[i] <= h.toneCurve[i - 1]) return false;

    reader.Seek(start + headerSize);
    return !reader.Failed();
}

} // namespace tsr
