// The media library's failures as the tool reports them: a MediaError becomes a ToolError with
// the tool's advice for its remedy (the option that raises a limit, the command that lists the
// devices) and the exit status of its kind; and the frames --keep-going went past.
#pragma once

#include <string>
#include <vector>

#include "support/toolerror.h"
#include "tsr/media/frames.h"
#include "tsr/media/mediaerror.h"

namespace tsr::tools {

// " (raise the limit with --max-pixels)" and the like; "" for none.
std::string RemedyText(media::MediaError::Remedy remedy);
// The message with RemedyText; a usage error for a bad argument.
ToolError ToolErrorFrom(const media::MediaError& error);

// Lists the frames on standard error after the job; returns the exit status: kExitDamaged, or
// kExitOk when there are none.
int ReportDamagedFrames(const char* command, const std::vector<media::DamagedFrame>& frames);

// For an output name without %d that a second frame of a stream would overwrite.
ToolError SecondFrameError(const char* extension);

} // namespace tsr::tools
