// What TsrRawDebayer.dll serves: the debayer transform, registered as a video processor.
#include "classfactory.h"
#include "registration.h"
#include "tesselrawdebayer.h"
#include "tesselrawguids.h"

#include <mfapi.h>

#include <iterator>

namespace tsr::com {

const ClassTableEntry g_classTable[] = {
    {&CLSID_TesselRAWDebayer, &TesselRAWDebayer::Create},
};
const std::size_t g_classTableSize = std::size(g_classTable);

const ServerRegistration g_serverRegistration = {
    &CLSID_TesselRAWDebayer,
    L"TesselRAW debayer filter",
    &MFT_CATEGORY_VIDEO_PROCESSOR,
};

} // namespace tsr::com
