// Output names for several frames: "-o out_%04d.exr" names one file per frame by its index in
// the clip. The name may hold one %d conversion (flags 0 and a width of up to two digits) and
// %% for a literal percent sign; nothing else is passed to a formatter.
#pragma once

#include <string>

#include "tsr/media/clip.h"

namespace tsr::tools {

class OutputNames {
public:
    // Throws a usage error for any other % sequence.
    explicit OutputNames(std::string text);
    bool PerFrame() const { return m_perFrame; }
    // The name for frame `index`; the text itself (with %% unescaped) when not per frame.
    std::string Name(int index) const;

private:
    std::string m_prefix, m_suffix;
    int m_width = 0;
    bool m_zeroPad = false;
    bool m_perFrame = false;
};

// Whether `path` ends in `extension` (with the dot), whatever the case of its letters.
using media::HasExtension;

} // namespace tsr::tools
