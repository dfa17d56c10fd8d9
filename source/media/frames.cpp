#include "tsr/media/frames.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "format/bigendian.h"
#include "format/frameformat.h"
#include "format/frameheader.h"
#include "format/recordbuilder.h"
#include "format/slicetable.h"
#include "tsr/framedecoder.h"
#include "tsr/media/clip.h"
#include "tsr/media/decodedpicture.h"

namespace tsr::media {

namespace {

// Big-endian fields of a frame that may be short or broken: callers check Has before reading.
struct BigEndianView {
    const std::vector<uint8_t>& bytes;
    bool Has(size_t offset, size_t width) const { return offset + width <= bytes.size(); }
    uint32_t U8(size_t offset) const { return bytes[offset]; }
    uint32_t U16(size_t offset) const { return LoadU16Be(bytes.data() + offset); }
    uint32_t U32(size_t offset) const { return LoadU32Be(bytes.data() + offset); }
};

// The decoder's slice header rules: a header of at least 8 bytes, qScale and the three stored
// component sizes nonzero, and room left for the fourth component.
bool SliceHeaderBroken(const BigEndianView& view, size_t slice, uint32_t size) {
    if (size < 8) return true;
    const uint32_t headerSize = view.U8(slice) >> 3;
    const uint32_t sizes[] = {view.U16(slice + 2), view.U16(slice + 4), view.U16(slice + 6)};
    return headerSize < 8 || view.U8(slice + 1) == 0 || sizes[0] == 0 || sizes[1] == 0 || sizes[2] == 0 ||
           headerSize + sizes[0] + sizes[1] + sizes[2] >= size;
}

void ReadPartitionAndSlices(const BigEndianView& view, FrameInspection& info) {
    info.mbWidth = MacroblocksFor(info.width);
    info.mbHeight = MacroblocksFor(info.height);
    if (info.log2SliceWidth > kMaxLog2SliceWidth || info.mbWidth == 0) return;
    info.slicesPerRow = SlicesPerRow(info.mbWidth, info.log2SliceWidth);
    info.sliceCount = info.slicesPerRow * info.mbHeight;
    ForEachSliceInRow(info.mbWidth, info.log2SliceWidth,
                      [&info](int, int log2Width) { info.sliceWidthsInRow.push_back(1 << log2Width); });

    const size_t table = kFrameHeaderStart + static_cast<size_t>(info.headerSize);
    size_t data = table + 2 * static_cast<size_t>(info.sliceCount);
    for (int slice = 0; slice < info.sliceCount; ++slice) {
        const size_t entry = table + 2 * static_cast<size_t>(slice);
        if (!view.Has(entry, 2)) break;
        const uint32_t size = view.U16(entry);
        if (!view.Has(data, size)) break;
        if (SliceHeaderBroken(view, data, size)) ++info.slicesDamaged;
        if (size < 2) break;
        const int qScale = view.bytes[data + 1];
        if (info.slicesFound == 0) {
            info.sliceBytesMin = info.sliceBytesMax = size;
            info.qScaleMin = info.qScaleMax = qScale;
        }
        info.sliceBytesMin = std::min(info.sliceBytesMin, size);
        info.sliceBytesMax = std::max(info.sliceBytesMax, size);
        info.qScaleMin = std::min(info.qScaleMin, qScale);
        info.qScaleMax = std::max(info.qScaleMax, qScale);
        info.sliceBytesTotal += size;
        ++info.slicesFound;
        data += size;
    }
}

} // namespace

std::string DecodeResultText(int result) {
    switch (result) {
    case FRAME_DECODER_OK:
        return "valid";
    case FRAME_DECODER_NO_WRITER:
        return "no writer for this layout (-1)";
    case FRAME_DECODER_INVALID_FRAME:
        return "invalid frame (-2)";
    case FRAME_DECODER_BAD_ARGUMENTS:
        return "bad arguments (-3)";
    default:
        return "decoder result " + std::to_string(result);
    }
}

FrameDecoder::FrameDecoder(int threads) : m_decoder(frameDecoderCreate(threads)) {
    if (!m_decoder) throw MediaError("cannot start the frame decoder's worker threads");
}

FrameDecoder::~FrameDecoder() {
    frameDecoderDestroy(m_decoder);
}

int FrameDecoder::Decode(const std::vector<uint8_t>& frame, int index, int scaleIndex,
                         DecodedPicture& picture, bool partialAllowed) const {
    if (scaleIndex < 0 || scaleIndex > 3)
        throw MediaError::BadArgument("the scale index is 0..3, not " + std::to_string(scaleIndex));
    return DecodeClipFrame(picture, m_decoder, frame, index, scaleIndex, partialAllowed);
}

TsrFrameMetadataRecord FrameMetadata(const std::vector<uint8_t>& frame, int index) {
    TsrFrameMetadataRecord record{};
    const int length = static_cast<int>(std::min<size_t>(frame.size(), INT_MAX));
    const int result = frameDecoderGetMetadata(frame.data(), length, &record);
    if (result != FRAME_DECODER_OK)
        throw MediaError("frame " + std::to_string(index) + ": " + DecodeResultText(result),
                         MediaError::Kind::Decoder, result, DecodeResultText(result));
    return record;
}

int DecodeClipFrame(DecodedPicture& picture, FrameDecoderHandle decoder, const std::vector<uint8_t>& frame,
                    int index, int scaleIndex, bool partialAllowed) {
    const std::string name = "frame " + std::to_string(index) + ": ";
    int result;
    try {
        result = picture.DecodeFrame(decoder, frame, scaleIndex);
    } catch (const MediaError& error) {
        throw error.Prefixed(name);
    }
    if (result != FRAME_DECODER_OK)
        throw MediaError(name + DecodeResultText(result), MediaError::Kind::Decoder, result,
                         DecodeResultText(result));
    const int damaged = DamagedSlices(frame);
    if (damaged > 0 && !partialAllowed)
        throw MediaError(name + DamagedSlicesText(frame, damaged), MediaError::Kind::Failure, 0, {},
                         MediaError::Remedy::PartialFrames);
    return damaged;
}

bool DecodeClipFrameOrNote(ClipReader& clip, int index, std::vector<uint8_t>& bytes, DecodedPicture& picture,
                           FrameDecoderHandle decoder, int scaleIndex, std::vector<DamagedFrame>* damaged) {
    try {
        clip.ReadFrame(index, bytes);
        const int slices = DecodeClipFrame(picture, decoder, bytes, index, scaleIndex, damaged != nullptr);
        if (slices > 0)
            damaged->push_back(
                {index, "frame " + std::to_string(index) + ": " + DamagedSlicesText(bytes, slices), true});
        return true;
    } catch (const MediaError& error) {
        if (!damaged) throw;
        damaged->push_back({index, error.what(), false, error.Hint()});
        return false;
    }
}

namespace {

// The header fields, partition and slices, as far as the bytes hold them.
void ReadHeaderAndSlices(const std::vector<uint8_t>& frame, FrameInspection& info) {
    const BigEndianView view{frame};
    info.length = frame.size();
    const size_t h = kFrameHeaderStart;
    info.headerReadable = frame.size() >= h + header::kFixedSize && HasFrameMagic(frame.data(), frame.size());
    if (info.headerReadable) {
        info.frameSize = view.U32(0);
        info.headerSize = static_cast<uint16_t>(view.U16(h + header::kHeaderSize));
        info.version = static_cast<int>(view.U8(h + header::kVersion));
        info.headerWord = view.U32(h + header::kHeaderWord);
        info.width = static_cast<int>(view.U16(h + header::kWidth));
        info.height = static_cast<int>(view.U16(h + header::kHeight));
        info.bayerPatternWord = static_cast<uint16_t>(view.U16(h + header::kBayerPattern));
        info.whiteLevelCode = static_cast<uint16_t>(view.U16(h + header::kWhiteLevelCode));
        info.frameFlags = static_cast<uint16_t>(view.U16(h + header::kFrameFlags));
        info.hasQuantMatrix = (info.frameFlags & flags::kHasQuantMatrix) != 0;
        info.hasToneCurve = (info.frameFlags & flags::kHasToneCurve) != 0;
        info.log2SliceWidth = (info.frameFlags & flags::kLog2SliceWidthMask) >> flags::kLog2SliceWidthShift;
        info.quantMatrix.fill(1);
        std::copy(std::begin(kDefaultToneCurve), std::end(kDefaultToneCurve), info.toneCurve.begin());
        size_t optional = h + header::kFixedSize;
        if (info.hasQuantMatrix && view.Has(optional, header::kQuantMatrixSize)) {
            std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(optional), 64, info.quantMatrix.begin());
            optional += header::kQuantMatrixSize;
        }
        if (info.hasToneCurve && view.Has(optional, header::kToneCurveSize))
            for (size_t i = 0; i < 8; ++i)
                info.toneCurve[i] = static_cast<uint16_t>(view.U16(optional + 2 * i));
        ReadPartitionAndSlices(view, info);
    }
}

} // namespace

