// The version resources of the shipped files, read back the way Explorer and installers read
// them: GetFileVersionInfo and VerQueryValue. The files beside the test program, or those of the
// folder TSR_PACKAGE_BIN names (the package test runs it on the unpacked, stripped files).
#include "serverlibrary.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

struct VersionResource {
    std::vector<BYTE> data;

    bool Load(const std::wstring& path) {
        DWORD handle = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
        if (size == 0) return false;
        data.assign(size, 0);
        return GetFileVersionInfoW(path.c_str(), 0, size, data.data()) != 0;
    }

    // A string of the US English, Unicode string table; empty when absent.
    std::wstring Text(const wchar_t* name) {
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        void* value = nullptr;
        UINT chars = 0;
        if (!VerQueryValueW(data.data(), query.c_str(), &value, &chars) || !value) return {};
        return static_cast<const wchar_t*>(value);
    }

    const VS_FIXEDFILEINFO* Fixed() {
        void* value = nullptr;
        UINT bytes = 0;
        if (!VerQueryValueW(data.data(), L"\\", &value, &bytes) || bytes < sizeof(VS_FIXEDFILEINFO))
            return nullptr;
        return static_cast<const VS_FIXEDFILEINFO*>(value);
    }
};

std::wstring ShippedFolder() {
    const wchar_t* folder = _wgetenv(L"TSR_PACKAGE_BIN");
    return folder ? std::wstring(folder) + L"\\" : ProgramFolder();
}

std::wstring Widen(const char* text) {
    return std::wstring(text, text + strlen(text));
}

} // namespace

TEST(VersionResource, EveryShippedFileNamesTheProductItsPurposeAndTheProjectVersion) {
    const struct {
        const wchar_t* file;
        const wchar_t* description;
        DWORD type;
    } files[] = {
        {L"TsrRawDecoder.dll", L"Tessel RAW decoder transform (Media Foundation)", VFT_DLL},
        {L"TsrRawDebayer.dll", L"Tessel RAW debayer transform (Media Foundation, OpenCL)", VFT_DLL},
        {L"tsrmfhost.exe", L"Tessel RAW sample Media Foundation host", VFT_APP},
    };
    const std::wstring version = Widen(TSR_PROJECT_VERSION);
    for (const auto& file : files) {
        SCOPED_TRACE(std::string(file.file, file.file + wcslen(file.file)));
        VersionResource resource;
        ASSERT_TRUE(resource.Load(ShippedFolder() + file.file));
        EXPECT_EQ(resource.Text(L"ProductName"), L"Tessel RAW tools");
        EXPECT_EQ(resource.Text(L"FileDescription"), file.description);
        EXPECT_EQ(resource.Text(L"FileVersion"), version);
        EXPECT_EQ(resource.Text(L"ProductVersion"), version);
        EXPECT_EQ(resource.Text(L"OriginalFilename"), file.file);

        const VS_FIXEDFILEINFO* fixed = resource.Fixed();
        ASSERT_NE(fixed, nullptr);
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed->dwFileType, file.type);
        const DWORD high = MAKELONG(TSR_PROJECT_VERSION_MINOR, TSR_PROJECT_VERSION_MAJOR);
        const DWORD low = MAKELONG(0, TSR_PROJECT_VERSION_PATCH);
        EXPECT_EQ(fixed->dwFileVersionMS, high);
        EXPECT_EQ(fixed->dwFileVersionLS, low);
        EXPECT_EQ(fixed->dwProductVersionMS, high);
        EXPECT_EQ(fixed->dwProductVersionLS, low);
    }
}
