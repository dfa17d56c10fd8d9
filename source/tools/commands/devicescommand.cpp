// tsrraw devices: the OpenCL platforms and devices, numbered for --device.
#include <cstdio>

#include "support/commandline.h"
#include "commands/commands.h"
#include "pipeline/opencldevices.h"
#include "support/toolerror.h"

namespace tsr::tools {

int RunDevices(int argc, const char* const* argv) {
    const CommandLine args(argc, argv, 0, {});
    if (args.Has("help")) {
        std::fputs("usage: tsrraw devices\n\nLists the OpenCL platforms and devices. Pass P:D to --device of "
                   "debayer,\n"
                   "convert or demo to choose one; the default is a GPU if there is one, else any device.\n",
                   stdout);
        return kExitOk;
    }
    if (!args.Operands().empty()) throw UsageError("devices takes no operands");
    const std::vector<OpenCLDevice> devices = ListOpenCLDevices();
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
        std::printf("  %d:%d  %-11s %s (%s, %u compute units, %llu MiB%s%s)%s\n", d.platformIndex,
                    d.deviceIndex, DeviceTypeText(d.type).c_str(), d.deviceName.c_str(), d.version.c_str(),
                    d.computeUnits, d.memoryBytes >> 20, d.imageSupport ? "" : ", no images",
                    d.available ? "" : ", unavailable", isDefault ? "  [default]" : "");
    }
    return kExitOk;
}

} // namespace tsr::tools
