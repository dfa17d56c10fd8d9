/* Tessel RAW tools: what a Media Foundation host needs to use the two transforms.
 *
 *   TsrRawDecoder.dll  class CLSID_TesselRAWDecoder, category MFT_CATEGORY_VIDEO_DECODER
 *                      compressed frames (tsrh, tsrn) in, Bayer frames (bp16, bp64) out
 *   TsrRawDebayer.dll  class CLSID_TesselRAWDebayer, category MFT_CATEGORY_VIDEO_PROCESSOR
 *                      Bayer frames in, RGBA half floats (MFVideoFormat_A16B16G16R16F) or
 *                      single floats (MFVideoFormat_RGBA128F) out
 *
 * Plain C; usable from C and C++. Every GUID is a static constant of the including file, so no
 * INITGUID and no extra library are needed. docs/windows-hosts.md explains registration,
 * negotiation and processing. */
#ifndef TESSELRAW_TRANSFORMS_H
#define TESSELRAW_TRANSFORMS_H

#include <windows.h>

#include <stdint.h>

/* Defines one GUID constant in the including file. */
#if defined(__cplusplus) && __cplusplus >= 201103L
#define TESSELRAW_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)                                      \
    static constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#else
#define TESSELRAW_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)                                      \
    static const GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#endif

/* ---- Transform classes ------------------------------------------------------------------ */

/* {B6040083-CBD1-44F8-B6A7-D7D3F29E0DE6} "TesselRAW decode filter" in TsrRawDecoder.dll */
TESSELRAW_GUID(CLSID_TesselRAWDecoder, 0xB6040083, 0xCBD1, 0x44F8, 0xB6, 0xA7, 0xD7, 0xD3, 0xF2, 0x9E, 0x0D,
               0xE6);
/* {1E898D0D-458B-469B-9722-755622954AF1} "TesselRAW debayer filter" in TsrRawDebayer.dll */
TESSELRAW_GUID(CLSID_TesselRAWDebayer, 0x1E898D0D, 0x458B, 0x469B, 0x97, 0x22, 0x75, 0x56, 0x22, 0x95, 0x4A,
               0xF1);

/* ---- Media subtypes (MF_MT_SUBTYPE under MFMediaType_Video) ----------------------------- */

/* Decoder inputs, in the order GetInputAvailableType offers them. The _BE forms hold the code
 * in big-endian order in their first field; the others are the standard FOURCC GUIDs. The
 * decoder treats all four alike: the frame itself says how it is coded. */
TESSELRAW_GUID(MFVideoFormat_tsrh_BE, 0x74737268, 0x767A, 0x494D, 0xB4, 0x78, 0xF2, 0x9D, 0x25, 0xDC, 0x90,
               0x37);
TESSELRAW_GUID(MFVideoFormat_tsrn_BE, 0x7473726E, 0x767A, 0x494D, 0xB4, 0x78, 0xF2, 0x9D, 0x25, 0xDC, 0x90,
               0x37);
TESSELRAW_GUID(MFVideoFormat_tsrh, 0x68727374, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B,
               0x71);
TESSELRAW_GUID(MFVideoFormat_tsrn, 0x6E727374, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B,
               0x71);

/* Decoder outputs and debayer inputs. bp16: the full-size Bayer mosaic, one 16-bit sample per
 * photosite. bp64: four 16-bit samples (one 2 x 2 Bayer cell) per pixel, for the half, quarter
 * and eighth sizes. Each sample starts with a TesselRawFrameInfoRecord (below). */
TESSELRAW_GUID(MFVideoFormat_bp16, 0x36317062, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B,
               0x71);
TESSELRAW_GUID(MFVideoFormat_bp64, 0x34367062, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B,
               0x71);

/* Debayer output of four 32-bit floats per pixel (R, G, B, A). The half-float output is the
 * standard MFVideoFormat_A16B16G16R16F of mfapi.h. */
