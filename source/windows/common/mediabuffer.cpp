#include "mediabuffer.h"

#include "invariant.h"

#include <mfidl.h>

namespace tsr::com {
namespace {
constexpr wchar_t kSourceName[] = L"source/windows/common/mediabuffer.cpp";
}

HRESULT MediaBuffer::Create(IMFMediaBuffer* buffer, std::shared_ptr<MediaBuffer>& view) {
    std::shared_ptr<MediaBuffer> created;
    try {
        created = std::make_shared<MediaBuffer>();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (!buffer) {
        view = std::move(created);
        return E_POINTER;
    }

    HRESULT hr;
    IMFDXGIBuffer* dxgiBuffer = nullptr;
    if (SUCCEEDED(buffer->QueryInterface(IID_IMFDXGIBuffer, reinterpret_cast<void**>(&dxgiBuffer)))) {
        hr = dxgiBuffer->GetResource(IID_ID3D11Texture2D, reinterpret_cast<void**>(&created->m_texture));
    } else {
        hr = buffer->Lock(&created->m_data, &created->m_maxLength, &created->m_currentLength);
        if (FAILED(hr)) created->m_data = nullptr;
    }
    if (SUCCEEDED(hr)) {
        buffer->AddRef();
        created->m_buffer = buffer;
    }
    if (dxgiBuffer) dxgiBuffer->Release();
    view = std::move(created);
    return hr;
}

MediaBuffer::~MediaBuffer() {
    if (m_buffer && m_data) {
        HRESULT hr = m_buffer->Unlock();
        TSR_INVARIANT(SUCCEEDED(hr), kSourceName);
        hr = m_buffer->SetCurrentLength(m_currentLength);
        TSR_INVARIANT(SUCCEEDED(hr), kSourceName);
    }
    if (m_texture) m_texture->Release();
    if (m_buffer) m_buffer->Release();
}

} // namespace tsr::com
