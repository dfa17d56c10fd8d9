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

Clip::~Clip() {
    Close();
}

void Clip::ReadBytes(int index, std::vector<uint8_t>& bytes) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_reader) throw std::logic_error("the clip is closed");
    m_reader->ReadFrame(index, bytes);
}

std::shared_ptr<Prefetcher> Clip::CurrentPrefetcher() {
    const std::lock_guard<std::mutex> lock(m_prefetchMutex);
    if (m_closing) return nullptr;
    if (m_prefetch && m_prefetch->Orphaned()) {
        // Forked: the parent's thread is not here to end, so the prefetcher is never destroyed.
        new std::shared_ptr<Prefetcher>(std::move(m_prefetch));
    }
    if (!m_prefetch)
        m_prefetch =
            Prefetcher::Create([this](int index, std::vector<uint8_t>& bytes) { ReadBytes(index, bytes); });
    return m_prefetch;
}

std::shared_ptr<Frame> Clip::ReadFrame(int index) {
    if (const std::shared_ptr<Prefetcher> prefetcher = CurrentPrefetcher()) {
        if (std::shared_ptr<Frame> frame = prefetcher->Take(index, -1)) return frame;
        return prefetcher->ReadFrame(index);
    }
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    ReadBytes(index, *bytes);
    return std::make_shared<Frame>(std::move(bytes), index, 0);
}

std::shared_ptr<Frame> Clip::NextFrame(int index, int next) {
    if (const std::shared_ptr<Prefetcher> prefetcher = CurrentPrefetcher()) {
        if (std::shared_ptr<Frame> frame = prefetcher->Take(index, next)) return frame;
        return prefetcher->ReadFrame(index);
    }
    return ReadFrame(index);
}

void Clip::EndLoop() {
    std::shared_ptr<Prefetcher> prefetcher;
    {
        const std::lock_guard<std::mutex> lock(m_prefetchMutex);
        prefetcher = m_prefetch;
    }
    if (prefetcher) prefetcher->Cancel();
}

void Clip::Close() {
    std::shared_ptr<Prefetcher> prefetcher;
    {
        const std::lock_guard<std::mutex> lock(m_prefetchMutex);
        m_closing = true;
        prefetcher = std::move(m_prefetch);
    }
    if (prefetcher) {
        if (prefetcher->Orphaned())
            new std::shared_ptr<Prefetcher>(std::move(prefetcher)); // as in CurrentPrefetcher
        else
            prefetcher->Stop();
    }
    std::unique_ptr<media::ClipReader> reader;
    const std::lock_guard<std::mutex> lock(m_mutex);
    reader = std::move(m_reader);
}

bool Clip::Closed() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return !m_reader;
}

} // namespace tsr::python
