#include "support/progress.h"

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tsr::tools {

Progress::Progress(std::string label, int total, bool quiet)
    : m_label(std::move(label)), m_total(total), m_enabled(!quiet && isatty(STDERR_FILENO) == 1),
      m_start(std::chrono::steady_clock::now()), m_lastDraw(m_start) {}

Progress::~Progress() {
    if (m_drawn) std::fputc('\n', stderr); // leave the bar's line before any error message
}

std::string Progress::Line(const std::string& label, int done, int total, double seconds, int columns) {
    char counts[96];
    const double rate = seconds > 0 ? done / seconds : 0.0;
    if (total > 0)
        std::snprintf(counts, sizeof counts, " %d/%d frames, %.1f frames/s", done, total, rate);
    else // a stream, whose length is known only at its end
        std::snprintf(counts, sizeof counts, " %d frames, %.1f frames/s", done, rate);
    std::string line = label + " [";
    const int barWidth =
        columns - static_cast<int>(line.size()) - 1 - static_cast<int>(std::string(counts).size());
    if (barWidth >= 4 && total > 0) {
        const int filled = static_cast<int>(static_cast<long long>(barWidth) * done / total);
        line += std::string(static_cast<size_t>(filled), '#') +
                std::string(static_cast<size_t>(barWidth - filled), ' ');
        line += "]";
    } else {
        line = label + ":";
    }
    return line + counts;
}

void Progress::Advance(int frames) {
    m_done += frames;
    Draw(false);
}

void Progress::Done() {
    Draw(true);
    if (m_drawn) {
        std::fputc('\n', stderr);
        m_drawn = false;
    }
}

void Progress::Draw(bool force) {
    if (!m_enabled) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - m_lastDraw < std::chrono::milliseconds(100)) return;
    m_lastDraw = now;
    winsize size{};
    const int columns = (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) ? size.ws_col : 80;
    const double seconds = std::chrono::duration<double>(now - m_start).count();
    std::fprintf(stderr, "\r%s", Line(m_label, m_done, m_total, seconds, columns - 1).c_str());
    std::fflush(stderr);
    m_drawn = true;
}

} // namespace tsr::tools
