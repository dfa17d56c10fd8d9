// Registration of TsrRawDecoder.dll with COM and Media Foundation, read back from the prefix's
// registry and used the way hosts use it. These tests share the registry, so they never run in
// parallel with each other (RESOURCE_LOCK).
#include "comsession.h"
#include "serverlibrary.h"
#include "windows/common/tesselrawguids.h"

#include <mfapi.h>
#include <mferror.h>
#include <mftransform.h>

#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;
using tsr::CLSID_TesselRAWDecoder;

namespace {

const wchar_t kClassKey[] = L"CLSID\\{B6040083-CBD1-44F8-B6A7-D7D3F29E0DE6}";
const wchar_t kServerKey[] = L"CLSID\\{B6040083-CBD1-44F8-B6A7-D7D3F29E0DE6}\\InprocServer32";
const wchar_t kFriendlyName[] = L"TesselRAW decode filter";

struct RegistryString {
    LONG status = ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    DWORD bytes = 0;
    std::wstring text;
};

RegistryString ReadString(const wchar_t* keyName, const wchar_t* valueName) {
    RegistryString value;
    HKEY key = nullptr;
    value.status = RegOpenKeyExW(HKEY_CLASSES_ROOT, keyName, 0, KEY_READ, &key);
    if (value.status != ERROR_SUCCESS) return value;
    wchar_t buffer[1024] = {};
    value.bytes = sizeof(buffer);
    value.status =
        RegQueryValueExW(key, valueName, nullptr, &value.type, reinterpret_cast<BYTE*>(buffer), &value.bytes);
    RegCloseKey(key);
    if (value.status == ERROR_SUCCESS) value.text = buffer;
    return value;
}

bool KeyExists(const wchar_t* keyName) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// How many decoder transforms with our class id Media Foundation lists.
int DecodersListed() {
    IMFActivate** activates = nullptr;
    UINT32 count = 0;
    if (FAILED(
            MFTEnumEx(MFT_CATEGORY_VIDEO_DECODER, MFT_ENUM_FLAG_ALL, nullptr, nullptr, &activates, &count)))
        return -1;
    int found = 0;
    for (UINT32 i = 0; i < count; ++i) {
        GUID clsid = GUID_NULL;
        if (SUCCEEDED(activates[i]->GetGUID(MFT_TRANSFORM_CLSID_Attribute, &clsid)) &&
            IsEqualGUID(clsid, CLSID_TesselRAWDecoder)) {
            ++found;
            ComPtr<IMFTransform> transform;
            EXPECT_EQ(activates[i]->ActivateObject(IID_IMFTransform,
                                                   reinterpret_cast<void**>(transform.GetAddressOf())),
                      S_OK);
            transform.Reset();
            activates[i]->ShutdownObject();
        }
        activates[i]->Release();
    }
    CoTaskMemFree(activates);
    return found;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

} // namespace

class RegistrationTest : public MediaFoundationTest {
protected:
    void SetUp() override {
        MediaFoundationTest::SetUp();
        ASSERT_TRUE(m_library.Loaded());
    }
    void TearDown() override {
        m_library.UnregisterServer(); // leave the shared registry as found
        EXPECT_EQ(m_library.CanUnloadNow(), S_OK);
        MediaFoundationTest::TearDown();
    }

