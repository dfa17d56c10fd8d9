#include "media/cpusession.h"

#include "media/debayersession.h"
#include "tsr/media/processorshare.h"

namespace tsr::media {

CpuSession::CpuSession(int threads, std::int32_t tuningValue) : m_engine(threads, tuningValue) {}

void CpuSession::Process(const DecodedPicture& picture, const DebayerSettings& settings, RgbaFrame& frame) {
    const int width = picture.OutputWidth(), height = picture.OutputHeight();
    frame.width = width;
    frame.height = height;
    frame.isFloat = settings.floatOutput;
    frame.curve = settings.curve;
    const size_t rowBytes = static_cast<size_t>(width) * frame.BytesPerPixel();
    frame.bytes.resize(rowBytes * static_cast<size_t>(height));
    const int status = m_engine.ProcessFrame(
        picture.Record(), TSR_FRAME_INFO_RECORD_SIZE, picture.Picture(), picture.PictureSize(),
        settings.hasColour ? settings.colour.data() : nullptr, settings.curve, settings.floatOutput,
        frame.bytes.data(), frame.bytes.size(), static_cast<std::ptrdiff_t>(rowBytes));
    if (status != 0) throw EngineError("frame " + std::to_string(frame.index) + ": debayer failed: ", status);
}

void CpuSession::ShareProcessors(std::shared_ptr<ProcessorShare> share) {
    m_engine.SetStripGate(nullptr);
    m_gate = share ? std::make_unique<ShareGate>(std::move(share)) : nullptr;
    m_engine.SetStripGate(m_gate.get());
}

void CpuSession::ShareGate::Enter() {
    m_share->Take(1);
}

void CpuSession::ShareGate::Leave() {
    m_share->Give(1);
}

std::string CpuSession::Description() const {
    return "CPU engine, " + CpuEngineText(m_engine.Threads());
}

std::string CpuEngineText(int threads) {
    return CpuEngine::SimdTarget() + " SIMD (built: " + CpuEngine::CompiledTargets() + "), " +
           std::to_string(threads) + (threads == 1 ? " thread" : " threads");
}

} // namespace tsr::media
