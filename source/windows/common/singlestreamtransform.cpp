#include "singlestreamtransform.h"

#include "comerror.h"
#include "videomediatypes.h"

#include <shlwapi.h>

namespace tsr::com {

SingleStreamTransform::~SingleStreamTransform() {
    m_pending.clear();
    m_attributes.Reset();
    m_outputType.Reset();
    m_inputType.Reset();
}

STDMETHODIMP SingleStreamTransform::QueryInterface(REFIID iid, void** result) {
    static const QITAB interfaces[] = {
        QITABENTMULTI(SingleStreamTransform, IUnknown, IMFTransform),
        QITABENT(SingleStreamTransform, IMFTransform),
        {nullptr, 0},
    };
    return QISearch(this, interfaces, iid, result);
}

STDMETHODIMP_(ULONG) SingleStreamTransform::AddRef() {
    return AddReference();
}

STDMETHODIMP_(ULONG) SingleStreamTransform::Release() {
    return ReleaseReference();
}

STDMETHODIMP SingleStreamTransform::GetStreamLimits(DWORD* inputMinimum, DWORD* inputMaximum,
                                                    DWORD* outputMinimum, DWORD* outputMaximum) {
    for (DWORD* limit : {inputMinimum, inputMaximum, outputMinimum, outputMaximum})
        if (limit) *limit = 1;
    return S_OK;
}

STDMETHODIMP SingleStreamTransform::GetStreamCount(DWORD* inputStreams, DWORD* outputStreams) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (inputStreams) *inputStreams = 1;
    if (outputStreams) *outputStreams = 1;
    return S_OK;
}

STDMETHODIMP SingleStreamTransform::GetStreamIDs(DWORD inputIdCount, DWORD* inputIds, DWORD outputIdCount,
                                                 DWORD* outputIds) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (inputIdCount > 1 || outputIdCount > 1) return E_INVALIDARG;
    // An array declared empty is not written.
    if (inputIds && inputIdCount == 1) inputIds[0] = kStreamId;
    if (outputIds && outputIdCount == 1) outputIds[0] = kStreamId;
    return S_OK;
}

STDMETHODIMP SingleStreamTransform::GetAttributes(IMFAttributes** attributes) {
    if (!attributes) return E_POINTER;
    return m_attributes.CopyTo(attributes);
}

STDMETHODIMP SingleStreamTransform::GetInputCurrentType(DWORD /*stream*/, IMFMediaType** type) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!m_inputType) return MF_E_TRANSFORM_TYPE_NOT_SET;
    if (!type) return E_POINTER;
    return m_inputType.CopyTo(type);
}

STDMETHODIMP SingleStreamTransform::GetOutputCurrentType(DWORD /*stream*/, IMFMediaType** type) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!m_outputType) return MF_E_TRANSFORM_TYPE_NOT_SET;
    if (!type) return E_POINTER;
    return m_outputType.CopyTo(type);
}

STDMETHODIMP SingleStreamTransform::GetOutputStatus(DWORD* flags) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!flags) return E_POINTER;
    *flags = m_pending.empty() ? 0 : MFT_OUTPUT_STATUS_SAMPLE_READY;
    return S_OK;
}

STDMETHODIMP SingleStreamTransform::GetInputStreamInfo(DWORD /*stream*/, MFT_INPUT_STREAM_INFO* info) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!info) return E_POINTER;
    *info = MFT_INPUT_STREAM_INFO{};
    info->dwFlags = m_inputStreamFlags;
    return S_OK;
}

STDMETHODIMP SingleStreamTransform::GetOutputStreamInfo(DWORD /*stream*/, MFT_OUTPUT_STREAM_INFO* info) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!info) return E_POINTER;
    *info = MFT_OUTPUT_STREAM_INFO{};
    info->dwFlags = kOutputStreamFlags;
    return OutputSampleSize(&info->cbSize);
}

STDMETHODIMP SingleStreamTransform::GetInputAvailableType(DWORD /*stream*/, DWORD index,
                                                          IMFMediaType** type) {
    return AvailableType(index, type, true);
}

STDMETHODIMP SingleStreamTransform::GetOutputAvailableType(DWORD /*stream*/, DWORD index,
                                                           IMFMediaType** type) {
    return AvailableType(index, type, false);
}

