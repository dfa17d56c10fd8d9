#include "transformlibrary.h"

TransformLibrary::TransformLibrary(const std::wstring& path) {
    m_module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

TransformLibrary::~TransformLibrary() {
    if (m_module) FreeLibrary(m_module);
}

HRESULT TransformLibrary::Create(REFCLSID clsid, Microsoft::WRL::ComPtr<IMFTransform>& transform) const {
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    if (!m_module) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    const auto getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(m_module, "DllGetClassObject")));
    if (!getClassObject) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(clsid, IID_PPV_ARGS(&factory));
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, IID_PPV_ARGS(&transform));
}
