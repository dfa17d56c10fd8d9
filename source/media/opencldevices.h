// OpenCL platforms and devices as the media library offers them: a numbered list, the user's choice,
// and a context and in-order queue on the chosen device that the engine adopts as its host
// queue.
#pragma once

#include <string>
#include <vector>

#include "engine/clapi.h"

namespace tsr::media {

struct OpenCLDevice {
    int platformIndex = 0, deviceIndex = 0; // as numbered by ListEngines
    cl_platform_id platform = nullptr;
    cl_device_id device = nullptr;
    std::string platformName, deviceName, version;
    cl_device_type type = 0;
    bool available = false, imageSupport = false;
    unsigned long long memoryBytes = 0;
    unsigned computeUnits = 0;
};

// Every device of every platform. Throws MediaError when there is no OpenCL platform at all.
std::vector<OpenCLDevice> ListOpenCLDevices();
std::string DeviceTypeText(cl_device_type type);

// "" or "auto": the first available GPU with image support, else the first such device of any
// kind (CPU included). "gpu", "cpu": the first of that kind. "P:D" or "P": by the numbers of
// ListEngines. Throws MediaError when nothing fits.
OpenCLDevice ChooseOpenCLDevice(const std::string& choice);

// Whether an available GPU with image support exists; false also without any OpenCL platform.
bool HasUsableOpenCLGpu();

// A context and in-order queue on one device, released on destruction.
class OpenCLQueue {
public:
    explicit OpenCLQueue(const OpenCLDevice& device);
    OpenCLQueue(const OpenCLQueue&) = delete;
    OpenCLQueue& operator=(const OpenCLQueue&) = delete;
    ~OpenCLQueue();
    cl_context Context() const { return m_context; }
    cl_command_queue Queue() const { return m_queue; }

private:
    cl_context m_context = nullptr;
    cl_command_queue m_queue = nullptr;
};

} // namespace tsr::media