int DamagedSlices(const std::vector<uint8_t>& frame) {
    FrameInspection info;
    ReadHeaderAndSlices(frame, info);
    return info.slicesDamaged;
}

std::string DamagedSlicesText(const std::vector<uint8_t>& frame, int damaged) {
    FrameInspection info;
    ReadHeaderAndSlices(frame, info);
    return std::to_string(damaged) + " of " + std::to_string(info.sliceCount) + " slices are damaged";
}

namespace {

// What a decode at `scaleIndex` would answer, from the checks DecodedPicture and the decoder make
// before any slice is decoded, in their order: the picture size and the slices inside the bytes,
// the size caps (a note, as from a decode), the header rules and the slice table. Slice data never
// changes the verdict: a broken slice is skipped (DamagedSlices counts those). On success the info
// record is filled as the decoder fills it.
void PredictDecode(const std::vector<uint8_t>& frame, FrameInspection& info) {
    try {
        info.decodeResult = DecodedPicture::CheckBeforeDecoding(frame, info.scaleIndex);
    } catch (const MediaError& error) {
        info.decodeResult = FRAME_DECODER_BAD_ARGUMENTS;
        info.note = error.what();
        info.noteHint = error.Hint();
        return;
    }
    if (info.decodeResult != FRAME_DECODER_OK) return;
    info.decodeResult = FRAME_DECODER_INVALID_FRAME;
    ByteReader reader(frame.data(), frame.size());
    FrameHeader header;
    if (!ParseFrameHeader(reader, header) || reader.Failed()) return;
    int maxQScale = 0;
    const bool fits =
        WalkSliceTable(frame.data(), frame.size(), reader.Position(), MacroblocksFor(header.width),
                       MacroblocksFor(header.height), header.log2SliceWidth, [&](const SliceSpan& span) {
                           if (span.size >= 2 && span.offset + 1 < frame.size())
                               maxQScale = std::max<int>(maxQScale, frame[span.offset + 1]);
                       });
    if (!fits) return;
    info.decodeResult = FRAME_DECODER_OK;
    FillInfoRecord(header, info.scaleIndex, frameDecoderMinRowPitch(header.width, info.scaleIndex),
                   maxQScale * header.quantMatrix[0], &info.infoRecord);
}

} // namespace

