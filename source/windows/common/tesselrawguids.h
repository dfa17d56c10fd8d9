// Class ids, media subtypes and attribute keys that both transform libraries share, under the
// library's namespace. Their one definition is the public header that hosts include.
#pragma once

#include <tesselraw/transforms.h>

namespace tsr {

using ::CLSID_TesselRAWDebayer;
using ::CLSID_TesselRAWDecoder;
using ::MF_RAW_FRAME_INFO_SIZE;
using ::MF_RAW_FRAME_METADATA;
using ::MFVideoFormat_bp16;
using ::MFVideoFormat_bp64;
using ::MFVideoFormat_tsrh;
using ::MFVideoFormat_tsrh_BE;
using ::MFVideoFormat_tsrn;
using ::MFVideoFormat_tsrn_BE;

} // namespace tsr
