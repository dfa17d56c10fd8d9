// The engines that turn decoded pictures into RGBA: the OpenCL engine on a device or the CPU
// engine, behind one interface, with the settings of a frame and the RGBA it gives back.
//
//   tsr::media::EngineChoice choice;          // "auto": OpenCL on a GPU when there is one, else CPU
//   std::unique_ptr<tsr::media::RgbaEngine> engine = tsr::media::OpenEngine(choice);
//   tsr::media::DebayerSettings settings;     // curve 1, linear BT.2020, half floats
//   tsr::media::RgbaFrame rgba;
//   rgba.index = i;
//   engine->Process(picture, settings, rgba); // throws MediaError (Kind::Engine) naming frame i
//
// ListEngines() describes what OpenEngine can choose from, as data.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tsr/media/decodedpicture.h"
#include "tsr/media/mediaerror.h"

namespace tsr::media {

class ProcessorShare;

struct DebayerSettings {
    unsigned curve = 1;       // 0 linear BT.709, 1 linear BT.2020, 2..8 output curves
    bool floatOutput = false; // four 32-bit floats a pixel instead of four halves
    bool hasColour = false;   // colour override: gain0, gain1, 3x3 matrix, exposure
    std::array<float, 12> colour{};
};

// RGBA exactly as the engine writes it: rows of width pixels, no padding; four halves (IEEE
// binary16, host order) or four floats a pixel.
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
    // Runs one picture; `frame` receives the RGBA result. Throws MediaError naming frame.index
    // and the engine's status when the frame fails.
    virtual void Process(const DecodedPicture& picture, const DebayerSettings& settings,
                         RgbaFrame& frame) = 0;
    // Which engine runs the frames, and where: one line for the user.
    virtual std::string Description() const = 0;
    // An engine that computes on this process's processors (the CPU engine) takes them from
    // `share` from the next frame on, one per worker while it works; null stops that. An engine
    // on a device ignores it.
    virtual void ShareProcessors(std::shared_ptr<ProcessorShare> share) { (void)share; }
};

struct EngineChoice {
    std::string engine = "auto"; // "auto" (OpenCL on a GPU when there is one), "opencl" or "cpu"
    // OpenCL: "" or "auto" (the first available GPU with image support, else the first such
    // device of any kind), "gpu", "cpu", or "P:D" / "P" by the numbers of ListEngines. A device
    // under "auto" means OpenCL; with "cpu" it is refused.
    std::string device;
    int threads = 0; // CPU engine workers; 0 one per processor
    // The engine's tuning value; without it, the process's "tsr772cup" environment value.
    std::optional<std::int32_t> tuning;
};

// Throws MediaError: BadArgument for a choice that is not one, Remedy::ListDevices when no
// device fits, Kind::Engine when the engine cannot start there.
std::unique_ptr<RgbaEngine> OpenEngine(const EngineChoice& choice);

struct OpenCLDeviceInfo {
    int platformIndex = 0, deviceIndex = 0; // "P:D" for EngineChoice::device
    std::string platformName, deviceName, version;
    std::string type; // "GPU", "CPU", "accelerator" or "other"
    bool available = false, imageSupport = false;
    unsigned long long memoryBytes = 0;
    unsigned computeUnits = 0;
    bool isDefault = false; // what device "auto" takes
};

struct EngineListing {
    std::string cpu;        // "AVX3 SIMD (built: AVX3 AVX2 SSE4 SCALAR), 2 threads"
    bool autoIsCpu = false; // engine "auto" runs the CPU engine (no usable OpenCL GPU)
    std::vector<OpenCLDeviceInfo> devices;
    std::string openclError; // why there are no devices, when there are none
};
// The CPU engine (with `threads` workers, 0 one per processor) and every OpenCL device.
EngineListing ListEngines(int threads = 0);

} // namespace tsr::media
