// What TsrRawDecoder.dll serves: the decoder transform, registered as a video decoder.
#include "tesselrawdecoder.h"
#include "windows/common/servedtransform.h"
#include "windows/common/tesselrawguids.h"

#include <mfapi.h>

TSR_SERVE_TRANSFORM(TesselRAWDecoder, CLSID_TesselRAWDecoder, L"TesselRAW decode filter",
                    MFT_CATEGORY_VIDEO_DECODER)
