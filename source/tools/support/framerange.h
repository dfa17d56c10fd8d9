// Frame ranges on the command line: "5" (frame 5 only), "2-9" (2 to 9 inclusive), "10-" (10 to
// the end). Frames count from 0.
#pragma once

#include <string>

#include "tsr/media/clip.h"

namespace tsr::tools {

struct FrameRange {
    int first = 0;
    int last = -1; // -1: to the end

    // Throws a usage error for malformed text.
    static FrameRange Parse(const std::string& text);
    // Clamps to a clip of `count` frames; throws when the range selects nothing.
    FrameRange Within(int count) const;
    int Count() const { return last - first + 1; }
};

// The frames of `wanted` that `clip` has: Within for a clip of known length; for a stream, the
// range as asked once its first frame is known to exist (it ends where the stream does).
FrameRange ClipRange(media::ClipReader& clip, const FrameRange& wanted);
// The most frames a job over `range` (from ClipRange) writes: range.Count(), or -1 for a stream
// read to its end, whose length is known only there.
int MostFramesWritten(const media::ClipReader& clip, const FrameRange& range);

} // namespace tsr::tools
