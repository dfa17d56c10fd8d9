// tsrraw devices: the CPU engine, and the OpenCL platforms and devices numbered for --device.
#include <cstdio>

#include "commands/commands.h"
#include "support/commandline.h"
#include "support/toolerror.h"
#include "tsr/media/rgbaengine.h"

namespace tsr::tools {

using namespace media;

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
    const EngineListing listing = ListEngines();
    std::printf("CPU engine: %s%s\n", listing.cpu.c_str(), listing.autoIsCpu ? "  [auto]" : "");
    if (listing.devices.empty()) {
        std::printf("OpenCL: %s\n", listing.openclError.c_str());
        return kExitOk;
    }
    int platform = -1;
    for (const OpenCLDeviceInfo& d : listing.devices) {
        if (d.platformIndex != platform) {
            platform = d.platformIndex;
            std::printf("platform %d: %s\n", platform, d.platformName.c_str());
        }
        std::printf("  %d:%d  %-11s %s (%s, %u compute units, %llu MiB%s%s)%s%s\n", d.platformIndex,
                    d.deviceIndex, d.type.c_str(), d.deviceName.c_str(), d.version.c_str(), d.computeUnits,
                    d.memoryBytes >> 20, d.imageSupport ? "" : ", no images",
                    d.available ? "" : ", unavailable", d.isDefault ? "  [default]" : "",
                    d.isDefault && !listing.autoIsCpu ? "  [auto]" : "");
    }
    return kExitOk;
}

} // namespace tsr::tools
