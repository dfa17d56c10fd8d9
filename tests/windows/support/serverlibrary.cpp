#include "serverlibrary.h"

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

ServerLibrary::ServerLibrary(const wchar_t* fileName) {
    const std::wstring path =
        fileName[0] && fileName[1] == L':' ? std::wstring(fileName) : ProgramFolder() + fileName;
    m_module = LoadLibraryW(path.c_str());
    if (!m_module) return;
    m_getClassObject = reinterpret_cast<GetClassObjectFunction>(
        reinterpret_cast<void*>(GetProcAddress(m_module, "DllGetClassObject")));
    m_canUnloadNow = reinterpret_cast<NoArgumentFunction>(
        reinterpret_cast<void*>(GetProcAddress(m_module, "DllCanUnloadNow")));
    m_registerServer = reinterpret_cast<NoArgumentFunction>(
        reinterpret_cast<void*>(GetProcAddress(m_module, "DllRegisterServer")));
    m_unregisterServer = reinterpret_cast<NoArgumentFunction>(
        reinterpret_cast<void*>(GetProcAddress(m_module, "DllUnregisterServer")));
}

ServerLibrary::~ServerLibrary() {
    if (m_module) FreeLibrary(m_module);
}

bool ServerLibrary::Loaded() const {
    return m_module && m_getClassObject && m_canUnloadNow && m_registerServer && m_unregisterServer;
}

std::wstring ServerLibrary::Path() const {
    wchar_t path[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameW(m_module, path, MAX_PATH * 2);
    return std::wstring(path, length);
}

HRESULT ServerLibrary::GetClassObject(REFCLSID clsid, REFIID iid, void** result) const {
    return m_getClassObject(clsid, iid, result);
}

HRESULT ServerLibrary::CanUnloadNow() const {
    return m_canUnloadNow();
}

HRESULT ServerLibrary::RegisterServer() const {
    return m_registerServer();
}

HRESULT ServerLibrary::UnregisterServer() const {
    return m_unregisterServer();
}

HRESULT ServerLibrary::CreateInstance(REFCLSID clsid, Microsoft::WRL::ComPtr<IMFTransform>& transform) const {
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    HRESULT hr = GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()));
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, IID_IMFTransform,
                                   reinterpret_cast<void**>(transform.ReleaseAndGetAddressOf()));
}
