#include "comsession.h"
#include "d3d11device.h"
#include "windows/common/dxgimanagerlock.h"

#include <mfapi.h>

#include <atomic>
#include <chrono>
#include <thread>

using Microsoft::WRL::ComPtr;
using tsr::com::DXGIManagerLock;

class DXGIManagerLockTest : public MediaFoundationTest {};

namespace {
ULONG ReferenceCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}
} // namespace

TEST_F(DXGIManagerLockTest, NullManagerReportsEPointerAndLocksNothing) {
    HRESULT hr = S_OK;
    {
        DXGIManagerLock lock(nullptr, &hr);
        EXPECT_EQ(hr, E_POINTER);
        EXPECT_EQ(lock.Device(), nullptr);
    } // destruction unlocks nothing
}

TEST_F(DXGIManagerLockTest, ManagerWithoutDeviceReportsItsFailure) {
    UINT token = 0;
    ComPtr<IMFDXGIDeviceManager> manager;
    ASSERT_HRESULT_SUCCEEDED(MFCreateDXGIDeviceManager(&token, &manager));
    HRESULT hr = S_OK;
    DXGIManagerLock lock(manager.Get(), &hr);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(lock.Device(), nullptr);
}

TEST_F(DXGIManagerLockTest, LocksTheManagersDeviceAndMakesASecondLockWait) {
    ComPtr<ID3D11Device> device = CreateTestDevice();
    if (!device) GTEST_SKIP() << "no Direct3D 11 device";
    UINT token = 0;
    ComPtr<IMFDXGIDeviceManager> manager;
    ASSERT_HRESULT_SUCCEEDED(MFCreateDXGIDeviceManager(&token, &manager));
    ASSERT_HRESULT_SUCCEEDED(manager->ResetDevice(device.Get(), token));

    const ULONG deviceReferences = ReferenceCount(device.Get());
    const ULONG managerReferences = ReferenceCount(manager.Get());
    std::atomic<bool> secondLocked{false};
    std::thread second;
    {
        HRESULT hr = E_FAIL;
        DXGIManagerLock lock(manager.Get(), &hr);
        ASSERT_EQ(hr, S_OK);
        EXPECT_EQ(lock.Device(), device.Get());

        second = std::thread([&] {
            HRESULT secondHr = E_FAIL;
            DXGIManagerLock waiting(manager.Get(), &secondHr);
            secondLocked = SUCCEEDED(secondHr) && waiting.Device() == device.Get();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_FALSE(secondLocked.load()); // still waiting for the first lock
    }
    second.join();
    EXPECT_TRUE(secondLocked.load());

    // Every lock gave its device and manager references back.
    EXPECT_EQ(ReferenceCount(device.Get()), deviceReferences);
    EXPECT_EQ(ReferenceCount(manager.Get()), managerReferences);
}
