#include "climage.h"

#include "common/trace.h"

namespace tsr {

CLImage::CLImage(cl_mem image) {
    const cl_int status = clRetainMemObject(image);
    if (status != CL_SUCCESS) {
        Trace(L"fail to retain cl image, statusor=%d\n", status);
        return;
    }
    m_image = image;
}

CLImage::~CLImage() {
    if (m_image) {
        const cl_int status = clReleaseMemObject(m_image);
        if (status != CL_SUCCESS) Trace(L"fail to release cl image, statusor=%d\n", status);
        m_image = nullptr;
    }
}

cl_mem CLImage::Acquire() {
    return m_image;
}

void CLImage::Release() {}

std::uint32_t BytesPerPixel(const cl_image_format& format) {
    std::uint32_t channels = 0;
    switch (format.image_channel_order) {
    case CL_R:
        channels = 1;
        break;
    case CL_RG:
        channels = 2;
        break;
    case CL_RGBA:
        channels = 4;
        break;
    default:
        return 0;
    }
    switch (format.image_channel_data_type) {
    case CL_UNSIGNED_INT16:
    case CL_UNORM_INT16:
    case CL_HALF_FLOAT:
        return channels * 2;
    case CL_FLOAT:
        return channels * 4;
    default:
        return 0;
    }
}

bool HostRangeCoversFrame(const HostRange& host, const FrameGeometry& geometry,
                          const cl_image_format& format) {
    const std::uint64_t rowBytes = static_cast<std::uint64_t>(geometry.width) * BytesPerPixel(format);
    // A pitch of 0 means tightly packed rows, as for OpenCL transfers.
    const std::uint64_t pitch = geometry.rowPitch != 0 ? geometry.rowPitch : rowBytes;
    if (!host.pointer || rowBytes == 0 || geometry.height == 0 || pitch < rowBytes) return false;
    const std::uint64_t needed = static_cast<std::uint64_t>(geometry.height - 1) * pitch + rowBytes;
    return needed <= host.length;
}

CLImageFromMemory::CLImageFromMemory(cl_context context, cl_command_queue queue, HostRange host,
                                     FrameGeometry geometry, const cl_image_format& format,
                                     cl_mem_flags flags) {
    if (queue) {
        const cl_int status = clRetainCommandQueue(queue);
        if (status == CL_SUCCESS)
            m_queue = queue;
        else
            Trace(L"fail to retain command queue, error =%d\n", status);
    }
    const std::uint32_t transfer = (geometry.upload ? kUpload : 0u) | (geometry.readBack ? kReadBack : 0u);

    cl_image_desc descriptor = {};
    descriptor.image_type = CL_MEM_OBJECT_IMAGE2D;
    descriptor.image_width = geometry.width;
    descriptor.image_height = geometry.height;
    cl_int error = CL_SUCCESS;
    m_image = clCreateImage(context, flags, &format, &descriptor, nullptr, &error);
    if (error != CL_SUCCESS) {
        Trace(L"fail to create cl image, error =%d\n", error);
        if (m_image) {
            clReleaseMemObject(m_image);
            m_image = nullptr;
        }
        return;
    }
    if (m_image && transfer != 0 && m_queue) {
        m_hostPointer = host.pointer;
        m_hostLength = host.length;
        m_rowPitch = geometry.rowPitch;
        m_transferFlags = transfer;
    }
}

CLImageFromMemory::~CLImageFromMemory() {
    if (m_queue) clReleaseCommandQueue(m_queue);
}

bool CLImageFromMemory::ImageSize(size_t& width, size_t& height) const {
    width = height = 0;
    return clGetImageInfo(m_image, CL_IMAGE_WIDTH, sizeof width, &width, nullptr) == CL_SUCCESS &&
           clGetImageInfo(m_image, CL_IMAGE_HEIGHT, sizeof height, &height, nullptr) == CL_SUCCESS;
}

cl_mem CLImageFromMemory::Acquire() {
    if (m_transferFlags & kUpload) {
        std::lock_guard<std::mutex> hold(m_mutex);
        size_t width = 0, height = 0;
        ImageSize(width, height);
        const size_t origin[3] = {0, 0, 0};
        const size_t region[3] = {width, height, 1};
        const cl_int status = clEnqueueWriteImage(m_queue, m_image, CL_FALSE, origin, region, m_rowPitch, 0,
                                                  m_hostPointer, 0, nullptr, nullptr);
        if (status != CL_SUCCESS) {
            Trace(L"write image fail, cl status: %d\n", status);
            return nullptr;
        }
    }
    return m_image;
}

void CLImageFromMemory::Release() {
    if (m_transferFlags & kReadBack) {
        std::lock_guard<std::mutex> hold(m_mutex);
        size_t width = 0, height = 0;
        ImageSize(width, height);
        const size_t origin[3] = {0, 0, 0};
        const size_t region[3] = {width, height, 1};
        const cl_int status = clEnqueueReadImage(m_queue, m_image, CL_TRUE, origin, region, m_rowPitch, 0,
                                                 m_hostPointer, 0, nullptr, nullptr);
        if (status != CL_SUCCESS) Trace(L"read image fail, cl status: %d\n", status);
    }
}

} // namespace tsr
