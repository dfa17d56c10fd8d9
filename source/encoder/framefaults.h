// Deliberately broken frames for tests: edits single fields of an encoded frame in place.
// Every edit writes exactly the bytes of the named field (big-endian, as in the frame) and
// returns false, changing nothing, when the field is not in the frame (e.g. a quantiser weight
// of a frame without a quantiser matrix, or a slice past the end).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tsr {
namespace faults {

// Where a frame's parts lie, read from the frame as it is now.
struct FrameLayout {
    int headerSize = 0;
    int version = 0;
    int width = 0;
    int height = 0;
    uint16_t frameFlags = 0;
    size_t quantMatrixOffset = 0; // 0 when the frame has none
    size_t toneCurveOffset = 0;   // 0 when the frame has none
    size_t sliceTableOffset = 0;
    int sliceCount = 0;
};

// False when the frame is too short for its header or its dimensions or flags are unusable.
bool ReadLayout(const std::vector<uint8_t>& frame, FrameLayout& layout);

struct SliceSpan {
    size_t offset = 0; // from the start of the frame
    size_t length = 0; // the slice size table entry
};
// Locates slice `index` by the slice size table; false when it is missing or runs past the end.
bool FindSlice(const std::vector<uint8_t>& frame, int index, SliceSpan& span);

bool SetFrameSize(std::vector<uint8_t>& frame, uint32_t value);
bool SetMagic(std::vector<uint8_t>& frame, const char magic[4]);
bool SetHeaderSize(std::vector<uint8_t>& frame, uint16_t value);
bool SetVersion(std::vector<uint8_t>& frame, uint8_t value);
bool SetWidth(std::vector<uint8_t>& frame, uint16_t value);
bool SetHeight(std::vector<uint8_t>& frame, uint16_t value);
bool SetBayerPatternWord(std::vector<uint8_t>& frame, uint16_t value);
bool SetFrameFlags(std::vector<uint8_t>& frame, uint16_t value);
// Sets (on) or clears the bits of `mask` in frameFlags.
bool SetFrameFlagBits(std::vector<uint8_t>& frame, uint16_t mask, bool on);
bool SetQuantWeight(std::vector<uint8_t>& frame, int index, uint8_t value);
bool SetToneCurveKnot(std::vector<uint8_t>& frame, int index, uint16_t value);
bool SetSliceSizeEntry(std::vector<uint8_t>& frame, int slice, uint16_t value);
// Byte 0 of the slice header: the header size in bytes is this value >> 3.
bool SetSliceHeaderSizeByte(std::vector<uint8_t>& frame, int slice, uint8_t value);
bool SetSliceQScale(std::vector<uint8_t>& frame, int slice, uint8_t value);
bool SetSliceComponentSize(std::vector<uint8_t>& frame, int slice, int component, uint16_t value);
// Keeps the first `size` bytes (false when the frame is not longer than that).
bool TruncateFrame(std::vector<uint8_t>& frame, size_t size);

// The edits above by field name, for tools and table-driven tests: "frameSize", "magic" (value
// holds the four bytes, first byte highest), "headerSize", "version", "width", "height",
// "bayerPatternWord", "frameFlags", "quantWeight" (index), "toneCurveKnot" (index), "sliceSize"
// (index = slice), "sliceHeaderSizeByte", "sliceQScale", "sliceComponentSize" (index = slice,
// component 0..2), "truncate" (value = new length). False for an unknown name, a value too wide
// for the field, or a field the frame does not have.
bool ApplyFault(std::vector<uint8_t>& frame, const std::string& field, uint32_t value, int index = 0,
                int component = 0);

} // namespace faults
} // namespace tsr
