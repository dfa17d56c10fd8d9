// The GPU engine as the tool drives it: a Debayerer on the chosen device's queue (installed as
// its host queue), one output image per picture size and type, and frames from decoded
// pictures in host memory to RGBA in host memory.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "climage.h"
#include "debayerer.h"
#include "pictures/decodedpicture.h"
#include "pipeline/opencldevices.h"

namespace tsr::tools {

struct DebayerSettings {
    unsigned curve = 1;       // 0 linear BT.709, 1 linear BT.2020, 2..8 output curves
    bool floatOutput = false; // four 32-bit floats a pixel instead of four halves
    bool hasColour = false;   // colour override: gain0, gain1, 3x3 matrix, exposure
    std::array<float, 12> colour{};
};

// RGBA exactly as the engine writes it: rows of width pixels, no padding.
struct RgbaFrame {
    int index = 0;
    int width = 0, height = 0;
    bool isFloat = false;
    unsigned curve = 0;
    std::vector<uint8_t> bytes;
    size_t BytesPerPixel() const { return isFloat ? 16 : 8; }
};

class DebayerSession {
public:
    // Creates the queue and the engine; throws ToolError with the engine's status on failure.
    // Without `tuningValue` the engine takes the process's "tsr772cup" environment value.
    explicit DebayerSession(const OpenCLDevice& device,
                            std::optional<std::int32_t> tuningValue = std::nullopt);
    DebayerSession(const DebayerSession&) = delete;
    DebayerSession& operator=(const DebayerSession&) = delete;
    ~DebayerSession();

    // Runs one picture; `frame` receives the RGBA result. Throws ToolError naming the engine's
    // status when the frame fails.
    void Process(const DecodedPicture& picture, const DebayerSettings& settings, RgbaFrame& frame);

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

} // namespace tsr::tools
