// Video media types as the transforms offer and check them.
#pragma once

#include <mfapi.h>
#include <mfobjects.h>
#include <wrl/client.h>

namespace tsr::com {

// The subtype of a proposed video type: MF_E_INVALIDMEDIATYPE for another major type, else the
// failure of reading either attribute.
HRESULT GetVideoSubtype(IMFMediaType* type, GUID* subtype);

// The type's frame rate, where it has one; else `numerator` and `denominator` stay as they are.
void ReadFrameRate(IMFMediaType* type, UINT32& numerator, UINT32& denominator);

// A new video type that names its subtype and nothing else. Failures are thrown as _com_error.
Microsoft::WRL::ComPtr<IMFMediaType> CreateVideoType(const GUID& subtype);

// A new video type of uncompressed progressive frames of a fixed size, every sample independent.
// Failures are thrown as _com_error.
Microsoft::WRL::ComPtr<IMFMediaType> CreateFrameType(const GUID& subtype, UINT32 width, UINT32 height,
                                                     UINT32 rateNumerator, UINT32 rateDenominator);

} // namespace tsr::com
