// The Debayerer's Windows half (the class is declared in source/engine/debayerer.h, its portable
// members are in source/engine/debayerer.cpp): construction on a Direct3D 11 device, sharing its
// context through the OpenCLD3D11KHR binding, and the cached images made from textures.
#include "engine/debayerer.h"

#include "climagefromd3d11.h"
#include "common/trace.h"
#include "opencld3d11khr.h"

#include <new>

namespace tsr {

Debayerer::Debayerer(ID3D11Device* device, HRESULT* status) {
    *status = S_OK;
    try {
        m_binding = std::make_shared<OpenCLD3D11KHR>(device, status);
        if (FAILED(*status)) return;
        *status =
            Initialize(std::make_shared<OpenCLState>(m_binding->m_context, m_binding->m_queue), std::nullopt);
    } catch (const std::bad_alloc&) {
        *status = E_OUTOFMEMORY;
    }
}

HRESULT Debayerer::GetImageForTexture(ID3D11Texture2D* texture, cl_mem_flags flags,
                                      std::shared_ptr<CLImage>& image) {
    image.reset();
    std::lock_guard<std::mutex> hold(m_mutex);
    try {
        if (std::shared_ptr<CLImage> cached = m_textureImages.Find(texture)) {
            image = std::move(cached);
            return S_OK;
        }
        if (!m_binding) {
            // Not built on a Direct3D device: there is no context to share the texture with.
            Trace(L"fail to create cl image from d3d11, error=%d\n", CL_INVALID_CONTEXT);
            return E_UNEXPECTED;
        }
        auto created = std::make_shared<CLImageFromD3D11>(m_binding, m_hostQueue);
        const cl_int error = created->CreateFromTexture(texture, flags);
        if (error != CL_SUCCESS) {
            Trace(L"fail to create cl image from d3d11, error=%d\n", error);
            return E_UNEXPECTED;
        }
        m_textureImages.Insert(texture, created);
        image = std::move(created);
    } catch (const std::bad_alloc&) {
        image.reset();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

} // namespace tsr
