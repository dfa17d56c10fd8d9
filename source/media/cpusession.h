// The CPU engine as the media library drives it: decoded pictures in host memory to RGBA in host memory,
// on the engine's own worker threads. Needs no OpenCL.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "cpuengine/cpuengine.h"
#include "tsr/media/rgbaengine.h"

namespace tsr::media {

class CpuSession : public RgbaEngine {
public:
    // `threads` 0 takes one per processor.
    CpuSession(int threads, std::int32_t tuningValue);

    void Process(const DecodedPicture& picture, const DebayerSettings& settings, RgbaFrame& frame) override;
    std::string Description() const override;
    void ShareProcessors(std::shared_ptr<ProcessorShare> share) override;

private:
    // A processor of the share for each strip.
    class ShareGate : public StripGate {
    public:
        explicit ShareGate(std::shared_ptr<ProcessorShare> share) : m_share(std::move(share)) {}
        void Enter() override;
        void Leave() override;

    private:
        std::shared_ptr<ProcessorShare> m_share;
    };

    CpuEngine m_engine;
    std::unique_ptr<ShareGate> m_gate;
};

// "AVX3 SIMD (built: AVX3 AVX2 SSE4 SCALAR), 2 threads"
std::string CpuEngineText(int threads);

} // namespace tsr::media
