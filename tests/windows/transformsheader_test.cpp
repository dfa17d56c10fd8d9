// The public header for hosts: the same GUIDs and layouts from C and C++, and records laid out
// exactly as the decoder writes them.
#include "transformsheader_c.h"

#include <tesselraw/transforms.h>
#include <tsr/framerecords.h>

#include <gtest/gtest.h>

#include <cstddef>

// Every field of the hosts' records sits where the decoder's records put it.
#define TSR_SAME_FIELD(hostType, decoderType, field)                                                         \
    static_assert(offsetof(hostType, field) == offsetof(decoderType, field) &&                               \
                      sizeof(hostType::field) == sizeof(decoderType::field),                                 \
                  #field " of " #hostType)

static_assert(sizeof(TesselRawFrameMetadataRecord) == sizeof(TsrFrameMetadataRecord), "metadata record size");
TSR_SAME_FIELD(TesselRawFrameMetadataRecord, TsrFrameMetadataRecord, infoBytes);
TSR_SAME_FIELD(TesselRawFrameMetadataRecord, TsrFrameMetadataRecord, bayerPattern);
TSR_SAME_FIELD(TesselRawFrameMetadataRecord, TsrFrameMetadataRecord, whiteLevelCode);
TSR_SAME_FIELD(TesselRawFrameMetadataRecord, TsrFrameMetadataRecord, gain0);
TSR_SAME_FIELD(TesselRawFrameMetadataRecord, TsrFrameMetadataRecord, gain1);
TSR_SAME_FIELD(TesselRawFrameMetadataRecord, TsrFrameMetadataRecord, colorMatrix);
TSR_SAME_FIELD(TesselRawFrameMetadataRecord, TsrFrameMetadataRecord, auxFloat);
TSR_SAME_FIELD(TesselRawFrameMetadataRecord, TsrFrameMetadataRecord, auxWord);

static_assert(sizeof(TesselRawFrameInfoRecord) == sizeof(TsrFrameInfoRecord), "frame info record size");
TSR_SAME_FIELD(TesselRawFrameInfoRecord, TsrFrameInfoRecord, rowPitch);
TSR_SAME_FIELD(TesselRawFrameInfoRecord, TsrFrameInfoRecord, layoutCode);
TSR_SAME_FIELD(TesselRawFrameInfoRecord, TsrFrameInfoRecord, width);
TSR_SAME_FIELD(TesselRawFrameInfoRecord, TsrFrameInfoRecord, height);
TSR_SAME_FIELD(TesselRawFrameInfoRecord, TsrFrameInfoRecord, bayerPattern);
TSR_SAME_FIELD(TesselRawFrameInfoRecord, TsrFrameInfoRecord, blackLevel);
TSR_SAME_FIELD(TesselRawFrameInfoRecord, TsrFrameInfoRecord, whiteLevel);
TSR_SAME_FIELD(TesselRawFrameInfoRecord, TsrFrameInfoRecord, gain0);
TSR_SAME_FIELD(TesselRawFrameInfoRecord, TsrFrameInfoRecord, gain1);
TSR_SAME_FIELD(TesselRawFrameInfoRecord, TsrFrameInfoRecord, colorMatrix);
TSR_SAME_FIELD(TesselRawFrameInfoRecord, TsrFrameInfoRecord, auxFloat);
TSR_SAME_FIELD(TesselRawFrameInfoRecord, TsrFrameInfoRecord, auxWord);
TSR_SAME_FIELD(TesselRawFrameInfoRecord, TsrFrameInfoRecord, maxDcStep);
TSR_SAME_FIELD(TesselRawFrameInfoRecord, TsrFrameInfoRecord, sampleOffsets);
static_assert(TESSELRAW_LAYOUT_BP16 == TSR_LAYOUT_BP16 && TESSELRAW_LAYOUT_BP64 == TSR_LAYOUT_BP64,
              "layout codes");

TEST(TransformsHeader, CAndCppHostsSeeTheSameGuidsAndLayouts) {
    const GUID cpp[] = {
        CLSID_TesselRAWDecoder,      CLSID_TesselRAWDebayer,  MFVideoFormat_tsrh_BE,  MFVideoFormat_tsrn_BE,
        MFVideoFormat_tsrh,          MFVideoFormat_tsrn,      MFVideoFormat_bp16,     MFVideoFormat_bp64,
        MFVideoFormat_RGBA128F,      MF_RAW_FRAME_METADATA,   MF_RAW_FRAME_INFO_SIZE, MF_DEBAYER_OUTPUT_CURVE,
        MF_DEBAYER_CL_COMMAND_QUEUE, MF_DEBAYER_COLOR_MATRIX, MF_DEBAYER_CL_IMAGE,
    };
    GUID c[16] = {};
    ASSERT_EQ(TransformsHeaderGuidsInC(c, 16), std::size(cpp));
    for (size_t i = 0; i < std::size(cpp); ++i) {
        EXPECT_TRUE(IsEqualGUID(c[i], cpp[i])) << "GUID " << i;
        for (size_t j = 0; j < i; ++j)
            EXPECT_FALSE(IsEqualGUID(cpp[i], cpp[j])) << "GUIDs " << j << " and " << i;
    }

    TransformsHeaderLayout layout = {};
    TransformsHeaderLayoutInC(&layout);
    EXPECT_EQ(layout.metadataSize, 60u);
    EXPECT_EQ(layout.infoSize, 116u);
    const size_t metadataOffsets[] = {4, 6, 8, 16, 52, 56};
    const size_t infoOffsets[] = {4, 16, 24, 36, 76, 84};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(layout.metadataOffsets[i], metadataOffsets[i]) << "metadata field " << i;
        EXPECT_EQ(layout.infoOffsets[i], infoOffsets[i]) << "info field " << i;
    }
    EXPECT_EQ(layout.lastCurve, 8);
    EXPECT_EQ(layout.colorMatrixSize, 48);
}
