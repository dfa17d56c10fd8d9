// An OpenCL image shared with a Direct3D 11 texture: acquired for OpenCL before the kernels use it
// and handed back to Direct3D afterwards, on the host queue when one is given, else the binding's.
#pragma once

#include "engine/climage.h"
#include "opencld3d11khr.h"

#include <memory>

namespace tsr {

class CLImageFromD3D11 : public CLImage {
public:
    // Keeps the binding alive for the image's life; retains `hostQueue` when not null.
    CLImageFromD3D11(std::shared_ptr<OpenCLD3D11KHR> binding, cl_command_queue hostQueue);
    ~CLImageFromD3D11() override;
    cl_mem Acquire() override;
    void Release() override;

    // Makes the image from subresource 0 of `texture`; returns the OpenCL error.
    cl_int CreateFromTexture(ID3D11Texture2D* texture, cl_mem_flags flags);
    bool Acquired() const { return m_enqueued; }

private:
    cl_command_queue Queue() const { return m_queue ? m_queue : m_binding->m_queue; }

    std::shared_ptr<OpenCLD3D11KHR> m_binding;
    cl_command_queue m_queue = nullptr;
    bool m_enqueued = false;
};

} // namespace tsr
