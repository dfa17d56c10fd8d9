#include "openimageio/readersettings.h"

#include <cstdlib>

namespace tsr::oiio {

namespace {

const char* const kColourSpaces[kCurveCount] = {"lin_rec709",        "lin_rec2020",  "hlg_rec2020",
                                                "canonlog2_rec2020", "log1_rec2020", "nlog_rec2020",
                                                "log2_rec2020",      "log3_rec2020", "log4_rec2020"};

// An integer hint: an int attribute, or a string of decimal digits (as some callers pass every
// hint as text). False for other types, other text and values outside [low, high].
bool IntegerHint(const OIIO::ParamValue& hint, long low, long high, long& value) {
    if (hint.type() == OIIO::TypeInt) {
        value = hint.get_int();
    } else if (hint.type() == OIIO::TypeString) {
        const std::string text = hint.get_string();
        char* end = nullptr;
        value = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0') return false;
    } else {
        return false;
    }
    return value >= low && value <= high;
}

bool StringHint(const OIIO::ParamValue& hint, std::string& value) {
    if (hint.type() != OIIO::TypeString) return false;
    value = hint.get_string();
    return true;
}

} // namespace

const char* ColourSpaceName(unsigned curve) {
    return curve < kCurveCount ? kColourSpaces[curve] : "";
}

bool ReadSettings(const OIIO::ImageSpec& config, ReaderSettings& settings, std::string& error) {
    long value = 0;
    if (const OIIO::ParamValue* hint = config.find_attribute("tesselraw:curve")) {
        std::string name;
        bool known = IntegerHint(*hint, 0, kCurveCount - 1, value);
        if (!known && StringHint(*hint, name)) {
            for (unsigned curve = 0; curve < kCurveCount && !known; ++curve)
                if (name == kColourSpaces[curve]) known = true, value = curve;
        }
        if (!known) {
            error =
                "tesselraw:curve must be 0..8 or a colour space name (lin_rec709, lin_rec2020, hlg_rec2020, "
                "canonlog2_rec2020, nlog_rec2020, log1_rec2020 .. log4_rec2020)";
            return false;
        }
        settings.curve = static_cast<unsigned>(value);
    }
    if (const OIIO::ParamValue* hint = config.find_attribute("tesselraw:engine")) {
        std::string engine;
        if (!StringHint(*hint, engine) || (engine != "auto" && engine != "opencl" && engine != "cpu")) {
            error = "tesselraw:engine must be auto, opencl or cpu";
            return false;
        }
        settings.engine = engine;
    }
    if (const OIIO::ParamValue* hint = config.find_attribute("tesselraw:device")) {
        if (!StringHint(*hint, settings.device) || settings.device.empty()) {
            error = "tesselraw:device must be auto, gpu, cpu or P:D (platform and device numbers)";
            return false;
        }
        if (settings.engine == "cpu") {
            error = "tesselraw:device chooses an OpenCL device, not the CPU engine";
            return false;
        }
    }
    if (const OIIO::ParamValue* hint = config.find_attribute("tesselraw:downscale")) {
        if (!IntegerHint(*hint, 1, 8, value) || (value & (value - 1)) != 0) {
            error = "tesselraw:downscale must be 1, 2, 4 or 8";
            return false;
        }
        settings.scaleIndex = value == 1 ? 0 : value == 2 ? 1 : value == 4 ? 2 : 3;
    }
    if (const OIIO::ParamValue* hint = config.find_attribute("tesselraw:type")) {
        std::string type;
        if (!StringHint(*hint, type) || (type != "half" && type != "float")) {
            error = "tesselraw:type must be half or float";
            return false;
        }
        settings.floatOutput = type == "float";
    }
    if (const OIIO::ParamValue* hint = config.find_attribute("tesselraw:threads")) {
        if (!IntegerHint(*hint, 0, 64, value)) {
            error = "tesselraw:threads must be 0..64 (0: one per processor)";
            return false;
        }
        settings.threads = static_cast<int>(value);
    }
    if (const OIIO::ParamValue* hint = config.find_attribute("tesselraw:partial")) {
        if (!IntegerHint(*hint, 0, 1, value)) {
            error = "tesselraw:partial must be 0 or 1";
            return false;
        }
        settings.partialFrames = value == 1;
    }
    return true;
}

} // namespace tsr::oiio
