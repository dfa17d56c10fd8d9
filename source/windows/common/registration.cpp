#include "registration.h"

#include "classfactory.h"

#include <mfapi.h>
#include <strsafe.h>

#include <cwchar>

namespace tsr::com {
namespace {

constexpr int kGuidTextChars = 39;

// Closes a registry key when it goes out of scope.
class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (m_key) RegCloseKey(m_key);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    HRESULT Create(HKEY parent, const wchar_t* name) {
        const LONG status = RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                            nullptr, &m_key, nullptr);
        return HRESULT_FROM_WIN32(status);
    }

    // Writes a REG_SZ value with its terminating null; a null name sets the default value.
    HRESULT SetString(const wchar_t* name, const wchar_t* text) {
        const DWORD bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
        const LONG status =
            RegSetValueExW(m_key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
        return HRESULT_FROM_WIN32(status);
    }

    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

// "CLSID\{...}" for the class id.
HRESULT FormatClassKeyName(const CLSID& clsid, wchar_t* keyName, size_t keyNameChars) {
    wchar_t clsidText[kGuidTextChars];
    if (StringFromGUID2(clsid, clsidText, kGuidTextChars) == 0) return E_FAIL;
    return StringCchPrintfW(keyName, keyNameChars, L"CLSID\\%ls", clsidText);
}

HRESULT WriteClassKey(const ServerRegistration& server) {
    wchar_t keyName[MAX_PATH];
    HRESULT hr = FormatClassKeyName(*server.clsid, keyName, MAX_PATH);
    if (FAILED(hr)) return hr;

    RegistryKey classKey;
    hr = classKey.Create(HKEY_CLASSES_ROOT, keyName);
    if (FAILED(hr)) return hr;
    hr = classKey.SetString(nullptr, server.friendlyName);
    if (FAILED(hr)) return hr;

    RegistryKey serverKey;
    hr = serverKey.Create(classKey.Get(), L"InprocServer32");
    if (FAILED(hr)) return hr;

    wchar_t modulePath[MAX_PATH];
    const DWORD length = GetModuleFileNameW(ModuleHandle(), modulePath, MAX_PATH);
    if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
    if (length == MAX_PATH) return E_FAIL; // the path filled the buffer and may be cut short

    hr = serverKey.SetString(nullptr, modulePath);
    if (FAILED(hr)) return hr;
    return serverKey.SetString(L"ThreadingModel", L"Both");
}

} // namespace

HRESULT RegisterServer(const ServerRegistration& server) {
    const HRESULT hr = WriteClassKey(server);
    if (FAILED(hr)) return hr;
    wchar_t name[MAX_PATH]; // MFTRegister takes a mutable string
    const HRESULT copied = StringCchCopyW(name, MAX_PATH, server.friendlyName);
    if (FAILED(copied)) return copied;
    return MFTRegister(*server.clsid, *server.category, name, 0, 0, nullptr, 0, nullptr, nullptr);
}

HRESULT UnregisterServer(const ServerRegistration& server) {
    MFTUnregister(*server.clsid);
    wchar_t keyName[MAX_PATH];
    if (SUCCEEDED(FormatClassKeyName(*server.clsid, keyName, MAX_PATH)))
        RegDeleteTreeW(HKEY_CLASSES_ROOT, keyName);
    return S_OK;
}

} // namespace tsr::com
