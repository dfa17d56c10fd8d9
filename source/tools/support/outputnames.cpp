#include "support/outputnames.h"

#include <cstring>

#include "support/toolerror.h"

namespace tsr::tools {

OutputNames::OutputNames(std::string text) {
    std::string* part = &m_prefix;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            *part += text[i];
            continue;
        }
        size_t j = i + 1;
        if (j < text.size() && text[j] == '%') {
            *part += '%';
            i = j;
            continue;
        }
        bool zero = false;
        if (j < text.size() && text[j] == '0') {
            zero = true;
            ++j;
        }
        int width = 0, digits = 0;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9' && digits < 2) {
            width = width * 10 + (text[j] - '0');
            ++j;
            ++digits;
        }
        if (j >= text.size() || text[j] != 'd' || m_perFrame)
            throw UsageError("output name \"" + text + "\": only one %d (like %04d) and %% may appear");
        m_perFrame = true;
        m_zeroPad = zero;
        m_width = width;
        part = &m_suffix;
        i = j;
    }
}

std::string OutputNames::Name(int index) const {
    if (!m_perFrame) return m_prefix;
    std::string number = std::to_string(index);
    if (static_cast<int>(number.size()) < m_width)
        number.insert(0, static_cast<size_t>(m_width) - number.size(), m_zeroPad ? '0' : ' ');
    return m_prefix + number + m_suffix;
}

} // namespace tsr::tools
