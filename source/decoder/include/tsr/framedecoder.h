/* Tessel RAW frame decoder: C-callable interface.
 *
 * A decoder owns a fixed pool of worker threads. frameDecoderDecode parses one compressed frame,
 * decodes its slices on the pool straight into the caller's image and returns when the image is
 * complete. One decode call at a time per decoder; separate decoders are independent. */
#ifndef TSR_FRAMEDECODER_H
#define TSR_FRAMEDECODER_H

#include "tsr/framerecords.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FrameDecoder* FrameDecoderHandle;

enum FrameDecoderResult {
    FRAME_DECODER_OK = 0,
    FRAME_DECODER_NO_WRITER = -1,     /* no output writer for the layout and scale index */
    FRAME_DECODER_INVALID_FRAME = -2, /* the frame breaks a layout or header rule */
    FRAME_DECODER_BAD_ARGUMENTS = -3  /* null pointers, bad lengths, buffers or row pitch too small */
};

/* threadCount <= 0 picks the number of usable processors; at most 64 workers are started.
 * Returns NULL when the pool or an allocation fails. */
FrameDecoderHandle frameDecoderCreate(int threadCount);

/* Ends every worker and frees the decoder. NULL is accepted. */
void frameDecoderDestroy(FrameDecoderHandle decoder);

/* Decodes one frame. scaleIndex 0 writes the full-size mosaic (one u16 per photosite); 1, 2, 3
 * write half, quarter or eighth size pixels of four u16 (red, green, blue, 65535). The row pitch
 * must be at least frameDecoderMinRowPitch(width, scaleIndex): writers fill whole macroblocks.
 * infoRecord (may be NULL) receives the 116-byte frame info record on success when
 * infoRecordSize >= 116. Returns a FrameDecoderResult. */
int frameDecoderDecode(FrameDecoderHandle decoder, const void* input, int inputLength, void* output,
                       int outputSize, int rowPitch, void* infoRecord, int infoRecordSize, int scaleIndex);

/* Extracts the 60-byte metadata record from a frame header; needs no decoder. Returns 0, or -3 when
 * the record pointer is NULL or a field cannot be read. Bytes 5, 58 and 59 are not written. */
int frameDecoderGetMetadata(const void* input, int inputLength, TsrFrameMetadataRecord* record);

/* Minimum output row pitch in bytes for a picture width at a scale index. */
int frameDecoderMinRowPitch(int width, int scaleIndex);

/* Size of the frame info record: 116. */
int frameDecoderInfoRecordSize(void);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif
