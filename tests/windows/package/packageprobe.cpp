// package_probe: the host side of the package test (package_test.sh), run under Wine in the
// package's own prefix.
//
//   package_probe frames DIR              writes two compressed test frames into DIR
//   package_probe --gtest_filter=...      checks the registration of the unpacked package, whose
//                                         bin folder TSR_PACKAGE_BIN names (a Windows path)
//
// Registered.* runs after regsvr32 of both DLLs, Unregistered.* after regsvr32 /u.
#include <tesselraw/transforms.h>

#include "encoder/frameencoder.h"
#include "encoder/syntheticscene.h"

#include <gtest/gtest.h>

#include <mfapi.h>
#include <mferror.h>
#include <mftransform.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

struct Server {
    const char* name;
    const CLSID* clsid;
    const wchar_t* clsidText;
    const wchar_t* fileName;
    const wchar_t* friendlyName;
    const GUID* category;
    const wchar_t* categoryText;
    GUID input;  // one of the input subtypes the transform accepts
    GUID output; // one of its output subtypes
};

const Server kServers[] = {
    {"decoder", &CLSID_TesselRAWDecoder, L"{B6040083-CBD1-44F8-B6A7-D7D3F29E0DE6}", L"TsrRawDecoder.dll",
     L"TesselRAW decode filter", &MFT_CATEGORY_VIDEO_DECODER, L"{D6C02D4B-6833-45B4-971A-05A4B04BAB91}",
     MFVideoFormat_tsrn, MFVideoFormat_bp16},
    {"debayer", &CLSID_TesselRAWDebayer, L"{1E898D0D-458B-469B-9722-755622954AF1}", L"TsrRawDebayer.dll",
     L"TesselRAW debayer filter", &MFT_CATEGORY_VIDEO_PROCESSOR, L"{302EA3FC-AA5F-47F9-9F7A-C2188BB16302}",
     MFVideoFormat_bp16, MFVideoFormat_A16B16G16R16F},
};

std::wstring PackageBin() {
    const wchar_t* bin = _wgetenv(L"TSR_PACKAGE_BIN");
    return bin ? bin : L"";
}

// A string value (null name: the default value) of a key under HKEY_CLASSES_ROOT.
bool ReadString(const std::wstring& keyName, const wchar_t* valueName, std::wstring& text) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, keyName.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    wchar_t buffer[1024] = {};
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = REG_NONE;
    const LONG status =
        RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    RegCloseKey(key);
    text = buffer;
    return status == ERROR_SUCCESS && type == REG_SZ;
}

bool KeyExists(const std::wstring& keyName) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, keyName.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// A class id as Media Foundation's keys spell it: without braces.
std::wstring Bare(const wchar_t* braced) {
    std::wstring text = braced + 1;
    text.pop_back();
    return text;
}

// The keys registration writes for a server, under HKEY_CLASSES_ROOT.
std::wstring ClassKey(const Server& server) {
    return std::wstring(L"CLSID\\") + server.clsidText;
}
std::wstring TransformKey(const Server& server) {
    return L"MediaFoundation\\Transforms\\" + Bare(server.clsidText);
}
std::wstring CategoryEntryKey(const Server& server) {
    return L"MediaFoundation\\Transforms\\Categories\\" + Bare(server.categoryText) + L"\\" +
           Bare(server.clsidText);
}

// How often MFTEnumEx lists the server's class under its category, with optional type filters.
int Listed(const Server& server, const MFT_REGISTER_TYPE_INFO* input, const MFT_REGISTER_TYPE_INFO* output) {
    IMFActivate** activates = nullptr;
    UINT32 count = 0;
    if (FAILED(MFTEnumEx(*server.category, MFT_ENUM_FLAG_ALL, input, output, &activates, &count))) return -1;
    int found = 0;
    for (UINT32 i = 0; i < count; ++i) {
        GUID clsid = GUID_NULL;
        if (SUCCEEDED(activates[i]->GetGUID(MFT_TRANSFORM_CLSID_Attribute, &clsid)) &&
            IsEqualGUID(clsid, *server.clsid))
            ++found;
        activates[i]->Release();
    }
    CoTaskMemFree(activates);
    return found;
}

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(PackageBin().empty()) << "TSR_PACKAGE_BIN is not set";
        ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        ASSERT_HRESULT_SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_FULL));
    }
    void TearDown() override {
        MFShutdown();
        CoUninitialize();
    }
};

using Registered = PackageTest;
using Unregistered = PackageTest;

} // namespace

