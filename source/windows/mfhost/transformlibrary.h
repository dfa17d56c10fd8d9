// A transform DLL loaded by path, without registration: its class factory makes the transform.
#pragma once

#include <mftransform.h>
#include <windows.h>
#include <wrl/client.h>

#include <string>

class TransformLibrary {
public:
    explicit TransformLibrary(const std::wstring& path);
    ~TransformLibrary();
    TransformLibrary(const TransformLibrary&) = delete;
    TransformLibrary& operator=(const TransformLibrary&) = delete;

    bool Loaded() const { return m_module != nullptr; }
    HRESULT Create(REFCLSID clsid, Microsoft::WRL::ComPtr<IMFTransform>& transform) const;

private:
    HMODULE m_module = nullptr;
};
