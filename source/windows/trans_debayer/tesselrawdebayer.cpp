// TesselRAWDebayer: creation, destruction and stream negotiation.
#include "tesselrawdebayer.h"

#include "comerror.h"
#include "debayerattributes.h"
#include "outputformats.h"
#include "tesselrawguids.h"
#include "trace.h"
#include "videomediatypes.h"

namespace tsr {

using com::ComMethodEdge;
using com::ThrowIfFailed;

namespace {

const GUID* const kInputSubtypes[] = {&MFVideoFormat_bp16, &MFVideoFormat_bp64};
constexpr DWORD kTypeCount = 2;

// Checks the major type and the subtype of a proposed type.
HRESULT CheckSubtype(IMFMediaType* type, bool input) {
    GUID subtype = GUID_NULL;
    const HRESULT hr = com::GetVideoSubtype(type, &subtype);
    if (FAILED(hr)) return hr;
    if (input) {
        for (const GUID* accepted : kInputSubtypes)
            if (IsEqualGUID(subtype, *accepted)) return S_OK;
        return MF_E_INVALIDMEDIATYPE;
    }
    return FindOutputFormat(subtype) ? S_OK : MF_E_INVALIDMEDIATYPE;
}

} // namespace

HRESULT TesselRAWDebayer::Create(IUnknown* outer, REFIID iid, void** result) {
    return com::CreateObject<TesselRAWDebayer>(outer, iid, result);
}

TesselRAWDebayer::TesselRAWDebayer(HRESULT* hr) {
    *hr = MFCreateAttributes(&m_attributes, 2);
    if (SUCCEEDED(*hr)) *hr = m_attributes->SetUINT32(MF_SA_D3D11_AWARE, TRUE);
    if (SUCCEEDED(*hr)) *hr = m_attributes->SetUINT32(MF_DEBAYER_OUTPUT_CURVE, m_curveIndex);
}

TesselRAWDebayer::~TesselRAWDebayer() {
    // The base class then releases the attributes and the types.
    m_pending.clear();
    m_engine.reset();
    m_deviceManager.Reset();
}

STDMETHODIMP TesselRAWDebayer::GetInputStreamInfo(DWORD /*stream*/, MFT_INPUT_STREAM_INFO* info) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!info) return E_POINTER;
    *info = MFT_INPUT_STREAM_INFO{};
    info->dwFlags = MFT_INPUT_STREAM_WHOLE_SAMPLES | MFT_INPUT_STREAM_SINGLE_SAMPLE_PER_BUFFER |
                    MFT_INPUT_STREAM_FIXED_SAMPLE_SIZE;
    return S_OK;
}

STDMETHODIMP TesselRAWDebayer::GetOutputStreamInfo(DWORD /*stream*/, MFT_OUTPUT_STREAM_INFO* info) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!info) return E_POINTER;
    *info = MFT_OUTPUT_STREAM_INFO{};
    info->dwFlags = kOutputStreamFlags;
    const std::uint64_t size = OutputImageSize();
    if (size > UINT32_MAX) {
        Trace(L"Output image size exceeds DWORD maximum\n");
        return E_BOUNDS;
    }
    info->cbSize = static_cast<DWORD>(size);
    return S_OK;
}

STDMETHODIMP TesselRAWDebayer::GetInputAvailableType(DWORD /*stream*/, DWORD index, IMFMediaType** type) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return ComMethodEdge([&]() -> HRESULT {
        if (index >= kTypeCount) return MF_E_NO_MORE_TYPES;
        if (!type) return E_POINTER;
        if (m_inputType) return m_inputType.CopyTo(type);
        return com::CreateVideoType(*kInputSubtypes[index]).CopyTo(type);
    });
}

STDMETHODIMP TesselRAWDebayer::GetOutputAvailableType(DWORD /*stream*/, DWORD index, IMFMediaType** type) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return ComMethodEdge([&]() -> HRESULT {
        if (index >= kTypeCount) return MF_E_NO_MORE_TYPES;
        if (!type) return E_POINTER;
        if (!m_inputType) return MF_E_TRANSFORM_TYPE_NOT_SET;
        if (m_outputType) return m_outputType.CopyTo(type);
        const auto offered = com::CreateFrameType(*kOutputFormats[index].subtype, m_width, m_height,
                                                  m_frameRateNumerator, m_frameRateDenominator);
        return offered.CopyTo(type);
    });
}

STDMETHODIMP TesselRAWDebayer::SetInputType(DWORD /*stream*/, IMFMediaType* type, DWORD flags) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return ComMethodEdge([&]() -> HRESULT {
        const HRESULT allowed = CheckTypeChange(type, flags);
        if (FAILED(allowed) || (flags & MFT_SET_TYPE_TEST_ONLY)) return allowed;
        ThrowIfFailed(CheckSubtype(type, true));
        UINT32 numerator = 0;
        UINT32 denominator = 0;
        if (SUCCEEDED(MFGetAttributeRatio(type, MF_MT_FRAME_RATE, &numerator, &denominator))) {
            m_frameRateNumerator = numerator;
            m_frameRateDenominator = denominator;
        }
        UINT32 width = 0;
        UINT32 height = 0;
        ThrowIfFailed(MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &width, &height));
        m_width = width;
        m_height = height;
        m_inputType = type;
        return S_OK;
    });
}

STDMETHODIMP TesselRAWDebayer::SetOutputType(DWORD /*stream*/, IMFMediaType* type, DWORD flags) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return ComMethodEdge([&]() -> HRESULT {
        const HRESULT allowed = CheckTypeChange(type, flags);
        if (FAILED(allowed) || (flags & MFT_SET_TYPE_TEST_ONLY)) return allowed;
        ThrowIfFailed(CheckSubtype(type, false));
        m_outputType = type;
        UINT32 curve = 0;
        if (SUCCEEDED(type->GetUINT32(MF_DEBAYER_OUTPUT_CURVE, &curve))) {
            m_curveIndex = curve;
        } else if (SUCCEEDED(type->GetUINT32(MF_MT_VIDEO_PRIMARIES, &curve))) {
            if (curve == MFVideoPrimaries_BT709) m_curveIndex = 0;
            if (curve == MFVideoPrimaries_BT2020) m_curveIndex = 1;
        }
        return S_OK;
    });
}

STDMETHODIMP TesselRAWDebayer::GetInputStatus(DWORD /*stream*/, DWORD* flags) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!flags) return E_POINTER;
    *flags = m_pending.empty() ? MFT_INPUT_STATUS_ACCEPT_DATA : 0;
    return S_OK;
}

GUID TesselRAWDebayer::OutputSubtype() const {
    GUID subtype = GUID_NULL;
    if (m_outputType) m_outputType->GetGUID(MF_MT_SUBTYPE, &subtype);
    return subtype;
}

std::uint64_t TesselRAWDebayer::OutputImageSize() const {
    if (!m_outputType) return 0;
    return std::uint64_t{m_width} * m_height * OutputBytesPerPixel(OutputSubtype());
}

} // namespace tsr
