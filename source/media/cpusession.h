// The CPU engine as the media library drives it: decoded pictures in host memory to RGBA in host memory,
// on the engine's own worker threads. Needs no OpenCL.
#pragma once

#include <cstdint>
#include <string>

#include "cpuengine/cpuengine.h"
#include "tsr/media/rgbaengine.h"

namespace tsr::media {

class CpuSession : public RgbaEngine {
public:
    // `threads` 0 takes one per processor.
    CpuSession(int threads, std::int32_t tuningValue);

    void Process(const DecodedPicture& picture, const DebayerSettings& settings, RgbaFrame& frame) override;
    std::string Description() const override;

private:
    CpuEngine m_engine;
};

// "AVX3 SIMD (built: AVX3 AVX2 SSE4 SCALAR), 2 threads"
std::string CpuEngineText(int threads);

} // namespace tsr::media
