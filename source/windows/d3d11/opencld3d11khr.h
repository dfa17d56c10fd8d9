// An OpenCL context, device and queue shared with a Direct3D 11 device, and the sharing entry
// points that images made from its textures use.
#pragma once

#include "engine/clapi.h"

#include <CL/cl_d3d11.h>
#include <d3d11.h>

namespace tsr {

class OpenCLD3D11KHR {
public:
    // Finds the OpenCL GPU of the device's adapter, the platform's sharing extension, and creates
    // a context for sharing with `device` and a queue on it. `*status` is S_OK or the failure of
    // the first step that failed; the fields set before it stay set. Takes no reference on `device`.
    OpenCLD3D11KHR(ID3D11Device* device, HRESULT* status);
    OpenCLD3D11KHR(const OpenCLD3D11KHR&) = delete;
    OpenCLD3D11KHR& operator=(const OpenCLD3D11KHR&) = delete;
    virtual ~OpenCLD3D11KHR();

    cl_device_id m_device = nullptr;
    cl_context m_context = nullptr;
    cl_command_queue m_queue = nullptr;
    clCreateFromD3D11Texture2DKHR_fn m_createFromTexture2D = nullptr;
    clEnqueueAcquireD3D11ObjectsKHR_fn m_enqueueAcquire = nullptr;
    clEnqueueReleaseD3D11ObjectsKHR_fn m_enqueueRelease = nullptr;
};

} // namespace tsr
