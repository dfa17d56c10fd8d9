// The engine choice and listing: OpenCL on a device, or the CPU engine.
#include <utility>

#include "cpuengine/cpuengine.h"
#include "engine/tuning.h"
#include "media/cpusession.h"
#include "media/debayersession.h"
#include "media/opencldevices.h"
#include "tsr/media/mediaerror.h"
#include "tsr/media/rgbaengine.h"

namespace tsr::media {

std::unique_ptr<RgbaEngine> OpenEngine(const EngineChoice& choice) {
    const std::string& engine = choice.engine;
    if (engine != "auto" && engine != "opencl" && engine != "cpu")
        throw MediaError::BadArgument("the engine is auto, opencl or cpu, not \"" + engine + "\"");
    if (engine == "cpu" && !choice.device.empty())
        throw MediaError::BadArgument("a device chooses an OpenCL device, not the CPU engine");
    if (choice.threads < 0) throw MediaError::BadArgument("the CPU engine's thread count is negative");
    const bool opencl =
        engine == "opencl" || (engine == "auto" && (!choice.device.empty() || HasUsableOpenCLGpu()));
    if (opencl) return std::make_unique<DebayerSession>(ChooseOpenCLDevice(choice.device), choice.tuning);
    return std::make_unique<CpuSession>(choice.threads,
                                        choice.tuning ? *choice.tuning : ProcessTuningValue());
}

EngineListing ListEngines(int threads) {
    EngineListing listing;
    listing.autoIsCpu = !HasUsableOpenCLGpu();
    listing.cpu = CpuEngineText(CpuEngine(threads).Threads());
    std::vector<OpenCLDevice> devices;
    try {
        devices = ListOpenCLDevices();
    } catch (const MediaError& error) {
        listing.openclError = error.what();
        return listing;
    }
    OpenCLDevice chosen;
    chosen.platformIndex = -1;
    try {
        chosen = ChooseOpenCLDevice("");
    } catch (const MediaError&) {
        // listed all the same; none is marked as the default
    }
    for (const OpenCLDevice& d : devices) {
        OpenCLDeviceInfo info;
        info.platformIndex = d.platformIndex;
        info.deviceIndex = d.deviceIndex;
        info.platformName = d.platformName;
        info.deviceName = d.deviceName;
        info.version = d.version;
        info.type = DeviceTypeText(d.type);
        info.available = d.available;
        info.imageSupport = d.imageSupport;
        info.memoryBytes = d.memoryBytes;
        info.computeUnits = d.computeUnits;
        info.isDefault = d.platformIndex == chosen.platformIndex && d.deviceIndex == chosen.deviceIndex;
        listing.devices.push_back(std::move(info));
    }
    return listing;
}

} // namespace tsr::media