    ServerLibrary m_library{L"TsrRawDecoder.dll"};
};

TEST_F(RegistrationTest, RegisteringWritesTheServerKeysAndListsTheDecoder) {
    ASSERT_EQ(m_library.UnregisterServer(), S_OK);
    ASSERT_EQ(m_library.RegisterServer(), S_OK);
    ASSERT_EQ(m_library.RegisterServer(), S_OK) << "registering twice";

    const RegistryString name = ReadString(kClassKey, nullptr);
    ASSERT_EQ(name.status, ERROR_SUCCESS);
    EXPECT_EQ(name.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(name.text, kFriendlyName);
    EXPECT_EQ(name.bytes, (name.text.size() + 1) * sizeof(wchar_t)); // with its terminating null

    const RegistryString path = ReadString(kServerKey, nullptr);
    ASSERT_EQ(path.status, ERROR_SUCCESS);
    EXPECT_EQ(path.type, static_cast<DWORD>(REG_SZ));
    EXPECT_TRUE(SameText(path.text, m_library.Path()))
        << "registered as " << std::string(path.text.begin(), path.text.end());
    EXPECT_EQ(path.bytes, (path.text.size() + 1) * sizeof(wchar_t));

    const RegistryString threading = ReadString(kServerKey, L"ThreadingModel");
    ASSERT_EQ(threading.status, ERROR_SUCCESS);
    EXPECT_EQ(threading.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(threading.text, L"Both");

    // Found by category, once, and created through its activation object.
    EXPECT_EQ(DecodersListed(), 1);
    LPWSTR infoName = nullptr;
    UINT32 inputTypes = 99;
    UINT32 outputTypes = 99;
    ASSERT_EQ(
        MFTGetInfo(CLSID_TesselRAWDecoder, &infoName, nullptr, &inputTypes, nullptr, &outputTypes, nullptr),
        S_OK);
    EXPECT_EQ(std::wstring(infoName), kFriendlyName);
    EXPECT_EQ(inputTypes, 0u); // no media types are registered
    EXPECT_EQ(outputTypes, 0u);
    CoTaskMemFree(infoName);
}

TEST_F(RegistrationTest, CoCreateInstanceLoadsTheRegisteredServer) {
    ASSERT_EQ(m_library.RegisterServer(), S_OK);
    ComPtr<IMFTransform> transform;
    ASSERT_EQ(CoCreateInstance(CLSID_TesselRAWDecoder, nullptr, CLSCTX_INPROC_SERVER, IID_IMFTransform,
                               reinterpret_cast<void**>(transform.GetAddressOf())),
              S_OK);
    DWORD inputs = 0;
    DWORD outputs = 0;
    EXPECT_EQ(transform->GetStreamCount(&inputs, &outputs), S_OK);
    EXPECT_EQ(m_library.CanUnloadNow(), S_FALSE) << "COM loaded another copy of the library";
    EXPECT_EQ(transform.Detach()->Release(), 0u);
}

TEST_F(RegistrationTest, UnregisteringRemovesBothRegistrationsAndAlwaysSucceeds) {
    ASSERT_EQ(m_library.RegisterServer(), S_OK);
    ASSERT_EQ(m_library.UnregisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(kClassKey));
    EXPECT_EQ(DecodersListed(), 0);
    IMFTransform* transform = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_TesselRAWDecoder, nullptr, CLSCTX_INPROC_SERVER, IID_IMFTransform,
                               reinterpret_cast<void**>(&transform)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(m_library.UnregisterServer(), S_OK) << "unregistering what is not registered";
}

TEST_F(RegistrationTest, ALibraryPathOf260CharactersOrMoreFailsAfterTheClassKey) {
    // A copy of the library in folders deep enough that its path fills the 260-character buffer.
    std::wstring folder = ProgramFolder() + L"registration-long-path";
    std::vector<std::wstring> created{folder};
    CreateDirectoryW(folder.c_str(), nullptr);
    while (folder.size() < MAX_PATH + 10) {
        folder += L"\\" + std::wstring(40, L'd');
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        created.push_back(folder);
    }
    const std::wstring copy = folder + L"\\TsrRawDecoder.dll";
    ASSERT_TRUE(CopyFileW(m_library.Path().c_str(), copy.c_str(), FALSE));
    {
        ServerLibrary deep(copy.c_str());
        ASSERT_TRUE(deep.Loaded());
        ASSERT_EQ(deep.UnregisterServer(), S_OK);
        EXPECT_EQ(deep.RegisterServer(), E_FAIL);
        EXPECT_EQ(ReadString(kClassKey, nullptr).text, kFriendlyName); // written before the path failed
        EXPECT_NE(ReadString(kServerKey, nullptr).status, ERROR_SUCCESS);
        EXPECT_EQ(deep.UnregisterServer(), S_OK);
        EXPECT_FALSE(KeyExists(kClassKey));
    }
    DeleteFileW(copy.c_str());
    for (auto it = created.rbegin(); it != created.rend(); ++it) RemoveDirectoryW(it->c_str());
}
