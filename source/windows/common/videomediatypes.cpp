#include "videomediatypes.h"

#include "comerror.h"

#include <mferror.h>

namespace tsr::com {

using Microsoft::WRL::ComPtr;

HRESULT GetVideoSubtype(IMFMediaType* type, GUID* subtype) {
    GUID major = GUID_NULL;
    HRESULT hr = type->GetGUID(MF_MT_MAJOR_TYPE, &major);
    if (FAILED(hr)) return hr;
    if (!IsEqualGUID(major, MFMediaType_Video)) return MF_E_INVALIDMEDIATYPE;
    return type->GetGUID(MF_MT_SUBTYPE, subtype);
}

ComPtr<IMFMediaType> CreateVideoType(const GUID& subtype) {
    ComPtr<IMFMediaType> type;
    ThrowIfFailed(MFCreateMediaType(&type));
    ThrowIfFailed(type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video));
    ThrowIfFailed(type->SetGUID(MF_MT_SUBTYPE, subtype));
    return type;
}

ComPtr<IMFMediaType> CreateFrameType(const GUID& subtype, UINT32 width, UINT32 height, UINT32 rateNumerator,
                                     UINT32 rateDenominator) {
    ComPtr<IMFMediaType> type = CreateVideoType(subtype);
    ThrowIfFailed(type->SetUINT32(MF_MT_FIXED_SIZE_SAMPLES, TRUE));
    ThrowIfFailed(type->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, TRUE));
    ThrowIfFailed(type->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive));
    ThrowIfFailed(MFSetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, width, height));
    ThrowIfFailed(MFSetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, rateNumerator, rateDenominator));
    return type;
}

void ReadFrameRate(IMFMediaType* type, UINT32& numerator, UINT32& denominator) {
    UINT32 typeNumerator = 0;
    UINT32 typeDenominator = 0;
    if (SUCCEEDED(MFGetAttributeRatio(type, MF_MT_FRAME_RATE, &typeNumerator, &typeDenominator))) {
        numerator = typeNumerator;
        denominator = typeDenominator;
    }
}

} // namespace tsr::com
