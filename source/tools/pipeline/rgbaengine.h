// What the tool runs decoded pictures through: the OpenCL engine on a device or the CPU engine,
// behind one interface, with the settings of a frame and the RGBA it gives back.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "pictures/decodedpicture.h"

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

class RgbaEngine {
public:
    virtual ~RgbaEngine() = default;
    // Runs one picture; `frame` receives the RGBA result. Throws ToolError naming the engine's
    // status when the frame fails.
    virtual void Process(const DecodedPicture& picture, const DebayerSettings& settings,
                         RgbaFrame& frame) = 0;
    // Which engine runs the frames, and where: one line for the user.
    virtual std::string Description() const = 0;
};

} // namespace tsr::tools