TESSELRAW_GUID(MFVideoFormat_RGBA128F, 0x1A9CFCDF, 0xA713, 0x4685, 0xA8, 0xF1, 0xEB, 0x56, 0x40, 0x83, 0x7B,
               0x8A);

/* ---- Decoder attributes ----------------------------------------------------------------- */

/* Blob of TESSELRAW_FRAME_METADATA_RECORD_SIZE bytes (a TesselRawFrameMetadataRecord) on every
 * decoder output sample. */
TESSELRAW_GUID(MF_RAW_FRAME_METADATA, 0x8C29E30B, 0xACD0, 0x43B4, 0xA1, 0x5E, 0x6A, 0x68, 0x18, 0xEC, 0x57,
               0x4A);
/* UINT32 in the decoder's attribute store (GetAttributes): the size of the frame info record
 * that heads every decoder output sample, TESSELRAW_FRAME_INFO_RECORD_SIZE. */
TESSELRAW_GUID(MF_RAW_FRAME_INFO_SIZE, 0xBAE68270, 0x8B4A, 0x44BF, 0x8D, 0xF5, 0xF4, 0x9E, 0xDB, 0x08, 0x3C,
               0xD4);

/* ---- Debayer attributes ----------------------------------------------------------------- */

/* UINT32 curve index (TesselRawOutputCurve). Read from the output media type by SetOutputType,
 * and from each input sample, which overrides the type. Without it, MF_MT_VIDEO_PRIMARIES
 * selects: MFVideoPrimaries_BT709 gives 0, MFVideoPrimaries_BT2020 gives 1. The transform's
 * attribute store shows the default, 1. */
TESSELRAW_GUID(MF_DEBAYER_OUTPUT_CURVE, 0x49EFE421, 0xD896, 0x4291, 0xAC, 0xD1, 0x59, 0x33, 0xED, 0x85, 0xF7,
               0xC5);
/* UINT64 holding a cl_command_queue, set by the host in the transform's attribute store
 * (GetAttributes) before streaming begins. The transform retains the queue and runs on its
 * context and device; the host may release its own reference afterwards. */
TESSELRAW_GUID(MF_DEBAYER_CL_COMMAND_QUEUE, 0x8617B407, 0x4CD6, 0x48C3, 0xBA, 0xAE, 0xC4, 0x4A, 0x8E, 0x0B,
               0x48, 0x58);
/* Blob of TESSELRAW_COLOR_MATRIX_SIZE bytes: twelve floats gain0, gain1, colorMatrix[0..8],
 * auxFloat that replace the frame's values as a whole. Read from each input sample, else from
 * the transform's attribute store. */
TESSELRAW_GUID(MF_DEBAYER_COLOR_MATRIX, 0x7FA65029, 0x3717, 0x46F5, 0xB6, 0x16, 0x01, 0x69, 0xDB, 0x3A, 0xA0,
               0xAC);
/* UINT64 holding a cl_mem image, on an input sample (the Bayer picture, one 16-bit channel) or
 * an output sample (the RGBA picture), used instead of the sample's picture buffer. The input
 * sample's first buffer must still hold the frame info record. */
TESSELRAW_GUID(MF_DEBAYER_CL_IMAGE, 0xA8591694, 0x1297, 0x4CAE, 0xBB, 0x84, 0xC5, 0xCF, 0xB4, 0xB9, 0x11,
               0x0C);

#define TESSELRAW_COLOR_MATRIX_SIZE 48

/* Curve indices of MF_DEBAYER_OUTPUT_CURVE. 0 gives linear light in BT.709 primaries; every
 * other index converts to BT.2020 primaries, and 2 to 8 then encode with a curve. */
