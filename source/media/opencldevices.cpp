#include "media/opencldevices.h"

#include <cerrno>
#include <cstdlib>

#include "tsr/media/mediaerror.h"

namespace tsr::media {

namespace {

// A text property of a platform or a device, through clGetPlatformInfo or clGetDeviceInfo.
template <typename Query, typename Object, typename Info>
std::string InfoText(Query query, Object object, Info what) {
    size_t size = 0;
    if (query(object, what, 0, nullptr, &size) != CL_SUCCESS || size == 0) return "?";
    std::string text(size, '\0');
    query(object, what, size, &text[0], nullptr);
    text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
    return text;
}

std::string PlatformText(cl_platform_id platform, cl_platform_info what) {
    return InfoText(clGetPlatformInfo, platform, what);
}

std::string DeviceText(cl_device_id device, cl_device_info what) {
    return InfoText(clGetDeviceInfo, device, what);
}

template <typename T> T DeviceValue(cl_device_id device, cl_device_info what) {
    T value{};
    if (clGetDeviceInfo(device, what, sizeof value, &value, nullptr) != CL_SUCCESS) return T{};
    return value;
}

// A whole number as strtoll reads it (decimal, 0x hexadecimal, 0 octal), nothing after it.
bool ParseIndex(const std::string& text, long long& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 0);
    return errno == 0 && end && *end == '\0';
}

MediaError NoDevice(const std::string& message) {
    return MediaError(message, MediaError::Kind::Failure, 0, {}, MediaError::Remedy::ListDevices);
}

bool Usable(const OpenCLDevice& device) {
    return device.available && device.imageSupport;
}

} // namespace

std::string DeviceTypeText(cl_device_type type) {
    if (type & CL_DEVICE_TYPE_GPU) return "GPU";
    if (type & CL_DEVICE_TYPE_CPU) return "CPU";
    if (type & CL_DEVICE_TYPE_ACCELERATOR) return "accelerator";
    return "other";
}

std::vector<OpenCLDevice> ListOpenCLDevices() {
    cl_uint platformCount = 0;
    const cl_int status = clGetPlatformIDs(0, nullptr, &platformCount);
    if (status != CL_SUCCESS || platformCount == 0)
        throw MediaError(
            "no OpenCL platform found: install an OpenCL driver (on Debian, pocl-opencl-icd runs on "
            "the CPU) and check OCL_ICD_VENDORS");
    std::vector<cl_platform_id> platforms(platformCount);
    if (clGetPlatformIDs(platformCount, platforms.data(), nullptr) != CL_SUCCESS)
        throw MediaError("cannot list the OpenCL platforms");
    std::vector<OpenCLDevice> list;
    for (cl_uint p = 0; p < platformCount; ++p) {
        cl_uint deviceCount = 0;
        if (clGetDeviceIDs(platforms[p], CL_DEVICE_TYPE_ALL, 0, nullptr, &deviceCount) != CL_SUCCESS)
            continue;
        std::vector<cl_device_id> devices(deviceCount);
        if (deviceCount == 0 || clGetDeviceIDs(platforms[p], CL_DEVICE_TYPE_ALL, deviceCount, devices.data(),
                                               nullptr) != CL_SUCCESS)
            continue;
        for (cl_uint d = 0; d < deviceCount; ++d) {
            OpenCLDevice entry;
            entry.platformIndex = static_cast<int>(p);
            entry.deviceIndex = static_cast<int>(d);
            entry.platform = platforms[p];
            entry.device = devices[d];
            entry.platformName = PlatformText(platforms[p], CL_PLATFORM_NAME);
            entry.deviceName = DeviceText(devices[d], CL_DEVICE_NAME);
            entry.version = DeviceText(devices[d], CL_DEVICE_VERSION);
            entry.type = DeviceValue<cl_device_type>(devices[d], CL_DEVICE_TYPE);
            entry.available = DeviceValue<cl_bool>(devices[d], CL_DEVICE_AVAILABLE) == CL_TRUE;
            entry.imageSupport = DeviceValue<cl_bool>(devices[d], CL_DEVICE_IMAGE_SUPPORT) == CL_TRUE;
            entry.memoryBytes = DeviceValue<cl_ulong>(devices[d], CL_DEVICE_GLOBAL_MEM_SIZE);
            entry.computeUnits = DeviceValue<cl_uint>(devices[d], CL_DEVICE_MAX_COMPUTE_UNITS);
            list.push_back(entry);
        }
    }
    if (list.empty()) throw MediaError("the OpenCL platforms offer no devices");
    return list;
}

