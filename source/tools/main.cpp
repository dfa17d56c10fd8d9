// tsrraw: encode, inspect, decode, debayer and convert Tessel RAW frames and clips.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "commands/commands.h"
#include "support/mediaerrors.h"
#include "support/toolerror.h"
#include "tsr/media/interruptcleanup.h"

namespace {

const char kUsage[] = "usage: tsrraw COMMAND [options] ...\n"
                      "\n"
                      "commands:\n"
                      "  info      a clip's summary, or its frames in detail (header, slices, records)\n"
                      "  encode    frames or clips from pictures or from the built-in moving scene\n"
                      "  decode    frames or clips to the decoder's raw output, or 16-bit PNG/TIFF\n"
                      "  debayer   decoded raw buffers through the engine (CPU or OpenCL) to RGBA pictures\n"
                      "  convert   frames or clips through decoder and engine in one go\n"
                      "  devices   list the engines: the CPU engine and the OpenCL devices\n"
                      "  demo      make a short clip and convert it: tsrraw demo FOLDER\n"
                      "\n"
                      "tsrraw COMMAND --help describes each command.\n";

struct Command {
    const char* name;
    int (*run)(int, const char* const*);
};

const Command kCommands[] = {
    {"info", tsr::tools::RunInfo},       {"encode", tsr::tools::RunEncode},
    {"decode", tsr::tools::RunDecode},   {"debayer", tsr::tools::RunDebayer},
    {"convert", tsr::tools::RunConvert}, {"devices", tsr::tools::RunDevices},
    {"demo", tsr::tools::RunDemo},
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("tsrraw: no command given (see tsrraw --help)\n", stderr);
        return tsr::tools::kExitUsage;
    }
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
        std::fputs(kUsage, stdout);
        return tsr::tools::kExitOk;
    }
    tsr::media::InstallInterruptCleanup();
    // An output over the file size limit then fails like a full disk, with its own message,
    // instead of ending the process half way.
    std::signal(SIGXFSZ, SIG_IGN);
    for (const Command& command : kCommands) {
        if (std::strcmp(argv[1], command.name) != 0) continue;
        try {
            const int code = command.run(argc - 2, argv + 2);
            if (std::fflush(stdout) != 0) {
                std::fprintf(stderr, "tsrraw: cannot write to standard output\n");
                return tsr::tools::kExitFailure;
            }
            return code;
        } catch (const tsr::tools::ToolError& error) {
            std::fflush(stdout);
            std::fprintf(stderr, "tsrraw %s: %s\n", command.name, error.what());
            return error.ExitCode();
        } catch (const tsr::media::MediaError& failure) {
            const tsr::tools::ToolError error = tsr::tools::ToolErrorFrom(failure);
            std::fflush(stdout);
            std::fprintf(stderr, "tsrraw %s: %s\n", command.name, error.what());
            return error.ExitCode();
        } catch (const std::bad_alloc&) {
            std::fflush(stdout);
            std::fprintf(stderr, "tsrraw %s: out of memory\n", command.name);
            return tsr::tools::kExitFailure;
        } catch (const std::exception& error) {
            std::fflush(stdout);
            std::fprintf(stderr, "tsrraw %s: %s\n", command.name, error.what());
            return tsr::tools::kExitFailure;
        }
    }
    std::fprintf(stderr, "tsrraw: unknown command \"%s\" (see tsrraw --help)\n", argv[1]);
    return tsr::tools::kExitUsage;
}
