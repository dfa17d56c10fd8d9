// SMPTE time codes at a clip's frame rate: "HH:MM:SS:FF", or "HH:MM:SS;FF" counted drop-frame
// (29.97 and 59.94 frames/s), wrapping at 24 hours.
//
//   const tsr::media::Timecode start("01:00:00:00", 24, 1);
//   start.Text(25);   // "01:00:01:01"
//   start.Smpte(25);  // 0x01000101, as DPX headers keep it
#pragma once

#include <cstdint>
#include <string>

#include "tsr/media/mediaerror.h"

namespace tsr::media {

class Timecode {
public:
    // Throws MediaError (BadArgument) for text that is no time code at rateNumerator /
    // rateDenominator frames a second.
    Timecode(const std::string& start, int rateNumerator, int rateDenominator);
    // Frames a second as a time code counts them: the rate rounded to a whole number.
    static int NominalRate(int rateNumerator, int rateDenominator);
    // The time code `frames` after the start, as text and as 32-bit BCD, hours in the top byte
    // and frames in the lowest, with bit 6 set for drop-frame (as DPX headers keep it).
    std::string Text(int frames) const;
    uint32_t Smpte(int frames) const;

private:
    int m_start = 0; // frames since midnight
    int m_rateNumerator = 0, m_rateDenominator = 1;
    unsigned m_framesPerSecond = 0;
    bool m_dropFrame = false;
};

} // namespace tsr::media
