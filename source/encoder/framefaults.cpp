#include "framefaults.h"

#include "format/bigendian.h"
#include "format/frameformat.h"

namespace tsr {
namespace faults {
namespace {

constexpr size_t kHeaderStart = kFrameHeaderStart;

bool putU16(std::vector<uint8_t>& frame, size_t offset, uint16_t value) {
    if (offset + 2 > frame.size()) return false;
    storeU16BE(&frame[offset], value);
    return true;
}

bool putU8(std::vector<uint8_t>& frame, size_t offset, uint8_t value) {
    if (offset + 1 > frame.size()) return false;
    frame[offset] = value;
    return true;
}

} // namespace

bool readLayout(const std::vector<uint8_t>& frame, FrameLayout& layout) {
    if (frame.size() < kHeaderStart + header::kFixedSize) return false;
    const uint8_t* h = frame.data() + kHeaderStart;
    layout.headerSize = static_cast<int>(loadU16BE(h + header::kHeaderSize));
    layout.version = h[header::kVersion];
    layout.width = static_cast<int>(loadU16BE(h + header::kWidth));
    layout.height = static_cast<int>(loadU16BE(h + header::kHeight));
    layout.frameFlags = static_cast<uint16_t>(loadU16BE(h + header::kFrameFlags));
    size_t at = kHeaderStart + header::kFixedSize;
    layout.quantMatrixOffset = 0;
    layout.toneCurveOffset = 0;
    if (layout.frameFlags & flags::kHasQuantMatrix) {
        layout.quantMatrixOffset = at;
        at += header::kQuantMatrixSize;
    }
    if (layout.frameFlags & flags::kHasToneCurve) layout.toneCurveOffset = at;
    const int log2SliceWidth =
        (layout.frameFlags & flags::kLog2SliceWidthMask) >> flags::kLog2SliceWidthShift;
    if (layout.width == 0 || layout.height == 0 || log2SliceWidth > kMaxLog2SliceWidth) return false;
    layout.sliceTableOffset = kHeaderStart + static_cast<size_t>(layout.headerSize);
    layout.sliceCount =
        macroblocksFor(layout.height) * slicesPerRow(macroblocksFor(layout.width), log2SliceWidth);
    return true;
}

bool findSlice(const std::vector<uint8_t>& frame, int index, SliceSpan& span) {
    FrameLayout layout;
    if (!readLayout(frame, layout) || index < 0 || index >= layout.sliceCount) return false;
    const size_t tableEnd = layout.sliceTableOffset + 2 * static_cast<size_t>(layout.sliceCount);
    if (tableEnd > frame.size()) return false;
    size_t offset = tableEnd;
    for (int i = 0; i < index; ++i)
        offset += loadU16BE(&frame[layout.sliceTableOffset + 2 * static_cast<size_t>(i)]);
    span.offset = offset;
    span.length = loadU16BE(&frame[layout.sliceTableOffset + 2 * static_cast<size_t>(index)]);
    return offset + span.length <= frame.size();
}

bool setFrameSize(std::vector<uint8_t>& frame, uint32_t value) {
    if (frame.size() < 4) return false;
    storeU32BE(frame.data(), value);
    return true;
}

bool setMagic(std::vector<uint8_t>& frame, const char magic[4]) {
    if (frame.size() < 8) return false;
    for (int i = 0; i < 4; ++i) frame[4 + i] = static_cast<uint8_t>(magic[i]);
    return true;
}

bool setHeaderSize(std::vector<uint8_t>& frame, uint16_t value) {
    return putU16(frame, kHeaderStart + header::kHeaderSize, value);
}
bool setVersion(std::vector<uint8_t>& frame, uint8_t value) {
    return putU8(frame, kHeaderStart + header::kVersion, value);
}
bool setWidth(std::vector<uint8_t>& frame, uint16_t value) {
    return putU16(frame, kHeaderStart + header::kWidth, value);
}
bool setHeight(std::vector<uint8_t>& frame, uint16_t value) {
    return putU16(frame, kHeaderStart + header::kHeight, value);
}
bool setBayerPatternWord(std::vector<uint8_t>& frame, uint16_t value) {
    return putU16(frame, kHeaderStart + header::kBayerPattern, value);
}
bool setFrameFlags(std::vector<uint8_t>& frame, uint16_t value) {
    return putU16(frame, kHeaderStart + header::kFrameFlags, value);
}

bool setFrameFlagBits(std::vector<uint8_t>& frame, uint16_t mask, bool on) {
    const size_t offset = kHeaderStart + header::kFrameFlags;
    if (offset + 2 > frame.size()) return false;
    const uint32_t old = loadU16BE(&frame[offset]);
    return putU16(frame, offset, static_cast<uint16_t>(on ? old | mask : old & ~static_cast<uint32_t>(mask)));
}

bool setQuantWeight(std::vector<uint8_t>& frame, int index, uint8_t value) {
    FrameLayout layout;
    if (!readLayout(frame, layout) || layout.quantMatrixOffset == 0 || index < 0 || index >= 64) return false;
    return putU8(frame, layout.quantMatrixOffset + static_cast<size_t>(index), value);
}

bool setToneCurveKnot(std::vector<uint8_t>& frame, int index, uint16_t value) {
    FrameLayout layout;
    if (!readLayout(frame, layout) || layout.toneCurveOffset == 0 || index < 0 || index >= 8) return false;
    return putU16(frame, layout.toneCurveOffset + 2 * static_cast<size_t>(index), value);
}

bool setSliceSizeEntry(std::vector<uint8_t>& frame, int slice, uint16_t value) {
    FrameLayout layout;
    if (!readLayout(frame, layout) || slice < 0 || slice >= layout.sliceCount) return false;
    return putU16(frame, layout.sliceTableOffset + 2 * static_cast<size_t>(slice), value);
}

bool setSliceHeaderSizeByte(std::vector<uint8_t>& frame, int slice, uint8_t value) {
    SliceSpan span;
    return findSlice(frame, slice, span) && span.length >= 1 && putU8(frame, span.offset, value);
}

bool setSliceQScale(std::vector<uint8_t>& frame, int slice, uint8_t value) {
    SliceSpan span;
    return findSlice(frame, slice, span) && span.length >= 2 && putU8(frame, span.offset + 1, value);
}

bool setSliceComponentSize(std::vector<uint8_t>& frame, int slice, int component, uint16_t value) {
    SliceSpan span;
    if (component < 0 || component > 2 || !findSlice(frame, slice, span)) return false;
    const size_t field = 2 + 2 * static_cast<size_t>(component);
    return span.length >= field + 2 && putU16(frame, span.offset + field, value);
}

bool truncateFrame(std::vector<uint8_t>& frame, size_t size) {
    if (size >= frame.size()) return false;
    frame.resize(size);
    return true;
}

bool applyFault(std::vector<uint8_t>& frame, const std::string& field, uint32_t value, int index,
                int component) {
    const bool fits8 = value <= 0xFF, fits16 = value <= 0xFFFF;
    const auto u8 = static_cast<uint8_t>(value);
    const auto u16 = static_cast<uint16_t>(value);
    if (field == "frameSize") return setFrameSize(frame, value);
    if (field == "magic") {
        const char magic[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                               static_cast<char>(value >> 8), static_cast<char>(value)};
        return setMagic(frame, magic);
    }
    if (field == "truncate") return truncateFrame(frame, value);
    if (field == "headerSize") return fits16 && setHeaderSize(frame, u16);
    if (field == "version") return fits8 && setVersion(frame, u8);
    if (field == "width") return fits16 && setWidth(frame, u16);
    if (field == "height") return fits16 && setHeight(frame, u16);
    if (field == "bayerPatternWord") return fits16 && setBayerPatternWord(frame, u16);
    if (field == "frameFlags") return fits16 && setFrameFlags(frame, u16);
    if (field == "quantWeight") return fits8 && setQuantWeight(frame, index, u8);
    if (field == "toneCurveKnot") return fits16 && setToneCurveKnot(frame, index, u16);
    if (field == "sliceSize") return fits16 && setSliceSizeEntry(frame, index, u16);
    if (field == "sliceHeaderSizeByte") return fits8 && setSliceHeaderSizeByte(frame, index, u8);
    if (field == "sliceQScale") return fits8 && setSliceQScale(frame, index, u8);
    if (field == "sliceComponentSize") return fits16 && setSliceComponentSize(frame, index, component, u16);
    return false;
}

} // namespace faults
} // namespace tsr
