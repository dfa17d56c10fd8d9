// Building the frame metadata record and the frame info record.
#pragma once

#include "format/frameheader.h"
#include "tsr/framerecords.h"

namespace tsr {

// Reads the header fields of `input` into the metadata record field by field. Returns false at
// the first field that cannot be read; the fields before it are already written.
bool ExtractMetadata(const uint8_t* input, size_t length, TsrFrameMetadataRecord& record);

// Fills the whole 116-byte info record of a successfully decoded frame.
void FillInfoRecord(const FrameHeader& header, int scaleIndex, int rowPitch, int maxDcStep, void* record);

} // namespace tsr
