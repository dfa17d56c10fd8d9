// An open clip: its properties and its frames, read on demand. Reads are serialised (one file
// position) and run without the GIL; the frames read keep their own bytes, so they and their
// arrays outlive the clip. Iteration reads and decodes one frame ahead (Prefetcher).
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "python/frame.h"
#include "python/prefetch.h"
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
    // Frame `index` for a loop over the clip, which goes on with frame `next` (-1: none): that
    // one is read and decoded ahead while the caller works on this one. Throws as ReadFrame.
    std::shared_ptr<Frame> NextFrame(int index, int next);
    // A loop over the clip ended before its last frame: nothing more is read ahead.
    void EndLoop();
    // Ends reading ahead (waiting for a decode under way) and closes the file. Without the GIL.
    void Close();
    ~Clip();
    bool Closed() const;

private:
    // The clip's prefetcher (made on first use, and anew in a forked child); null once closed.
    std::shared_ptr<Prefetcher> CurrentPrefetcher();
    void ReadBytes(int index, std::vector<uint8_t>& bytes);

    std::string m_path;
    std::mutex m_prefetchMutex; // guards m_prefetch and m_closing
    std::shared_ptr<Prefetcher> m_prefetch;
    bool m_closing = false;
    mutable std::mutex m_mutex; // guards m_reader
    std::unique_ptr<media::ClipReader> m_reader;
    media::ClipProperties m_properties;
    int m_frameCount = 0;
    media::FrameSize m_size;
};

} // namespace tsr::python
