/* Output-curve kernels, built from this text when a processor starts.
 *
 * Each kernel maps linear RGB to an encoded signal per pixel; both branches of a piecewise curve
 * are evaluated (the max() inside a logarithm keeps the unused one finite) and chosen per lane.
 * Alpha passes through. */

__constant sampler_t pixelSampler =
    CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

typedef struct CLIPCM {
    float matrix[9];
} CLIPCM;

static float4 applyMatrix(__constant float* m, float4 v) {
    return (float4)(m[0] * v.x + m[1] * v.y + m[2] * v.z, m[3] * v.x + m[4] * v.y + m[5] * v.z,
                    m[6] * v.x + m[7] * v.y + m[8] * v.z, v.w);
}

/* The work item's position and pixel; false outside the picture. */
static bool readPixel(__read_only image2d_t image, int2* gid, float4* v) {
    *gid = (int2)(get_global_id(0), get_global_id(1));
    if (gid->x >= get_image_width(image) || gid->y >= get_image_height(image)) return false;
    *v = read_imagef(image, pixelSampler, *gid);
    return true;
}

__kernel void ImageProcessing_ColorMatrix(__constant CLIPCM* parameters, __read_only image2d_t inImage,
                                          __write_only image2d_t outImage) {
    int2 gid;
    float4 v;
    if (!readPixel(inImage, &gid, &v)) return;
    write_imagef(outImage, gid, applyMatrix(parameters->matrix, v));
}

typedef struct CLIPLOG {
    float colorMatrix[9];
    float a, b, c, d, e, f, t;
} CLIPLOG;

__kernel void ImageProcessing_Log(__constant CLIPLOG* parameters, __read_only image2d_t inImage,
                                  __write_only image2d_t outImage) {
    int2 gid = (int2)(get_global_id(0), get_global_id(1));
    if (gid.x >= get_image_width(outImage) || gid.y >= get_image_height(outImage)) return;
    float4 v = read_imagef(inImage, pixelSampler, gid);
    float4 xn = applyMatrix(parameters->colorMatrix, v);
    float3 x3 = xn.xyz;
    float3 t = (float3)(parameters->t);
    float3 linear = parameters->e * x3 + parameters->f;
    float3 logarithmic = parameters->c * log2(parameters->a * fmax(x3, t) + parameters->b) + parameters->d;
    float3 y = select(logarithmic, linear, x3 < t);
    write_imagef(outImage, gid, (float4)(y, v.w));
}

typedef struct CLIPHLG {
    float r, a, m, b, c, t;
} CLIPHLG;

__kernel void ImageProcessing_HLG(__constant CLIPHLG* parameters, __read_only image2d_t inImage,
                                  __write_only image2d_t outImage) {
    int2 gid;
    float4 v;
    if (!readPixel(inImage, &gid, &v)) return;
    float3 x3 = v.xyz;
    float3 t = (float3)(parameters->t);
    float3 root = parameters->r * sqrt(fmax(x3, (float3)(0.0f)));
    float3 logarithmic = parameters->a * log2(parameters->m * fmax(x3, t) + parameters->b) + parameters->c;
    float3 y = select(logarithmic, root, x3 <= t);
    write_imagef(outImage, gid, (float4)(y, v.w));
}

typedef struct CLIPCANONLOG2 {
    float colorMatrix[9];
    float a, b, c;
} CLIPCANONLOG2;

__kernel void ImageProcessing_Canon_CanonLog2(__constant CLIPCANONLOG2* parameters,
                                              __read_only image2d_t inImage,
                                              __write_only image2d_t outImage) {
    int2 gid;
    float4 v;
    if (!readPixel(inImage, &gid, &v)) return;
    float3 xn = applyMatrix(parameters->colorMatrix, v).xyz;
    float3 y = sign(xn) * parameters->a * log2(parameters->c * fabs(xn) + 1.0f) + parameters->b;
    write_imagef(outImage, gid, (float4)(y, v.w));
}

typedef struct CLIPNIKONNLOG {
    float c, s, d, a, m, b, g, t;
} CLIPNIKONNLOG;

__kernel void ImageProcessing_Nikon_NLog(__constant CLIPNIKONNLOG* parameters, __read_only image2d_t inImage,
                                         __write_only image2d_t outImage) {
    int2 gid;
    float4 v;
    if (!readPixel(inImage, &gid, &v)) return;
    float3 x3 = v.xyz;
    float3 t = (float3)(parameters->t);
    float3 power = parameters->a *
                   pow(fmax(parameters->m * x3 + parameters->b, (float3)(0.0f)), (float3)(parameters->g));
    float3 logarithmic = parameters->c * log2(parameters->s * fmax(x3, t)) + parameters->d;
    float3 y = select(logarithmic, power, x3 < t);
    write_imagef(outImage, gid, (float4)(y, v.w));
}
