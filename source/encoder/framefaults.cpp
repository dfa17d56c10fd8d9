#include "framefaults.h"

#include "format/bigendian.h"
#include "format/frameformat.h"

namespace tsr {
namespace faults {
namespace {

constexpr size_t kHeaderStart = kFrameHeaderStart;

bool PutU16(std::vector<uint8_t>& frame, size_t offset, uint16_t value) {
    if (offset + 2 > frame.size()) return false;
    StoreU16Be(&frame[offset], value);
    return true;
}

bool PutU8(std::vector<uint8_t>& frame, size_t offset, uint8_t value) {
    if (offset + 1 > frame.size()) return false;
    frame[offset] = value;
    return true;
}

} // namespace

bool ReadLayout(const std::vector<uint8_t>& frame, FrameLayout& layout) {
    if (frame.size() < kHeaderStart + header::kFixedSize) return false;
    const uint8_t* h = frame.data() + kHeaderStart;
    layout.headerSize = static_cast<int>(LoadU16Be(h + header::kHeaderSize));
    layout.version = h[header::kVersion];
    layout.width = static_cast<int>(LoadU16Be(h + header::kWidth));
    layout.height = static_cast<int>(LoadU16Be(h + header::kHeight));
    layout.frameFlags = static_cast<uint16_t>(LoadU16Be(h + header::kFrameFlags));
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
        MacroblocksFor(layout.height) * SlicesPerRow(MacroblocksFor(layout.width), log2SliceWidth);
    return true;
}

bool FindSlice(const std::vector<uint8_t>& frame, int index, SliceSpan& span) {
    FrameLayout layout;
    if (!ReadLayout(frame, layout) || index < 0 || index >= layout.sliceCount) return false;
    const size_t tableEnd = layout.sliceTableOffset + 2 * static_cast<size_t>(layout.sliceCount);
    if (tableEnd > frame.size()) return false;
    size_t offset = tableEnd;
    for (int i = 0; i < index; ++i)
        offset += LoadU16Be(&frame[layout.sliceTableOffset + 2 * static_cast<size_t>(i)]);
    span.offset = offset;
    span.length = LoadU16Be(&frame[layout.sliceTableOffset + 2 * static_cast<size_t>(index)]);
    return offset + span.length <= frame.size();
}

bool SetFrameSize(std::vector<uint8_t>& frame, uint32_t value) {
    if (frame.size() < 4) return false;
    StoreU32Be(frame.data(), value);
    return true;
}

bool SetMagic(std::vector<uint8_t>& frame, const char magic[4]) {
    if (frame.size() < 8) return false;
    for (int i = 0; i < 4; ++i) frame[4 + i] = static_cast<uint8_t>(magic[i]);
    return true;
}

bool SetHeaderSize(std::vector<uint8_t>& frame, uint16_t value) {
    return PutU16(frame, kHeaderStart + header::kHeaderSize, value);
}
bool SetVersion(std::vector<uint8_t>& frame, uint8_t value) {
    return PutU8(frame, kHeaderStart + header::kVersion, value);
}
bool SetWidth(std::vector<uint8_t>& frame, uint16_t value) {
    return PutU16(frame, kHeaderStart + header::kWidth, value);
}
bool SetHeight(std::vector<uint8_t>& frame, uint16_t value) {
    return PutU16(frame, kHeaderStart + header::kHeight, value);
}
bool SetBayerPatternWord(std::vector<uint8_t>& frame, uint16_t value) {
    return PutU16(frame, kHeaderStart + header::kBayerPattern, value);
}
bool SetFrameFlags(std::vector<uint8_t>& frame, uint16_t value) {
    return PutU16(frame, kHeaderStart + header::kFrameFlags, value);
}

bool SetFrameFlagBits(std::vector<uint8_t>& frame, uint16_t mask, bool on) {
    const size_t offset = kHeaderStart + header::kFrameFlags;
    if (offset + 2 > frame.size()) return false;
    const uint32_t old = LoadU16Be(&frame[offset]);
    return PutU16(frame, offset, static_cast<uint16_t>(on ? old | mask : old & ~static_cast<uint32_t>(mask)));
}

bool SetQuantWeight(std::vector<uint8_t>& frame, int index, uint8_t value) {
    FrameLayout layout;
    if (!ReadLayout(frame, layout) || layout.quantMatrixOffset == 0 || index < 0 || index >= 64) return false;
    return PutU8(frame, layout.quantMatrixOffset + static_cast<size_t>(index), value);
}

bool SetToneCurveKnot(std::vector<uint8_t>& frame, int index, uint16_t value) {
    FrameLayout layout;
    if (!ReadLayout(frame, layout) || layout.toneCurveOffset == 0 || index < 0 || index >= 8) return false;
    return PutU16(frame, layout.toneCurveOffset + 2 * static_cast<size_t>(index), value);
}

bool SetSliceSizeEntry(std::vector<uint8_t>& frame, int slice, uint16_t value) {
    FrameLayout layout;
    if (!ReadLayout(frame, layout) || slice < 0 || slice >= layout.sliceCount) return false;
    return PutU16(frame, layout.sliceTableOffset + 2 * static_cast<size_t>(slice), value);
}

bool SetSliceHeaderSizeByte(std::vector<uint8_t>& frame, int slice, uint8_t value) {
    SliceSpan span;
    return FindSlice(frame, slice, span) && span.length >= 1 && PutU8(frame, span.offset, value);
}

bool SetSliceQScale(std::vector<uint8_t>& frame, int slice, uint8_t value) {
    SliceSpan span;
    return FindSlice(frame, slice, span) && span.length >= 2 && PutU8(frame, span.offset + 1, value);
}

bool SetSliceComponentSize(std::vector<uint8_t>& frame, int slice, int component, uint16_t value) {
    SliceSpan span;
    if (component < 0 || component > 2 || !FindSlice(frame, slice, span)) return false;
    const size_t field = 2 + 2 * static_cast<size_t>(component);
    return span.length >= field + 2 && PutU16(frame, span.offset + field, value);
}

bool TruncateFrame(std::vector<uint8_t>& frame, size_t size) {
    if (size >= frame.size()) return false;
    frame.resize(size);
    return true;
}

bool ApplyFault(std::vector<uint8_t>& frame, const std::string& field, uint32_t value, int index,
                int component) {
    const bool fits8 = value <= 0xFF, fits16 = value <= 0xFFFF;
    const auto u8 = static_cast<uint8_t>(value);
    const auto u16 = static_cast<uint16_t>(value);
    if (field == "frameSize") return SetFrameSize(frame, value);
    if (field == "magic") {
        const char magic[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                               static_cast<char>(value >> 8), static_cast<char>(value)};
        return SetMagic(frame, magic);
    }
    if (field == "truncate") return TruncateFrame(frame, value);
    if (field == "headerSize") return fits16 && SetHeaderSize(frame, u16);
    if (field == "version") return fits8 && SetVersion(frame, u8);
    if (field == "width") return fits16 && SetWidth(frame, u16);
    if (field == "height") return fits16 && SetHeight(frame, u16);
    if (field == "bayerPatternWord") return fits16 && SetBayerPatternWord(frame, u16);
    if (field == "frameFlags") return fits16 && SetFrameFlags(frame, u16);
    if (field == "quantWeight") return fits8 && SetQuantWeight(frame, index, u8);
    if (field == "toneCurveKnot") return fits16 && SetToneCurveKnot(frame, index, u16);
    if (field == "sliceSize") return fits16 && SetSliceSizeEntry(frame, index, u16);
    if (field == "sliceHeaderSizeByte") return fits8 && SetSliceHeaderSizeByte(frame, index, u8);
    if (field == "sliceQScale") return fits8 && SetSliceQScale(frame, index, u8);
    if (field == "sliceComponentSize") return fits16 && SetSliceComponentSize(frame, index, component, u16);
    return false;
}

} // namespace faults
} // namespace tsr
