// The COM server layer of TsrRawDecoder.dll, through its exports as COM calls them.
#include "comsession.h"
#include "serverlibrary.h"
#include "windows/common/tesselrawguids.h"

#include <mfapi.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;
using tsr::CLSID_TesselRAWDebayer;
using tsr::CLSID_TesselRAWDecoder;

namespace {

// A stand-in outer object for aggregation requests; only its address matters.
IUnknown* FakeOuter() {
    static IUnknown* const outer = reinterpret_cast<IUnknown*>(static_cast<std::uintptr_t>(0x1000));
    return outer;
}

std::vector<std::string> ExportedNames(HMODULE module) {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::vector<std::string> result;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        result.emplace_back(reinterpret_cast<const char*>(base + names[i]));
    return result;
}

std::vector<std::string> ImportedLibraries(HMODULE module) {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::vector<std::string> result;
    for (const auto* entry =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         entry->Name != 0; ++entry) {
        std::string name(reinterpret_cast<const char*>(base + entry->Name));
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        result.push_back(name);
    }
    return result;
}

} // namespace

class DecoderServerTest : public MediaFoundationTest {
protected:
    void SetUp() override {
        MediaFoundationTest::SetUp();
        ASSERT_TRUE(m_library.Loaded());
        ASSERT_EQ(m_library.CanUnloadNow(), S_OK);
    }
    void TearDown() override {
        EXPECT_EQ(m_library.CanUnloadNow(), S_OK) << "an object or a server lock is still alive";
        MediaFoundationTest::TearDown();
    }

    ComPtr<IClassFactory> Factory() {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(m_library.GetClassObject(CLSID_TesselRAWDecoder, IID_IClassFactory,
                                           reinterpret_cast<void**>(factory.GetAddressOf())),
                  S_OK);
        return factory;
    }

    ServerLibrary m_library{L"TsrRawDecoder.dll"};
};

TEST_F(DecoderServerTest, ExportsExactlyTheFourServerFunctionsAndImportsOnlySystemLibraries) {
    std::vector<std::string> names = ExportedNames(m_library.Module());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                               "DllUnregisterServer"}));

    for (const std::string& library : ImportedLibraries(m_library.Module())) {
        EXPECT_EQ(library.rfind("lib", 0), std::string::npos) << "runtime library imported: " << library;
        EXPECT_EQ(library.find("pthread"), std::string::npos) << library;
    }
}

