// tsrraw encode: frames or clips from pictures or from the built-in moving scene.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <future>
#include <thread>

#include "commands/commands.h"
#include "commands/encodeoptions.h"
#include "commands/inputoptions.h"
#include "common/processorcount.h"
#include "encoder/frameencoder.h"
#include "encoder/syntheticscene.h"
#include "pictures/imagefiles.h"
#include "support/commandline.h"
#include "support/outputnames.h"
#include "support/progress.h"
#include "support/standardoutput.h"
#include "support/toolerror.h"
#include "tsr/media/clip.h"
#include "tsr/media/frames.h"
#include "tsr/media/outputfile.h"

namespace tsr::tools {

using namespace media;

namespace {

const char kHelp[] =
    "usage: tsrraw encode [options] -o OUTPUT PICTURE...\n"
    "       tsrraw encode --scene [options] -o OUTPUT\n"
    "\n"
    "Encodes pictures (16-bit PNG or TIFF, OpenEXR), one frame each, or the built-in synthetic\n"
    "scene (sky, buildings, a moving ball and a turning wheel) into Tessel RAW frames. OUTPUT\n"
    "ending in .mov is a QuickTime clip; any other name gets the frames back to back (one frame\n"
    "is a plain frame file); -o - writes the frames back to back to standard output.\n"
    "\n"
    "Grey pictures are taken as the Bayer mosaic itself, in sensor values (black 256). RGB\n"
    "pictures are mosaiced: 16-bit samples 0..65535 and OpenEXR values 0..1 map to black..white.\n"
    "\n"
    "input:\n"
    "  --scene               use the synthetic scene instead of pictures\n"
    "  --size WxH            scene size in photosites (even; default 1920x1080)\n"
    "  --count N             scene frames (default 1)\n"
    "  --seed N              scene noise seed (default 1); --noise X noise strength (default 1)\n"
    "  --fps N[/D]           clip frame rate and scene time step (default 24)\n"
    "  --timecode T          QuickTime: a time code track, first frame at HH:MM:SS:FF\n"
    "frame:\n"
    "  --pattern N           Bayer pattern 0..3: R G/G B, G R/B G, G B/R G, B G/G R (default 0)\n"
    "  --qscale N            quantiser scale 1..255 (default 4)\n"
    "  --bits-per-photosite X  rate control: pick qScale per frame for about X bits a photosite\n"
    "  --slice-width N       macroblocks per slice: 1, 2, 4, 8 or 16 (default 8)\n"
    "  --quant-matrix LIST   64 weights 1..63 in raster order, or one weight for all\n"
    "  --tone-curve LIST     8 strictly increasing knots (version 1 only)\n"
    "  --version N           frame version 0 or 1 (default 1)\n"
    "  --white-level-code N  white level - 256 (default 3839, white 4095)\n"
    "  --gains R,B           red and blue white-balance gains (default 1,1)\n"
    "  --matrix LIST         9 floats, camera RGB to CIE XYZ, row-major (default identity)\n"
    "  --exposure X          exposure factor (default 1)\n"
    "output:\n"
    "  -o, --output FILE     where to write (- for standard output)\n"
    "  --fourcc tsrn|tsrh    QuickTime track type (default tsrn)\n"
    "  --threads N           frames encoded at once (default: one per processor)\n"
    "  --max-pixels N        refuse pictures of more than N pixels (default 268435456)\n"
    "  -q, --quiet           no progress bar\n"
    "  -h, --help            this text\n";

// Sensor values from a picture: grey is the mosaic; colour maps 0..full to black..white.
std::vector<uint16_t> MosaicFromPicture(const Picture16& picture, const EncoderSettings& settings) {
    const double black = 256.0, white = 256.0 + settings.whiteLevelCode;
    if (picture.channels == 1) return picture.samples;
    if (picture.channels < 3) throw ToolError("pictures must be grey, RGB or RGBA");
    const size_t pixels = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
    std::vector<uint16_t> rgb(pixels * 3);
    for (size_t i = 0; i < pixels; ++i)
        for (size_t c = 0; c < 3; ++c) {
            const double v = picture.samples[i * static_cast<size_t>(picture.channels) + c] / 65535.0;
            rgb[i * 3 + c] =
                static_cast<uint16_t>(std::clamp(std::lround(black + v * (white - black)), 0L, 65535L));
        }
    return MosaicRgb(rgb.data(), picture.width, picture.height, settings.bayerPattern);
}

std::vector<uint16_t> MosaicFromExr(const PictureFloat& picture, const EncoderSettings& settings) {
    const double black = 256.0, white = 256.0 + settings.whiteLevelCode;
    const size_t count = picture.samples.size();
    std::vector<uint16_t> values(count);
    for (size_t i = 0; i < count; ++i) {
        const double v = std::isfinite(picture.samples[i]) ? picture.samples[i] : 0.0;
        values[i] = static_cast<uint16_t>(std::clamp(std::lround(black + v * (white - black)), 0L, 65535L));
    }
    if (picture.channels == 1) return values;
    return MosaicRgb(values.data(), picture.width, picture.height, settings.bayerPattern);
}

struct EncodedFrame {
    int width = 0, height = 0;
    std::vector<uint8_t> bytes;
};

struct Mosaic {
    int width = 0, height = 0;
    std::vector<uint16_t> samples;
};

Mosaic LoadPicture(const std::string& path, const EncoderSettings& settings) {
    Mosaic mosaic;
    if (HasExtension(path, ".exr")) {
        const PictureFloat picture = ReadExr(path);
        mosaic = {picture.width, picture.height, MosaicFromExr(picture, settings)};
    } else {
        const Picture16 picture =
            (HasExtension(path, ".tif") || HasExtension(path, ".tiff")) ? ReadTiff(path) : ReadPng(path);
        mosaic = {picture.width, picture.height, MosaicFromPicture(picture, settings)};
    }
    if (mosaic.width < 2 || mosaic.height < 2 || (mosaic.width & 1) || (mosaic.height & 1) ||
        mosaic.width > 65534 || mosaic.height > 65534)
        throw ToolError(path + ": pictures need an even width and height from 2 to 65534, not " +
                        std::to_string(mosaic.width) + "x" + std::to_string(mosaic.height));
    return mosaic;
}

// Everything the command line asks for, read and checked.
struct EncodeJob {
    EncoderSettings settings;
    ClipWriterSettings clipSettings;
    bool scene = false;
    SceneSettings sceneSettings;
    std::vector<std::string> pictures;
    int count = 0;
    int threads = 1;
};

EncodeJob ReadEncodeJob(const CommandLine& args) {
    EncodeJob job;
    job.settings = EncoderSettingsFrom(args);
    job.clipSettings = ClipWriterSettingsFrom(args);
    if (!args.Has("output")) throw UsageError("encode needs an output file: -o FILE");
    job.scene = args.Has("scene");
    job.pictures = args.Operands();
    if (job.scene == !job.pictures.empty())
        throw UsageError(job.scene ? "--scene takes no input pictures"
                                   : "encode needs input pictures or --scene");
    job.count = static_cast<int>(job.pictures.size());
    if (job.scene) {
        SceneSettings& scene = job.sceneSettings;
        ParseSize(args.Value("size", "1920x1080"), scene.width, scene.height);
        scene.whiteLevelCode = job.settings.whiteLevelCode;
        scene.seed = static_cast<uint32_t>(args.Integer("seed", 1, 0, 0xFFFFFFFFll));
        scene.noise = static_cast<float>(args.Number("noise", 1.0, 0.0, 100.0));
        job.count = static_cast<int>(args.Integer("count", 1, 1, 1000000));
    }
    job.threads = static_cast<int>(args.Integer("threads", std::min(ProcessorCount(), 64), 1, 64));
    return job;
}

// Frame `i`: rendered from the scene at its time in the clip, or loaded from its picture.
EncodedFrame EncodeJobFrame(const EncodeJob& job, int i) {
    Mosaic mosaic;
    if (job.scene) {
        const double t = static_cast<double>(i) * job.clipSettings.frameRateDenominator /
                         job.clipSettings.frameRateNumerator;
        mosaic = {job.sceneSettings.width, job.sceneSettings.height,
                  RenderSceneMosaic(job.sceneSettings, job.settings.bayerPattern, t)};
    } else {
        mosaic = LoadPicture(job.pictures[static_cast<size_t>(i)], job.settings);
    }
    EncodedFrame encoded{
        mosaic.width, mosaic.height,
        EncodeFrame(mosaic.samples.data(), mosaic.width, mosaic.height, mosaic.width, job.settings)};
    if (encoded.bytes.empty())
        throw ToolError("the encoder refused frame " + std::to_string(i) + " (size or settings)");
    return encoded;
}

// -o -: frames back to back, the stream a clip of plain frames holds.
class StandardOutputClipWriter : public ClipWriter {
public:
    void Append(const std::vector<uint8_t>& frame) override {
        WriteStandardOutput(frame.data(), frame.size());
    }
    void Finish() override { FinishStandardOutput(); }
};

// Frames are rendered (or loaded) and encoded on several threads, and written in order.
void EncodeAll(const EncodeJob& job, ClipWriter& writer, Progress& progress) {
    int firstWidth = 0, firstHeight = 0;
    for (int base = 0; base < job.count; base += job.threads) {
        std::vector<std::future<EncodedFrame>> batch;
        for (int i = base; i < std::min(job.count, base + job.threads); ++i)
            batch.push_back(std::async(std::launch::async, EncodeJobFrame, std::cref(job), i));
        for (size_t k = 0; k < batch.size(); ++k) {
            const int i = base + static_cast<int>(k);
            const EncodedFrame frame = batch[k].get();
            if (i == 0) {
                firstWidth = frame.width;
                firstHeight = frame.height;
            } else if (frame.width != firstWidth || frame.height != firstHeight) {
                throw ToolError("all pictures of a clip must have one size: " +
                                job.pictures[static_cast<size_t>(i)] + " differs from the first");
            }
            writer.Append(frame.bytes);
            progress.Advance();
        }
    }
}

} // namespace

int RunEncode(int argc, const char* const* argv) {
    std::vector<OptionDefinition> definitions = EncoderOptionDefinitions();
    definitions.insert(definitions.end(), {{"scene", false, 0},
                                           {"size", true, 0},
                                           {"count", true, 0},
                                           {"seed", true, 0},
                                           {"noise", true, 0},
                                           {"fps", true, 0},
                                           {"timecode", true, 0},
                                           {"output", true, 'o'},
                                           {"fourcc", true, 0},
                                           {"threads", true, 0},
                                           {"max-pixels", true, 0},
                                           {"quiet", false, 'q'}});
    const CommandLine args(argc, argv, 0, definitions);
    if (args.Has("help")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    const EncodeJob job = ReadEncodeJob(args);
    SetInputLimitsFrom(args);
    for (const std::string& input : job.pictures) RegisterInput(input);
    std::unique_ptr<ClipWriter> writer;
    if (IsStandardOutput(args.Value("output"))) {
        PrepareStandardOutput("frames");
        writer = std::make_unique<StandardOutputClipWriter>();
    } else {
        CheckOutputPath(args.Value("output"));
        writer = CreateClipWriter(args.Value("output"), job.clipSettings);
    }
    Progress progress("encode", job.count, args.Has("quiet"));
    EncodeAll(job, *writer, progress);
    writer->Finish();
    progress.Done();
    return kExitOk;
}

} // namespace tsr::tools
