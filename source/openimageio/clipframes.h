// A clip as the plug-in reads it: frames found by index, their headers probed on demand, and
// pixels made on the first read of a frame (decoder, then engine), one frame kept. The decoder's
// and the engine's threads start with the first pixels, not with the clip.
//
// Every failure throws std::exception whose what() is a message for the user.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "openimageio/frameprobe.h"
#include "openimageio/readersettings.h"

namespace tsr::oiio {

struct ClipFacts {
    bool quickTime = false;
    uint32_t fourcc = 0;                        // of the QuickTime track; 0 for plain frames
    int rateNumerator = 0, rateDenominator = 0; // 0/0 when the file does not say
    std::string timecode;                       // of frame 0, "HH:MM:SS:FF"; empty when the file has none
};

// RGBA as the engine writes it: rows of width pixels, four halves or four floats a pixel.
struct FramePixels {
    int index = -1;
    int width = 0, height = 0;
    bool isFloat = false;
    std::vector<uint8_t> bytes;
};

class ClipFrames {
public:
    ClipFrames(const std::string& path, const ReaderSettings& settings);
    ClipFrames(const ClipFrames&) = delete;
    ClipFrames& operator=(const ClipFrames&) = delete;
    ~ClipFrames();

    int FrameCount() const;
    const ClipFacts& Facts() const { return m_facts; }
    const ReaderSettings& Settings() const { return m_settings; }
    // The SMPTE time code of frame `index` (BCD, as DPX and OpenEXR keep it); none when the clip
    // has no time code or no frame rate.
    std::optional<uint32_t> Timecode(int index) const;

    // Reads frame `index`'s bytes (kept for its pixels) and probes them; remembered per frame.
    const FrameProbe& Probe(int index);
    // The pixels of frame `index`, made on the first call; a call for another frame replaces them.
    const FramePixels& Pixels(int index);
    // One line for the user: the engine that makes the pixels; empty before the first pixels.
    std::string EngineDescription() const;

private:
    struct Impl;
    const std::vector<uint8_t>& Bytes(int index);

    ReaderSettings m_settings;
    ClipFacts m_facts;
    std::unique_ptr<Impl> m_impl;
    std::map<int, FrameProbe> m_probes;
    FramePixels m_pixels;
};

} // namespace tsr::oiio
