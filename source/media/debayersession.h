// The OpenCL engine as the media library drives it: a Debayerer on the chosen device's queue (installed as
// its host queue), one output image per picture size and type, and frames from decoded
// pictures in host memory to RGBA in host memory.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/climage.h"
#include "engine/debayerer.h"
#include "media/opencldevices.h"
#include "tsr/media/mediaerror.h"
#include "tsr/media/rgbaengine.h"

namespace tsr::media {

class DebayerSession : public RgbaEngine {
public:
    // Creates the queue and the engine; throws MediaError with the engine's status on failure.
    // Without `tuningValue` the engine takes the process's "tsr772cup" environment value.
    explicit DebayerSession(const OpenCLDevice& device,
                            std::optional<std::int32_t> tuningValue = std::nullopt);
    DebayerSession(const DebayerSession&) = delete;
    DebayerSession& operator=(const DebayerSession&) = delete;
    ~DebayerSession();

    void Process(const DecodedPicture& picture, const DebayerSettings& settings, RgbaFrame& frame) override;
    std::string Description() const override;

    const OpenCLDevice& Device() const { return m_device; }
    cl_command_queue Queue() const { return m_queue->Queue(); }

private:
    cl_mem OutputImage(int width, int height, bool isFloat);

    OpenCLDevice m_device;
    std::unique_ptr<OpenCLQueue> m_queue;
    std::unique_ptr<Debayerer> m_debayerer;
    std::shared_ptr<CLImage> m_output;
    int m_outputWidth = 0, m_outputHeight = 0;
    bool m_outputFloat = false;
};

// The engine's text for `status`, with its name and code: "no processor (NoProcessor, -4)".
std::string EngineStatusText(int status);
// `prefix` and that text, carrying the status and its name.
MediaError EngineError(const std::string& prefix, int status);

} // namespace tsr::media
