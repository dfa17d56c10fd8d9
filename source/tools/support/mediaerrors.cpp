#include "support/mediaerrors.h"

#include <cstdio>

#include "tsr/media/clip.h"

namespace tsr::tools {

using media::MediaError;

std::string RemedyText(MediaError::Remedy remedy) {
    switch (remedy) {
    case MediaError::Remedy::None:
        return "";
    case MediaError::Remedy::MaxPixels:
        return " (raise the limit with --max-pixels)";
    case MediaError::Remedy::MaxStdinBytes:
        return " (raise the limit with --max-stdin-bytes, or name the file instead)";
    case MediaError::Remedy::PartialFrames:
        return " (the decoder leaves their areas black; --keep-going writes such frames)";
    case MediaError::Remedy::ListDevices:
        return " (see tsrraw devices)";
    }
    return "";
}

ToolError ToolErrorFrom(const MediaError& error) {
    return ToolError(error.what() + RemedyText(error.Hint()),
                     error.ErrorKind() == MediaError::Kind::BadArgument ? kExitUsage : kExitFailure);
}

int ReportDamagedFrames(const char* command, const std::vector<media::DamagedFrame>& frames) {
    if (frames.empty()) return kExitOk;
    std::fprintf(stderr, "tsrraw %s: %zu damaged frame%s:\n", command, frames.size(),
                 frames.size() == 1 ? "" : "s");
    for (const media::DamagedFrame& frame : frames)
        std::fprintf(stderr, "  %s%s\n", (frame.what + RemedyText(frame.hint)).c_str(),
                     frame.written ? ", written with their areas black" : ", nothing written");
    return kExitDamaged;
}

ToolError SecondFrameError(const char* extension) {
    return ToolError(std::string(media::kStandardInputName) +
                     " holds more than one frame: several frames need %d in the output name, e.g. "
                     "out_%04d." +
                     extension + ", or --frames to choose one");
}

} // namespace tsr::tools
