// What TsrRawDebayer.dll serves: the debayer transform, registered as a video processor.
#include "tesselrawdebayer.h"
#include "windows/common/servedtransform.h"
#include "windows/common/tesselrawguids.h"

#include <mfapi.h>

TSR_SERVE_TRANSFORM(TesselRAWDebayer, CLSID_TesselRAWDebayer, L"TesselRAW debayer filter",
                    MFT_CATEGORY_VIDEO_PROCESSOR)
