#include "tsr/media/timecode.h"

#include <cstdio>

extern "C" {
#include <libavutil/rational.h>
#include <libavutil/timecode.h>
}

#include "tsr/media/mediaerror.h"

namespace tsr::media {

namespace {

AVTimecode Rebuilt(int start, int numerator, int denominator, unsigned framesPerSecond, bool drop) {
    AVTimecode timecode{};
    timecode.start = start;
    timecode.flags = AV_TIMECODE_FLAG_24HOURSMAX | (drop ? AV_TIMECODE_FLAG_DROPFRAME : 0);
    timecode.rate = AVRational{numerator, denominator};
    timecode.fps = framesPerSecond;
    return timecode;
}

} // namespace

int Timecode::NominalRate(int rateNumerator, int rateDenominator) {
    return rateDenominator > 0 ? (rateNumerator + rateDenominator / 2) / rateDenominator : 0;
}

Timecode::Timecode(const std::string& start, int rateNumerator, int rateDenominator) {
    const AVRational rate{rateNumerator, rateDenominator};
    const int framesPerSecond = NominalRate(rateNumerator, rateDenominator);
    int hours, minutes, seconds, frames;
    char separator, end;
    const bool parsed = std::sscanf(start.c_str(), "%2d:%2d:%2d%c%2d%c", &hours, &minutes, &seconds,
                                    &separator, &frames, &end) == 5 &&
                        (separator == ':' || separator == ';');
    // ';' before the frames marks drop-frame counting, which only 29.97 and 59.94 frames/s have.
    const bool drop = parsed && separator == ';';
    AVTimecode timecode{};
    if (!parsed || hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59 ||
        frames < 0 || frames >= framesPerSecond || framesPerSecond > 999 ||
        (drop && (rate.den != 1001 || framesPerSecond % 30 != 0)) ||
        av_timecode_init_from_components(
            &timecode, rate, AV_TIMECODE_FLAG_24HOURSMAX | (drop ? AV_TIMECODE_FLAG_DROPFRAME : 0), hours,
            minutes, seconds, frames, nullptr) < 0)
        throw MediaError::BadArgument("a time code is HH:MM:SS:FF (HH:MM:SS;FF drop-frame at 29.97 or 59.94) "
                                      "with FF below " +
                                      std::to_string(framesPerSecond) + ", not \"" + start + "\"");
    m_start = timecode.start;
    m_rateNumerator = rateNumerator;
    m_rateDenominator = rateDenominator;
    m_framesPerSecond = timecode.fps;
    m_dropFrame = drop;
}

std::string Timecode::Text(int frames) const {
    const AVTimecode timecode =
        Rebuilt(m_start, m_rateNumerator, m_rateDenominator, m_framesPerSecond, m_dropFrame);
    char text[AV_TIMECODE_STR_SIZE];
    return av_timecode_make_string(&timecode, text, frames);
}

uint32_t Timecode::Smpte(int frames) const {
    const std::string text = Text(frames); // "HH:MM:SS:FF" or "HH:MM:SS;FF"
    uint32_t bcd = 0;
    for (const size_t digit : {0, 1, 3, 4, 6, 7, 9, 10})
        bcd = bcd << 4 | static_cast<uint32_t>(text[digit] - '0');
    return m_dropFrame ? bcd | 0x40 : bcd;
}

} // namespace tsr::media
