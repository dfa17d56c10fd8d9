// A test double of an OpenCL driver with Direct3D 11 sharing, which no driver here offers. It is
// an OpenCL.dll that sits beside the test program, forwards to the real OpenCL (Wine's, on PoCL)
// and adds cl_khr_d3d11_sharing (and, on request, cl_nv_d3d11_sharing): its devices report as GPUs
// of the Direct3D adapter's vendor, and shared images are copied from their texture on acquire and
// back to it on release.
//
// Switches, read from the environment on every call:
//   TSR_SHARING_EXTENSIONS  "khr" (default), "nv", "both" or "none"
//   TSR_SHARING_VENDOR      vendor id (hex) the devices report; default: the first adapter's
//   TSR_SHARING_PREFERRED   "0": the preferred-devices query finds no device
#include "realopencl.h"
#include "sharingstatistics.h"

#include <CL/cl_d3d11.h>
#include <d3d11.h>
#include <dxgi.h>
#include <wrl/client.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

std::mutex g_mutex;
SharingDriverStatistics g_statistics = {};

struct SharedImage {
    ComPtr<ID3D11Texture2D> texture;
    size_t width = 0;
    size_t height = 0;
    size_t pixelBytes = 0;
    bool acquired = false;
};
std::map<cl_mem, SharedImage> g_images;

std::string Setting(const char* name) {
    char value[64] = {};
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value) : std::string();
}

cl_uint AdapterVendor() {
    const std::string forced = Setting("TSR_SHARING_VENDOR");
    if (!forced.empty()) return static_cast<cl_uint>(std::strtoul(forced.c_str(), nullptr, 16));
    ComPtr<IDXGIFactory1> factory;
    ComPtr<IDXGIAdapter1> adapter;
    DXGI_ADAPTER_DESC1 description = {};
    if (FAILED(CreateDXGIFactory1(IID_PPV_ARGS(&factory))) || FAILED(factory->EnumAdapters1(0, &adapter)) ||
        FAILED(adapter->GetDesc1(&description)))
        return 0;
    return description.VendorId;
}

bool FormatOf(DXGI_FORMAT format, cl_image_format& image, size_t& pixelBytes) {
    switch (format) {
    case DXGI_FORMAT_R16G16B16A16_FLOAT:
        image = {CL_RGBA, CL_HALF_FLOAT};
        pixelBytes = 8;
        return true;
    case DXGI_FORMAT_R32G32B32A32_FLOAT:
        image = {CL_RGBA, CL_FLOAT};
        pixelBytes = 16;
        return true;
    case DXGI_FORMAT_R16_UINT:
        image = {CL_R, CL_UNSIGNED_INT16};
        pixelBytes = 2;
        return true;
    case DXGI_FORMAT_R16_UNORM:
        image = {CL_R, CL_UNORM_INT16};
        pixelBytes = 2;
        return true;
    default:
        return false;
    }
}

cl_int CL_API_CALL GetDeviceIDsFromD3D11(cl_platform_id platform, cl_d3d11_device_source_khr, void*,
                                         cl_d3d11_device_set_khr set, cl_uint entries, cl_device_id* devices,
                                         cl_uint* count) {
    {
        std::lock_guard<std::mutex> hold(g_mutex);
        if (set == CL_PREFERRED_DEVICES_FOR_D3D11_KHR) ++g_statistics.preferredDeviceQueries;
        if (set == CL_ALL_DEVICES_FOR_D3D11_KHR) ++g_statistics.allDeviceQueries;
    }
    if (set == CL_PREFERRED_DEVICES_FOR_D3D11_KHR && Setting("TSR_SHARING_PREFERRED") == "0") {
        if (count) *count = 0;
        return CL_SUCCESS;
    }
    static const auto real = RealEntry<decltype(&clGetDeviceIDs)>("clGetDeviceIDs");
    return real(platform, CL_DEVICE_TYPE_ALL, entries, devices, count);
}

