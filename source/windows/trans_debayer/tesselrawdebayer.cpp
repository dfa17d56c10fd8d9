// TesselRAWDebayer: creation, destruction, IUnknown and stream negotiation.
#include "tesselrawdebayer.h"

#include "comerror.h"
#include "debayerattributes.h"
#include "outputformats.h"
#include "tesselrawguids.h"
#include "trace.h"

#include <shlwapi.h>

namespace tsr {

using com::comMethodEdge;
using com::throwIfFailed;
using Microsoft::WRL::ComPtr;

namespace {

const GUID* const kInputSubtypes[] = {&MFVideoFormat_bp16, &MFVideoFormat_bp64};
constexpr DWORD kTypeCount = 2;

// Checks the major type and the subtype of a proposed type.
HRESULT checkSubtype(IMFMediaType* type, bool input) {
    GUID major = GUID_NULL;
    HRESULT hr = type->GetGUID(MF_MT_MAJOR_TYPE, &major);
    if (FAILED(hr)) return hr;
    if (!IsEqualGUID(major, MFMediaType_Video)) return MF_E_INVALIDMEDIATYPE;
    GUID subtype = GUID_NULL;
    hr = type->GetGUID(MF_MT_SUBTYPE, &subtype);
    if (FAILED(hr)) return hr;
    if (input) {
        for (const GUID* accepted : kInputSubtypes)
            if (IsEqualGUID(subtype, *accepted)) return S_OK;
        return MF_E_INVALIDMEDIATYPE;
    }
    return FindOutputFormat(subtype) ? S_OK : MF_E_INVALIDMEDIATYPE;
}

HRESULT returnType(IMFMediaType* current, IMFMediaType** type) {
    *type = current;
    (*type)->AddRef();
    return S_OK;
}

} // namespace

HRESULT TesselRAWDebayer::create(IUnknown* outer, REFIID iid, void** result) {
    return com::createObject<TesselRAWDebayer>(outer, iid, result);
}

TesselRAWDebayer::TesselRAWDebayer(HRESULT* hr) {
    *hr = MFCreateAttributes(&m_attributes, 2);
    if (SUCCEEDED(*hr)) *hr = m_attributes->SetUINT32(MF_SA_D3D11_AWARE, TRUE);
    if (SUCCEEDED(*hr)) *hr = m_attributes->SetUINT32(MF_DEBAYER_OUTPUT_CURVE, m_curveIndex);
}

TesselRAWDebayer::~TesselRAWDebayer() {
    m_pending.clear();
    m_engine.reset();
    m_deviceManager.Reset();
    m_attributes.Reset();
    m_outputType.Reset();
    m_inputType.Reset();
}

STDMETHODIMP TesselRAWDebayer::QueryInterface(REFIID iid, void** result) {
    static const QITAB interfaces[] = {
        QITABENTMULTI(TesselRAWDebayer, IUnknown, IMFTransform),
        QITABENT(TesselRAWDebayer, IMFTransform),
        {nullptr, 0},
    };
    return QISearch(this, interfaces, iid, result);
}

STDMETHODIMP_(ULONG) TesselRAWDebayer::AddRef() {
    return addReference();
}

STDMETHODIMP_(ULONG) TesselRAWDebayer::Release() {
    return releaseReference();
}

STDMETHODIMP TesselRAWDebayer::GetStreamLimits(DWORD* inputMinimum, DWORD* inputMaximum, DWORD* outputMinimum,
                                               DWORD* outputMaximum) {
    for (DWORD* limit : {inputMinimum, inputMaximum, outputMinimum, outputMaximum})
        if (limit) *limit = 1;
    return S_OK;
}

STDMETHODIMP TesselRAWDebayer::GetStreamCount(DWORD* inputStreams, DWORD* outputStreams) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (inputStreams) *inputStreams = 1;
    if (outputStreams) *outputStreams = 1;
    return S_OK;
}

STDMETHODIMP TesselRAWDebayer::GetStreamIDs(DWORD inputIdCount, DWORD* inputIds, DWORD outputIdCount,
                                            DWORD* outputIds) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (inputIdCount > 1 || outputIdCount > 1) return E_INVALIDARG;
    // An array declared empty is not written.
    if (inputIds && inputIdCount == 1) inputIds[0] = m_streamId;
    if (outputIds && outputIdCount == 1) outputIds[0] = m_streamId;
    return S_OK;
}

