#include "frametimer.h"

#include <chrono>

namespace tsr {

void FrameTimer::Now(std::uint32_t& seconds, std::uint32_t& microseconds) {
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
    seconds = static_cast<std::uint32_t>(milliseconds / 1000);
    microseconds = static_cast<std::uint32_t>(milliseconds % 1000) * 1000u;
}

void FrameTimer::Reset() {
    m_accumulatedSeconds = 0.0;
    m_running = false;
}

void FrameTimer::Start() {
    if (m_running) return;
    Now(m_startSeconds, m_startMicroseconds);
    m_running = true;
}

void FrameTimer::Stop() {
    if (!m_running) return;
    std::uint32_t seconds = 0, microseconds = 0;
    Now(seconds, microseconds);
    const double elapsed =
        (static_cast<double>(seconds) - static_cast<double>(m_startSeconds)) +
        (static_cast<double>(microseconds) - static_cast<double>(m_startMicroseconds)) / 1e6;
    m_accumulatedSeconds += elapsed;
    m_running = false;
}

} // namespace tsr