STDMETHODIMP SingleStreamTransform::SetInputType(DWORD /*stream*/, IMFMediaType* type, DWORD flags) {
    return SetType(type, flags, true);
}

STDMETHODIMP SingleStreamTransform::SetOutputType(DWORD /*stream*/, IMFMediaType* type, DWORD flags) {
    return SetType(type, flags, false);
}

// The current type, else the one offered at `index`; output types only once the input type is set.
HRESULT SingleStreamTransform::AvailableType(DWORD index, IMFMediaType** type, bool input) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return ComMethodEdge([&]() -> HRESULT {
        if (index >= (input ? m_inputTypeCount : m_outputTypeCount)) return MF_E_NO_MORE_TYPES;
        if (!type) return E_POINTER;
        if (input) return (m_inputType ? m_inputType : CreateVideoType(*m_inputSubtypes[index])).CopyTo(type);
        if (!m_inputType) return MF_E_TRANSFORM_TYPE_NOT_SET;
        return (m_outputType ? m_outputType : OfferedOutputType(index)).CopyTo(type);
    });
}

HRESULT SingleStreamTransform::SetType(IMFMediaType* type, DWORD flags, bool input) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return ComMethodEdge([&]() -> HRESULT {
        const HRESULT allowed = CheckTypeChange(type, flags);
        if (FAILED(allowed) || (flags & MFT_SET_TYPE_TEST_ONLY)) return allowed;
        if (input) {
            GUID subtype = GUID_NULL;
            ThrowIfFailed(GetVideoSubtype(type, &subtype));
            bool known = false;
            for (DWORD i = 0; i < m_inputTypeCount; ++i)
                known = known || IsEqualGUID(subtype, *m_inputSubtypes[i]);
            if (!known) return MF_E_INVALIDMEDIATYPE;
            ApplyInputType(type);
        } else {
            ApplyOutputType(type);
        }
        return S_OK;
    });
}

STDMETHODIMP SingleStreamTransform::GetInputStatus(DWORD /*stream*/, DWORD* flags) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!flags) return E_POINTER;
    *flags = AcceptsInput() ? MFT_INPUT_STATUS_ACCEPT_DATA : 0;
    return S_OK;
}

STDMETHODIMP SingleStreamTransform::GetInputStreamAttributes(DWORD, IMFAttributes**) {
    return E_NOTIMPL;
}

STDMETHODIMP SingleStreamTransform::GetOutputStreamAttributes(DWORD, IMFAttributes**) {
    return E_NOTIMPL;
}

STDMETHODIMP SingleStreamTransform::DeleteInputStream(DWORD) {
    return E_NOTIMPL;
}

STDMETHODIMP SingleStreamTransform::AddInputStreams(DWORD, DWORD*) {
    return E_NOTIMPL;
}

STDMETHODIMP SingleStreamTransform::SetOutputBounds(LONGLONG, LONGLONG) {
    return E_NOTIMPL;
}

STDMETHODIMP SingleStreamTransform::ProcessEvent(DWORD, IMFMediaEvent*) {
    return E_NOTIMPL;
}

HRESULT SingleStreamTransform::CheckTypeChange(IMFMediaType* type, DWORD flags) const {
    if (!type) return E_POINTER;
    if (flags & ~static_cast<DWORD>(MFT_SET_TYPE_TEST_ONLY)) return E_INVALIDARG;
    if (!m_pending.empty()) return MF_E_TRANSFORM_CANNOT_CHANGE_MEDIATYPE_WHILE_PROCESSING;
    return S_OK;
}

HRESULT SingleStreamTransform::CheckInputCall(IMFSample* sample, DWORD flags) const {
    if (flags != 0) return E_INVALIDARG;
    if (!m_inputType || !m_outputType) return MF_E_NOTACCEPTING;
    if (!sample) return E_POINTER;
    return S_OK;
}

HRESULT SingleStreamTransform::CheckOutputCall(DWORD flags, DWORD bufferCount,
                                               const MFT_OUTPUT_DATA_BUFFER* buffers) const {
    if (m_pending.empty()) return MF_E_TRANSFORM_NEED_MORE_INPUT;
    if (flags != 0 || bufferCount != 1) return E_INVALIDARG;
    if (!buffers) return E_POINTER;
    return S_OK;
}

} // namespace tsr::com
