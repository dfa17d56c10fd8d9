// SMPTE time codes at a clip's frame rate: "HH:MM:SS:FF", or "HH:MM:SS;FF" counted drop-frame
// (29.97 and 59.94 frames/s), wrapping at 24 hours.
#pragma once

#include <cstdint>
#include <string>

extern "C" {
#include <libavutil/rational.h>
#include <libavutil/timecode.h>
}

namespace tsr::tools {

class Timecode {
public:
    // Throws a usage error for text that is no time code at `rate`.
    Timecode(const std::string& start, AVRational rate);
    // The time code `frames` after the start, as text and as 32-bit BCD, hours in the top byte
    // and frames in the lowest, with bit 6 set for drop-frame (as DPX headers keep it).
    std::string Text(int frames) const;
    uint32_t Smpte(int frames) const;

private:
    AVTimecode m_timecode{};
};

} // namespace tsr::tools
