// tsrraw debayer and convert: decoded pictures, or compressed frames and clips, through the
// engine (OpenCL or CPU) to RGBA files.
#include <cstdio>
#include <memory>
#include <thread>

#include "commands/commands.h"
#include "commands/debayeroptions.h"
#include "commands/inputoptions.h"
#include "commands/outputsinks.h"
#include "common/processorcount.h"
#include "engine/tuning.h"
#include "pictures/decodedbufferfile.h"
#include "pipeline/convertpipeline.h"
#include "support/commandline.h"
#include "support/framerange.h"
#include "support/mediaerrors.h"
#include "support/progress.h"
#include "support/standardoutput.h"
#include "support/toolerror.h"
#include "tsr/media/clip.h"
#include "tsr/media/frames.h"
#include "tsr/media/outputfile.h"
#include "tsr/media/processorshare.h"

namespace tsr::tools {

using namespace media;

namespace {

const char kDebayerHelp[] =
    "usage: tsrraw debayer [options] -o OUTPUT INPUT\n"
    "\n"
    "Runs decoded pictures, as `decode --format raw` writes them (the 116-byte frame info record,\n"
    "then the picture; several back to back), through the engine to RGBA. With several\n"
    "pictures, a picture OUTPUT needs %d in its name (out_%04d.exr). -o - writes --format raw\n"
    "to standard output.\n"
    "\n"
    "options:\n"
    "  -o, --output FILE   where to write (- for standard output)\n"
    "  --frames RANGE      N, FIRST-LAST or FIRST- (from 0); default all\n"
    "  -q, --quiet         no progress bar\n"
    "  -h, --help          this text\n";

const char kConvertHelp[] =
    "usage: tsrraw convert [options] -o OUTPUT INPUT\n"
    "\n"
    "Decodes a frame or a clip (plain frames or QuickTime) and runs every frame through the\n"
    "engine to RGBA files, DPX pictures, a proxy video (--codec) or standard output (-o -). The\n"
    "decode of the next frame overlaps the debayer of the current one and the writing of the\n"
    "previous one. With several frames, a picture OUTPUT needs %d in its name (out_%04d.exr),\n"
    "replaced by the frame index. INPUT - reads standard input.\n"
    "\n"
    "options:\n"
    "  -o, --output FILE   where to write\n"
    "  --scale N           scale index 0..3: full, half, quarter or eighth size (default 0)\n"
    "  --downscale F       the same as a divisor: 1, 2, 4 or 8 (--downscale 2 is --scale 1);\n"
    "                      the decoder decodes at that size, it never decodes full size and\n"
    "                      shrinks\n"
    "  --frames RANGE      N, FIRST-LAST or FIRST- (from 0); default all\n"
    "  --max-pixels N      refuse frames of more than N photosites (default 268435456,\n"
    "                      16384 x 16384)\n"
    "  --no-overlap        run decode, debayer and writing one after another\n"
    "  --timings           print the time spent in each stage\n"
    "  --max-stdin-bytes N refuse a QuickTime clip of more than N bytes on standard input, which\n"
    "                      is read into memory (default 4294967296; frames back to back stream)\n"
    "  --keep-going        go on past damaged frames (see below)\n"
    "  -q, --quiet         no progress bar\n"
    "  -h, --help          this text\n"
    "\n"
    "A damaged frame (one the decoder refuses, or one with slices it skips) stops the job with\n"
    "an error naming it; the frames before it are written. A clip cut short is refused before\n"
    "any frame is decoded. With --keep-going every other frame is written: nothing for a\n"
    "refused frame or the cut one, a frame with damaged slices with their areas black; the\n"
    "damaged frames are listed on standard error at the end.\n"
    "\n"
    "Exit status: 0 done; 1 failed; 2 wrong arguments; 3 done with --keep-going, but damaged\n"
    "frames were found.\n";

void PrintTimings(std::FILE* to, const ConvertTimings& t) {
    std::fprintf(to, "%d frames in %.3f s (%.2f frames/s): decode %.3f s, debayer %.3f s, write %.3f s\n",
                 t.frames, t.wallSeconds, t.wallSeconds > 0 ? t.frames / t.wallSeconds : 0.0, t.decodeSeconds,
                 t.debayerSeconds, t.writeSeconds);
}

std::vector<OptionDefinition> WithDebayerOptions(std::initializer_list<OptionDefinition> own) {
    std::vector<OptionDefinition> definitions = DebayerOptionDefinitions();
    definitions.insert(definitions.end(), own);
    return definitions;
}

// Prints the help when asked (false: nothing more to do); else checks for one input and -o.
bool OneInputOneOutput(const CommandLine& args, const std::string& command, const char* help,
                       const char* moreHelp = "") {
    if (args.Has("help")) {
        std::printf("%s\n%s%s", help, kDebayerOptionsHelp, moreHelp);
        return false;
    }
    if (args.Operands().size() != 1)
        throw UsageError(command + " takes one input file (see tsrraw " + command + " --help)");
    if (!args.Has("output")) throw UsageError(command + " needs an output file: -o FILE");
    return true;
}

// --scale takes the decoder's index, --downscale the divisor it stands for.
int ScaleIndexFrom(const CommandLine& args) {
    if (!args.Has("downscale")) return static_cast<int>(args.Integer("scale", 0, 0, 3));
    if (args.Has("scale")) throw UsageError("--scale and --downscale say the same thing: give one");
    switch (args.Integer("downscale", 1, 1, 8)) {
    case 1:
        return 0;
    case 2:
        return 1;
    case 4:
        return 2;
    case 8:
        return 3;
    default:
        throw UsageError("--downscale must be 1, 2, 4 or 8");
    }
}

} // namespace

int RunDebayer(int argc, const char* const* argv) {
    const CommandLine args(
        argc, argv, 0,
        WithDebayerOptions({{"output", true, 'o'}, {"frames", true, 0}, {"quiet", false, 'q'}}));
    if (!OneInputOneOutput(args, "debayer", kDebayerHelp)) return kExitOk;
    const DebayerSettings settings = DebayerSettingsFrom(args);
    const OutputNames names(args.Value("output"));
    const RgbaOutputOptions output = RgbaOutputOptionsFrom(args, names.Name(0));
    const FrameRange wanted = FrameRange::Parse(args.Value("frames", "0-"));

    const bool toStandardOutput = IsStandardOutput(args.Value("output"));
    if (toStandardOutput && output.format != PictureFormat::Raw)
        throw UsageError("-o - writes --format raw, not " + std::string(FormatName(output.format)));
    if (toStandardOutput && args.Has("tuning") &&
        args.Integer("tuning", 0, -2147483647ll - 1, 2147483647ll) == kTuningFrameTimer)
        throw UsageError("--tuning " + std::to_string(kTuningFrameTimer) +
                         " prints timings to standard output, which -o - keeps for the frames");

    DecodedBufferFile input(args.Operands()[0]);
    const FrameRange range = wanted.Within(input.Count());
    std::unique_ptr<RgbaSequenceWriter> writer;
    if (toStandardOutput) {
        PrepareStandardOutput("frames");
    } else {
        CheckOutputPath(names.Name(range.first));
        writer = std::make_unique<RgbaSequenceWriter>(names, output, range.Count());
    }
    std::unique_ptr<RgbaEngine> session = OpenDebayerSession(args);
    Progress progress("debayer", range.Count(), args.Has("quiet"));
    DecodedPicture picture;
    RgbaFrame frame;
    for (int index = range.first; index <= range.last; ++index) {
        input.Read(index, picture);
        frame.index = index;
        session->Process(picture, settings, frame);
        if (writer)
            writer->Write(frame);
        else
            WriteStandardOutput(frame.bytes.data(), frame.bytes.size());
        progress.Advance();
    }
    if (writer)
        writer->Finish();
    else
        FinishStandardOutput();
    progress.Done();
    return kExitOk;
}

int RunConvert(int argc, const char* const* argv) {
    std::vector<OptionDefinition> options = WithDebayerOptions({{"output", true, 'o'},
                                                                {"scale", true, 0},
                                                                {"downscale", true, 0},
                                                                {"frames", true, 0},
                                                                {"max-pixels", true, 0},
                                                                {"no-overlap", false, 0},
                                                                {"timings", false, 0},
                                                                {"max-stdin-bytes", true, 0},
                                                                {"keep-going", false, 0},
                                                                {"quiet", false, 'q'}});
    for (const OptionDefinition& option : OutputSinkOptionDefinitions()) options.push_back(option);
    const CommandLine args(argc, argv, 0, options);
    if (!OneInputOneOutput(args, "convert", kConvertHelp, kOutputSinkHelp)) return kExitOk;
    ConvertJob job;
    job.debayer = DebayerSettingsFrom(args);
    job.scaleIndex = ScaleIndexFrom(args);
    job.overlap = !args.Has("no-overlap");
    const int threads = ThreadsFrom(args);
    SetInputLimitsFrom(args);
    const OutputNames names(args.Value("output"));
    const FrameRange wanted = FrameRange::Parse(args.Value("frames", "0-"));

    std::unique_ptr<ClipReader> clip = OpenClip(args.Operands()[0], args.Has("keep-going"));
    job.clip = clip.get();
    job.range = ClipRange(*clip, wanted);
    const bool toStandardOutput = WritesToStandardOutput(args);
    if (!toStandardOutput) CheckOutputPath(names.Name(job.range.first));
    std::unique_ptr<FrameSink> sink =
        OpenConvertSink(args, names, clip->Properties(), job.range, MostFramesWritten(*clip, job.range));
    std::unique_ptr<RgbaEngine> session = OpenDebayerSession(args);
    // The decoder and a CPU engine share the processors: --threads in all, else every one.
    job.decoderThreads = threads > 0 ? threads : ProcessorCount();
    job.processors = std::make_shared<ProcessorShare>(job.decoderThreads);
    FrameDecoder decoder(job.decoderThreads);
    Progress progress("convert", clip->FrameCount() < 0 ? 0 : job.range.Count(), args.Has("quiet"));
    std::vector<DamagedFrame> damaged;
    if (args.Has("keep-going")) job.damaged = &damaged;
    job.decoder = decoder.Get();
    job.session = session.get();
    job.progress = &progress;
    job.write = [&sink](const RgbaFrame& frame) { sink->Write(frame); };
    ConvertTimings timings;
    // A later failure (the engine, a full disk) still lists the frames --keep-going went past.
    try {
        timings = RunConvertJob(job);
        sink->Finish();
    } catch (...) {
        ReportDamagedFrames("convert", damaged);
        throw;
    }
    progress.Done();
    if (args.Has("timings")) PrintTimings(toStandardOutput ? stderr : stdout, timings);
    return ReportDamagedFrames("convert", damaged);
}

} // namespace tsr::tools
