// Frame ranges on the command line: "5" (frame 5 only), "2-9" (2 to 9 inclusive), "10-" (10 to
// the end). Frames count from 0.
#pragma once

#include <string>

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

} // namespace tsr::tools
