// Wall-clock timer of one frame, at millisecond resolution.
#pragma once

#include <cstdint>
#include <string>

namespace tsr {

class FrameTimer {
public:
    // Clears the accumulated time and stops the timer.
    void Reset();
    // Takes the time as the start and sets running, unless already running.
    void Start();
    // Adds the time since the start to the accumulated seconds and clears running, if running.
    void Stop();
    bool Running() const { return m_running; }
    double AccumulatedSeconds() const { return m_accumulatedSeconds; }

private:
    static void Now(std::uint32_t& seconds, std::uint32_t& microseconds);

    std::uint32_t m_startSeconds = 0;
    std::uint32_t m_startMicroseconds = 0; // milliseconds x 1000
    bool m_running = false;
    double m_accumulatedSeconds = 0.0;
    std::string m_name;
};

} // namespace tsr
