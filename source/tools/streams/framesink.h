// Where the convert job's RGBA frames go: picture files, one joined raw file, a pipe or a
// video file. Write is called for every frame in order, on the writing stage's thread.
#pragma once

#include "tsr/media/rgbaengine.h"

namespace tsr::tools {

class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void Write(const media::RgbaFrame& frame) = 0;
    // Completes the output; without Finish nothing is left under the final name.
    virtual void Finish() = 0;
};

} // namespace tsr::tools