STDMETHODIMP TesselRAWDebayer::GetInputStreamInfo(DWORD /*stream*/, MFT_INPUT_STREAM_INFO* info) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!info) return E_POINTER;
    info->hnsMaxLatency = 0;
    info->dwFlags = MFT_INPUT_STREAM_WHOLE_SAMPLES | MFT_INPUT_STREAM_SINGLE_SAMPLE_PER_BUFFER |
                    MFT_INPUT_STREAM_FIXED_SAMPLE_SIZE;
    info->cbSize = 0;
    info->cbMaxLookahead = 0;
    info->cbAlignment = 0;
    return S_OK;
}

STDMETHODIMP TesselRAWDebayer::GetOutputStreamInfo(DWORD /*stream*/, MFT_OUTPUT_STREAM_INFO* info) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!info) return E_POINTER;
    info->dwFlags = MFT_OUTPUT_STREAM_WHOLE_SAMPLES | MFT_OUTPUT_STREAM_SINGLE_SAMPLE_PER_BUFFER |
                    MFT_OUTPUT_STREAM_FIXED_SAMPLE_SIZE | MFT_OUTPUT_STREAM_CAN_PROVIDE_SAMPLES;
    info->cbSize = 0;
    info->cbAlignment = 0;
    const std::uint64_t size = outputImageSize();
    if (size > UINT32_MAX) {
        trace(L"Output image size exceeds DWORD maximum\n");
        return E_BOUNDS;
    }
    info->cbSize = static_cast<DWORD>(size);
    return S_OK;
}

STDMETHODIMP TesselRAWDebayer::GetAttributes(IMFAttributes** attributes) {
    if (!attributes) return E_POINTER;
    *attributes = m_attributes.Get();
    (*attributes)->AddRef();
    return S_OK;
}

STDMETHODIMP TesselRAWDebayer::GetInputStreamAttributes(DWORD, IMFAttributes**) {
    return E_NOTIMPL;
}

STDMETHODIMP TesselRAWDebayer::GetOutputStreamAttributes(DWORD, IMFAttributes**) {
    return E_NOTIMPL;
}

STDMETHODIMP TesselRAWDebayer::DeleteInputStream(DWORD) {
    return E_NOTIMPL;
}

STDMETHODIMP TesselRAWDebayer::AddInputStreams(DWORD, DWORD*) {
    return E_NOTIMPL;
}

STDMETHODIMP TesselRAWDebayer::GetInputAvailableType(DWORD /*stream*/, DWORD index, IMFMediaType** type) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return comMethodEdge([&]() -> HRESULT {
        if (index >= kTypeCount) return MF_E_NO_MORE_TYPES;
        if (!type) return E_POINTER;
        if (m_inputType) return returnType(m_inputType.Get(), type);
        ComPtr<IMFMediaType> offered;
        throwIfFailed(MFCreateMediaType(&offered));
        throwIfFailed(offered->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video));
        throwIfFailed(offered->SetGUID(MF_MT_SUBTYPE, *kInputSubtypes[index]));
        *type = offered.Detach();
        return S_OK;
    });
}

STDMETHODIMP TesselRAWDebayer::GetOutputAvailableType(DWORD /*stream*/, DWORD index, IMFMediaType** type) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return comMethodEdge([&]() -> HRESULT {
        if (index >= kTypeCount) return MF_E_NO_MORE_TYPES;
        if (!type) return E_POINTER;
        if (!m_inputType) return MF_E_TRANSFORM_TYPE_NOT_SET;
        if (m_outputType) return returnType(m_outputType.Get(), type);
        ComPtr<IMFMediaType> offered;
        throwIfFailed(MFCreateMediaType(&offered));
        throwIfFailed(offered->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video));
        throwIfFailed(offered->SetGUID(MF_MT_SUBTYPE, *kOutputFormats[index].subtype));
        throwIfFailed(offered->SetUINT32(MF_MT_FIXED_SIZE_SAMPLES, TRUE));
        throwIfFailed(offered->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, TRUE));
        throwIfFailed(offered->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive));
        throwIfFailed(MFSetAttributeSize(offered.Get(), MF_MT_FRAME_SIZE, m_width, m_height));
        throwIfFailed(MFSetAttributeRatio(offered.Get(), MF_MT_FRAME_RATE, m_frameRateNumerator,
                                          m_frameRateDenominator));
        *type = offered.Detach();
        return S_OK;
    });
}

