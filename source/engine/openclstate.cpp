#include "openclstate.h"

#include <vector>

namespace tsr {

bool IsDiscreteDevice(cl_device_id device) {
    cl_bool available = CL_FALSE;
    if (clGetDeviceInfo(device, CL_DEVICE_AVAILABLE, sizeof available, &available, nullptr) != CL_SUCCESS ||
        !available)
        return false;
    cl_bool unified = CL_TRUE;
    if (clGetDeviceInfo(device, CL_DEVICE_HOST_UNIFIED_MEMORY, sizeof unified, &unified, nullptr) !=
        CL_SUCCESS)
        return false;
    return unified == CL_FALSE;
}

OpenCLState::OpenCLState(cl_context context, cl_command_queue queue) {
    m_context = context;
    if (context) clRetainContext(context);
    m_queue = queue;
    if (queue) {
        clRetainCommandQueue(queue);
        cl_device_id device = nullptr;
        if (clGetCommandQueueInfo(queue, CL_QUEUE_DEVICE, sizeof device, &device, nullptr) == CL_SUCCESS)
            m_device = device;
        return;
    }
    if (!context) return;
    size_t size = 0;
    if (clGetContextInfo(context, CL_CONTEXT_DEVICES, 0, nullptr, &size) != CL_SUCCESS || size == 0 ||
        size % sizeof(cl_device_id) != 0)
        return;
    std::vector<cl_device_id> devices(size / sizeof(cl_device_id));
    if (clGetContextInfo(context, CL_CONTEXT_DEVICES, size, devices.data(), nullptr) != CL_SUCCESS) return;
    cl_device_id chosen = devices.front();
    for (cl_device_id device : devices) {
        if (IsDiscreteDevice(device)) {
            chosen = device;
            break;
        }
    }
    m_device = chosen;
    if (m_device) m_queue = clCreateCommandQueue(context, m_device, 0, nullptr);
}

// With 0 <= index, the last platform that has more than `index` devices of the type supplies
// the device. Otherwise the first discrete device (any device for CPU type) is taken, falling back
// to the first device seen on any platform.
OpenCLState::OpenCLState(cl_device_type type, int index) {
    cl_uint platformCount = 0;
    if (clGetPlatformIDs(0, nullptr, &platformCount) != CL_SUCCESS || platformCount == 0) return;
    std::vector<cl_platform_id> platforms(platformCount);
    if (clGetPlatformIDs(platformCount, platforms.data(), nullptr) != CL_SUCCESS) return;

    cl_device_id chosen = nullptr;
    bool taken = false;
    for (cl_platform_id platform : platforms) {
        if (taken) break;
        cl_uint count = 0;
        if (clGetDeviceIDs(platform, type, 0, nullptr, &count) != CL_SUCCESS || count == 0) continue;
        std::vector<cl_device_id> devices(count);
        if (clGetDeviceIDs(platform, type, count, devices.data(), nullptr) != CL_SUCCESS) continue;
        if (index >= 0 && static_cast<cl_uint>(index) < count) {
            chosen = devices[static_cast<size_t>(index)];
            continue;
        }
        for (cl_device_id device : devices) {
            if (!chosen) chosen = device;
            if (type == CL_DEVICE_TYPE_CPU || IsDiscreteDevice(device)) {
                chosen = device;
                taken = true;
                break;
            }
        }
    }
    if (!chosen) return;
    m_device = chosen;
    m_context = clCreateContext(nullptr, 1, &chosen, nullptr, nullptr, nullptr);
    if (m_context) m_queue = clCreateCommandQueue(m_context, chosen, 0, nullptr);
}

OpenCLState::~OpenCLState() {
    if (m_context) clReleaseContext(m_context);
    if (m_queue) clReleaseCommandQueue(m_queue);
}

} // namespace tsr
