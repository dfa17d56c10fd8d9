#include "commands/debayeroptions.h"

#include "support/mediaerrors.h"
#include "support/toolerror.h"
#include "tsr/media/outputfile.h"
#include "tsr/media/rgbaengine.h"

namespace tsr::tools {

using namespace media;

const char kDebayerOptionsHelp[] =
    "debayer options:\n"
    "  --curve N           0 linear BT.709, 1 linear BT.2020 (default), 2 HLG, 3 Canon Log 2,\n"
    "                      5 Nikon N-Log, 4 and 6..8 the generic log curve (four tables)\n"
    "  --type half|float   RGBA of 16-bit (default) or 32-bit floats\n"
    "  --colour LIST       12 floats replacing the frame's gain0, gain1, 3x3 colour matrix\n"
    "                      (row-major) and exposure\n"
    "  --tuning N          the engine's tuning value (20202 prints per-frame GPU timing)\n"
    "  --engine E          auto (default: OpenCL on a GPU when there is one, else the CPU\n"
    "                      engine), opencl or cpu\n"
    "  --device D          the OpenCL device: auto (default: a GPU, else any device), gpu, cpu,\n"
    "                      or P:D from `tsrraw devices`; implies --engine opencl under auto\n"
    "  --threads N         worker threads of the CPU engine (and of the decoder, where there is\n"
    "                      one); default one per processor\n"
    "output options:\n"
    "  --format F          exr, tiff, png (16-bit RGB, clamped to 0..1), preview (8-bit PNG,\n"
    "                      sRGB transfer for linear curves), dpx (10- or 16-bit RGB, clamped to\n"
    "                      0..1, the curve as the engine applies it) or raw (RGBA exactly as\n"
    "                      the engine writes it); default from the extension, else raw\n"
    "  --exr-compression C piz (default: lossless, fast on photographic data), zip, rle or none\n";

std::vector<OptionDefinition> DebayerOptionDefinitions() {
    return {{"curve", true, 0},  {"type", true, 0},   {"colour", true, 0},          {"color", true, 0},
            {"tuning", true, 0}, {"device", true, 0}, {"exr-compression", true, 0}, {"format", true, 0},
            {"engine", true, 0}, {"threads", true, 0}};
}

DebayerSettings DebayerSettingsFrom(const CommandLine& args) {
    DebayerSettings settings;
    settings.curve = static_cast<unsigned>(args.Integer("curve", 1, 0, 8));
    const std::string type = args.Value("type", "half");
    if (type != "half" && type != "float") throw UsageError("--type must be half or float");
    settings.floatOutput = type == "float";
    const char* colourName = args.Has("colour") ? "colour" : args.Has("color") ? "color" : nullptr;
    if (colourName) {
        const std::vector<double> values = args.NumberList(colourName, 12);
        settings.hasColour = true;
        for (size_t i = 0; i < 12; ++i) settings.colour[i] = static_cast<float>(values[i]);
    }
    return settings;
}

RgbaOutputOptions RgbaOutputOptionsFrom(const CommandLine& args, const std::string& firstName) {
    RgbaOutputOptions options;
    options.format = FormatFor(args.Value("format"), firstName, true);
    const std::string compression = args.Value("exr-compression", "piz");
    if (compression == "none")
        options.picture.compression = ExrCompression::None;
    else if (compression == "zip")
        options.picture.compression = ExrCompression::Zip;
    else if (compression == "piz")
        options.picture.compression = ExrCompression::Piz;
    else if (compression == "rle")
        options.picture.compression = ExrCompression::Rle;
    else
        throw UsageError("--exr-compression must be piz, zip, rle or none");
    return options;
}

int ThreadsFrom(const CommandLine& args) {
    return static_cast<int>(args.Integer("threads", 0, 0, 64));
}

std::unique_ptr<RgbaEngine> OpenDebayerSession(const CommandLine& args) {
    std::optional<std::int32_t> tuning;
    if (args.Has("tuning"))
        tuning = static_cast<std::int32_t>(args.Integer("tuning", 0, -2147483647ll - 1, 2147483647ll));
    const std::string engine = args.Value("engine", "auto");
    if (engine != "auto" && engine != "opencl" && engine != "cpu")
        throw UsageError("--engine must be auto, opencl or cpu");
    if (engine == "cpu" && args.Has("device"))
        throw UsageError("--device chooses an OpenCL device, not the CPU engine");
    EngineChoice choice;
    choice.engine = engine;
    choice.device = args.Value("device");
    choice.threads = ThreadsFrom(args);
    choice.tuning = tuning;
    try {
        return OpenEngine(choice);
    } catch (const MediaError& error) {
        // Engine, threads and their combination are checked above: what is left is the device.
        if (error.ErrorKind() == MediaError::Kind::BadArgument)
            throw UsageError("--device takes auto, gpu, cpu, PLATFORM or PLATFORM:DEVICE, not \"" +
                             choice.device + "\"");
        throw ToolErrorFrom(error);
    }
}

} // namespace tsr::tools
