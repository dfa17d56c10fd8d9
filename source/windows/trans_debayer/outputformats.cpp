#include "outputformats.h"

#include "debayerattributes.h"

#include <mfapi.h>

namespace tsr {

const OutputFormat kOutputFormats[2] = {
    {&MFVideoFormat_A16B16G16R16F, 8, DXGI_FORMAT_R16G16B16A16_FLOAT, {CL_RGBA, CL_HALF_FLOAT}},
    {&MFVideoFormat_RGBA128F, 16, DXGI_FORMAT_R32G32B32A32_FLOAT, {CL_RGBA, CL_FLOAT}},
};

const OutputFormat* FindOutputFormat(const GUID& subtype) {
    for (const OutputFormat& format : kOutputFormats)
        if (IsEqualGUID(subtype, *format.subtype)) return &format;
    return nullptr;
}

std::uint32_t OutputBytesPerPixel(const GUID& subtype) {
    const OutputFormat* format = FindOutputFormat(subtype);
    return format ? format->bytesPerPixel : 0;
}

DXGI_FORMAT OutputTextureFormat(const GUID& subtype) {
    const OutputFormat* format = FindOutputFormat(subtype);
    return format ? format->textureFormat : DXGI_FORMAT_R16G16B16A16_FLOAT;
}

cl_image_format OutputImageFormat(const GUID& subtype) {
    const OutputFormat* format = FindOutputFormat(subtype);
    return format ? format->imageFormat : cl_image_format{CL_RGBA, CL_HALF_FLOAT};
}

} // namespace tsr