typedef enum TesselRawOutputCurve {
    TESSELRAW_CURVE_LINEAR_BT709 = 0,
    TESSELRAW_CURVE_LINEAR_BT2020 = 1,
    TESSELRAW_CURVE_HLG = 2,
    TESSELRAW_CURVE_CANON_LOG2 = 3,
    TESSELRAW_CURVE_LOG_TABLE0 = 4,
    TESSELRAW_CURVE_NIKON_NLOG = 5,
    TESSELRAW_CURVE_LOG_TABLE1 = 6,
    TESSELRAW_CURVE_LOG_TABLE2 = 7,
    TESSELRAW_CURVE_LOG_TABLE3 = 8
} TesselRawOutputCurve;

/* ---- Records ---------------------------------------------------------------------------- */

/* Layout codes of TesselRawFrameInfoRecord.layoutCode: the FOURCCs as 32-bit values. */
#define TESSELRAW_LAYOUT_BP16 0x62703136u
#define TESSELRAW_LAYOUT_BP64 0x62703634u

#define TESSELRAW_FRAME_METADATA_RECORD_SIZE 60
#define TESSELRAW_FRAME_INFO_RECORD_SIZE 116

/* The MF_RAW_FRAME_METADATA blob: the compressed frame's header fields, little-endian. */
typedef struct TesselRawFrameMetadataRecord {
    uint8_t infoBytes[4]; /* header bytes 12..15, in stream order */
    uint8_t bayerPattern; /* 0 RG/GB, 1 GR/BG, 2 GB/RG, 3 BG/GR */
    uint8_t zero0;
    uint16_t whiteLevelCode; /* white level minus 256 */
    float gain0;             /* red white-balance gain */
    float gain1;             /* blue white-balance gain */
    float colorMatrix[9];    /* camera RGB to CIE XYZ, row-major */
    float auxFloat;          /* exposure factor */
    uint16_t auxWord;
    uint8_t zero1[2];
} TesselRawFrameMetadataRecord;

/* The record at the head of every decoder output sample: bytes 0..115 of a one-buffer sample
 * (the picture follows at byte 116), or the whole first buffer of a two-buffer sample (the
 * picture is the second buffer). */
typedef struct TesselRawFrameInfoRecord {
    int32_t rowPitch;     /* bytes between picture rows */
    uint32_t layoutCode;  /* TESSELRAW_LAYOUT_BP16 or TESSELRAW_LAYOUT_BP64 */
    int32_t width;        /* picture width in pixels (frame width >> scale) */
    int32_t height;       /* picture height in pixels */
    uint8_t bayerPattern; /* 0..3 as in the metadata record */
    uint8_t zero[3];
    int32_t blackLevel;     /* always 256 */
    int32_t whiteLevel;     /* whiteLevelCode + 256 */
    float gain0;            /* red white-balance gain */
    float gain1;            /* blue white-balance gain */
    float colorMatrix[9];   /* camera RGB to CIE XYZ, row-major */
    float auxFloat;         /* exposure factor */
    int32_t auxWord;        /* zero-extended */
    int32_t maxDcStep;      /* largest DC quantiser step of the frame */
    float sampleOffsets[8]; /* red x, y, green x, y, blue x, y, 0, 0: where a reduced-size
                               pixel's samples lie, in output pixels from its centre */
} TesselRawFrameInfoRecord;

#if defined(__cplusplus)
static_assert(sizeof(TesselRawFrameMetadataRecord) == TESSELRAW_FRAME_METADATA_RECORD_SIZE,
              "metadata record");
static_assert(sizeof(TesselRawFrameInfoRecord) == TESSELRAW_FRAME_INFO_RECORD_SIZE, "frame info record");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(TesselRawFrameMetadataRecord) == TESSELRAW_FRAME_METADATA_RECORD_SIZE,
               "metadata record");
_Static_assert(sizeof(TesselRawFrameInfoRecord) == TESSELRAW_FRAME_INFO_RECORD_SIZE, "frame info record");
#endif

#endif /* TESSELRAW_TRANSFORMS_H */
