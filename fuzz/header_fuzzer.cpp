// Header parsing, the dimension probe and both records on untrusted bytes, without decoding:
// cheap enough for millions of inputs. The probe and the parse must agree on the picture size.
#include <cstdint>
#include <cstdlib>

#include "format/frameheader.h"
#include "format/recordbuilder.h"
#include "tsr/framedecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int width = 0, height = 0;
    const bool probed = tsr::ProbeFrameDimensions(data, size, width, height);
    tsr::ByteReader reader(data, size);
    tsr::FrameHeader header;
    if (tsr::ParseFrameHeader(reader, header)) {
        if (!probed || header.width != width || header.height != height) std::abort();
        if (reader.Position() > size) std::abort();
        unsigned char record[TSR_FRAME_INFO_RECORD_SIZE];
        for (int scale = 0; scale <= 3; ++scale)
            tsr::FillInfoRecord(header, scale, frameDecoderMinRowPitch(header.width, scale), 255 * 63,
                                record);
    }
    TsrFrameMetadataRecord metadata;
    tsr::ExtractMetadata(data, size, metadata);
    return 0;
}
