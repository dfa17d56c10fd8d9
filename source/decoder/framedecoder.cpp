// The frame decoder's C interface: argument checks, frame parse, slice table walk, dispatch to
// the worker pool and the frame info record.
#include "tsr/framedecoder.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "common/processorcount.h"
#include "common/trace.h"
#include "cpufeatures.h"
#include "format/codetables.h"
#include "format/frameformat.h"
#include "format/frameheader.h"
#include "format/recordbuilder.h"
#include "format/slicetable.h"
#include "format/tonecurve.h"
#include "workerpool.h"

struct FrameDecoder {
    std::unique_ptr<tsr::WorkerPool> pool;
    bool useAvx = false;
    // Reused across frames; released after a frame that needed far less (see ReleaseSpareRoom).
    std::vector<tsr::RowRecord> rows;
    std::vector<tsr::SliceDescriptor> slices;
    tsr::FrameContext frame;
    tsr::ToneCurveTable curve;
};

const tsr::WorkerPool& tsr::PoolOf(FrameDecoderHandle decoder) {
    return *decoder->pool;
}

namespace {
using namespace tsr;

int64_t RoundUp16(int64_t x) {
    return (x + 15) / 16 * 16;
}

// Descriptor arrays above this many entries are not kept for a frame that needs less than half:
// one hostile or unusually partitioned frame must not pin its arrays to the decoder for good.
constexpr size_t kRetainedSlices = size_t(1) << 16;

template <typename T> void ReleaseSpareRoom(std::vector<T>& items, size_t needed) {
    if (items.capacity() > kRetainedSlices && items.capacity() / 2 > needed) {
        items.resize(needed);
        items.shrink_to_fit();
    }
}

int Decode(FrameDecoder& d, const uint8_t* input, size_t inputLength, uint8_t* output, int outputSize,
           int rowPitch, void* infoRecord, int infoRecordSize, int scaleIndex) {
    int probedWidth, probedHeight;
    ProbeFrameDimensions(input, inputLength, probedWidth, probedHeight);
    const int shift = (scaleIndex >= 1 && scaleIndex <= 3) ? scaleIndex : 0;
    if (rowPitch < frameDecoderMinRowPitch(probedWidth, scaleIndex) ||
        int64_t(outputSize) < int64_t(rowPitch) * (probedHeight >> shift))
        return FRAME_DECODER_BAD_ARGUMENTS;
    const bool mosaic = scaleIndex == 0;

    ByteReader reader(input, inputLength);
    FrameHeader header;
    if (!ParseFrameHeader(reader, header)) return FRAME_DECODER_INVALID_FRAME;
    const int width = header.width >> shift;
    const int height = header.height >> shift;
    if (int64_t(rowPitch) < int64_t(width) * (mosaic ? 2 : 8)) return FRAME_DECODER_BAD_ARGUMENTS;

    FrameContext& frame = d.frame;
    frame.writer = SelectWriter(mosaic, scaleIndex, header.bayerPattern, d.useAvx);
    if (!frame.writer) return FRAME_DECODER_NO_WRITER;
    frame.scaleIndex = scaleIndex;
    frame.log2Coefficients = Log2CoefficientsForScale(scaleIndex);
    frame.scan = ScanTableForScale(scaleIndex);
    frame.blockSide = BlockSideForScale(scaleIndex);
    frame.transform = scaleIndex <= 1   ? (d.useAvx ? InverseTransform8x8Avx : InverseTransform8x8Sse2)
                      : scaleIndex == 2 ? InverseTransform4x4
                                        : InverseTransform2x2;
    frame.rowPitch = rowPitch;
    frame.bytesPerMacroblock = mosaic ? 32 : 8 * (16 >> shift);
    std::memcpy(frame.quantMatrix, header.quantMatrix, sizeof frame.quantMatrix);
    d.curve.Update(header.toneCurve);
    frame.curve.table = d.curve.Table();
    const ToneCurve curve(header.toneCurve);
    std::memcpy(frame.curve.knots, curve.knots, sizeof curve.knots);
    std::memcpy(frame.curve.slopes, curve.slopes, sizeof curve.slopes);

    // One descriptor per slice, walking the slice size table.
    const int mbWidth = MacroblocksFor(header.width);
    const int mbHeight = MacroblocksFor(header.height);
    const int perRow = SlicesPerRow(mbWidth, header.log2SliceWidth);
    const size_t sliceCount = size_t(perRow) * mbHeight;
    // The slice size table must be present before any descriptor is made for it: a few bytes
    // claiming a huge picture would otherwise cost 40 bytes per claimed slice.
    if (reader.Failed() || !SliceTablePresent(inputLength, reader.Position(), sliceCount)) {
        ReleaseSpareRoom(d.rows, 0);
        ReleaseSpareRoom(d.slices, 0);
        return FRAME_DECODER_INVALID_FRAME;
    }
    ReleaseSpareRoom(d.rows, size_t(mbHeight));
    ReleaseSpareRoom(d.slices, sliceCount);
    if (d.rows.size() < size_t(mbHeight)) d.rows.resize(mbHeight);
    if (d.slices.size() < sliceCount) d.slices.resize(sliceCount);

    const int rowsPerMacroblock = 16 >> shift;
    const int pixelBytes = mosaic ? 2 : 8;
    int maxQScale = 0;
    int outputRow = 0, rows = 0;
    uint8_t* rowOutput = output;
    SliceDescriptor* slice = d.slices.data();
    const bool fits = WalkSliceTable(input, inputLength, reader.Position(), mbWidth, mbHeight,
                                     header.log2SliceWidth, [&](const SliceSpan& span) {
                                         if (span.firstMacroblock == 0) { // a new macroblock row
                                             if (span.row > 0) outputRow += std::max(rows, 0);
                                             rows = std::min(height - outputRow, rowsPerMacroblock);
                                             d.rows[span.row] = {slice, static_cast<uint32_t>(perRow)};
                                             rowOutput = output + ptrdiff_t(outputRow) * rowPitch;
                                         }
                                         if (span.size >= 2 && span.offset + 1 < inputLength)
                                             maxQScale = std::max<int>(maxQScale, input[span.offset + 1]);
                                         *slice++ = {input + span.offset,
                                                     span.size,
                                                     static_cast<uint32_t>(span.log2Width),
                                                     static_cast<uint32_t>(std::max(rows, 0)),
                                                     rowOutput + ptrdiff_t(span.firstMacroblock) *
                                                                     rowsPerMacroblock * pixelBytes,
                                                     &frame};
                                     });
    if (!fits) return FRAME_DECODER_INVALID_FRAME;

    d.pool->Run(d.rows.data(), size_t(mbHeight));

    if (infoRecord && infoRecordSize >= TSR_FRAME_INFO_RECORD_SIZE)
        FillInfoRecord(header, shift, rowPitch, maxQScale * header.quantMatrix[0], infoRecord);
    return FRAME_DECODER_OK;
}
} // namespace

