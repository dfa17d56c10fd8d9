#include "openimageio/clipframes.h"

#include <stdexcept>

#include "tsr/media/clip.h"
#include "tsr/media/decodedpicture.h"
#include "tsr/media/frames.h"
#include "tsr/media/rgbaengine.h"
#include "tsr/media/timecode.h"

namespace tsr::oiio {

struct ClipFrames::Impl {
    std::unique_ptr<media::ClipReader> clip;
    std::unique_ptr<media::Timecode> timecode;
    std::vector<uint8_t> bytes;
    int bytesIndex = -1;
    std::unique_ptr<media::FrameDecoder> decoder;
    media::DecodedPicture picture;
    int pictureIndex = -1;
    std::unique_ptr<media::RgbaEngine> engine;
};

ClipFrames::ClipFrames(const std::string& path, const ReaderSettings& settings)
    : m_settings(settings), m_impl(std::make_unique<Impl>()) {
    m_impl->clip = media::OpenClip(path);
    const media::ClipProperties& properties = m_impl->clip->Properties();
    m_facts.quickTime = properties.container == "quicktime";
    m_facts.fourcc = properties.fourcc;
    m_facts.rateNumerator = properties.frameRateNumerator;
    m_facts.rateDenominator = properties.frameRateDenominator;
    m_facts.timecode = properties.timecode;
    if (!m_facts.timecode.empty() && m_facts.rateNumerator > 0 && m_facts.rateDenominator > 0) {
        try {
            m_impl->timecode = std::make_unique<media::Timecode>(m_facts.timecode, m_facts.rateNumerator,
                                                                 m_facts.rateDenominator);
        } catch (const std::exception&) {
            // A time code the clip's rate cannot count: the frames carry none.
        }
    }
}

ClipFrames::~ClipFrames() = default;

int ClipFrames::FrameCount() const {
    return m_impl->clip->FrameCount();
}

std::optional<uint32_t> ClipFrames::Timecode(int index) const {
    if (!m_impl->timecode) return std::nullopt;
    return m_impl->timecode->Smpte(index);
}

const std::vector<uint8_t>& ClipFrames::Bytes(int index) {
    if (m_impl->bytesIndex != index) {
        m_impl->bytesIndex = -1;
        m_impl->clip->ReadFrame(index, m_impl->bytes);
        m_impl->bytesIndex = index;
    }
    return m_impl->bytes;
}

const FrameProbe& ClipFrames::Probe(int index) {
    const auto known = m_probes.find(index);
    if (known != m_probes.end()) return known->second;
    const std::vector<uint8_t>& bytes = Bytes(index);
    FrameProbe probe;
    if (!ProbeFrame(bytes.data(), bytes.size(), m_settings.scaleIndex, probe))
        throw std::runtime_error("frame " + std::to_string(index) +
                                 " is not a valid Tessel RAW frame: its header or slice table is broken, or "
                                 "its slices run past its " +
                                 std::to_string(bytes.size()) + " bytes");
    media::DecodedPicture::CheckPixelCount("frame " + std::to_string(index) + ": ", probe.width,
                                           probe.height);
    return m_probes.emplace(index, probe).first->second;
}

const FramePixels& ClipFrames::Pixels(int index) {
    if (m_pixels.index == index) return m_pixels;
    m_pixels.index = -1;
    Impl& d = *m_impl;
    if (d.pictureIndex != index) {
        Probe(index);
        if (!d.decoder) d.decoder = std::make_unique<media::FrameDecoder>(m_settings.threads);
        d.pictureIndex = -1;
        d.decoder->Decode(Bytes(index), index, m_settings.scaleIndex, d.picture, m_settings.partialFrames);
        d.pictureIndex = index;
    }
    if (!d.engine) {
        media::EngineChoice choice;
        choice.engine = m_settings.engine;
        choice.device = m_settings.device;
        choice.threads = m_settings.threads;
        d.engine = media::OpenEngine(choice);
    }
    media::DebayerSettings settings;
    settings.curve = m_settings.curve;
    settings.floatOutput = m_settings.floatOutput;
    media::RgbaFrame rgba;
    rgba.index = index;
    rgba.bytes = std::move(m_pixels.bytes);
    d.engine->Process(d.picture, settings, rgba);
    m_pixels.width = rgba.width;
    m_pixels.height = rgba.height;
    m_pixels.isFloat = m_settings.floatOutput;
    m_pixels.bytes = std::move(rgba.bytes);
    m_pixels.index = index;
    return m_pixels;
}

std::string ClipFrames::EngineDescription() const {
    return m_impl->engine ? m_impl->engine->Description() : std::string();
}

} // namespace tsr::oiio
