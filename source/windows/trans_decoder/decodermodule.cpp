// What TsrRawDecoder.dll serves: the decoder transform, registered as a video decoder.
#include "classfactory.h"
#include "registration.h"
#include "tesselrawdecoder.h"
#include "tesselrawguids.h"

#include <mfapi.h>

#include <iterator>

namespace tsr::com {

const ClassTableEntry g_classTable[] = {
    {&CLSID_TesselRAWDecoder, &TesselRAWDecoder::Create},
};
const std::size_t g_classTableSize = std::size(g_classTable);

const ServerRegistration g_serverRegistration = {
    &CLSID_TesselRAWDecoder,
    L"TesselRAW decode filter",
    &MFT_CATEGORY_VIDEO_DECODER,
};

} // namespace tsr::com
