/* Constant parameter blocks of the raw-processing kernels.
 *
 * Compiled both as OpenCL C (into the kernel program) and as C++ (by the host that fills the
 * blocks), so the two sides share one layout: packed little-endian 4-byte fields. */
#ifndef TSR_PARAMETERBLOCKS_H
#define TSR_PARAMETERBLOCKS_H

#ifdef __OPENCL_C_VERSION__
typedef uint tsr_u32;
#else
#include <stdint.h>
typedef uint32_t tsr_u32;
#endif

/* RPS_0000: green interpolation. */
typedef struct CLRPPS0 {
    tsr_u32 bayerPattern;
    tsr_u32 blackLevel;
    float invRange;
    float noiseScale;
    float noiseFloor;
    float noiseOffset;
    float invGainRed;
    float invGainBlue;
} CLRPPS0;

/* RPS_0001: red and blue planes, white balance. */
typedef struct CLRPPS1 {
    tsr_u32 bayerPattern;
    float blackNorm;
    float noiseScale;
    float noiseFloor;
    float noiseOffset;
    float gainRed;
    float gainBlue;
} CLRPPS1;

/* RPS_0002: colour conversion. */
typedef struct CLRPPS2 {
    tsr_u32 bayerPattern;
    float matrix[9];
} CLRPPS2;

/* RTSRD: four-sample frames. */
typedef struct CLRPTSRD {
    float blackNorm;
    float scaleRed;
    float scaleGreen;
    float scaleBlue;
    float matrix[9];
    float sampleOffsets[6];
} CLRPTSRD;

/* TSRD: test chart. */
typedef struct CLRPPD {
    tsr_u32 width;
    tsr_u32 height;
    float chartFractionX;
    float chartFractionY;
    tsr_u32 chartCheckerColumns;
    float chartCheckerLevel;
    float chartLevels[8];
} CLRPPD;

#endif
