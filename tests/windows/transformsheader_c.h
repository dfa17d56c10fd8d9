/* What transformsheader_c.c reports about the public header compiled as C. */
#ifndef TRANSFORMSHEADER_C_H
#define TRANSFORMSHEADER_C_H

#include <windows.h>

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TransformsHeaderLayout {
    size_t metadataSize;
    size_t infoSize;
    size_t metadataOffsets[6];
    size_t infoOffsets[6];
    int lastCurve;
    int colorMatrixSize;
} TransformsHeaderLayout;

size_t TransformsHeaderGuidsInC(GUID* guids, size_t capacity);
void TransformsHeaderLayoutInC(TransformsHeaderLayout* layout);

#ifdef __cplusplus
}
#endif

#endif
