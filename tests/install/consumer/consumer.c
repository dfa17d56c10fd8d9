/* Uses the installed C interface from plain C: create, reject a bad frame, destroy. */
#include <stdio.h>

#include <tsr/framedecoder.h>

int main(void) {
    FrameDecoderHandle decoder = frameDecoderCreate(1);
    unsigned char notAFrame[16] = {0};
    unsigned short image[16];
    int result;
    if (!decoder) return 1;
    result = frameDecoderDecode(decoder, notAFrame, sizeof notAFrame, image, sizeof image, 32, NULL, 0, 0);
    frameDecoderDestroy(decoder);
    printf("record %d, pitch %d, bad frame %d\n", frameDecoderInfoRecordSize(),
           frameDecoderMinRowPitch(1000, 0), result);
    return frameDecoderInfoRecordSize() == 116 && frameDecoderMinRowPitch(1000, 0) == 2016 && result == -2
               ? 0
               : 1;
}
