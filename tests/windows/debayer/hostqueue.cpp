#include "hostqueue.h"

#include <windows.h>

HostQueue::HostQueue() {
    cl_platform_id platform = nullptr;
    cl_uint count = 0;
    if (clGetPlatformIDs(1, &platform, &count) != CL_SUCCESS || count == 0) return;
    if (clGetDeviceIDs(platform, CL_DEVICE_TYPE_ALL, 1, &m_device, &count) != CL_SUCCESS || count == 0)
        return;
    cl_int error = CL_SUCCESS;
    m_context = clCreateContext(nullptr, 1, &m_device, nullptr, nullptr, &error);
    if (!m_context) return;
    m_queue = clCreateCommandQueue(m_context, m_device, 0, &error);
}

HostQueue::~HostQueue() {
    if (m_queue) clReleaseCommandQueue(m_queue);
    if (m_context) clReleaseContext(m_context);
}

cl_mem HostQueue::CreateImage(const cl_image_format& format, size_t width, size_t height,
                              cl_mem_flags flags) const {
    cl_image_desc descriptor = {};
    descriptor.image_type = CL_MEM_OBJECT_IMAGE2D;
    descriptor.image_width = width;
    descriptor.image_height = height;
    cl_int error = CL_SUCCESS;
    return clCreateImage(m_context, flags, &format, &descriptor, nullptr, &error);
}

std::vector<uint8_t> HostQueue::ReadImage(cl_mem image, size_t width, size_t height,
                                          size_t bytesPerPixel) const {
    std::vector<uint8_t> bytes(width * height * bytesPerPixel);
    const size_t origin[3] = {0, 0, 0};
    const size_t region[3] = {width, height, 1};
    if (clEnqueueReadImage(m_queue, image, CL_TRUE, origin, region, width * bytesPerPixel, 0, bytes.data(), 0,
                           nullptr, nullptr) != CL_SUCCESS)
        bytes.clear();
    return bytes;
}

cl_uint HostQueue::ReferenceCount(cl_mem object) {
    // Looked up at run time: the engine's import library lists only what the engine calls.
    using GetMemObjectInfo = cl_int(CL_API_CALL*)(cl_mem, cl_mem_info, size_t, void*, size_t*);
    const auto query = reinterpret_cast<GetMemObjectInfo>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"OpenCL.dll"), "clGetMemObjectInfo")));
    cl_uint count = 0;
    if (!query || query(object, CL_MEM_REFERENCE_COUNT, sizeof count, &count, nullptr) != CL_SUCCESS)
        return 0;
    return count;
}
