// tsrraw info: header fields, partition, slice statistics and both records of every frame.
#include <cstdio>
#include <memory>

#include "clips/clip.h"
#include "clips/framesummary.h"
#include "commands/commands.h"
#include "commands/infofields.h"
#include "pipeline/framedecoderhandle.h"
#include "support/commandline.h"
#include "support/framerange.h"
#include "support/jsonwriter.h"
#include "support/toolerror.h"

namespace tsr::tools {

namespace {

const char kHelp[] =
    "usage: tsrraw info [options] INPUT\n"
    "\n"
    "Shows the header fields, the partition into macroblocks and slices, slice statistics\n"
    "(count, sizes, qScale range), the 60-byte metadata record and the 116-byte frame info\n"
    "record of a frame, or of every frame of a clip (plain frames back to back or QuickTime).\n"
    "\n"
    "options:\n"
    "  --json           machine-readable output\n"
    "  --frames RANGE   N, FIRST-LAST or FIRST- (from 0); default all\n"
    "  --scale N        scale index (0..3) of the decode that fills the frame info record\n"
    "  --max-pixels N   frames of more than N photosites are not decoded (default 268435456)\n"
    "  -h, --help       this text\n"
    "\n"
    "Exit status: 0 when every frame shown is valid; 1 when any is not (the report is still\n"
    "complete, like `decode`, which stops at such a frame with 1); 2 for wrong arguments.\n";

} // namespace

int RunInfo(int argc, const char* const* argv) {
    const CommandLine args(
        argc, argv, 0,
        {{"json", false, 0}, {"frames", true, 0}, {"scale", true, 0}, {"max-pixels", true, 0}});
    if (args.Has("help")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (args.Operands().size() != 1) throw UsageError("info takes one input file (see tsrraw info --help)");
    const int scale = static_cast<int>(args.Integer("scale", 0, 0, 3));
    const FrameRange wanted = FrameRange::Parse(args.Value("frames", "0-"));
    SetMaxPixelsFrom(args);

    std::unique_ptr<ClipReader> clip = OpenClip(args.Operands()[0]);
    const FrameRange range = wanted.Within(clip->FrameCount());
    const ClipProperties& properties = clip->Properties();
    FrameDecoderOwner decoder(0);
    const bool json = args.Has("json");

    JsonWriter writer;
    if (json) {
        writer.BeginObject();
        writer.String("file", args.Operands()[0]);
        writer.String("container", properties.container);
        if (properties.fourcc) writer.String("fourcc", FourCCText(properties.fourcc));
        if (properties.frameRateDenominator)
            writer.NumberArray("frameRate", std::vector<int>{properties.frameRateNumerator,
                                                             properties.frameRateDenominator});
        writer.Integer("frameCount", clip->FrameCount());
        writer.BeginArray("frames");
    } else {
        std::printf("%s: %s, %d frame%s", args.Operands()[0].c_str(),
                    properties.container == "quicktime" ? "QuickTime/MP4 clip" : "frames back to back",
                    clip->FrameCount(), clip->FrameCount() == 1 ? "" : "s");
        if (properties.fourcc) std::printf(", track type %s", FourCCText(properties.fourcc).c_str());
        if (properties.frameRateDenominator)
            std::printf(", %g frames/s",
                        static_cast<double>(properties.frameRateNumerator) / properties.frameRateDenominator);
        std::printf("\n");
    }
    std::vector<uint8_t> frame;
    int invalid = 0;
    for (int index = range.first; index <= range.last; ++index) {
        clip->ReadFrame(index, frame);
        const FrameInspection inspection = InspectFrame(frame, decoder.Get(), scale);
        if (inspection.decodeResult != FRAME_DECODER_OK) ++invalid;
        if (json)
            WriteFrameInfoJson(writer, index, inspection);
        else
            std::fputs(FrameInfoText(index, inspection).c_str(), stdout);
    }
    if (json) {
        writer.EndArray();
        writer.EndObject();
        std::fputs(writer.Text().c_str(), stdout);
    }
    if (invalid == 0) return kExitOk;
    std::fprintf(stderr, "tsrraw: %d of %d frames shown are not valid\n", invalid, range.Count());
    return kExitFailure;
}

} // namespace tsr::tools
