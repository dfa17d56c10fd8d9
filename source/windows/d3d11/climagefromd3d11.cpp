#include "climagefromd3d11.h"

#include "common/trace.h"
#include "windows/common/invariant.h"

namespace tsr {
namespace {
constexpr wchar_t kSourceName[] = L"source/windows/d3d11/climagefromd3d11.cpp";
}

CLImageFromD3D11::CLImageFromD3D11(std::shared_ptr<OpenCLD3D11KHR> binding, cl_command_queue hostQueue)
    : m_binding(std::move(binding)) {
    if (hostQueue) {
        const cl_int error = clRetainCommandQueue(hostQueue);
        if (error == CL_SUCCESS)
            m_queue = hostQueue;
        else
            Trace(L"fail to retain command queue, error =%d\n", error);
    }
}

CLImageFromD3D11::~CLImageFromD3D11() {
    if (m_queue) clReleaseCommandQueue(m_queue);
    TSR_INVARIANT(m_enqueued == false, kSourceName);
    m_binding.reset();
}

cl_int CLImageFromD3D11::CreateFromTexture(ID3D11Texture2D* texture, cl_mem_flags flags) {
    cl_int error = CL_INVALID_CONTEXT;
    if (!m_binding || !m_binding->m_createFromTexture2D) return error;
    m_image = m_binding->m_createFromTexture2D(m_binding->m_context, flags, texture, 0, &error);
    if (error != CL_SUCCESS) m_image = nullptr;
    return error;
}

cl_mem CLImageFromD3D11::Acquire() {
    if (m_binding && m_image) {
        std::lock_guard<std::mutex> hold(m_mutex);
        const cl_int error = m_binding->m_enqueueAcquire(Queue(), 1, &m_image, 0, nullptr, nullptr);
        if (error == CL_SUCCESS)
            m_enqueued = true;
        else
            Trace(L"fail to enqueue acquire, error=%d\n", error);
    }
    return m_enqueued ? m_image : nullptr;
}

void CLImageFromD3D11::Release() {
    if (m_binding && m_enqueued) {
        std::lock_guard<std::mutex> hold(m_mutex);
        const cl_int error = m_binding->m_enqueueRelease(Queue(), 1, &m_image, 0, nullptr, nullptr);
        if (error != CL_SUCCESS) Trace(L"fail to enqueue release , error=%d\n", error);
    }
    m_enqueued = false;
}

} // namespace tsr
