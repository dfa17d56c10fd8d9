#include "commands/inputoptions.h"

#include "support/toolerror.h"
#include "tsr/media/clip.h"
#include "tsr/media/decodedpicture.h"
#include "tsr/media/mediaerror.h"

namespace tsr::tools {

void SetInputLimitsFrom(const CommandLine& args) {
    media::DecodedPicture::SetMaxPixels(static_cast<unsigned long long>(
        args.Integer("max-pixels", static_cast<long long>(media::kDefaultMaxPixels), 1,
                     static_cast<long long>(65534) * 65534)));
    media::SetMaxStdinBytes(static_cast<unsigned long long>(
        args.Integer("max-stdin-bytes", static_cast<long long>(media::kDefaultMaxStdinBytes), 1, 1ll << 48)));
}

media::Timecode TimecodeOption(const std::string& text, int rateNumerator, int rateDenominator) {
    try {
        return media::Timecode(text, rateNumerator, rateDenominator);
    } catch (const media::MediaError&) {
        throw UsageError(
            "--timecode takes HH:MM:SS:FF (HH:MM:SS;FF drop-frame at 29.97 or 59.94) with FF below " +
            std::to_string(media::Timecode::NominalRate(rateNumerator, rateDenominator)) + ", not \"" + text +
            "\"");
    }
}

} // namespace tsr::tools
