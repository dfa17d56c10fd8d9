// The output subtypes with their pixel size, texture format and OpenCL image format.
#pragma once

#include "engine/clapi.h"

#include <dxgiformat.h>
#include <windows.h>

#include <cstdint>

namespace tsr {

struct OutputFormat {
    const GUID* subtype;
    std::uint32_t bytesPerPixel;
    DXGI_FORMAT textureFormat;
    cl_image_format imageFormat;
};

// In the order of the output type indices.
extern const OutputFormat kOutputFormats[2];

// The table entry of `subtype`; null when it is not an output subtype.
const OutputFormat* FindOutputFormat(const GUID& subtype);

// Bytes per pixel (0), texture format (R16G16B16A16_FLOAT) and image format (RGBA half) of a
// subtype not in the table.
std::uint32_t OutputBytesPerPixel(const GUID& subtype);
DXGI_FORMAT OutputTextureFormat(const GUID& subtype);
cl_image_format OutputImageFormat(const GUID& subtype);

} // namespace tsr
