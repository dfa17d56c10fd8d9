// What `info` shows about one compressed frame: the header fields as stored (read leniently, so
// a broken frame can still be inspected), the partition into macroblocks and slices, statistics
// of the slices, and both records.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tsr/framedecoder.h"

namespace tsr::tools {

struct FrameInspection {
    size_t length = 0;           // bytes handed in
    bool headerReadable = false; // the fixed header fields are all inside the bytes
    uint32_t frameSize = 0;
    uint16_t headerSize = 0;
    int version = 0;
    uint32_t headerWord = 0;
    int width = 0, height = 0;
    uint16_t bayerPatternWord = 0;
    uint16_t whiteLevelCode = 0;
    uint16_t frameFlags = 0;
    bool hasQuantMatrix = false, hasToneCurve = false;
    int log2SliceWidth = 0;
    std::array<uint8_t, 64> quantMatrix{}; // all 1 without a matrix
    std::array<uint16_t, 8> toneCurve{};   // the default knots without a curve

    // Partition.
    int mbWidth = 0, mbHeight = 0, slicesPerRow = 0, sliceCount = 0;
    std::vector<int> sliceWidthsInRow; // macroblocks, left to right

    // Slices present in the bytes (stops at the first that runs past the end).
    int slicesFound = 0;
    uint32_t sliceBytesMin = 0, sliceBytesMax = 0;
    uint64_t sliceBytesTotal = 0;
    int qScaleMin = 0, qScaleMax = 0;

    bool metadataValid = false;
    TsrFrameMetadataRecord metadata{};

    int decodeResult = 0; // the decoder's result for this frame at `scaleIndex`
    std::string note;     // why the frame could not be handed to the decoder at all
    int scaleIndex = 0;
    TsrFrameInfoRecord infoRecord{}; // valid when decodeResult is 0
};

// Reads everything above; `decoder` decodes the frame once (at `scaleIndex`) for the info record
// and the validity verdict.
FrameInspection InspectFrame(const std::vector<uint8_t>& frame, FrameDecoderHandle decoder, int scaleIndex);

std::string DecodeResultText(int result);

class CommandLine;
class DecodedPicture;
// Decodes frame `index` of a clip into `picture` (DecodedPicture::DecodeFrame); throws ToolError
// naming the frame when it is refused.
void DecodeClipFrame(DecodedPicture& picture, FrameDecoderHandle decoder, const std::vector<uint8_t>& frame,
                     int index, int scaleIndex);
// --max-pixels of the commands that decode clips.
void SetMaxPixelsFrom(const CommandLine& args);

} // namespace tsr::tools
