// Compressed frames: decoding them in clip order, with the frames that are damaged noted or
// refused, and inspecting one (its header fields read leniently, so a broken frame can still be
// looked at, the partition into macroblocks and slices, statistics of the slices, both records).
//
//   tsr::media::FrameDecoder decoder;           // worker threads for the length of a job
//   tsr::media::DecodedPicture picture;
//   std::vector<uint8_t> bytes;
//   clip->ReadFrame(i, bytes);
//   const int damaged = decoder.Decode(bytes, i, /*scaleIndex*/ 1, picture); // throws MediaError
//   const TsrFrameInfoRecord* info = picture.Record();
//   const TsrFrameMetadataRecord metadata = tsr::media::FrameMetadata(bytes, i);
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tsr/framedecoder.h"
#include "tsr/media/mediaerror.h"

namespace tsr::media {

class ClipReader;
class DecodedPicture;

// Owns a frame decoder (and its worker threads).
class FrameDecoder {
public:
    // threads <= 0: one worker per usable processor. Throws MediaError when they cannot start.
    explicit FrameDecoder(int threads = 0);
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;
    ~FrameDecoder();
    FrameDecoderHandle Get() const { return m_decoder; }

    // Decodes `frame`, frame `index` of its clip, into `picture` at `scaleIndex` (0..3: full,
    // half, quarter, eighth size). Returns the damaged slices (their areas are black); throws
    // MediaError naming the frame when the decoder refuses it, and when slices are damaged
    // unless `partialAllowed`.
    int Decode(const std::vector<uint8_t>& frame, int index, int scaleIndex, DecodedPicture& picture,
               bool partialAllowed = true) const;

private:
    FrameDecoderHandle m_decoder;
};

// The metadata record of frame `index`; throws MediaError naming the frame when its header is
// not valid.
TsrFrameMetadataRecord FrameMetadata(const std::vector<uint8_t>& frame, int index);

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

    bool decoded = false; // decodeResult is a decode's; else it is what the checks before one tell
    int decodeResult = 0; // the decoder's result for this frame at `scaleIndex`
    std::string note;     // why the frame could not be handed to the decoder at all
    MediaError::Remedy noteHint = MediaError::Remedy::None; // what could let it through
    int scaleIndex = 0;
    TsrFrameInfoRecord infoRecord{}; // valid when decodeResult is 0
};

// Reads everything above; `decoder` decodes the frame once (at `scaleIndex`) for the info record
// and the validity verdict. Without a decoder (null) nothing is decoded: the verdict and the
// record come from the header and the slice table, which is all the decoder judges a frame by
// (a broken slice is skipped, not refused), so they match a decode's unless memory runs out.
FrameInspection InspectFrame(const std::vector<uint8_t>& frame, FrameDecoderHandle decoder, int scaleIndex);

// "valid", "invalid frame (-2)", ...
std::string DecodeResultText(int result);

// The slices of `frame` whose header breaks a rule, so that the decoder skips them.
int DamagedSlices(const std::vector<uint8_t>& frame);

// Decodes frame `index` of a clip into `picture` (DecodedPicture::DecodeFrame); throws MediaError
// naming the frame when it is refused, and when slices are damaged unless `partialAllowed`.
// Returns the damaged slices (their areas are black in the picture).
int DecodeClipFrame(DecodedPicture& picture, FrameDecoderHandle decoder, const std::vector<uint8_t>& frame,
                    int index, int scaleIndex, bool partialAllowed = false);
// A frame a job went past: refused (nothing written) or decoded with damaged slices.
struct DamagedFrame {
    int index;
    std::string what; // "frame N: ...": why it was refused, or how many of its slices are damaged
    bool written;     // decoded with its damaged slices' areas black
    MediaError::Remedy hint = MediaError::Remedy::None; // of a refused frame
};
// Reads and decodes frame `index` of `clip`. Without `damaged` a damaged frame throws as
// DecodeClipFrame does; with it the frame is noted there, and false says nothing was decoded.
bool DecodeClipFrameOrNote(ClipReader& clip, int index, std::vector<uint8_t>& bytes, DecodedPicture& picture,
                           FrameDecoderHandle decoder, int scaleIndex, std::vector<DamagedFrame>* damaged);
// "K of N slices are damaged" for a frame of `frame`'s partition.
std::string DamagedSlicesText(const std::vector<uint8_t>& frame, int damaged);
} // namespace tsr::media
