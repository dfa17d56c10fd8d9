// Options of the commands that read clips: --max-pixels and --max-stdin-bytes, and --timecode.
#pragma once

#include <string>

#include "support/commandline.h"
#include "tsr/media/timecode.h"

namespace tsr::tools {

// Sets the media library's limits from the options.
void SetInputLimitsFrom(const CommandLine& args);

// The time code of --timecode `text` at the clip's rate; a usage error for one that is not.
media::Timecode TimecodeOption(const std::string& text, int rateNumerator, int rateDenominator);

} // namespace tsr::tools
