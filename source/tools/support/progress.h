// A one-line progress bar with frames per second on standard error, drawn only when standard
// error is a terminal (and not asked to be quiet), redrawn at most ten times a second.
#pragma once

#include <chrono>
#include <string>

namespace tsr::tools {

class Progress {
public:
    // `total` 0: not known (a stream); the count is shown without a bar.
    Progress(std::string label, int total, bool quiet);
    ~Progress();
    void Advance(int frames = 1);
    // Draws the final state and ends the line.
    void Done();

    // Formats the bar for a terminal of `columns` (at least the counts and rate always fit).
    static std::string Line(const std::string& label, int done, int total, double seconds, int columns);

private:
    void Draw(bool force);

    std::string m_label;
    int m_total;
    int m_done = 0;
    bool m_enabled;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastDraw;
};

} // namespace tsr::tools
