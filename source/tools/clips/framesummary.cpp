#include "clips/framesummary.h"

#include <algorithm>
#include <cstring>

#include "pictures/decodedpicture.h"
#include "frameformat.h"
#include "support/toolerror.h"
#include "tsr/framedecoder.h"

namespace tsr::tools {

namespace {

struct BigEndianView {
    const std::vector<uint8_t>& bytes;
    bool Has(size_t offset, size_t width) const { return offset + width <= bytes.size(); }
    uint32_t Read(size_t offset, size_t width) const {
        uint32_t value = 0;
        for (size_t i = 0; i < width; ++i) value = value << 8 | bytes[offset + i];
        return value;
    }
};

void ReadPartitionAndSlices(const BigEndianView& view, FrameInspection& info) {
    info.mbWidth = macroblocksFor(info.width);
    info.mbHeight = macroblocksFor(info.height);
    if (info.log2SliceWidth > kMaxLog2SliceWidth || info.mbWidth == 0) return;
    info.slicesPerRow = slicesPerRow(info.mbWidth, info.log2SliceWidth);
    info.sliceCount = info.slicesPerRow * info.mbHeight;
    forEachSliceInRow(info.mbWidth, info.log2SliceWidth,
                      [&info](int, int log2Width) { info.sliceWidthsInRow.push_back(1 << log2Width); });

    const size_t table = kFrameHeaderStart + static_cast<size_t>(info.headerSize);
    size_t data = table + 2 * static_cast<size_t>(info.sliceCount);
    for (int slice = 0; slice < info.sliceCount; ++slice) {
        const size_t entry = table + 2 * static_cast<size_t>(slice);
        if (!view.Has(entry, 2)) break;
        const uint32_t size = view.Read(entry, 2);
        if (!view.Has(data, size) || size < 2) break;
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

FrameInspection InspectFrame(const std::vector<uint8_t>& frame, FrameDecoderHandle decoder, int scaleIndex) {
    FrameInspection info;
    const BigEndianView view{frame};
    info.length = frame.size();
    info.scaleIndex = scaleIndex;
    const size_t h = kFrameHeaderStart;
    info.headerReadable =
        frame.size() >= h + header::kFixedSize && std::memcmp(frame.data() + 4, "tsrf", 4) == 0;
    if (info.headerReadable) {
        info.frameSize = view.Read(0, 4);
        info.headerSize = static_cast<uint16_t>(view.Read(h + header::kHeaderSize, 2));
        info.version = static_cast<int>(view.Read(h + header::kVersion, 1));
        info.headerWord = view.Read(h + header::kHeaderWord, 4);
        info.width = static_cast<int>(view.Read(h + header::kWidth, 2));
        info.height = static_cast<int>(view.Read(h + header::kHeight, 2));
        info.bayerPatternWord = static_cast<uint16_t>(view.Read(h + header::kBayerPattern, 2));
        info.whiteLevelCode = static_cast<uint16_t>(view.Read(h + header::kWhiteLevelCode, 2));
        info.frameFlags = static_cast<uint16_t>(view.Read(h + header::kFrameFlags, 2));
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
                info.toneCurve[i] = static_cast<uint16_t>(view.Read(optional + 2 * i, 2));
        ReadPartitionAndSlices(view, info);
    }

    const int length = static_cast<int>(std::min<size_t>(frame.size(), 0x7FFFFFFF));
    info.metadataValid = frameDecoderGetMetadata(frame.data(), length, &info.metadata) == 0;

    // The decoder is the judge of validity; decode once into a scratch picture.
    info.decodeResult = FRAME_DECODER_INVALID_FRAME;
    if (info.headerReadable && info.width > 0 && info.height > 0) {
        try {
            DecodedPicture picture(info.width, info.height, scaleIndex);
            info.decodeResult = picture.Decode(decoder, frame);
            if (info.decodeResult == 0)
                std::memcpy(&info.infoRecord, picture.Record(), sizeof info.infoRecord);
        } catch (const ToolError& error) {
            // A size no decode call can take; the header is still worth showing.
            info.decodeResult = FRAME_DECODER_BAD_ARGUMENTS;
            info.note = error.what();
        }
    }
    return info;
}

} // namespace tsr::tools
