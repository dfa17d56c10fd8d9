// An OpenCL context and in-order queue on the first device of any type, as a host that supplies
// its own queue to the debayer transform makes them.
#pragma once

#include "engine/clapi.h"

#include <cstdint>
#include <vector>

class HostQueue {
public:
    HostQueue();
    ~HostQueue();
    HostQueue(const HostQueue&) = delete;
    HostQueue& operator=(const HostQueue&) = delete;

    bool Valid() const { return m_queue != nullptr; }
    cl_context Context() const { return m_context; }
    cl_command_queue Queue() const { return m_queue; }
    cl_device_id Device() const { return m_device; }

    // A device image of the format and size, and its contents read back (rows packed).
    cl_mem CreateImage(const cl_image_format& format, size_t width, size_t height, cl_mem_flags flags) const;
    std::vector<uint8_t> ReadImage(cl_mem image, size_t width, size_t height, size_t bytesPerPixel) const;

    // The number of references OpenCL counts on a memory object.
    static cl_uint ReferenceCount(cl_mem object);

private:
    cl_context m_context = nullptr;
    cl_command_queue m_queue = nullptr;
    cl_device_id m_device = nullptr;
};