cl_mem CL_API_CALL CreateFromD3D11Texture2D(cl_context context, cl_mem_flags flags, ID3D11Texture2D* texture,
                                            UINT subresource, cl_int* error) {
    D3D11_TEXTURE2D_DESC description = {};
    if (!texture || subresource != 0) {
        if (error) *error = CL_INVALID_D3D11_RESOURCE_KHR;
        return nullptr;
    }
    texture->GetDesc(&description);
    cl_image_format format = {};
    SharedImage shared;
    if (!FormatOf(description.Format, format, shared.pixelBytes)) {
        if (error) *error = CL_INVALID_IMAGE_FORMAT_DESCRIPTOR;
        return nullptr;
    }
    cl_image_desc image = {};
    image.image_type = CL_MEM_OBJECT_IMAGE2D;
    image.image_width = description.Width;
    image.image_height = description.Height;
    static const auto create = RealEntry<decltype(&clCreateImage)>("clCreateImage");
    cl_mem created = create(context, flags, &format, &image, nullptr, error);
    if (!created) return nullptr;
    shared.texture = texture;
    shared.width = description.Width;
    shared.height = description.Height;
    std::lock_guard<std::mutex> hold(g_mutex);
    g_images[created] = shared;
    ++g_statistics.imagesFromTextures;
    ++g_statistics.liveImagesFromTextures;
    return created;
}

// Texture contents through a staging copy, rows packed.
std::vector<uint8_t> ReadTexture(const SharedImage& shared) {
    ComPtr<ID3D11Device> device;
    shared.texture->GetDevice(&device);
    ComPtr<ID3D11DeviceContext> immediate;
    device->GetImmediateContext(&immediate);
    D3D11_TEXTURE2D_DESC description = {};
    shared.texture->GetDesc(&description);
    description.Usage = D3D11_USAGE_STAGING;
    description.BindFlags = 0;
    description.MiscFlags = 0;
    description.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    ComPtr<ID3D11Texture2D> staging;
    std::vector<uint8_t> bytes(shared.width * shared.height * shared.pixelBytes);
    if (FAILED(device->CreateTexture2D(&description, nullptr, &staging))) return bytes;
    immediate->CopyResource(staging.Get(), shared.texture.Get());
    D3D11_MAPPED_SUBRESOURCE mapped = {};
    if (SUCCEEDED(immediate->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &mapped))) {
        const size_t row = shared.width * shared.pixelBytes;
        for (size_t y = 0; y < shared.height; ++y)
            std::memcpy(bytes.data() + y * row,
                        static_cast<const uint8_t*>(mapped.pData) + y * mapped.RowPitch, row);
        immediate->Unmap(staging.Get(), 0);
    }
    return bytes;
}

void WriteTexture(const SharedImage& shared, const std::vector<uint8_t>& bytes) {
    ComPtr<ID3D11Device> device;
    shared.texture->GetDevice(&device);
    ComPtr<ID3D11DeviceContext> immediate;
    device->GetImmediateContext(&immediate);
    immediate->UpdateSubresource(shared.texture.Get(), 0, nullptr, bytes.data(),
                                 static_cast<UINT>(shared.width * shared.pixelBytes), 0);
}

cl_int CL_API_CALL EnqueueAcquire(cl_command_queue queue, cl_uint count, const cl_mem* objects, cl_uint,
                                  const cl_event*, cl_event*) {
    static const auto write = RealEntry<decltype(&clEnqueueWriteImage)>("clEnqueueWriteImage");
    for (cl_uint i = 0; i < count; ++i) {
        SharedImage shared;
        {
            std::lock_guard<std::mutex> hold(g_mutex);
            auto found = g_images.find(objects[i]);
            if (found == g_images.end()) return CL_INVALID_MEM_OBJECT;
            if (found->second.acquired) {
                ++g_statistics.pairingErrors;
                return CL_D3D11_RESOURCE_ALREADY_ACQUIRED_KHR;
            }
            found->second.acquired = true;
            ++g_statistics.acquires;
            shared = found->second;
        }
        const std::vector<uint8_t> bytes = ReadTexture(shared);
        const size_t origin[3] = {0, 0, 0};
        const size_t region[3] = {shared.width, shared.height, 1};
        const cl_int error = write(queue, objects[i], CL_TRUE, origin, region,
                                   shared.width * shared.pixelBytes, 0, bytes.data(), 0, nullptr, nullptr);
        if (error != CL_SUCCESS) return error;
    }
    return CL_SUCCESS;
}

