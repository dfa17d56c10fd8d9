// A transform library loaded the way COM loads it, with its four exports.
#pragma once

#include <mftransform.h>
#include <windows.h>
#include <wrl/client.h>

#include <string>

class ServerLibrary {
public:
    // Loads the DLL from the folder of the test program; check loaded() afterwards.
    explicit ServerLibrary(const wchar_t* fileName);
    ~ServerLibrary();
    ServerLibrary(const ServerLibrary&) = delete;
    ServerLibrary& operator=(const ServerLibrary&) = delete;

    bool Loaded() const;
    HMODULE Module() const { return m_module; }
    std::wstring Path() const;

    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** result) const;
    HRESULT CanUnloadNow() const;
    HRESULT RegisterServer() const;
    HRESULT UnregisterServer() const;

    // Creates an instance through DllGetClassObject and the class factory.
    HRESULT CreateInstance(REFCLSID clsid, Microsoft::WRL::ComPtr<IMFTransform>& transform) const;

private:
    using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    using NoArgumentFunction = HRESULT(WINAPI*)();

    HMODULE m_module = nullptr;
    GetClassObjectFunction m_getClassObject = nullptr;
    NoArgumentFunction m_canUnloadNow = nullptr;
    NoArgumentFunction m_registerServer = nullptr;
    NoArgumentFunction m_unregisterServer = nullptr;
};

// Folder of the running test program, with a trailing backslash.
std::wstring ProgramFolder();
