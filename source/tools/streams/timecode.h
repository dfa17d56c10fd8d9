// SMPTE time codes "HH:MM:SS:FF" (non-drop-frame) at a clip's frame rate.
#pragma once

#include <cstdint>
#include <string>

extern "C" {
#include <libavutil/rational.h>
}

namespace tsr::tools {

class Timecode {
public:
    // Throws a usage error for text that is no time code at `rate`.
    Timecode(const std::string& start, AVRational rate);
    // The time code `frames` after the start, as text and as 32-bit BCD (hours in the top byte).
    std::string Text(int frames) const;
    uint32_t Smpte(int frames) const;

private:
    int m_start = 0;
    int m_framesPerSecond = 0;
};

} // namespace tsr::tools