cl_int CL_API_CALL EnqueueRelease(cl_command_queue queue, cl_uint count, const cl_mem* objects, cl_uint,
                                  const cl_event*, cl_event*) {
    static const auto read = RealEntry<decltype(&clEnqueueReadImage)>("clEnqueueReadImage");
    for (cl_uint i = 0; i < count; ++i) {
        SharedImage shared;
        {
            std::lock_guard<std::mutex> hold(g_mutex);
            auto found = g_images.find(objects[i]);
            if (found == g_images.end()) return CL_INVALID_MEM_OBJECT;
            if (!found->second.acquired) {
                ++g_statistics.pairingErrors;
                return CL_D3D11_RESOURCE_NOT_ACQUIRED_KHR;
            }
            found->second.acquired = false;
            ++g_statistics.releases;
            shared = found->second;
        }
        // The blocking read waits for the kernels enqueued before it.
        std::vector<uint8_t> bytes(shared.width * shared.height * shared.pixelBytes);
        const size_t origin[3] = {0, 0, 0};
        const size_t region[3] = {shared.width, shared.height, 1};
        const cl_int error = read(queue, objects[i], CL_TRUE, origin, region,
                                  shared.width * shared.pixelBytes, 0, bytes.data(), 0, nullptr, nullptr);
        if (error != CL_SUCCESS) return error;
        WriteTexture(shared, bytes);
    }
    return CL_SUCCESS;
}

struct SharingName {
    const char* name;
    void* function;
    bool nv;
};
const SharingName kSharingNames[] = {
    {"clGetDeviceIDsFromD3D11KHR", reinterpret_cast<void*>(&GetDeviceIDsFromD3D11), false},
    {"clCreateFromD3D11Texture2DKHR", reinterpret_cast<void*>(&CreateFromD3D11Texture2D), false},
    {"clEnqueueAcquireD3D11ObjectsKHR", reinterpret_cast<void*>(&EnqueueAcquire), false},
    {"clEnqueueReleaseD3D11ObjectsKHR", reinterpret_cast<void*>(&EnqueueRelease), false},
    {"clGetDeviceIDsFromD3D11NV", reinterpret_cast<void*>(&GetDeviceIDsFromD3D11), true},
    {"clCreateFromD3D11Texture2DNV", reinterpret_cast<void*>(&CreateFromD3D11Texture2D), true},
    {"clEnqueueAcquireD3D11ObjectsNV", reinterpret_cast<void*>(&EnqueueAcquire), true},
    {"clEnqueueReleaseD3D11ObjectsNV", reinterpret_cast<void*>(&EnqueueRelease), true},
};

std::string ExtensionSetting() {
    const std::string value = Setting("TSR_SHARING_EXTENSIONS");
    return value.empty() ? "khr" : value;
}

} // namespace

HMODULE RealOpenCl() {
    static const HMODULE module = [] {
        wchar_t path[MAX_PATH] = {};
        GetSystemDirectoryW(path, MAX_PATH);
        std::wstring full = std::wstring(path) + L"\\opencl.dll";
        return LoadLibraryW(full.c_str());
    }();
    return module;
}

