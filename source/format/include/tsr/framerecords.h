/* Records that describe a decoded Tessel RAW frame.
 *
 * Both are plain little-endian structures of fixed size with no version field:
 *  - TsrFrameMetadataRecord (60 bytes) is extracted from a compressed frame's header by
 *    frameDecoderGetMetadata and travels with decoded samples for any consumer;
 *  - TsrFrameInfoRecord (116 bytes) is filled by frameDecoderDecode and heads every decoded
 *    picture handed to the debayer.
 * This header is the one definition of both layouts; the GPU engine reads the info record
 * through it too. */
#ifndef TSR_FRAMERECORDS_H
#define TSR_FRAMERECORDS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Layout codes of the decoded picture (the FOURCCs 'bp16' and 'bp64' as 32-bit values). */
#define TSR_LAYOUT_BP16 0x62703136u
#define TSR_LAYOUT_BP64 0x62703634u

#define TSR_FRAME_METADATA_RECORD_SIZE 60
#define TSR_FRAME_INFO_RECORD_SIZE 116
#define TSR_BLACK_LEVEL 256

typedef struct TsrFrameMetadataRecord {
    uint8_t infoBytes[4]; /* header bytes 12..15, in stream order */
    uint8_t bayerPattern; /* 0..3 */
    uint8_t zero0;
    uint16_t whiteLevelCode;
    float gain0;
    float gain1;
    float colorMatrix[9]; /* row-major */
    float auxFloat;
    uint16_t auxWord;
    uint8_t zero1[2];
} TsrFrameMetadataRecord;

typedef struct TsrFrameInfoRecord {
    int32_t rowPitch;     /* bytes between output rows, as passed to decode */
    uint32_t layoutCode;  /* TSR_LAYOUT_BP16 or TSR_LAYOUT_BP64 */
    int32_t width;        /* output width: picture width >> scale index */
    int32_t height;       /* output height: picture height >> scale index */
    uint8_t bayerPattern; /* 0..3 */
    uint8_t zero[3];
    int32_t blackLevel;   /* always TSR_BLACK_LEVEL */
    int32_t whiteLevel;   /* whiteLevelCode + 256 */
    float gain0;          /* red white-balance gain */
    float gain1;          /* blue white-balance gain */
    float colorMatrix[9]; /* camera RGB to CIE XYZ, row-major */
    float auxFloat;       /* exposure factor */
    int32_t auxWord;
    int32_t maxDcStep;      /* largest slice qScale times quantiser weight 0 */
    float sampleOffsets[8]; /* red x, y, green x, y, blue x, y, 0, 0 in output pixels */
} TsrFrameInfoRecord;

#ifdef __cplusplus
} /* extern "C" */
static_assert(sizeof(TsrFrameMetadataRecord) == TSR_FRAME_METADATA_RECORD_SIZE, "metadata record size");
static_assert(sizeof(TsrFrameInfoRecord) == TSR_FRAME_INFO_RECORD_SIZE, "info record size");
#else
_Static_assert(sizeof(TsrFrameMetadataRecord) == TSR_FRAME_METADATA_RECORD_SIZE, "metadata record size");
_Static_assert(sizeof(TsrFrameInfoRecord) == TSR_FRAME_INFO_RECORD_SIZE, "info record size");
#endif

#endif
