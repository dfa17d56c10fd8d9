#include "commands/encodeoptions.h"

#include <cmath>

#include "commands/inputoptions.h"
#include "support/toolerror.h"

namespace tsr::tools {

using namespace media;

namespace {

template <typename T, size_t N>
void IntegerList(const CommandLine& args, const char* name, std::array<T, N>& out, long long minimum,
                 long long maximum, bool allowOne) {
    std::vector<double> values = args.NumberList(name, 0);
    if (allowOne && values.size() == 1) values.assign(N, values[0]);
    if (values.size() != N)
        throw UsageError(std::string("--") + name + " needs " + std::to_string(N) + " values" +
                         (allowOne ? " (or one for all)" : "") + ", got " + std::to_string(values.size()));
    for (size_t i = 0; i < N; ++i) {
        const double v = values[i];
        if (v != std::floor(v) || v < minimum || v > maximum)
            throw UsageError(std::string("--") + name + " values must be whole numbers from " +
                             std::to_string(minimum) + " to " + std::to_string(maximum));
        out[i] = static_cast<T>(v);
    }
}

} // namespace

std::vector<OptionDefinition> EncoderOptionDefinitions() {
    return {{"pattern", true, 0},     {"qscale", true, 0},           {"bits-per-photosite", true, 0},
            {"slice-width", true, 0}, {"quant-matrix", true, 0},     {"tone-curve", true, 0},
            {"version", true, 0},     {"white-level-code", true, 0}, {"gains", true, 0},
            {"matrix", true, 0},      {"exposure", true, 0}};
}

EncoderSettings EncoderSettingsFrom(const CommandLine& args) {
    EncoderSettings s;
    s.bayerPattern = static_cast<int>(args.Integer("pattern", 0, 0, 3));
    s.qScale = static_cast<int>(args.Integer("qscale", 4, 1, 255));
    s.targetBitsPerPhotosite = args.Number("bits-per-photosite", 0.0, 0.01, 64.0);
    const long long sliceWidth = args.Integer("slice-width", 8, 1, 16);
    if (sliceWidth & (sliceWidth - 1)) throw UsageError("--slice-width must be 1, 2, 4, 8 or 16");
    s.log2SliceWidth = 0;
    while ((1ll << s.log2SliceWidth) < sliceWidth) ++s.log2SliceWidth;
    s.version = static_cast<int>(args.Integer("version", 1, 0, 1));
    if (args.Has("quant-matrix")) {
        s.hasQuantMatrix = true;
        IntegerList(args, "quant-matrix", s.quantMatrix, 1, 63, true);
    }
    if (args.Has("tone-curve")) {
        if (s.version == 0) throw UsageError("version 0 frames carry no tone curve");
        s.hasToneCurve = true;
        IntegerList(args, "tone-curve", s.toneCurve, 0, 65535, false);
        for (size_t i = 1; i < 8; ++i)
            if (s.toneCurve[i] <= s.toneCurve[i - 1])
                throw UsageError("--tone-curve knots must increase strictly");
    }
    s.whiteLevelCode = static_cast<uint16_t>(args.Integer("white-level-code", 3839, 0, 65535));
    if (args.Has("gains")) {
        const std::vector<double> gains = args.NumberList("gains", 2);
        s.gain0 = static_cast<float>(gains[0]);
        s.gain1 = static_cast<float>(gains[1]);
    }
    if (args.Has("matrix")) {
        const std::vector<double> matrix = args.NumberList("matrix", 9);
        for (size_t i = 0; i < 9; ++i) s.colorMatrix[i] = static_cast<float>(matrix[i]);
    }
    s.auxFloat = static_cast<float>(args.Number("exposure", 1.0, -1e30, 1e30));
    if (!EncoderSettingsValid(s))
        throw UsageError("the encoder does not accept this combination of settings");
    return s;
}

ClipWriterSettings ClipWriterSettingsFrom(const CommandLine& args) {
    ClipWriterSettings settings;
    const std::string fourcc = args.Value("fourcc", "tsrn");
    if (fourcc == "tsrn")
        settings.fourcc = kFourCCTsrn;
    else if (fourcc == "tsrh")
        settings.fourcc = kFourCCTsrh;
    else
        throw UsageError("--fourcc must be tsrn or tsrh");
    const std::string fps = args.Value("fps", "24");
    const size_t slash = fps.find('/');
    long long numerator = 0, denominator = 1;
    if (!ParseInteger(fps.substr(0, slash), numerator) ||
        (slash != std::string::npos && !ParseInteger(fps.substr(slash + 1), denominator)) || numerator <= 0 ||
        denominator <= 0 || numerator > 1000000 || denominator > 1000000)
        throw UsageError("--fps takes a rate like 24 or 30000/1001, not \"" + fps + "\"");
    settings.frameRateNumerator = static_cast<int>(numerator);
    settings.frameRateDenominator = static_cast<int>(denominator);
    if (args.Has("timecode")) {
        const Timecode start = TimecodeOption(args.Value("timecode"), settings.frameRateNumerator,
                                              settings.frameRateDenominator);
        settings.timecode = start.Text(0);
    }
    return settings;
}

void ParseSize(const std::string& text, int& width, int& height) {
    const size_t x = text.find('x');
    long long w = 0, h = 0;
    if (x == std::string::npos || !ParseInteger(text.substr(0, x), w) ||
        !ParseInteger(text.substr(x + 1), h) || w < 2 || h < 2 || w > 65534 || h > 65534 || (w & 1) ||
        (h & 1))
        throw UsageError("--size takes WIDTHxHEIGHT with even sides from 2 to 65534, not \"" + text + "\"");
    width = static_cast<int>(w);
    height = static_cast<int>(h);
}

} // namespace tsr::tools
