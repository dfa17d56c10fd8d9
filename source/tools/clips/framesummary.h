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
    // Slices whose own header is broken: the decoder skips them and still returns 0, leaving
    // their areas of the picture black.
    int slicesDamaged = 0;

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
// The slices of `frame` whose header breaks a rule, so that the decoder skips them.
int DamagedSlices(const std::vector<uint8_t>& frame);

// Decodes frame `index` of a clip into `picture` (DecodedPicture::DecodeFrame); throws ToolError
// naming the frame when it is refused, and when slices are damaged unless `partialAllowed`.
// Returns the damaged slices (their areas are black in the picture).
int DecodeClipFrame(DecodedPicture& picture, FrameDecoderHandle decoder, const std::vector<uint8_t>& frame,
                    int index, int scaleIndex, bool partialAllowed = false);
// A frame that --keep-going went past: refused (nothing written) or decoded with damaged slices.
struct DamagedFrame {
    int index;
    std::string what; // "frame N: ..."
    bool written;
};
class ClipReader;
// Reads and decodes frame `index` of `clip`. Without `damaged` a damaged frame throws as
// DecodeClipFrame does; with it the frame is noted there, and false says nothing was decoded.
bool DecodeClipFrameOrNote(ClipReader& clip, int index, std::vector<uint8_t>& bytes, DecodedPicture& picture,
                           FrameDecoderHandle decoder, int scaleIndex, std::vector<DamagedFrame>* damaged);
// Lists the frames on standard error after the job; returns the exit status: kExitDamaged, or
// kExitOk when there are none.
int ReportDamagedFrames(const char* command, const std::vector<DamagedFrame>& frames);

// "K of N slices are damaged" for a frame of `frame`'s partition.
std::string DamagedSlicesText(const std::vector<uint8_t>& frame, int damaged);
// --max-pixels and --max-stdin-bytes of the commands that decode clips.
void SetInputLimitsFrom(const CommandLine& args);

} // namespace tsr::tools
