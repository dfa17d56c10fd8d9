// The COM layer shared by both transform libraries: module state, object bases, the class factory
// and the class table each library provides. The four DLL exports live in classfactory.cpp.
#pragma once

#include <unknwn.h>
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

namespace tsr::com {

// Creates an object of a served class: outer unknown, interface id, result.
using CreateInstanceFunction = HRESULT (*)(IUnknown* outer, REFIID iid, void** result);

struct ClassTableEntry {
    const CLSID* clsid;
    CreateInstanceFunction create;
};

// Each library defines its table of served classes.
extern const ClassTableEntry g_classTable[];
extern const std::size_t g_classTableSize;

// Module handle stored at process attach (null before).
HMODULE ModuleHandle();

// Number of live objects plus server locks; the library may be unloaded only while it is 0.
long LiveObjectCount();

// Counts the object as live from construction to destruction.
class BaseObject {
protected:
    BaseObject();
    virtual ~BaseObject();
    BaseObject(const BaseObject&) = delete;
    BaseObject& operator=(const BaseObject&) = delete;
};

// Reference count of a COM object; the last release deletes the whole object.
class RefCountedObject {
protected:
    RefCountedObject() = default;
    virtual ~RefCountedObject();
    RefCountedObject(const RefCountedObject&) = delete;
    RefCountedObject& operator=(const RefCountedObject&) = delete;

    ULONG AddReference();
    ULONG ReleaseReference();

    std::atomic<std::int32_t> m_refCount{0};
};

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreateInstanceFunction create) : m_create(create) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** result) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** result) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    ~ClassFactory() = default;

    std::atomic<std::int32_t> m_refCount{1};
    CreateInstanceFunction m_create;
};

// Creation function of a transform class T, whose constructor reports an HRESULT through its
// argument. The object is born with no reference; the caller receives the one QueryInterface adds.
template <typename T> HRESULT CreateObject(IUnknown* outer, REFIID iid, void** result) {
    if (outer) return CLASS_E_NOAGGREGATION;
    if (!result) return E_POINTER;
    HRESULT hr = S_OK;
    T* object = nullptr;
    try {
        object = new T(&hr);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    object->AddRef();
    if (SUCCEEDED(hr)) hr = object->QueryInterface(iid, result);
    object->Release();
    return hr;
}

} // namespace tsr::com
