#include "streams/timecode.h"

#include <cstdio>

#include "support/toolerror.h"

namespace tsr::tools {

Timecode::Timecode(const std::string& start, AVRational rate) {
    m_framesPerSecond = (rate.num + rate.den / 2) / rate.den;
    int hours, minutes, seconds, frames;
    char end;
    if (std::sscanf(start.c_str(), "%2d:%2d:%2d:%2d%c", &hours, &minutes, &seconds, &frames, &end) != 4 ||
        hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59 || frames < 0 ||
        frames >= m_framesPerSecond || m_framesPerSecond > 99)
        throw UsageError("--timecode takes HH:MM:SS:FF with FF below " + std::to_string(m_framesPerSecond) +
                         ", not \"" + start + "\"");
    m_start = ((hours * 60 + minutes) * 60 + seconds) * m_framesPerSecond + frames;
}

std::string Timecode::Text(int frames) const {
    const uint32_t bcd = Smpte(frames);
    char text[16];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x", bcd >> 24, (bcd >> 16) & 0xFF, (bcd >> 8) & 0xFF,
                  bcd & 0xFF);
    return text;
}

uint32_t Timecode::Smpte(int frames) const {
    const long long day = 24LL * 3600 * m_framesPerSecond;
    const long long total = (m_start + static_cast<long long>(frames)) % day;
    const auto bcd = [](long long value) { return static_cast<uint32_t>(value / 10 * 16 + value % 10); };
    const long long f = total % m_framesPerSecond, s = total / m_framesPerSecond;
    return bcd(s / 3600) << 24 | bcd(s / 60 % 60) << 16 | bcd(s % 60) << 8 | bcd(f);
}

} // namespace tsr::tools
