// Attribute keys and output subtypes of the debayer transform, under the library's namespace.
// Their one definition is the public header that hosts include.
#pragma once

#include <tesselraw/transforms.h>

namespace tsr {

using ::MF_DEBAYER_CL_COMMAND_QUEUE;
using ::MF_DEBAYER_CL_IMAGE;
using ::MF_DEBAYER_COLOR_MATRIX;
using ::MF_DEBAYER_OUTPUT_CURVE;
using ::MFVideoFormat_RGBA128F;

inline constexpr UINT32 kColorMatrixBytes = TESSELRAW_COLOR_MATRIX_SIZE;

} // namespace tsr
