#include "openimageio/clipframes.h"

#include <stdexcept>

#include "clips/clip.h"
#include "clips/framesummary.h"
#include "pictures/decodedpicture.h"
#include "pipeline/cpusession.h"
#include "pipeline/debayersession.h"
#include "pipeline/framedecoderhandle.h"
#include "streams/timecode.h"
#include "tuning.h"

namespace tsr::oiio {

struct ClipFrames::Impl {
    std::unique_ptr<tools::ClipReader> clip;
    std::unique_ptr<tools::Timecode> timecode;
    std::vector<uint8_t> bytes;
    int bytesIndex = -1;
    std::unique_ptr<tools::FrameDecoderOwner> decoder;
    tools::DecodedPicture picture;
    int pictureIndex = -1;
    std::unique_ptr<tools::RgbaEngine> engine;
};

ClipFrames::ClipFrames(const std::string& path, const ReaderSettings& settings)
    : m_settings(settings), m_impl(std::make_unique<Impl>()) {
    m_impl->clip = tools::OpenClip(path);
    const tools::ClipProperties& properties = m_impl->clip->Properties();
    m_facts.quickTime = properties.container == "quicktime";
    m_facts.fourcc = properties.fourcc;
    m_facts.rateNumerator = properties.frameRateNumerator;
    m_facts.rateDenominator = properties.frameRateDenominator;
    m_facts.timecode = properties.timecode;
    if (!m_facts.timecode.empty() && m_facts.rateNumerator > 0 && m_facts.rateDenominator > 0) {
        try {
            m_impl->timecode = std::make_unique<tools::Timecode>(
                m_facts.timecode, AVRational{m_facts.rateNumerator, m_facts.rateDenominator});
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
    tools::DecodedPicture::CheckPixelCount("frame " + std::to_string(index), probe.width, probe.height);
    return m_probes.emplace(index, probe).first->second;
}

const FramePixels& ClipFrames::Pixels(int index) {
    if (m_pixels.index == index) return m_pixels;
    m_pixels.index = -1;
    Impl& d = *m_impl;
    if (d.pictureIndex != index) {
        Probe(index);
        if (!d.decoder) d.decoder = std::make_unique<tools::FrameDecoderOwner>(m_settings.threads);
        d.pictureIndex = -1;
        tools::DecodeClipFrame(d.picture, d.decoder->Get(), Bytes(index), index, m_settings.scaleIndex,
                               m_settings.partialFrames);
        d.pictureIndex = index;
    }
    if (!d.engine) {
        const bool opencl =
            m_settings.engine == "opencl" ||
            (m_settings.engine == "auto" && (!m_settings.device.empty() || tools::HasUsableOpenCLGpu()));
        if (opencl)
            d.engine = std::make_unique<tools::DebayerSession>(tools::ChooseOpenCLDevice(m_settings.device));
        else
            d.engine = std::make_unique<tools::CpuSession>(m_settings.threads, ProcessTuningValue());
    }
    tools::DebayerSettings settings;
    settings.curve = m_settings.curve;
    settings.floatOutput = m_settings.floatOutput;
    tools::RgbaFrame rgba;
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
