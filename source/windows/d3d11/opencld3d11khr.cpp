#include "opencld3d11khr.h"

#include "common/trace.h"
#include "engine/status.h"
#include "sharingtables.h"

#include <dxgi.h>
#include <wrl/client.h>

#include <vector>

namespace tsr {
namespace {

using Microsoft::WRL::ComPtr;

// Vendor id of the device's adapter.
HRESULT AdapterVendor(ID3D11Device* device, UINT& vendor) {
    ComPtr<IDXGIDevice> dxgiDevice;
    HRESULT hr = device->QueryInterface(IID_PPV_ARGS(&dxgiDevice));
    if (FAILED(hr)) {
        Trace(L"fail to get IDXGIDevice instance, hr=0x%08x\n", static_cast<unsigned>(hr));
        return hr;
    }
    ComPtr<IDXGIAdapter> adapter;
    hr = dxgiDevice->GetAdapter(&adapter);
    if (FAILED(hr)) {
        Trace(L"fail to get dxgi adapter, hr=0x%08x\n", static_cast<unsigned>(hr));
        return hr;
    }
    DXGI_ADAPTER_DESC description = {};
    hr = adapter->GetDesc(&description);
    if (FAILED(hr)) {
        Trace(L"fail to get adapter description, hr=0x%08x\n", static_cast<unsigned>(hr));
        return hr;
    }
    vendor = description.VendorId;
    return S_OK;
}

// The first platform, in enumeration order, with a GPU of the vendor; null when none.
cl_platform_id PlatformWithVendorGpu(const std::vector<cl_platform_id>& platforms, UINT vendor) {
    for (cl_platform_id platform : platforms) {
        cl_uint count = 0;
        cl_int error = clGetDeviceIDs(platform, CL_DEVICE_TYPE_GPU, 0, nullptr, &count);
        if (error != CL_SUCCESS) {
            Trace(L"fail to get device ID count, error=%d\n", error);
            continue;
        }
        if (count == 0) continue;
        std::vector<cl_device_id> devices(count);
        error = clGetDeviceIDs(platform, CL_DEVICE_TYPE_GPU, count, devices.data(), nullptr);
        if (error != CL_SUCCESS) {
            Trace(L"fail to get device IDs, error=%d\n", error);
            continue;
        }
        for (cl_device_id device : devices) {
            cl_uint deviceVendor = 0;
            error = clGetDeviceInfo(device, CL_DEVICE_VENDOR_ID, sizeof deviceVendor, &deviceVendor, nullptr);
            if (error != CL_SUCCESS) {
                Trace(L"fail to get device info, error=%d\n", error);
                continue;
            }
            if (deviceVendor == vendor) return platform;
        }
    }
    return nullptr;
}

std::vector<cl_platform_id> PlatformIds(HRESULT& status) {
    cl_uint platformCount = 0;
    cl_int error = clGetPlatformIDs(0, nullptr, &platformCount);
    if (error != CL_SUCCESS) {
        Trace(L"fail to get platform ID count, error=%d\n", error);
        status = E_FAIL;
        return {};
    }
    std::vector<cl_platform_id> platforms(platformCount);
    if (platformCount > 0) {
        error = clGetPlatformIDs(platformCount, platforms.data(), nullptr);
        if (error != CL_SUCCESS) {
            Trace(L"fail to get platform IDs, error=%d\n", error);
            status = E_FAIL;
            return {};
        }
    }
    return platforms;
}

// The four sharing entry points of the platform, by the names of the first sharing extension
// the platform lists.
HRESULT SharingFunctions(cl_platform_id platform, void* (&functions)[4]) {
    size_t extensionsSize = 0;
    cl_int error = clGetPlatformInfo(platform, CL_PLATFORM_EXTENSIONS, 0, nullptr, &extensionsSize);
    std::string extensions(extensionsSize, '\0');
    if (error == CL_SUCCESS)
        error =
            clGetPlatformInfo(platform, CL_PLATFORM_EXTENSIONS, extensionsSize, extensions.data(), nullptr);
    if (error != CL_SUCCESS) {
        Trace(L"fail to get platform info with extensions, error=%d\n", error);
        return E_FAIL;
    }
    extensions.resize(extensions.find('\0') == std::string::npos ? extensions.size() : extensions.find('\0'));

    const SharingFunctionNames* names = nullptr;
    for (const auto& table : SharingTables()) {
        if (extensions.find(table.first) != std::string::npos) {
            names = &table.second;
            break;
        }
    }
    if (!names) {
        Trace(L"fail to find d3d11 share extensions\n");
        return E_UNEXPECTED;
    }

    for (int index = 0; index < 4; ++index)
        functions[index] = clGetExtensionFunctionAddressForPlatform(platform, (*names)[index]);
    if (!functions[0] || !functions[1] || !functions[2] || !functions[3]) {
        Trace(L"fail to get d3d11 sharing function pointers , error=%d\n", CL_SUCCESS);
        return E_FAIL;
    }
    return S_OK;
}

// A context on the device's preferred OpenCL device for sharing, or else on any device it
// shares with.
HRESULT CreateSharingContext(cl_platform_id platform, ID3D11Device* device,
                             clGetDeviceIDsFromD3D11KHR_fn getDevices, cl_device_id& found,
                             cl_context& context) {
    // One context attempt with the devices of a given set.
    const auto attempt = [&](cl_d3d11_device_set_khr deviceSet) -> cl_int {
        cl_uint count = 0;
        found = nullptr;
        const cl_int result = getDevices(platform, CL_D3D11_DEVICE_KHR, device, deviceSet, 1, &found, &count);
        if (result != CL_SUCCESS) return result;
        if (count == 0) return kStatusNoSharingDevice;
        const cl_context_properties properties[] = {
            CL_CONTEXT_PLATFORM, reinterpret_cast<cl_context_properties>(platform),
            CL_CONTEXT_D3D11_DEVICE_KHR, reinterpret_cast<cl_context_properties>(device), 0};
        cl_int created = CL_SUCCESS;
        context = clCreateContext(properties, 1, &found, nullptr, nullptr, &created);
        return created;
    };
    cl_int result = attempt(CL_PREFERRED_DEVICES_FOR_D3D11_KHR);
    if (result != CL_SUCCESS) result = attempt(CL_ALL_DEVICES_FOR_D3D11_KHR);
    if (result != CL_SUCCESS) {
        if (context) clReleaseContext(context);
        context = nullptr;
        Trace(L"fail to create context, error=%d\n", result);
        return E_FAIL;
    }
    return S_OK;
}

} // namespace

OpenCLD3D11KHR::OpenCLD3D11KHR(ID3D11Device* device, HRESULT* status) {
    UINT vendor = 0;
    *status = AdapterVendor(device, vendor);
    if (FAILED(*status)) return;
    const std::vector<cl_platform_id> platforms = PlatformIds(*status);
    if (FAILED(*status)) return;
    const cl_platform_id platform = PlatformWithVendorGpu(platforms, vendor);
    if (!platform) {
        Trace(L"fail to find valid platform id for device with vendor id=0x08%x\n", vendor);
        *status = E_UNEXPECTED;
        return;
    }
    void* functions[4] = {};
    *status = SharingFunctions(platform, functions);
    if (FAILED(*status)) return;
    cl_device_id found = nullptr;
    cl_context context = nullptr;
    *status = CreateSharingContext(
        platform, device, reinterpret_cast<clGetDeviceIDsFromD3D11KHR_fn>(functions[kGetDeviceIDsFromD3D11]),
        found, context);
    if (FAILED(*status)) return;

    m_device = found;
    m_context = context;
    m_createFromTexture2D =
        reinterpret_cast<clCreateFromD3D11Texture2DKHR_fn>(functions[kCreateFromD3D11Texture2D]);
    m_enqueueAcquire =
        reinterpret_cast<clEnqueueAcquireD3D11ObjectsKHR_fn>(functions[kEnqueueAcquireD3D11Objects]);
    m_enqueueRelease =
        reinterpret_cast<clEnqueueReleaseD3D11ObjectsKHR_fn>(functions[kEnqueueReleaseD3D11Objects]);
    cl_int error = CL_SUCCESS;
    m_queue = clCreateCommandQueue(m_context, m_device, 0, &error);
    if (error != CL_SUCCESS || !m_queue) {
        Trace(L"fail to create command queue, error=%d\n", error);
        m_queue = nullptr;
        *status = E_FAIL;
    }
}

OpenCLD3D11KHR::~OpenCLD3D11KHR() {
    if (m_context) clReleaseContext(m_context);
    if (m_queue) clReleaseCommandQueue(m_queue);
}

} // namespace tsr
