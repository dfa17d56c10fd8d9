// tsrraw devices: the CPU engine, and the OpenCL platforms and devices numbered for --device.
#include <cstdio>

#include "commands/commands.h"
#include "pipeline/cpusession.h"
#include "pipeline/opencldevices.h"
#include "support/commandline.h"
#include "support/toolerror.h"

namespace tsr::tools {

int RunDevices(int argc, const char* const* argv) {
    const CommandLine args(argc, argv, 0, {});
    if (args.Has("help")) {
        std::fputs(
            "usage: tsrraw devices\n\nLists the CPU engine (its SIMD target and threads) and the OpenCL "
            "platforms and\n"
            "devices. Pass P:D to --device of debayer, convert or demo to choose one; the default\n"
            "is a GPU if there is one, else any device. [auto] marks what --engine auto takes.\n",
            stdout);
        return kExitOk;
    }
    if (!args.Operands().empty()) throw UsageError("devices takes no operands");
    const bool gpu = HasUsableOpenCLGpu();
    std::printf("CPU engine: %s%s\n", CpuEngineText(CpuEngine(0).Threads()).c_str(), gpu ? "" : "  [auto]");
    std::vector<OpenCLDevice> devices;
    try {
        devices = ListOpenCLDevices();
    } catch (const ToolError& error) {
        std::printf("OpenCL: %s\n", error.what());
        return kExitOk;
    }
    OpenCLDevice chosen;
    chosen.platformIndex = -1;
    try {
        chosen = ChooseOpenCLDevice("");
    } catch (const ToolError&) {
        // listed all the same; none is marked as the default
    }
    int platform = -1;
    for (const OpenCLDevice& d : devices) {
        if (d.platformIndex != platform) {
            platform = d.platformIndex;
            std::printf("platform %d: %s\n", platform, d.platformName.c_str());
        }
        const bool isDefault = d.platformIndex == chosen.platformIndex && d.deviceIndex == chosen.deviceIndex;
        std::printf("  %d:%d  %-11s %s (%s, %u compute units, %llu MiB%s%s)%s%s\n", d.platformIndex,
                    d.deviceIndex, DeviceTypeText(d.type).c_str(), d.deviceName.c_str(), d.version.c_str(),
                    d.computeUnits, d.memoryBytes >> 20, d.imageSupport ? "" : ", no images",
                    d.available ? "" : ", unavailable", isDefault ? "  [default]" : "",
                    isDefault && gpu ? "  [auto]" : "");
    }
    return kExitOk;
}

} // namespace tsr::tools
