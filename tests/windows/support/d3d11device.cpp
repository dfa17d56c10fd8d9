#include "d3d11device.h"

#include <mfapi.h>

using Microsoft::WRL::ComPtr;

ComPtr<ID3D11Device> CreateTestDevice() {
    const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0};
    ComPtr<ID3D11Device> device;
    if (FAILED(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, levels, 2, D3D11_SDK_VERSION,
                                 &device, nullptr, nullptr)))
        return nullptr;
    return device;
}

HRESULT CreateTestTexture(ID3D11Device* device, UINT width, UINT height, ComPtr<ID3D11Texture2D>& texture) {
    D3D11_TEXTURE2D_DESC desc = {};
    desc.Width = width;
    desc.Height = height;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_R16G16B16A16_FLOAT;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    return device->CreateTexture2D(&desc, nullptr, &texture);
}

HRESULT CreateTextureBuffer(ID3D11Device* device, UINT width, UINT height, ComPtr<ID3D11Texture2D>& texture,
                            ComPtr<IMFMediaBuffer>& buffer) {
    HRESULT hr = CreateTestTexture(device, width, height, texture);
    if (FAILED(hr)) return hr;
    return MFCreateDXGISurfaceBuffer(IID_ID3D11Texture2D, texture.Get(), 0, FALSE, &buffer);
}
