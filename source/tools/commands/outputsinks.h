// The one place convert chooses where its frames go, from -o, --format and --codec:
//   -o -                     standard output: raw RGBA (default) or --format nut
//   --format nut             a NUT stream of 16-bit RGBA into a file
//   --codec, or a video name a proxy (.mov, .mp4, .mkv, .mxf)
//   anything else            picture files (exr, tiff, png, preview, dpx) or joined raw frames
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "streams/framesink.h"
#include "support/commandline.h"
#include "support/framerange.h"
#include "support/outputnames.h"
#include "tsr/media/clip.h"

namespace tsr::tools {

std::vector<OptionDefinition> OutputSinkOptionDefinitions();
extern const char kOutputSinkHelp[];

// True for -o -: messages must then stay off standard output.
bool WritesToStandardOutput(const CommandLine& args);

// `names` must outlive the sink; `mostFrames` is MostFramesWritten's. Throws a usage error for
// options that do not fit together.
std::unique_ptr<FrameSink> OpenConvertSink(const CommandLine& args, const OutputNames& names,
                                           const media::ClipProperties& clip, const FrameRange& range,
                                           int mostFrames);

} // namespace tsr::tools