TEST_F(Registered, ClassKeysNameThePackagedLibraries) {
    for (const Server& server : kServers) {
        SCOPED_TRACE(server.name);
        std::wstring text;
        ASSERT_TRUE(ReadString(ClassKey(server), nullptr, text));
        EXPECT_EQ(text, server.friendlyName);
        ASSERT_TRUE(ReadString(ClassKey(server) + L"\\InprocServer32", nullptr, text));
        EXPECT_TRUE(SameText(text, PackageBin() + L"\\" + server.fileName))
            << std::string(text.begin(), text.end());
        ASSERT_TRUE(ReadString(ClassKey(server) + L"\\InprocServer32", L"ThreadingModel", text));
        EXPECT_EQ(text, L"Both");
        // What MFTRegister writes: the transform with its name, and its place in the category.
        ASSERT_TRUE(ReadString(TransformKey(server), nullptr, text));
        EXPECT_EQ(text, server.friendlyName);
        EXPECT_TRUE(KeyExists(CategoryEntryKey(server)));
    }
}

TEST_F(Registered, MFTEnumExListsEachTransformInItsCategoryAndCoCreateInstanceLoadsThePackage) {
    for (const Server& server : kServers) {
        SCOPED_TRACE(server.name);
        EXPECT_EQ(Listed(server, nullptr, nullptr), 1);
        // No media types are registered: hosts learn them from the transform itself.
        const MFT_REGISTER_TYPE_INFO input = {MFMediaType_Video, server.input};
        const MFT_REGISTER_TYPE_INFO output = {MFMediaType_Video, server.output};
        EXPECT_EQ(Listed(server, &input, &output), 0);
        LPWSTR name = nullptr;
        UINT32 inputs = 99, outputs = 99;
        ASSERT_EQ(MFTGetInfo(*server.clsid, &name, nullptr, &inputs, nullptr, &outputs, nullptr), S_OK);
        EXPECT_EQ(std::wstring(name), server.friendlyName);
        EXPECT_EQ(inputs, 0u);
        EXPECT_EQ(outputs, 0u);
        CoTaskMemFree(name);

        ComPtr<IMFTransform> transform;
        ASSERT_EQ(CoCreateInstance(*server.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&transform)),
                  S_OK);
        HMODULE module = GetModuleHandleW(server.fileName);
        ASSERT_NE(module, nullptr);
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(module, path, MAX_PATH);
        EXPECT_TRUE(SameText(path, PackageBin() + L"\\" + server.fileName));
        // The types it offers are the ones the header names.
        ComPtr<IMFMediaType> offered;
        GUID subtype = GUID_NULL;
        ASSERT_EQ(transform->GetInputAvailableType(0, IsEqualGUID(server.input, MFVideoFormat_tsrn) ? 3 : 0,
                                                   &offered),
                  S_OK);
        ASSERT_EQ(offered->GetGUID(MF_MT_SUBTYPE, &subtype), S_OK);
        EXPECT_TRUE(IsEqualGUID(subtype, server.input));
    }
}

TEST_F(Unregistered, NoKeyEnumerationOrClassIsLeft) {
    for (const Server& server : kServers) {
        SCOPED_TRACE(server.name);
        EXPECT_FALSE(KeyExists(ClassKey(server)));
        EXPECT_FALSE(KeyExists(TransformKey(server)));
        EXPECT_FALSE(KeyExists(CategoryEntryKey(server)));
        EXPECT_EQ(Listed(server, nullptr, nullptr), 0);
        IMFTransform* transform = nullptr;
        EXPECT_EQ(CoCreateInstance(*server.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&transform)),
                  REGDB_E_CLASSNOTREG);
    }
}

namespace {

// Two frames of the encoder's scene, of one size (tsrmfhost negotiates once) with different
// Bayer patterns and moments.
int WriteFrames(const wchar_t* folder) {
    const struct {
        int width, height, pattern;
        double time;
    } frames[] = {{192, 128, 0, 0.0}, {192, 128, 3, 0.5}};
    int index = 0;
    for (const auto& frame : frames) {
        tsr::SceneSettings scene;
        scene.width = frame.width;
        scene.height = frame.height;
        tsr::EncoderSettings settings;
        settings.bayerPattern = frame.pattern;
        const std::vector<uint16_t> mosaic = tsr::RenderSceneMosaic(scene, settings.bayerPattern, frame.time);
        const std::vector<uint8_t> bytes =
            tsr::EncodeFrame(mosaic.data(), frame.width, frame.height, frame.width, settings);
        const std::wstring path = std::wstring(folder) + L"\\frame" + std::to_wstring(index++) + L".tsr";
        FILE* file = _wfopen(path.c_str(), L"wb");
        if (!file || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || fclose(file) != 0) {
            fwprintf(stderr, L"cannot write %ls\n", path.c_str());
            return 1;
        }
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"frames") return WriteFrames(argv[2]);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
