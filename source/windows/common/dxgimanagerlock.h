// Holds the Direct3D 11 device of a DXGI device manager locked for the length of a scope. A second
// lock on the same manager, from any thread, waits until the first is gone.
#pragma once

#include <d3d11.h>
#include <mfobjects.h>
#include <windows.h>

#include <functional>

namespace tsr::com {

class DXGIManagerLock {
public:
    // Reports E_POINTER for a null manager, or the manager's failure to open a handle or lock the
    // device; the lock then holds nothing.
    DXGIManagerLock(IMFDXGIDeviceManager* manager, HRESULT* hr);
    ~DXGIManagerLock();
    DXGIManagerLock(const DXGIManagerLock&) = delete;
    DXGIManagerLock& operator=(const DXGIManagerLock&) = delete;

    ID3D11Device* Device() const { return m_device; }

private:
    ID3D11Device* m_device = nullptr;
    std::function<void()> m_unlock;
};

} // namespace tsr::com
