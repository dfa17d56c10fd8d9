#include "texturecache.h"

namespace tsr {

OpenCLTextureCache::OpenCLTextureCache(cl_context context, bool locking, std::uint32_t limit)
    : TextureCache(locking, limit), m_context(context) {
    if (m_context) clRetainContext(m_context);
}

OpenCLTextureCache::~OpenCLTextureCache() {
    if (m_context) clReleaseContext(m_context);
}

bool OpenCLTextureCache::Matches(cl_mem image, const cl_image_format& format, std::uint32_t width,
                                 std::uint32_t height) const {
    cl_image_format actual = {};
    size_t actualWidth = 0, actualHeight = 0;
    return clGetImageInfo(image, CL_IMAGE_FORMAT, sizeof actual, &actual, nullptr) == CL_SUCCESS &&
           actual.image_channel_order == format.image_channel_order &&
           actual.image_channel_data_type == format.image_channel_data_type &&
           clGetImageInfo(image, CL_IMAGE_WIDTH, sizeof actualWidth, &actualWidth, nullptr) == CL_SUCCESS &&
           static_cast<std::uint32_t>(actualWidth) == width &&
           clGetImageInfo(image, CL_IMAGE_HEIGHT, sizeof actualHeight, &actualHeight, nullptr) ==
               CL_SUCCESS &&
           static_cast<std::uint32_t>(actualHeight) == height;
}

cl_mem OpenCLTextureCache::Create(const cl_image_format& format, std::uint32_t width, std::uint32_t height) {
    if (!m_context) return nullptr;
    cl_image_desc descriptor = {};
    descriptor.image_type = CL_MEM_OBJECT_IMAGE2D;
    descriptor.image_width = width;
    descriptor.image_height = height;
    return clCreateImage(m_context, CL_MEM_READ_ONLY, &format, &descriptor, nullptr, nullptr);
}

} // namespace tsr
