#include "format/frameheader.h"

#include <cstring>

#include "format/bigendian.h"
#include "format/frameformat.h"

namespace tsr {

namespace {
bool readSizeAndMagic(ByteReader& reader) {
    const uint32_t frameSize = reader.u32();
    if (frameSize == 0 || frameSize > reader.size()) return false;
    uint8_t magic[4];
    for (uint8_t& b : magic) b = reader.u8();
    return !reader.failed() && std::memcmp(magic, kFrameMagic, 4) == 0;
}
} // namespace

bool hasFrameMagic(const uint8_t* data, size_t size) {
    return data && size >= kFrameHeaderStart && std::memcmp(data + 4, kFrameMagic, 4) == 0;
}

void readStoredDimensions(const uint8_t* data, size_t size, int& width, int& height) {
    const size_t end = kFrameHeaderStart + header::kHeight + 2;
    const bool present = data && size >= end;
    width = present ? static_cast<int>(loadU16BE(data + kFrameHeaderStart + header::kWidth)) : 0;
    height = present ? static_cast<int>(loadU16BE(data + kFrameHeaderStart + header::kHeight)) : 0;
}

bool probeFrameDimensions(const uint8_t* data, size_t size, int& width, int& height) {
    width = height = 0;
    ByteReader reader(data, size);
    if (!readSizeAndMagic(reader)) return false;
    reader.skip(header::kWidth);
    const int w = reader.u16();
    const int h = reader.u16();
    if (reader.failed() || w == 0 || h == 0 || (w & 1) || (h & 1)) return false;
    width = w;
    height = h;
    return true;
}

bool parseFrameHeader(ByteReader& reader, FrameHeader& h) {
    if (!readSizeAndMagic(reader)) return false;
    const size_t start = reader.position();
    const unsigned headerSize = reader.u16();
    reader.u8(); // reserved
    h.version = reader.u8();
    reader.u32(); // header word: not used
    h.width = reader.u16();
    h.height = reader.u16();
    for (uint8_t& b : h.infoBytes) b = reader.u8();
    h.bayerPattern = reader.u16() & 3;
    h.whiteLevelCode = reader.u16();
    h.gain0 = reader.f32();
    h.gain1 = reader.f32();
    for (float& m : h.colorMatrix) m = reader.f32();
    h.auxFloat = reader.f32();
    h.auxWord = reader.u16();
    const unsigned flags = reader.u16();
    h.hasQuantMatrix = (flags & flags::kHasQuantMatrix) != 0;
    h.log2SliceWidth = (flags & flags::kLog2SliceWidthMask) >> flags::kLog2SliceWidthShift;
    h.hasToneCurve = (flags & flags::kHasToneCurve) != 0;
    if (h.hasQuantMatrix) {
        for (uint8_t& w : h.quantMatrix) w = reader.u8();
    } else {
        std::memset(h.quantMatrix, 1, sizeof h.quantMatrix);
    }
    if (h.hasToneCurve) {
        for (uint16_t& k : h.toneCurve) k = reader.u16();
    } else {
        std::memcpy(h.toneCurve, kDefaultToneCurve, sizeof h.toneCurve);
    }

    if (reader.failed() || headerSize < reader.position() - start) return false;
    if (h.version > 1 || (h.version == 0 && h.hasToneCurve)) return false;
    if (h.width == 0 || h.height == 0 || (h.width & 1) || (h.height & 1)) return false;
    if (h.log2SliceWidth > kMaxLog2SliceWidth) return false;
    for (uint8_t w : h.quantMatrix)
        if (w < 1 || w > 63) return false;
    for (int i = 1; i < 8; ++i)
        if (h.toneCurve[i] <= h.toneCurve[i - 1]) return false;

    reader.seek(start + headerSize);
    return !reader.failed();
}

} // namespace tsr
