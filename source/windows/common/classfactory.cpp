#include "classfactory.h"

#include "invariant.h"
#include "registration.h"

#include <shlwapi.h>

namespace tsr::com {
namespace {

constexpr wchar_t kSourceName[] = L"source/windows/common/classfactory.cpp";

HMODULE g_module = nullptr;
std::atomic<long> g_liveObjects{0};

} // namespace

HMODULE ModuleHandle() {
    return g_module;
}

long LiveObjectCount() {
    return g_liveObjects.load();
}

BaseObject::BaseObject() {
    ++g_liveObjects;
}

BaseObject::~BaseObject() {
    --g_liveObjects;
}

RefCountedObject::~RefCountedObject() {
    TSR_INVARIANT(m_refCount == 0, kSourceName);
}

ULONG RefCountedObject::AddReference() {
    return static_cast<ULONG>(++m_refCount);
}

ULONG RefCountedObject::ReleaseReference() {
    TSR_INVARIANT(m_refCount > 0, kSourceName);
    const std::int32_t remaining = --m_refCount;
    if (remaining == 0) delete this;
    return static_cast<ULONG>(remaining);
}

STDMETHODIMP ClassFactory::QueryInterface(REFIID iid, void** result) {
    static const QITAB interfaces[] = {
        QITABENT(ClassFactory, IClassFactory),
        {nullptr, 0},
    };
    return QISearch(this, interfaces, iid, result);
}

STDMETHODIMP_(ULONG) ClassFactory::AddRef() {
    return static_cast<ULONG>(++m_refCount);
}

STDMETHODIMP_(ULONG) ClassFactory::Release() {
    TSR_INVARIANT(m_refCount >= 0, kSourceName);
    const std::int32_t remaining = --m_refCount;
    if (remaining == 0) delete this;
    return static_cast<ULONG>(remaining);
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** result) {
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
    return m_create(outer, iid, result);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
    if (lock)
        ++g_liveObjects;
    else
        --g_liveObjects;
    return S_OK;
}

} // namespace tsr::com

using tsr::com::ClassFactory;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) tsr::com::g_module = instance;
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** result) {
    for (std::size_t i = 0; i < tsr::com::g_classTableSize; ++i) {
        const tsr::com::ClassTableEntry& entry = tsr::com::g_classTable[i];
        if (!IsEqualCLSID(clsid, *entry.clsid)) continue;
        ClassFactory* factory = new (std::nothrow) ClassFactory(entry.create);
        if (!factory) return E_OUTOFMEMORY;
        const HRESULT hr = factory->QueryInterface(iid, result);
        factory->Release();
        return hr;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() {
    return tsr::com::LiveObjectCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    return tsr::com::RegisterServer(tsr::com::g_serverRegistration);
}

STDAPI DllUnregisterServer() {
    return tsr::com::UnregisterServer(tsr::com::g_serverRegistration);
}
