/* The public header compiled as C99: its GUIDs, curve indices and record layout as a C host
 * sees them, for the C++ test to compare. */
#include <tesselraw/transforms.h>

#include <stddef.h>

#include "transformsheader_c.h"

size_t TransformsHeaderGuidsInC(GUID* guids, size_t capacity) {
    const GUID* const all[] = {
        &CLSID_TesselRAWDecoder,      &CLSID_TesselRAWDebayer,  &MFVideoFormat_tsrh_BE,
        &MFVideoFormat_tsrn_BE,       &MFVideoFormat_tsrh,      &MFVideoFormat_tsrn,
        &MFVideoFormat_bp16,          &MFVideoFormat_bp64,      &MFVideoFormat_RGBA128F,
        &MF_RAW_FRAME_METADATA,       &MF_RAW_FRAME_INFO_SIZE,  &MF_DEBAYER_OUTPUT_CURVE,
        &MF_DEBAYER_CL_COMMAND_QUEUE, &MF_DEBAYER_COLOR_MATRIX, &MF_DEBAYER_CL_IMAGE,
    };
    size_t i;
    for (i = 0; i < sizeof all / sizeof all[0] && i < capacity; ++i) guids[i] = *all[i];
    return i;
}

void TransformsHeaderLayoutInC(TransformsHeaderLayout* layout) {
    layout->metadataSize = sizeof(TesselRawFrameMetadataRecord);
    layout->infoSize = sizeof(TesselRawFrameInfoRecord);
    layout->metadataOffsets[0] = offsetof(TesselRawFrameMetadataRecord, bayerPattern);
    layout->metadataOffsets[1] = offsetof(TesselRawFrameMetadataRecord, whiteLevelCode);
    layout->metadataOffsets[2] = offsetof(TesselRawFrameMetadataRecord, gain0);
    layout->metadataOffsets[3] = offsetof(TesselRawFrameMetadataRecord, colorMatrix);
    layout->metadataOffsets[4] = offsetof(TesselRawFrameMetadataRecord, auxFloat);
    layout->metadataOffsets[5] = offsetof(TesselRawFrameMetadataRecord, auxWord);
    layout->infoOffsets[0] = offsetof(TesselRawFrameInfoRecord, layoutCode);
    layout->infoOffsets[1] = offsetof(TesselRawFrameInfoRecord, bayerPattern);
    layout->infoOffsets[2] = offsetof(TesselRawFrameInfoRecord, whiteLevel);
    layout->infoOffsets[3] = offsetof(TesselRawFrameInfoRecord, colorMatrix);
    layout->infoOffsets[4] = offsetof(TesselRawFrameInfoRecord, auxWord);
    layout->infoOffsets[5] = offsetof(TesselRawFrameInfoRecord, sampleOffsets);
    layout->lastCurve = TESSELRAW_CURVE_LOG_TABLE3;
    layout->colorMatrixSize = TESSELRAW_COLOR_MATRIX_SIZE;
}
