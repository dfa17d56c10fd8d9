// Header parsing, the dimension probe and both records on untrusted bytes, without decoding:
// cheap enough for millions of inputs. The probe and the parse must agree on the picture size.
#include <cstdint>
#include <cstdlib>

#include "frameheader.h"
#include "framerecords.h"
#include "tsr/framedecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int width = 0, height = 0;
    const bool probed = tsr::probeFrameDimensions(data, size, width, height);
    tsr::ByteReader reader(data, size);
    tsr::FrameHeader header;
    if (tsr::parseFrameHeader(reader, header)) {
        if (!probed || header.width != width || header.height != height) std::abort();
        if (reader.position() > size) std::abort();
        unsigned char record[TSR_FRAME_INFO_RECORD_SIZE];
        for (int scale = 0; scale <= 3; ++scale)
            tsr::fillInfoRecord(header, scale, frameDecoderMinRowPitch(header.width, scale), 255 * 63,
                                record);
    }
    TsrFrameMetadataRecord metadata;
    tsr::extractMetadata(data, size, metadata);
    return 0;
}