bool HasUsableOpenCLGpu() {
    std::vector<OpenCLDevice> devices;
    try {
        devices = ListOpenCLDevices();
    } catch (const MediaError&) {
        return false;
    }
    for (const OpenCLDevice& device : devices)
        if ((device.type & CL_DEVICE_TYPE_GPU) && Usable(device)) return true;
    return false;
}

OpenCLDevice ChooseOpenCLDevice(const std::string& choice) {
    const std::vector<OpenCLDevice> devices = ListOpenCLDevices();
    auto firstOfType = [&devices](cl_device_type type) -> const OpenCLDevice* {
        for (const OpenCLDevice& device : devices)
            if ((device.type & type) && Usable(device)) return &device;
        return nullptr;
    };
    if (choice.empty() || choice == "auto") {
        if (const OpenCLDevice* gpu = firstOfType(CL_DEVICE_TYPE_GPU)) return *gpu;
        if (const OpenCLDevice* any = firstOfType(CL_DEVICE_TYPE_ALL)) return *any;
        throw MediaError("no available OpenCL device supports images");
    }
    if (choice == "gpu" || choice == "cpu") {
        const OpenCLDevice* device = firstOfType(choice == "gpu" ? CL_DEVICE_TYPE_GPU : CL_DEVICE_TYPE_CPU);
        if (!device)
            throw NoDevice("no available OpenCL " +
                           DeviceTypeText(choice == "gpu" ? CL_DEVICE_TYPE_GPU : CL_DEVICE_TYPE_CPU) +
                           " device with image support");
        return *device;
    }
    const size_t colon = choice.find(':');
    long long platform = 0, index = 0;
    if (!ParseIndex(choice.substr(0, colon), platform) ||
        (colon != std::string::npos && !ParseIndex(choice.substr(colon + 1), index)))
        throw MediaError::BadArgument(
            "an OpenCL device is auto, gpu, cpu, PLATFORM or PLATFORM:DEVICE, not \"" + choice + "\"");
    for (const OpenCLDevice& device : devices) {
        if (device.platformIndex == platform && device.deviceIndex == index) {
            if (!Usable(device))
                throw MediaError("OpenCL device " + choice + " (" + device.deviceName +
                                 ") is not available or has no image support");
            return device;
        }
    }
    throw NoDevice("there is no OpenCL device " + choice);
}

OpenCLQueue::OpenCLQueue(const OpenCLDevice& device) {
    cl_int error = CL_SUCCESS;
    const cl_context_properties properties[] = {CL_CONTEXT_PLATFORM,
                                                reinterpret_cast<cl_context_properties>(device.platform), 0};
    m_context = clCreateContext(properties, 1, &device.device, nullptr, nullptr, &error);
    if (!m_context)
        throw MediaError("cannot create an OpenCL context on " + device.deviceName + " (error " +
                         std::to_string(error) + ")");
    m_queue = clCreateCommandQueue(m_context, device.device, 0, &error);
    if (!m_queue) {
        clReleaseContext(m_context);
        throw MediaError("cannot create an OpenCL queue on " + device.deviceName + " (error " +
                         std::to_string(error) + ")");
    }
}

OpenCLQueue::~OpenCLQueue() {
    clReleaseCommandQueue(m_queue);
    clReleaseContext(m_context);
}

} // namespace tsr::media
