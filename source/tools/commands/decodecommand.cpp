// tsrraw decode: frames or clips to the decoder's output at any scale index.
#include <cstdio>
#include <memory>

#include "commands/commands.h"
#include "commands/inputoptions.h"
#include "format/frameheader.h"
#include "pictures/pictureformats.h"
#include "support/commandline.h"
#include "support/framerange.h"
#include "support/mediaerrors.h"
#include "support/outputnames.h"
#include "support/progress.h"
#include "support/standardoutput.h"
#include "support/toolerror.h"
#include "tsr/media/clip.h"
#include "tsr/media/decodedpicture.h"
#include "tsr/media/frames.h"
#include "tsr/media/outputfile.h"

namespace tsr::tools {

using namespace media;

namespace {

const char kHelp[] =
    "usage: tsrraw decode [options] -o OUTPUT INPUT\n"
    "\n"
    "Decodes a frame or the frames of a clip. The raw format is the decoder's output exactly:\n"
    "the 116-byte frame info record, then the picture at the minimum row pitch (what `debayer`\n"
    "reads); several frames go back to back into one raw file. PNG and TIFF hold the mosaic\n"
    "(scale index 0, grey) or the four samples red, green, blue, 65535 (scale index 1..3) as\n"
    "16-bit pictures. With several frames, a picture OUTPUT needs %d in its name (out_%04d.png),\n"
    "replaced by the frame index. INPUT - reads standard input; -o - writes the raw format to\n"
    "standard output.\n"
    "\n"
    "options:\n"
    "  -o, --output FILE   where to write (- for standard output)\n"
    "  --scale N           scale index 0..3: full, half, quarter or eighth size (default 0)\n"
    "  --format F          raw, png or tiff (default: from the extension, else raw)\n"
    "  --frames RANGE      N, FIRST-LAST or FIRST- (from 0); default all\n"
    "  --threads N         decoder worker threads (default: one per processor)\n"
    "  --max-pixels N      refuse frames of more than N photosites (default 268435456,\n"
    "                      16384 x 16384)\n"
    "  --max-stdin-bytes N refuse a QuickTime clip of more than N bytes on standard input, which\n"
    "                      is read into memory (default 4294967296; frames back to back stream)\n"
    "  --keep-going        go on past damaged frames (see below)\n"
    "  -q, --quiet         no progress bar\n"
    "  -h, --help          this text\n"
    "\n"
    "A damaged frame (one the decoder refuses, or one with slices it skips) stops the job with\n"
    "an error naming it, and a clip cut short is refused before any frame is decoded. With\n"
    "--keep-going every other frame is written: nothing for a refused frame or the cut one\n"
    "(a joined raw OUTPUT leaves it out), a frame with damaged slices with their areas black;\n"
    "the damaged frames are listed on standard error at the end.\n"
    "\n"
    "Exit status: 0 done; 1 failed (nothing more is written after a failing frame); 2 wrong\n"
    "arguments; 3 done with --keep-going, but damaged frames were found.\n";

} // namespace

int RunDecode(int argc, const char* const* argv) {
    const CommandLine args(argc, argv, 0,
                           {{"output", true, 'o'},
                            {"scale", true, 0},
                            {"format", true, 0},
                            {"frames", true, 0},
                            {"threads", true, 0},
                            {"max-pixels", true, 0},
                            {"max-stdin-bytes", true, 0},
                            {"keep-going", false, 0},
                            {"quiet", false, 'q'}});
    if (args.Has("help")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (args.Operands().size() != 1)
        throw UsageError("decode takes one input file (see tsrraw decode --help)");
    if (!args.Has("output")) throw UsageError("decode needs an output file: -o FILE");
    const int scale = static_cast<int>(args.Integer("scale", 0, 0, 3));
    const int threads = static_cast<int>(args.Integer("threads", 0, 0, 64));
    SetInputLimitsFrom(args);
    const OutputNames names(args.Value("output"));
    const PictureFormat format = FormatFor(args.Value("format"), names.Name(0), false);
    const FrameRange wanted = FrameRange::Parse(args.Value("frames", "0-"));

    const bool toStandardOutput = IsStandardOutput(args.Value("output"));
    if (toStandardOutput && format != PictureFormat::Raw)
        throw UsageError("-o - writes --format raw, not " + std::string(FormatName(format)));

    std::unique_ptr<ClipReader> clip = OpenClip(args.Operands()[0], args.Has("keep-going"));
    const FrameRange range = ClipRange(*clip, wanted);
    if (toStandardOutput)
        PrepareStandardOutput("decoded frames");
    else
        CheckOutputPath(names.Name(range.first));
    const bool oneName = !names.PerFrame() && !JoinsFrames(format);
    if (MostFramesWritten(*clip, range) > 1 && oneName)
        throw UsageError("several frames need %d in the output name, e.g. out_%04d." +
                         std::string(PictureExtension(format)));

    FrameDecoder decoder(threads);
    std::unique_ptr<OutputFile> joined; // all frames in one raw file
    if (JoinsFrames(format) && !names.PerFrame() && !toStandardOutput)
        joined = std::make_unique<OutputFile>(names.Name(0));
    Progress progress("decode", clip->FrameCount() < 0 ? 0 : range.Count(), args.Has("quiet"));
    std::vector<uint8_t> frame;
    DecodedPicture picture;
    std::vector<DamagedFrame> damaged;
    int written = 0;
    // A later failure (a full disk) still lists the frames --keep-going went past.
    try {
        for (int index = range.first; index <= range.last && clip->HasFrame(index); ++index) {
            if (!DecodeClipFrameOrNote(*clip, index, frame, picture, decoder.Get(), scale,
                                       args.Has("keep-going") ? &damaged : nullptr)) {
                progress.Advance();
                continue;
            }
            if (oneName && written++ > 0) throw SecondFrameError(PictureExtension(format));
            if (toStandardOutput)
                WriteStandardOutput(picture.Bytes(), picture.Size());
            else if (joined)
                joined->Write(picture.Bytes(), picture.Size());
            else
                WriteDecodedPicture(picture, format, names.Name(index));
            progress.Advance();
        }
        if (joined) {
            joined->Stream(); // no frame written (all refused under --keep-going) is an empty file
            joined->Commit();
        }
        if (toStandardOutput) FinishStandardOutput();
    } catch (...) {
        ReportDamagedFrames("decode", damaged);
        throw;
    }
    progress.Done();
    return ReportDamagedFrames("decode", damaged);
}

} // namespace tsr::tools
