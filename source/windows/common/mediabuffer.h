// A locked view of one Media Foundation buffer for the length of one sample's processing.
//
// A memory buffer is locked at creation and unlocked when the last shared reference goes, and the
// current length set on the view is written back to the buffer then. A DXGI buffer is not locked:
// the view holds its texture and has no data.
#pragma once

#include <d3d11.h>
#include <mfobjects.h>
#include <windows.h>

#include <memory>

namespace tsr::com {

class MediaBuffer {
public:
    // Creates the view in `view` (replacing what it held). Returns the result of locking the buffer
    // or of fetching its texture; on failure the view exists but has no data.
    static HRESULT Create(IMFMediaBuffer* buffer, std::shared_ptr<MediaBuffer>& view);

    MediaBuffer() = default;
    ~MediaBuffer();
    MediaBuffer(const MediaBuffer&) = delete;
    MediaBuffer& operator=(const MediaBuffer&) = delete;

    BYTE* data() const { return m_data; }
    DWORD MaxLength() const { return m_maxLength; }
    DWORD CurrentLength() const { return m_currentLength; }
    // Takes effect when the view is destroyed.
    void SetCurrentLength(DWORD length) { m_currentLength = length; }
    ID3D11Texture2D* Texture() const { return m_texture; }

private:
    BYTE* m_data = nullptr;
    DWORD m_maxLength = 0;
    DWORD m_currentLength = 0;
    IMFMediaBuffer* m_buffer = nullptr;
    ID3D11Texture2D* m_texture = nullptr;
};

} // namespace tsr::com