FrameInspection InspectFrame(const std::vector<uint8_t>& frame, FrameDecoderHandle decoder, int scaleIndex) {
    FrameInspection info;
    info.scaleIndex = scaleIndex;
    ReadHeaderAndSlices(frame, info);

    const int length = static_cast<int>(std::min<size_t>(frame.size(), 0x7FFFFFFF));
    info.metadataValid = frameDecoderGetMetadata(frame.data(), length, &info.metadata) == 0;

    if (!decoder) {
        PredictDecode(frame, info);
        return info;
    }
    // The decoder is the judge of validity; decode once into a scratch picture.
    info.decoded = true;
    info.decodeResult = FRAME_DECODER_INVALID_FRAME;
    if (info.headerReadable && info.width > 0 && info.height > 0) {
        try {
            DecodedPicture picture;
            info.decodeResult = picture.DecodeFrame(decoder, frame, scaleIndex);
            if (info.decodeResult == 0)
                std::memcpy(&info.infoRecord, picture.Record(), sizeof info.infoRecord);
        } catch (const MediaError& error) {
            // A size no decode call can take; the header is still worth showing.
            info.decodeResult = FRAME_DECODER_BAD_ARGUMENTS;
            info.note = error.what();
            info.noteHint = error.Hint();
        }
    }
    return info;
}

} // namespace tsr::media