extern "C" {

void __cdecl TsrSharingDriverStatistics(SharingDriverStatistics* statistics, int reset) {
    std::lock_guard<std::mutex> hold(g_mutex);
    if (statistics) *statistics = g_statistics;
    if (reset) {
        g_statistics = SharingDriverStatistics{};
        g_statistics.liveImagesFromTextures = static_cast<long>(g_images.size());
    }
}

CL_API_ENTRY cl_int CL_API_CALL clGetPlatformInfo(cl_platform_id platform, cl_platform_info name, size_t size,
                                                  void* value, size_t* returned) {
    static const auto real = RealEntry<decltype(&clGetPlatformInfo)>("clGetPlatformInfo");
    if (name != CL_PLATFORM_EXTENSIONS) return real(platform, name, size, value, returned);
    size_t realSize = 0;
    cl_int error = real(platform, name, 0, nullptr, &realSize);
    if (error != CL_SUCCESS) return error;
    std::string text(realSize, '\0');
    error = real(platform, name, realSize, text.data(), nullptr);
    if (error != CL_SUCCESS) return error;
    text.resize(std::strlen(text.c_str()));
    const std::string extensions = ExtensionSetting();
    if (extensions == "khr" || extensions == "both") text += " cl_khr_d3d11_sharing";
    if (extensions == "nv" || extensions == "both") text += " cl_nv_d3d11_sharing";
    if (returned) *returned = text.size() + 1;
    if (value) {
        if (size < text.size() + 1) return CL_INVALID_VALUE;
        std::memcpy(value, text.c_str(), text.size() + 1);
    }
    return CL_SUCCESS;
}

CL_API_ENTRY void* CL_API_CALL clGetExtensionFunctionAddressForPlatform(cl_platform_id platform,
                                                                        const char* name) {
    const std::string extensions = ExtensionSetting();
    for (const SharingName& entry : kSharingNames) {
        if (std::strcmp(entry.name, name) != 0) continue;
        const bool offered = extensions == "both" || extensions == (entry.nv ? "nv" : "khr");
        if (!offered) return nullptr;
        std::lock_guard<std::mutex> hold(g_mutex);
        ++(entry.nv ? g_statistics.nvNamesResolved : g_statistics.khrNamesResolved);
        return entry.function;
    }
    static const auto real = RealEntry<decltype(&clGetExtensionFunctionAddressForPlatform)>(
        "clGetExtensionFunctionAddressForPlatform");
    return real(platform, name);
}

// Every device presents itself as a GPU of the adapter's vendor.
CL_API_ENTRY cl_int CL_API_CALL clGetDeviceIDs(cl_platform_id platform, cl_device_type type, cl_uint entries,
                                               cl_device_id* devices, cl_uint* count) {
    static const auto real = RealEntry<decltype(&clGetDeviceIDs)>("clGetDeviceIDs");
    if (type & (CL_DEVICE_TYPE_GPU | CL_DEVICE_TYPE_DEFAULT))
        type = CL_DEVICE_TYPE_ALL;
    else if (type != CL_DEVICE_TYPE_ALL)
        type = 0; // no CPU or accelerator here
    if (type == 0) {
        if (count) *count = 0;
        return CL_DEVICE_NOT_FOUND;
    }
    return real(platform, type, entries, devices, count);
}

CL_API_ENTRY cl_int CL_API_CALL clGetDeviceInfo(cl_device_id device, cl_device_info name, size_t size,
                                                void* value, size_t* returned) {
    static const auto real = RealEntry<decltype(&clGetDeviceInfo)>("clGetDeviceInfo");
    if (name == CL_DEVICE_VENDOR_ID || name == CL_DEVICE_TYPE) {
        const size_t needed = name == CL_DEVICE_TYPE ? sizeof(cl_device_type) : sizeof(cl_uint);
        if (returned) *returned = needed;
        if (value) {
            if (size < needed) return CL_INVALID_VALUE;
            if (name == CL_DEVICE_TYPE)
                *static_cast<cl_device_type*>(value) = CL_DEVICE_TYPE_GPU;
            else
                *static_cast<cl_uint*>(value) = AdapterVendor();
        }
        return CL_SUCCESS;
    }
    return real(device, name, size, value, returned);
}

// A context for a Direct3D 11 device is an ordinary context here: the property is taken off.
CL_API_ENTRY cl_context CL_API_CALL clCreateContext(
    const cl_context_properties* properties, cl_uint count, const cl_device_id* devices,
    void(CL_CALLBACK* notify)(const char*, const void*, size_t, void*), void* user, cl_int* error) {
    static const auto real = RealEntry<decltype(&clCreateContext)>("clCreateContext");
    std::vector<cl_context_properties> kept;
    bool shared = false;
    for (const cl_context_properties* p = properties; p && *p; p += 2) {
        if (p[0] == CL_CONTEXT_D3D11_DEVICE_KHR) {
            shared = true;
            continue;
        }
        kept.push_back(p[0]);
        kept.push_back(p[1]);
    }
    kept.push_back(0);
    cl_context context = real(properties ? kept.data() : nullptr, count, devices, notify, user, error);
    if (context && shared) {
        std::lock_guard<std::mutex> hold(g_mutex);
        ++g_statistics.sharedContexts;
    }
    return context;
}

CL_API_ENTRY cl_int CL_API_CALL clReleaseMemObject(cl_mem object) {
    static const auto real = RealEntry<decltype(&clReleaseMemObject)>("clReleaseMemObject");
    static const auto info = RealEntry<decltype(&clGetMemObjectInfo)>("clGetMemObjectInfo");
    cl_uint references = 0;
    const bool last =
        info(object, CL_MEM_REFERENCE_COUNT, sizeof references, &references, nullptr) == CL_SUCCESS &&
        references == 1;
    const cl_int error = real(object);
    if (error == CL_SUCCESS && last) {
        std::lock_guard<std::mutex> hold(g_mutex);
        if (g_images.erase(object)) --g_statistics.liveImagesFromTextures;
    }
    return error;
}

} // extern "C"
