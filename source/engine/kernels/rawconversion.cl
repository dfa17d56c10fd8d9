/* Four-sample conversion (RTSRD) and the test chart (TSRD).
 *
 * Compiled together with parameterblocks.h, which comes first in the program text. */

__constant sampler_t bilinearSampler =
    CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_LINEAR;

__kernel void RTSRD(__constant CLRPTSRD* parameters, __read_only image2d_t inImage,
                    __write_only image2d_t outImage) {
    int x = get_global_id(0);
    int y = get_global_id(1);
    if (x >= get_image_width(inImage) || y >= get_image_height(inImage)) return;

    /* Sample each colour where it lies relative to the pixel centre. */
    float px = (float)x + 0.5f;
    float py = (float)y + 0.5f;
    __constant float* o = parameters->sampleOffsets;
    float r = read_imagef(inImage, bilinearSampler, (float2)(px - o[0], py - o[1])).x;
    float gs = read_imagef(inImage, bilinearSampler, (float2)(px - o[2], py - o[3])).y;
    float bs = read_imagef(inImage, bilinearSampler, (float2)(px - o[4], py - o[5])).z;

    float blackNorm = parameters->blackNorm;
    float R = fmin(parameters->scaleRed * (r - blackNorm), 1.0f);
    float G = fmin(parameters->scaleGreen * (gs - blackNorm), 1.0f);
    float B = fmin(parameters->scaleBlue * (bs - blackNorm), 1.0f);

    __constant float* m = parameters->matrix;
    write_imagef(outImage, (int2)(x, y),
                 (float4)(m[0] * R + m[1] * G + m[2] * B, m[3] * R + m[4] * G + m[5] * B,
                          m[6] * R + m[7] * G + m[8] * B, 1.0f));
}

/* Colour bars in one-stop steps and a grey checker band over a centred rectangle; pixels outside
 * it are left untouched. A rectangle too small for its bands or columns draws nothing. */
__kernel void TSRD(__constant CLRPPD* parameters, __write_only image2d_t outImage) {
    int x = get_global_id(0);
    int y = get_global_id(1);
    int W = (int)parameters->width;
    int H = (int)parameters->height;
    if (x >= W || y >= H) return;

    float fx = parameters->chartFractionX;
    float fy = parameters->chartFractionY;
    int x0 = (int)((1.0f - fx) * (float)W * 0.5f);
    int y0 = (int)((1.0f - fy) * (float)H * 0.5f);
    int w = (int)(fx * (float)W);
    int h = (int)(fy * (float)H);
    if (x < x0 || x >= x0 + w || y < y0 || y >= y0 + h) return;

    int bandHeight = h / 8;
    if (bandHeight <= 0) return;
    int band = min(7, (y - y0) / bandHeight);
    uint checkerColumns = max(1u, parameters->chartCheckerColumns);
    int cols = band == 0 ? (int)min(checkerColumns, 0x7fffffffu) : 8;
    int columnWidth = w / cols;
    if (columnWidth <= 0) return;
    int col = min(cols - 1, (x - x0) / columnWidth);

    float4 value;
    if (band == 0) {
        float v = (float)(col % 2) * parameters->chartCheckerLevel;
        value = (float4)(v, v, v, 1.0f);
    } else {
        float v = parameters->chartLevels[col];
        value =
            (float4)(v * (float)((band >> 2) & 1), v * (float)((band >> 1) & 1), v * (float)(band & 1), 1.0f);
    }
    write_imagef(outImage, (int2)(x, y), value);
}
