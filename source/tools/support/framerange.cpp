#include "support/framerange.h"

#include <climits>

#include "support/commandline.h"
#include "support/toolerror.h"

namespace tsr::tools {

FrameRange FrameRange::Parse(const std::string& text) {
    const auto bad = [&text]() {
        return UsageError("--frames takes N, FIRST-LAST or FIRST- (counting from 0), not \"" + text + "\"");
    };
    auto number = [&](const std::string& part) {
        long long value = 0;
        if (part.empty() || part[0] < '0' || part[0] > '9' || !ParseInteger(part, value) || value > INT_MAX)
            throw bad();
        return static_cast<int>(value);
    };
    FrameRange range;
    const size_t dash = text.find('-');
    if (dash == std::string::npos) {
        range.first = range.last = number(text);
        return range;
    }
    range.first = number(text.substr(0, dash));
    const std::string end = text.substr(dash + 1);
    range.last = end.empty() ? -1 : number(end);
    if (range.last != -1 && range.last < range.first) throw bad();
    return range;
}

FrameRange FrameRange::Within(int count) const {
    if (first >= count)
        throw ToolError("the clip has " + std::to_string(count) + " frame" + (count == 1 ? "" : "s") +
                            ", so frame " + std::to_string(first) + " does not exist",
                        kExitUsage);
    FrameRange clamped = *this;
    if (clamped.last < 0 || clamped.last >= count) clamped.last = count - 1;
    return clamped;
}

FrameRange ClipRange(media::ClipReader& clip, const FrameRange& wanted) {
    if (clip.FrameCount() >= 0) return wanted.Within(clip.FrameCount());
    if (!clip.HasFrame(wanted.first)) return wanted.Within(clip.FrameCount()); // says how many there were
    FrameRange range = wanted;
    if (range.last < 0) range.last = INT_MAX - 1;
    return range;
}

int MostFramesWritten(const media::ClipReader& clip, const FrameRange& range) {
    return clip.FrameCount() < 0 && range.last == INT_MAX - 1 ? -1 : range.Count();
}

} // namespace tsr::tools
