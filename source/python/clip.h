// An open clip: its properties and its frames, read on demand. Reads are serialised (one file
// position) and run without the GIL; the frames read keep their own bytes, so they and their
// arrays outlive the clip.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "python/frame.h"
#include "tsr/media/clip.h"

namespace tsr::python {

class Clip {
public:
    // Opens by content (QuickTime, frames back to back, a single frame). A clip cut short keeps
    // its whole frames; reading the cut one raises. Throws media::MediaError.
    explicit Clip(const std::string& path);

    const std::string& Path() const { return m_path; }
    int FrameCount() const { return m_frameCount; }
    const media::ClipProperties& Properties() const { return m_properties; }
    // From the first frame's header; 0x0 when the first frame cannot be read.
    media::FrameSize Size() const { return m_size; }

    // Frame `index` (0 <= index < FrameCount()). Throws std::logic_error on a closed clip and
    // media::MediaError when the frame cannot be read.
    std::shared_ptr<Frame> ReadFrame(int index);
    void Close();
    bool Closed() const;

private:
    std::string m_path;
    mutable std::mutex m_mutex; // guards m_reader
    std::unique_ptr<media::ClipReader> m_reader;
    media::ClipProperties m_properties;
    int m_frameCount = 0;
    media::FrameSize m_size;
};

} // namespace tsr::python
