#include "commands/outputsinks.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "commands/debayeroptions.h"
#include "commands/inputoptions.h"
#include "engine/tuning.h"
#include "streams/codecpresets.h"
#include "streams/videosinks.h"
#include "support/toolerror.h"
#include "tsr/media/timecode.h"

namespace tsr::tools {

using namespace media;

const char kOutputSinkHelp[] =
    "video and stream options:\n"
    "  --codec C           a proxy video: prores (ProRes 422 HQ, .mov .mkv), dnxhr (DNxHR HQX,\n"
    "                      .mov .mxf), h264 (High 10, CRF 18, .mov .mp4 .mkv), hevc (Main 10,\n"
    "                      CRF 20, .mov .mp4 .mkv) or ffv1 (lossless 4:4:4 10-bit, .mov .mkv);\n"
    "                      default from a video name: .mov/.mkv prores, .mp4 h264, .mxf dnxhr\n"
    "  --quality Q         h264/hevc: CRF 0..51; prores: fixed quantiser 1..31 (lower is better)\n"
    "  --bitrate R         h264/hevc: average bits per second (20M, 8000k)\n"
    "  --timecode T        time code of the clip's first frame, HH:MM:SS:FF, for proxies and\n"
    "                      DPX (default the clip's own, else 00:00:00:00)\n"
    "  --dpx-bits N        DPX: 10 (default) or 16 bits a sample\n"
    "  -o -                write to standard output: --format raw (default: RGBA exactly as the\n"
    "                      engine writes it, frames back to back) or nut (a NUT stream of\n"
    "                      rgba64le, clipped to 0..1, with size and frame rate); --format nut\n"
    "                      with a file name writes the same stream into the file\n"
    "Proxies carry a display encoding chosen from --curve, and colour tags that say so (10-bit\n"
    "Y'CbCr, limited range): 0 linear BT.709 gets the BT.709 transfer, primaries and matrix;\n"
    "1 linear BT.2020 the BT.709-type transfer with BT.2020 primaries and non-constant-luminance\n"
    "matrix; 2 HLG stays HLG (arib-std-b67, BT.2020); the log curves 3..8 pass through as log,\n"
    "tagged BT.2020 with an unspecified transfer (grade or apply a LUT downstream). The frame rate\n"
    "is the clip's (24/1 when it does not say).\n";

namespace {

// Raw RGBA frames back to back on standard output.
class RawPipeSink : public FrameSink {
public:
    void Write(const RgbaFrame& frame) override {
        if (std::fwrite(frame.bytes.data(), 1, frame.bytes.size(), stdout) != frame.bytes.size()) Fail();
    }
    void Finish() override {
        if (std::fflush(stdout) != 0) Fail();
    }

private:
    [[noreturn]] static void Fail() {
        if (errno == EPIPE) throw ToolError("cannot write to standard output: the reader closed the pipe");
        throw ToolError("cannot write to standard output: " + std::string(std::strerror(errno)));
    }
};

// --timecode, else the clip's own, else midnight.
std::string StartTimecode(const CommandLine& args, const ClipProperties& clip) {
    return args.Value("timecode", clip.timecode.empty() ? "00:00:00:00" : clip.timecode);
}

VideoTiming TimingFrom(const CommandLine& args, const ClipProperties& clip, const FrameRange& range) {
    VideoTiming timing;
    if (clip.frameRateNumerator > 0 && clip.frameRateDenominator > 0)
        timing.frameRate = AVRational{clip.frameRateNumerator, clip.frameRateDenominator};
    timing.timecode = TimecodeOption(StartTimecode(args, clip), timing.frameRate.num, timing.frameRate.den)
                          .Text(range.first);
    return timing;
}

} // namespace

std::vector<OptionDefinition> OutputSinkOptionDefinitions() {
    return {{"codec", true, 0},
            {"quality", true, 0},
            {"bitrate", true, 0},
            {"timecode", true, 0},
            {"dpx-bits", true, 0}};
}

bool WritesToStandardOutput(const CommandLine& args) {
    return args.Value("output") == "-";
}

std::unique_ptr<FrameSink> OpenConvertSink(const CommandLine& args, const OutputNames& names,
                                           const ClipProperties& clip, const FrameRange& range,
                                           int mostFrames) {
    const std::string path = args.Value("output");
    const std::string format = args.Value("format");
    const VideoTiming timing = TimingFrom(args, clip, range);
    const bool proxy = args.Has("codec") || (format.empty() && VideoMuxerFor(path) && path != "-");
    if (!proxy && (args.Has("quality") || args.Has("bitrate")))
        throw UsageError("--quality and --bitrate are for proxies (--codec)");
    if (path == "-") {
        if (proxy) throw UsageError("a proxy needs a file: -o - writes --format raw or nut");
        if (isatty(STDOUT_FILENO))
            throw UsageError("-o - writes frames: send standard output to a program or a file");
        if (format != "" && format != "raw" && format != "nut")
            throw UsageError("-o - writes --format raw or nut, not " + format);
        if (args.Has("tuning") &&
            args.Integer("tuning", 0, -2147483647ll - 1, 2147483647ll) == kTuningFrameTimer)
            throw UsageError("--tuning " + std::to_string(kTuningFrameTimer) +
                             " prints timings to standard output, which -o - keeps for the frames");
        // A reader that goes away makes the next write fail with a message, not end the process.
        std::signal(SIGPIPE, SIG_IGN);
        if (format == "nut") return std::make_unique<NutSink>(path, timing);
        return std::make_unique<RawPipeSink>();
    }
    if (format == "nut" || proxy) {
        if (names.PerFrame()) throw UsageError("a video is one file: no %d in its name");
        if (format == "nut") return std::make_unique<NutSink>(path, timing);
        return std::make_unique<ProxySink>(
            path, ChooseProxy(args.Value("codec"), path, args.Value("quality"), args.Value("bitrate")),
            timing);
    }
    RgbaOutputOptions options = RgbaOutputOptionsFrom(args, names.Name(range.first));
    options.picture.dpx.bits = static_cast<int>(args.Integer("dpx-bits", 10, 10, 16));
    if (options.picture.dpx.bits != 10 && options.picture.dpx.bits != 16)
        throw UsageError("--dpx-bits must be 10 or 16");
    if (args.Has("dpx-bits") && !TakesDpxFields(options.format))
        throw UsageError("--dpx-bits is for DPX output");
    options.picture.dpx.frameRate = av_q2d(timing.frameRate);
    options.dpxTimecode = std::make_shared<Timecode>(
        TimecodeOption(StartTimecode(args, clip), timing.frameRate.num, timing.frameRate.den));
    return std::make_unique<RgbaSequenceWriter>(names, options, mostFrames);
}

} // namespace tsr::tools
