// TsrRawDebayer.dll as a COM server: its one class, its registration under the video processor
// category, and its independence from the decoder library. Registration tests share the prefix's
// registry with other processes, so they never run in parallel with them (RESOURCE_LOCK).
#include "comsession.h"
#include "serverlibrary.h"
#include "windows/common/tesselrawguids.h"

#include <mfapi.h>
#include <mftransform.h>

#include <string>

using Microsoft::WRL::ComPtr;
using tsr::CLSID_TesselRAWDebayer;

namespace {

const wchar_t kClassKey[] = L"CLSID\\{1E898D0D-458B-469B-9722-755622954AF1}";
const wchar_t kServerKey[] = L"CLSID\\{1E898D0D-458B-469B-9722-755622954AF1}\\InprocServer32";

std::wstring ReadString(const wchar_t* keyName, const wchar_t* valueName) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS) return L"<missing>";
    wchar_t buffer[1024] = {};
    DWORD bytes = sizeof(buffer);
    const LONG status =
        RegQueryValueExW(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &bytes);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::wstring(buffer) : L"<missing>";
}

// How many video processors with the debayer's class id Media Foundation lists.
int ProcessorsListed() {
    IMFActivate** activates = nullptr;
    UINT32 count = 0;
    if (FAILED(
            MFTEnumEx(MFT_CATEGORY_VIDEO_PROCESSOR, MFT_ENUM_FLAG_ALL, nullptr, nullptr, &activates, &count)))
        return -1;
    int found = 0;
    for (UINT32 i = 0; i < count; ++i) {
        GUID clsid = GUID_NULL;
        if (SUCCEEDED(activates[i]->GetGUID(MFT_TRANSFORM_CLSID_Attribute, &clsid)) &&
            IsEqualGUID(clsid, CLSID_TesselRAWDebayer))
            ++found;
        activates[i]->Release();
    }
    CoTaskMemFree(activates);
    return found;
}

class DebayerServerTest : public MediaFoundationTest {
protected:
    ServerLibrary m_library{L"TsrRawDebayer.dll"};
};

TEST_F(DebayerServerTest, ServesTheDebayerClassOnly) {
    ASSERT_TRUE(m_library.Loaded());
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(m_library.GetClassObject(tsr::CLSID_TesselRAWDecoder, IID_PPV_ARGS(&factory)),
              CLASS_E_CLASSNOTAVAILABLE);
    ComPtr<IMFTransform> transform;
    ASSERT_EQ(m_library.CreateInstance(CLSID_TesselRAWDebayer, transform), S_OK);
    EXPECT_EQ(m_library.CanUnloadNow(), S_FALSE);
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(transform.As(&unknown), S_OK);
    transform.Reset();
    unknown.Reset();
    EXPECT_EQ(m_library.CanUnloadNow(), S_OK);
    // The two libraries meet only through samples: loading this one loads nothing of the other.
    EXPECT_EQ(GetModuleHandleW(L"TsrRawDecoder.dll"), nullptr);
}

TEST_F(DebayerServerTest, RegistersAsAVideoProcessorAndUnregistersCleanly) {
    ASSERT_TRUE(m_library.Loaded());
    for (int time = 0; time < 2; ++time) ASSERT_EQ(m_library.RegisterServer(), S_OK);
    EXPECT_EQ(ReadString(kClassKey, nullptr), L"TesselRAW debayer filter");
    EXPECT_EQ(ReadString(kServerKey, nullptr), m_library.Path());
    EXPECT_EQ(ReadString(kServerKey, L"ThreadingModel"), L"Both");
    EXPECT_EQ(ProcessorsListed(), 1);

    for (int time = 0; time < 2; ++time) EXPECT_EQ(m_library.UnregisterServer(), S_OK);
    EXPECT_EQ(ReadString(kClassKey, nullptr), L"<missing>");
    EXPECT_EQ(ProcessorsListed(), 0);
}

} // namespace