extern "C" {

FrameDecoderHandle frameDecoderCreate(int threadCount) {
    int threads = threadCount > 0 ? threadCount : tsr::ProcessorCount();
    threads = std::min(threads, tsr::kMaxWorkers);
    std::unique_ptr<FrameDecoder> decoder(new (std::nothrow) FrameDecoder);
    if (!decoder) return nullptr;
    decoder->pool = tsr::WorkerPool::Create(threads);
    if (!decoder->pool) return nullptr;
    decoder->useAvx = tsr::ChooseAvxTransform();
    return decoder.release();
}

void frameDecoderDestroy(FrameDecoderHandle decoder) {
    delete decoder;
}

int frameDecoderDecode(FrameDecoderHandle decoder, const void* input, int inputLength, void* output,
                       int outputSize, int rowPitch, void* infoRecord, int infoRecordSize, int scaleIndex) {
    if (!decoder || !input || !output || inputLength <= 0) return FRAME_DECODER_BAD_ARGUMENTS;
    try {
        return Decode(*decoder, static_cast<const uint8_t*>(input), size_t(inputLength),
                      static_cast<uint8_t*>(output), outputSize, rowPitch, infoRecord, infoRecordSize,
                      scaleIndex);
    } catch (const std::bad_alloc&) {
        tsr::Trace(L"decoder out of memory\n");
        return FRAME_DECODER_BAD_ARGUMENTS;
    }
}

int frameDecoderGetMetadata(const void* input, int inputLength, TsrFrameMetadataRecord* record) {
    if (!record || inputLength < 0) return FRAME_DECODER_BAD_ARGUMENTS;
    return tsr::ExtractMetadata(static_cast<const uint8_t*>(input), size_t(inputLength), *record)
               ? FRAME_DECODER_OK
               : FRAME_DECODER_BAD_ARGUMENTS;
}

int frameDecoderMinRowPitch(int width, int scaleIndex) {
    const int shift = (scaleIndex >= 1 && scaleIndex <= 3) ? scaleIndex : 0;
    const int64_t bytesPerPixel = scaleIndex == 0 ? 2 : 8;
    const int64_t pitch = RoundUp16(bytesPerPixel * (RoundUp16(std::max(width, 0)) >> shift));
    return pitch > INT_MAX ? INT_MAX : static_cast<int>(pitch);
}

int frameDecoderInfoRecordSize(void) {
    return TSR_FRAME_INFO_RECORD_SIZE;
}

} // extern "C"
