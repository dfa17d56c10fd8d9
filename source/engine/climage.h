// OpenCL images that carry one frame into or out of the engine.
//
// The caller calls Acquire before processing (it yields the cl_mem the kernels use) and Release
// once afterwards. A plain CLImage wraps an image the host made; CLImageFromMemory copies system
// memory in on Acquire and back out on Release. Images shared with Direct3D 11 textures derive
// from CLImage as well (built with the Windows transform).
#pragma once

#include <cstdint>
#include <mutex>

#include "clapi.h"

namespace tsr {

class CLImage {
public:
    // Holds its own reference to `image` (null when the retain fails).
    explicit CLImage(cl_mem image);
    CLImage(const CLImage&) = delete;
    CLImage& operator=(const CLImage&) = delete;
    virtual ~CLImage();
    virtual cl_mem Acquire();
    virtual void Release();

    cl_mem Image() const { return m_image; }

protected:
    CLImage() = default;

    std::mutex m_mutex;
    cl_mem m_image = nullptr;
};

// System-memory pixels: first row and byte count.
struct HostRange {
    void* pointer;
    std::uint64_t length;
};

// Size of the picture in memory and which way its pixels travel.
struct FrameGeometry {
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t rowPitch; // bytes between rows in host memory (0: packed)
    bool upload;            // copy host -> image on every Acquire
    bool readBack;          // copy image -> host on every Release
};

// Bytes per pixel of the channel orders and types the engine uses; 0 for any other.
std::uint32_t BytesPerPixel(const cl_image_format& format);

class CLImageFromMemory : public CLImage {
public:
    enum TransferFlags : std::uint32_t { kUpload = 1u, kReadBack = 2u };

    // Creates an image with its own device storage on `context`. The transfers use `queue`
    // (retained); without a queue the image never transfers. Check Created() afterwards.
    CLImageFromMemory(cl_context context, cl_command_queue queue, HostRange host, FrameGeometry geometry,
                      const cl_image_format& format, cl_mem_flags flags);
    ~CLImageFromMemory() override;
    cl_mem Acquire() override;
    void Release() override;

    bool Created() const { return m_image != nullptr; }
    std::uint32_t TransferFlags() const { return m_transferFlags; }

private:
    bool ImageSize(size_t& width, size_t& height) const;

    cl_command_queue m_queue = nullptr;
    void* m_hostPointer = nullptr;
    std::uint64_t m_hostLength = 0;
    std::uint32_t m_rowPitch = 0;
    std::uint32_t m_transferFlags = 0;
};

// True when `host` holds every byte a transfer of `geometry` in `format` touches, and the pitch
// holds a whole row (a pitch of 0 means packed rows).
bool HostRangeCoversFrame(const HostRange& host, const FrameGeometry& geometry,
                          const cl_image_format& format);

} // namespace tsr
