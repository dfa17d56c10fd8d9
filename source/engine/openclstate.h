// The one OpenCL context, device and in-order queue the engine runs on.
#pragma once

#include "clapi.h"

namespace tsr {

// True when the device is available and does not share memory with the host.
bool IsDiscreteDevice(cl_device_id device);

class OpenCLState {
public:
    // Adopts a context, and the queue when one is given; without a queue, picks the context's
    // first discrete device (else its first device) and creates a queue on it.
    OpenCLState(cl_context context, cl_command_queue queue);
    // Chooses a device of `type` itself (see the .cpp for the order) and creates context and queue.
    OpenCLState(cl_device_type type, int index);
    OpenCLState(const OpenCLState&) = delete;
    OpenCLState& operator=(const OpenCLState&) = delete;
    virtual ~OpenCLState();

    // Any of these may be null when construction stopped early.
    cl_context m_context = nullptr;
    cl_device_id m_device = nullptr;
    cl_command_queue m_queue = nullptr;
};

} // namespace tsr
