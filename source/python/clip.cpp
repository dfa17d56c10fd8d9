#include "python/clip.h"

#include <stdexcept>
#include <utility>
#include <vector>

#include "tsr/media/mediaerror.h"

namespace tsr::python {

Clip::Clip(const std::string& path)
    : m_path(path), m_reader(media::OpenClip(path, /*keepDamaged*/ true)),
      m_properties(m_reader->Properties()), m_frameCount(m_reader->FrameCount()) {
    try {
        m_size = media::FirstFrameSize(*m_reader);
    } catch (const media::MediaError&) {
        // The first frame is the cut one; reading it says so.
    }
}

std::shared_ptr<Frame> Clip::ReadFrame(int index) {
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_reader) throw std::logic_error("the clip is closed");
        m_reader->ReadFrame(index, *bytes);
    }
    return std::make_shared<Frame>(std::move(bytes), index, 0);
}

void Clip::Close() {
    std::unique_ptr<media::ClipReader> reader;
    const std::lock_guard<std::mutex> lock(m_mutex);
    reader = std::move(m_reader);
}

bool Clip::Closed() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return !m_reader;
}

} // namespace tsr::python