STDMETHODIMP TesselRAWDebayer::SetInputType(DWORD /*stream*/, IMFMediaType* type, DWORD flags) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return comMethodEdge([&]() -> HRESULT {
        if (!type) return E_POINTER;
        if (flags & ~static_cast<DWORD>(MFT_SET_TYPE_TEST_ONLY)) return E_INVALIDARG;
        if (!m_pending.empty()) return MF_E_TRANSFORM_CANNOT_CHANGE_MEDIATYPE_WHILE_PROCESSING;
        if (flags & MFT_SET_TYPE_TEST_ONLY) return S_OK;
        throwIfFailed(checkSubtype(type, true));
        UINT32 numerator = 0;
        UINT32 denominator = 0;
        if (SUCCEEDED(MFGetAttributeRatio(type, MF_MT_FRAME_RATE, &numerator, &denominator))) {
            m_frameRateNumerator = numerator;
            m_frameRateDenominator = denominator;
        }
        UINT32 width = 0;
        UINT32 height = 0;
        throwIfFailed(MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &width, &height));
        m_width = width;
        m_height = height;
        m_inputType = type;
        return S_OK;
    });
}

STDMETHODIMP TesselRAWDebayer::SetOutputType(DWORD /*stream*/, IMFMediaType* type, DWORD flags) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return comMethodEdge([&]() -> HRESULT {
        if (!type) return E_POINTER;
        if (flags & ~static_cast<DWORD>(MFT_SET_TYPE_TEST_ONLY)) return E_INVALIDARG;
        if (!m_pending.empty()) return MF_E_TRANSFORM_CANNOT_CHANGE_MEDIATYPE_WHILE_PROCESSING;
        if (flags & MFT_SET_TYPE_TEST_ONLY) return S_OK;
        throwIfFailed(checkSubtype(type, false));
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

STDMETHODIMP TesselRAWDebayer::GetInputCurrentType(DWORD /*stream*/, IMFMediaType** type) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!m_inputType) return MF_E_TRANSFORM_TYPE_NOT_SET;
    if (!type) return E_POINTER;
    return returnType(m_inputType.Get(), type);
}

STDMETHODIMP TesselRAWDebayer::GetOutputCurrentType(DWORD /*stream*/, IMFMediaType** type) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!m_outputType) return MF_E_TRANSFORM_TYPE_NOT_SET;
    if (!type) return E_POINTER;
    return returnType(m_outputType.Get(), type);
}

STDMETHODIMP TesselRAWDebayer::GetInputStatus(DWORD /*stream*/, DWORD* flags) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!flags) return E_POINTER;
    *flags = m_pending.empty() ? MFT_INPUT_STATUS_ACCEPT_DATA : 0;
    return S_OK;
}

STDMETHODIMP TesselRAWDebayer::GetOutputStatus(DWORD* flags) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!flags) return E_POINTER;
    *flags = m_pending.empty() ? 0 : MFT_OUTPUT_STATUS_SAMPLE_READY;
    return S_OK;
}

STDMETHODIMP TesselRAWDebayer::SetOutputBounds(LONGLONG, LONGLONG) {
    return E_NOTIMPL;
}

STDMETHODIMP TesselRAWDebayer::ProcessEvent(DWORD, IMFMediaEvent*) {
    return E_NOTIMPL;
}

GUID TesselRAWDebayer::outputSubtype() const {
    GUID subtype = GUID_NULL;
    if (m_outputType) m_outputType->GetGUID(MF_MT_SUBTYPE, &subtype);
    return subtype;
}

std::uint64_t TesselRAWDebayer::outputImageSize() const {
    if (!m_outputType) return 0;
    return std::uint64_t{m_width} * m_height * OutputBytesPerPixel(outputSubtype());
}

} // namespace tsr
