// Peak resident memory of this process, measured around a piece of work (Linux: VmHWM, reset
// through /proc/self/clear_refs).
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

namespace tsr::test {

// Resets the peak to the current resident size; false where the system does not allow it.
inline bool ResetPeakResidentMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return clear.good();
}

// A field of /proc/self/status in KiB (VmHWM: peak, VmRSS: current), or -1.
inline int64_t ResidentKib(const char* field = "VmHWM") {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(std::string(field) + ":", 0) == 0) return std::stoll(line.substr(line.find(':') + 1));
    return -1;
}

} // namespace tsr::test
