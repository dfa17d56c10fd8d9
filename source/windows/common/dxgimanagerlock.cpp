#include "dxgimanagerlock.h"

#include "invariant.h"

#include <mfapi.h>

#include <new>

namespace tsr::com {
namespace {
constexpr wchar_t kSourceName[] = L"source/windows/common/dxgimanagerlock.cpp";
}

DXGIManagerLock::DXGIManagerLock(IMFDXGIDeviceManager* manager, HRESULT* hr) {
    *hr = S_OK;
    if (!manager) {
        *hr = E_POINTER;
        return;
    }
    HANDLE handle = nullptr;
    *hr = manager->OpenDeviceHandle(&handle);
    if (FAILED(*hr)) return;
    *hr = manager->LockDevice(handle, IID_ID3D11Device, reinterpret_cast<void**>(&m_device), TRUE);
    if (FAILED(*hr)) {
        m_device = nullptr;
        manager->CloseDeviceHandle(handle);
        return;
    }
    try {
        m_unlock = [this, manager, handle]() {
            m_device->Release();
            m_device = nullptr;
            const HRESULT unlocked = manager->UnlockDevice(handle, FALSE);
            TSR_INVARIANT(SUCCEEDED(unlocked), kSourceName);
            // Each lock opens its own handle; close it so that handles do not pile up per frame.
            manager->CloseDeviceHandle(handle);
            manager->Release();
        };
    } catch (const std::bad_alloc&) {
        m_device->Release();
        m_device = nullptr;
        manager->UnlockDevice(handle, FALSE);
        manager->CloseDeviceHandle(handle);
        *hr = E_OUTOFMEMORY;
        return;
    }
    manager->AddRef();
}

DXGIManagerLock::~DXGIManagerLock() {
    if (m_unlock) m_unlock();
}

} // namespace tsr::com
