// Direct3D 11 for tests: a hardware device (Wine draws through Mesa on the session's X server)
// and DXGI surface buffers over textures.
#pragma once

#include <d3d11.h>
#include <mfobjects.h>
#include <windows.h>
#include <wrl/client.h>

// Null when no device can be created (no display); tests then skip.
Microsoft::WRL::ComPtr<ID3D11Device> CreateTestDevice();

// An RGBA16F texture a shader can read.
HRESULT CreateTestTexture(ID3D11Device* device, UINT width, UINT height,
                          Microsoft::WRL::ComPtr<ID3D11Texture2D>& texture);

// An RGBA16F texture and a Media Foundation buffer over it.
HRESULT CreateTextureBuffer(ID3D11Device* device, UINT width, UINT height,
                            Microsoft::WRL::ComPtr<ID3D11Texture2D>& texture,
                            Microsoft::WRL::ComPtr<IMFMediaBuffer>& buffer);
