// tsrraw info: a summary of a clip, and the header fields, partition, slice statistics and both
// records of its frames.
#include <cstdio>
#include <memory>

#include "commands/commands.h"
#include "commands/infofields.h"
#include "commands/inputoptions.h"
#include "support/commandline.h"
#include "support/framerange.h"
#include "support/jsonwriter.h"
#include "support/mediaerrors.h"
#include "support/toolerror.h"
#include "tsr/media/clip.h"
#include "tsr/media/frames.h"

namespace tsr::tools {

using namespace media;

namespace {

const char kHelp[] =
    "usage: tsrraw info [options] INPUT\n"
    "\n"
    "Summarises a frame or a clip (plain frames back to back or QuickTime; - reads standard\n"
    "input): container, track type, frame count, frame rate and duration, size, Bayer pattern,\n"
    "compressed bits per photosite (min, mean, max over the frames), format versions, and the\n"
    "damaged frames (refused by the decoder, with slices it skips and leaves black, or cut\n"
    "short at the end of the clip).\n"
    "\n"
    "By default only the frame headers and slice tables are read, which is everything the\n"
    "decoder judges a frame by: a frame they refuse is one it refuses, and a slice whose header\n"
    "is broken is one it skips. --verify also decodes every frame looked at. The summary says\n"
    "which of the two was done (\"checked:\", and \"decoded\" in JSON).\n"
    "\n"
    "With --frames or --all, and for a single frame, each frame follows in detail: the header\n"
    "fields, the partition into macroblocks and slices, slice statistics (count, sizes, qScale\n"
    "range), the 60-byte metadata record and the 116-byte frame info record.\n"
    "\n"
    "--json writes everything: the clip's fields, a \"summary\" object (frameCount, frameRate,\n"
    "framesPerSecond, durationSeconds, width, height, ... damagedFrames) and every frame in\n"
    "detail. frameCount is the whole clip's even with --frames, which keeps the reading short\n"
    "for a job scheduler: tsrraw info --json --frames 0 clip.mov | jq .frameCount\n"
    "\n"
    "options:\n"
    "  --json           machine-readable output\n"
    "  --frames RANGE   N, FIRST-LAST or FIRST- (from 0): only these frames, in detail\n"
    "  --all            every frame in detail\n"
    "  --verify         decode every frame looked at (slow: a full decode each)\n"
    "  --scale N        scale index (0..3) of the decode that fills the frame info record\n"
    "  --max-pixels N   frames of more than N photosites are not decoded (default 268435456)\n"
    "  --max-stdin-bytes N  refuse a QuickTime clip of more than N bytes on standard input,\n"
    "                   which is read into memory (default 4294967296)\n"
    "  -h, --help       this text\n"
    "\n"
    "Exit status: 0 when no frame looked at is damaged; 1 when any is (the report is still\n"
    "complete, like `decode`, which stops at such a frame with 1); 2 for wrong arguments.\n";

} // namespace

int RunInfo(int argc, const char* const* argv) {
    const CommandLine args(argc, argv, 0,
                           {{"json", false, 0},
                            {"frames", true, 0},
                            {"all", false, 0},
                            {"verify", false, 0},
                            {"scale", true, 0},
                            {"max-pixels", true, 0},
                            {"max-stdin-bytes", true, 0}});
    if (args.Has("help")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (args.Operands().size() != 1) throw UsageError("info takes one input file (see tsrraw info --help)");
    const int scale = static_cast<int>(args.Integer("scale", 0, 0, 3));
    const FrameRange wanted = FrameRange::Parse(args.Value("frames", "0-"));
    SetInputLimitsFrom(args);

    std::unique_ptr<ClipReader> clip = OpenClip(args.Operands()[0], true); // damaged frames are reported
    const FrameRange range = ClipRange(*clip, wanted);
    // Worker threads only when frames are decoded.
    std::unique_ptr<FrameDecoder> decoder;
    if (args.Has("verify")) decoder = std::make_unique<FrameDecoder>(0);
    ClipSummary summary;
    summary.decoded = decoder != nullptr;
    summary.file = args.Operands()[0] == "-" ? kStandardInputName : args.Operands()[0];
    summary.properties = clip->Properties();
    summary.first = range.first;
    // Each frame is looked at once (a stream cannot be read twice); the outputs come at the end,
    // when the summary is complete. Without detail only the first frame is kept (shown alone when
    // the clip has one frame).
    const bool detail = args.Has("json") || args.Has("frames") || args.Has("all");
    std::vector<FrameInspection> frames;
    int looked = 0;
    std::vector<uint8_t> bytes;
    for (int index = range.first; index <= range.last && clip->HasFrame(index); ++index) {
        FrameInspection frame;
        try {
            clip->ReadFrame(index, bytes);
            frame = InspectFrame(bytes, decoder ? decoder->Get() : nullptr, scale);
        } catch (const MediaError& error) { // not in the file, or cut short
            frame.decodeResult = FRAME_DECODER_INVALID_FRAME;
            frame.note = error.what();
            frame.noteHint = error.Hint();
        }
        frame.note += RemedyText(frame.noteHint);
        summary.Add(index, frame);
        summary.last = index;
        ++looked;
        if (detail || frames.empty()) frames.push_back(frame);
    }
    for (int index = summary.last + 1; clip->FrameCount() < 0 && clip->HasFrame(index); ++index) {
    } // counts the rest of a stream
    summary.frameCount = clip->FrameCount();

    if (args.Has("json")) {
        JsonWriter writer;
        writer.BeginObject();
        writer.String("file", summary.file);
        writer.String("container", summary.properties.container);
        if (summary.properties.fourcc) writer.String("fourcc", FourCCText(summary.properties.fourcc));
        if (summary.properties.frameRateDenominator)
            writer.NumberArray("frameRate", std::vector<int>{summary.properties.frameRateNumerator,
                                                             summary.properties.frameRateDenominator});
        writer.Integer("frameCount", summary.frameCount);
        WriteClipSummaryJson(writer, summary);
        writer.BeginArray("frames");
        for (size_t i = 0; i < frames.size(); ++i)
            WriteFrameInfoJson(writer, summary.first + static_cast<int>(i), frames[i]);
        writer.EndArray();
        writer.EndObject();
        std::fputs(writer.Text().c_str(), stdout);
    } else {
        std::fputs(ClipSummaryText(summary).c_str(), stdout);
        if (detail || summary.frameCount == 1)
            for (size_t i = 0; i < frames.size(); ++i)
                std::fputs(FrameInfoText(summary.first + static_cast<int>(i), frames[i]).c_str(), stdout);
    }
    if (summary.damaged.empty()) return kExitOk;
    std::fprintf(stderr, "tsrraw: %zu of %d frames looked at are damaged\n", summary.damaged.size(), looked);
    return kExitFailure;
}

} // namespace tsr::tools