TEST_F(DecoderServerTest, GetClassObjectServesOnlyTheDecoderClass) {
    void* result = reinterpret_cast<void*>(1);
    EXPECT_EQ(m_library.GetClassObject(CLSID_TesselRAWDebayer, IID_IClassFactory, &result),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(m_library.GetClassObject(GUID_NULL, IID_IClassFactory, &result), CLASS_E_CLASSNOTAVAILABLE);

    // The factory answers for IUnknown and IClassFactory only.
    EXPECT_EQ(m_library.GetClassObject(CLSID_TesselRAWDecoder, IID_IMFTransform, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(m_library.GetClassObject(CLSID_TesselRAWDecoder, IID_IClassFactory, nullptr), E_POINTER);

    IUnknown* unknown = nullptr;
    ASSERT_EQ(
        m_library.GetClassObject(CLSID_TesselRAWDecoder, IID_IUnknown, reinterpret_cast<void**>(&unknown)),
        S_OK);
    EXPECT_EQ(unknown->Release(), 0u);
}

TEST_F(DecoderServerTest, FactoryIsHandedOutWithOneReference) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(m_library.GetClassObject(CLSID_TesselRAWDecoder, IID_IClassFactory,
                                       reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(factory->AddRef(), 2u);
    EXPECT_EQ(factory->Release(), 1u);

    IUnknown* unknown = nullptr;
    ASSERT_EQ(factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown, static_cast<IUnknown*>(factory));
    EXPECT_EQ(unknown->Release(), 1u);
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->QueryInterface(IID_IMFTransform, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

    // A factory alone does not keep the library loaded.
    EXPECT_EQ(m_library.CanUnloadNow(), S_OK);
    EXPECT_EQ(factory->Release(), 0u);
}

TEST_F(DecoderServerTest, CreateInstanceRefusesAggregationAndBadArguments) {
    ComPtr<IClassFactory> classFactory = Factory();
    ASSERT_TRUE(classFactory);

    // With an outer object only IUnknown reaches the creation function, which refuses to aggregate.
    void* result = reinterpret_cast<void*>(1);
    EXPECT_EQ(classFactory->CreateInstance(FakeOuter(), IID_IUnknown, &result), CLASS_E_NOAGGREGATION);
    result = reinterpret_cast<void*>(1);
    EXPECT_EQ(classFactory->CreateInstance(FakeOuter(), IID_IMFTransform, &result), E_NOINTERFACE);
    EXPECT_EQ(result, reinterpret_cast<void*>(1)); // left untouched

    EXPECT_EQ(classFactory->CreateInstance(nullptr, IID_IMFTransform, nullptr), E_POINTER);

    // An interface the transform does not have: the half-made object is destroyed again.
    result = reinterpret_cast<void*>(1);
    EXPECT_EQ(classFactory->CreateInstance(nullptr, IID_IClassFactory, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(m_library.CanUnloadNow(), S_OK);
}

TEST_F(DecoderServerTest, TransformAnswersForItsTwoInterfacesWithOneIdentity) {
    ComPtr<IMFTransform> transform;
    ASSERT_EQ(m_library.CreateInstance(CLSID_TesselRAWDecoder, transform), S_OK);

    IUnknown* unknown = nullptr;
    ASSERT_EQ(transform->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    IMFTransform* again = nullptr;
    ASSERT_EQ(transform->QueryInterface(IID_IMFTransform, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(unknown, static_cast<IUnknown*>(transform.Get()));
    EXPECT_EQ(again, transform.Get());
    EXPECT_EQ(unknown->Release(), 2u);
    EXPECT_EQ(again->Release(), 1u);

    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(transform->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(transform->QueryInterface(IID_IMFTransform, nullptr), E_POINTER);

    // The host receives the only reference.
    EXPECT_EQ(transform->AddRef(), 2u);
    EXPECT_EQ(transform->Release(), 1u);
    EXPECT_EQ(transform.Detach()->Release(), 0u);
}

TEST_F(DecoderServerTest, CanUnloadNowFollowsLiveObjectsAndServerLocks) {
    ComPtr<IClassFactory> classFactory = Factory();
    ASSERT_TRUE(classFactory);
    IMFTransform* first = nullptr;
    IMFTransform* second = nullptr;
    ASSERT_EQ(classFactory->CreateInstance(nullptr, IID_IMFTransform, reinterpret_cast<void**>(&first)),
              S_OK);
    ASSERT_EQ(classFactory->CreateInstance(nullptr, IID_IMFTransform, reinterpret_cast<void**>(&second)),
              S_OK);
    EXPECT_EQ(m_library.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(first->Release(), 0u);
    EXPECT_EQ(m_library.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(second->Release(), 0u);
    EXPECT_EQ(m_library.CanUnloadNow(), S_OK);

    EXPECT_EQ(classFactory->LockServer(TRUE), S_OK);
    EXPECT_EQ(classFactory->LockServer(TRUE), S_OK);
    EXPECT_EQ(m_library.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(classFactory->LockServer(FALSE), S_OK);
    EXPECT_EQ(m_library.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(classFactory->LockServer(FALSE), S_OK);
    EXPECT_EQ(m_library.CanUnloadNow(), S_OK);
}

TEST(DecoderLibrary, LoadsAndUnloadsRepeatedlyWithTransformsMadeInBetween) {
    ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    for (int round = 0; round < 3; ++round) {
        ServerLibrary library(L"TsrRawDecoder.dll");
        ASSERT_TRUE(library.Loaded());
        ComPtr<IMFTransform> transform;
        ASSERT_EQ(library.CreateInstance(CLSID_TesselRAWDecoder, transform), S_OK);
        EXPECT_EQ(transform.Detach()->Release(), 0u);
        EXPECT_EQ(library.CanUnloadNow(), S_OK);
    } // FreeLibrary while the decoder's worker threads are gone
    CoUninitialize();
}
