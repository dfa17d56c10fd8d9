// tsrraw demo: the whole job on a fresh machine with nothing but an output folder. Makes a short
// clip of the synthetic scene, converts it at full, half and quarter size to OpenEXR, and writes
// an 8-bit preview of every frame.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "commands/commands.h"
#include "commands/debayeroptions.h"
#include "commands/encodeoptions.h"
#include "encoder/syntheticscene.h"
#include "pictures/pictureformats.h"
#include "pipeline/convertpipeline.h"
#include "support/commandline.h"
#include "support/progress.h"
#include "support/toolerror.h"
#include "tsr/media/clip.h"
#include "tsr/media/frames.h"

namespace tsr::tools {

using namespace media;

namespace {

const char kHelp[] =
    "usage: tsrraw demo [options] FOLDER\n"
    "\n"
    "Builds a short clip of the synthetic scene (FOLDER/scene.mov) and converts it through the\n"
    "decoder and the engine at full, half and quarter size: FOLDER/<size>/frame_NNNN.exr\n"
    "(RGBA half floats, linear BT.709) and FOLDER/<size>/preview_NNNN.png (8-bit sRGB).\n"
    "\n"
    "options:\n"
    "  --size WxH    scene size (default 1280x720)\n"
    "  --count N     frames (default 12)\n"
    "  --engine E    auto (default: OpenCL on a GPU when there is one, else the CPU engine),\n"
    "                opencl or cpu\n"
    "  --device D    OpenCL device: auto (default), gpu, cpu or P:D from `tsrraw devices`\n"
    "  --threads N   worker threads of the CPU engine and the decoder (default: one per\n"
    "                processor)\n"
    "  -q, --quiet   no progress bars\n"
    "  -h, --help    this text\n";

void MakeFolder(const std::string& path) {
    std::string partial;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            if (!partial.empty() && mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST)
                throw ToolError("cannot create the folder " + partial + ": " + std::strerror(errno));
        }
        if (i < path.size()) partial += path[i];
    }
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        throw ToolError(path + " is not a folder");
}

std::string FrameName(const std::string& folder, const char* stem, int index, const char* extension) {
    char name[64];
    std::snprintf(name, sizeof name, "/%s_%04d.%s", stem, index, extension);
    return folder + name;
}

} // namespace

int RunDemo(int argc, const char* const* argv) {
    const CommandLine args(argc, argv, 0,
                           {{"size", true, 0},
                            {"count", true, 0},
                            {"device", true, 0},
                            {"engine", true, 0},
                            {"threads", true, 0},
                            {"quiet", false, 'q'}});
    if (args.Has("help")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (args.Operands().size() != 1)
        throw UsageError("demo takes one output folder (see tsrraw demo --help)");
    std::string folder = args.Operands()[0];
    if (folder == "-") throw UsageError("demo writes several files into a folder, not to standard output");
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    SceneSettings scene;
    ParseSize(args.Value("size", "1280x720"), scene.width, scene.height);
    const int count = static_cast<int>(args.Integer("count", 12, 1, 10000));
    const bool quiet = args.Has("quiet");

    // The engine first: without one there is no point in making anything.
    std::unique_ptr<RgbaEngine> session = OpenDebayerSession(args);
    MakeFolder(folder);
    std::printf("engine: %s\n", session->Description().c_str());

    const std::string clipPath = folder + "/scene.mov";
    {
        // The scene is rendered white-balanced in linear BT.709 primaries: unit gains, and the
        // BT.709-to-XYZ matrix as the camera matrix.
        EncoderSettings settings;
        settings.colorMatrix = {0.4124f, 0.3576f, 0.1805f, 0.2126f, 0.7152f,
                                0.0722f, 0.0193f, 0.1192f, 0.9505f};
        std::unique_ptr<ClipWriter> writer = CreateClipWriter(clipPath, ClipWriterSettings{});
        Progress progress("encode", count, quiet);
        for (int i = 0; i < count; ++i) {
            const std::vector<uint16_t> mosaic = RenderSceneMosaic(scene, settings.bayerPattern, i / 24.0);
            const std::vector<uint8_t> frame =
                EncodeFrame(mosaic.data(), scene.width, scene.height, scene.width, settings);
            if (frame.empty()) throw ToolError("the encoder refused the scene");
            writer->Append(frame);
            progress.Advance();
        }
        writer->Finish();
        progress.Done();
    }
    std::printf("wrote %s: %d frames of %dx%d\n", clipPath.c_str(), count, scene.width, scene.height);

    std::unique_ptr<ClipReader> clip = OpenClip(clipPath);
    FrameDecoder decoder(ThreadsFrom(args));
    static const char* const sizes[] = {"full", "half", "quarter"};
    for (int scale = 0; scale < 3; ++scale) {
        const std::string output = folder + "/" + sizes[scale];
        MakeFolder(output);
        ConvertJob job;
        job.clip = clip.get();
        job.range = FrameRange{0, count - 1};
        job.scaleIndex = scale;
        job.decoder = decoder.Get();
        job.session = session.get();
        job.debayer.curve = 0;
        Progress progress(std::string("convert ") + sizes[scale], count, quiet);
        job.progress = &progress;
        const PictureFormat exr = FormatFor("exr", "", true), preview = FormatFor("preview", "", true);
        job.write = [&output, exr, preview](const RgbaFrame& frame) {
            WriteRgbaPicture(frame, exr, FrameName(output, "frame", frame.index, "exr"));
            WriteRgbaPicture(frame, preview, FrameName(output, "preview", frame.index, "png"));
        };
        const ConvertTimings timings = RunConvertJob(job);
        progress.Done();
        std::printf("wrote %s/frame_NNNN.exr and preview_NNNN.png: %d frames of %dx%d, %.1f frames/s\n",
                    output.c_str(), timings.frames, scene.width >> scale, scene.height >> scale,
                    timings.wallSeconds > 0 ? timings.frames / timings.wallSeconds : 0.0);
    }
    return kExitOk;
}

} // namespace tsr::tools
