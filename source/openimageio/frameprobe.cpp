#include "openimageio/frameprobe.h"

#include <algorithm>

#include "format/frameformat.h"
#include "format/frameheader.h"
#include "format/recordbuilder.h"
#include "tsr/framedecoder.h"

namespace tsr::oiio {

bool ProbeFrame(const uint8_t* bytes, size_t size, int scaleIndex, FrameProbe& probe) {
    if (scaleIndex < 0 || scaleIndex > 3) return false;
    ByteReader reader(bytes, size);
    FrameHeader header;
    if (!ParseFrameHeader(reader, header)) return false;
    if ((header.width >> scaleIndex) == 0 || (header.height >> scaleIndex) == 0) return false;

    // The slice size table, then the slices; the second byte of each slice is its quantiser scale.
    const int mbWidth = MacroblocksFor(header.width);
    const int mbHeight = MacroblocksFor(header.height);
    const size_t sliceCount = size_t(SlicesPerRow(mbWidth, header.log2SliceWidth)) * size_t(mbHeight);
    if (reader.Failed() || size - reader.Position() < 2 * sliceCount) return false;
    ByteReader table = reader;
    reader.Skip(2 * sliceCount);
    int maxQScale = 0;
    for (size_t i = 0; i < sliceCount && !reader.Failed(); ++i) {
        const uint32_t sliceSize = table.U16();
        const size_t start = reader.Position();
        if (sliceSize >= 2 && start + 1 < size) maxQScale = std::max<int>(maxQScale, bytes[start + 1]);
        reader.Skip(sliceSize);
    }
    if (reader.Failed() || table.Failed()) return false;

    probe.width = header.width;
    probe.height = header.height;
    probe.metadata = TsrFrameMetadataRecord{};
    if (!ExtractMetadata(bytes, size, probe.metadata)) return false;
    FillInfoRecord(header, scaleIndex, frameDecoderMinRowPitch(header.width, scaleIndex),
                   maxQScale * header.quantMatrix[0], &probe.info);
    return true;
}

} // namespace tsr::oiio
