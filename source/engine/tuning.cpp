#include "tuning.h"

#include <cstdlib>
#include <cstring>

namespace tsr {

namespace {

// 0xFFFFFFFF until the variable has been read.
std::uint32_t g_tuningCell = 0xFFFFFFFFu;

} // namespace

std::int32_t ParseTuningValue(const char* text) {
    if (!text || !*text) return 0;
    // strtol rather than atoi: same leading-integer rule without undefined overflow.
    const long value = std::strtol(text, nullptr, 10);
    if (value > 2147483647L || value < -2147483647L - 1) return 0;
    return static_cast<std::int32_t>(value);
}

std::int32_t ProcessTuningValue() {
    if (g_tuningCell == 0xFFFFFFFFu) {
#ifdef _MSC_VER
        char* text = nullptr;
        size_t length = 0;
        std::int32_t value = 0;
        if (_dupenv_s(&text, &length, "tsr772cup") == 0 && text) {
            value = ParseTuningValue(text);
            std::free(text);
        }
#else
        const std::int32_t value = ParseTuningValue(std::getenv("tsr772cup"));
#endif
        g_tuningCell = static_cast<std::uint32_t>(value);
    }
    return static_cast<std::int32_t>(g_tuningCell);
}

} // namespace tsr
