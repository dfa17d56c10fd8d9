// The raw-processing chain on the CPU: from a frame info record and its picture (Bayer bp16 or
// four-sample bp64) to RGBA half or float in memory, computing what the OpenCL chain computes,
// with the same parameter derivation. SIMD through Highway (best target chosen at run time),
// row strips spread over a worker pool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tsr/framerecords.h"

namespace tsr {

namespace cpu {
class CpuFrameRunner;
}

// Lets the engine's workers share the processors with other work of the process (the decoder of
// a pipeline): each worker calls Enter before a strip of rows and Leave after it, on its own
// thread, so it may wait in Enter until a processor is free.
class StripGate {
public:
    virtual ~StripGate() = default;
    virtual void Enter() = 0;
    virtual void Leave() = 0;
};

class CpuEngine {
public:
    // `threads` workers in all, the calling thread included; 0 or less takes one per hardware
    // thread. `tuningValue` is the engine tuning value (it decides the test chart).
    explicit CpuEngine(int threads = 0, std::int32_t tuningValue = 0);
    CpuEngine(const CpuEngine&) = delete;
    CpuEngine& operator=(const CpuEngine&) = delete;
    ~CpuEngine();

    int Threads() const;

    // From the next frame on, every strip passes `gate` (null: none); it must outlive the frames
    // run through it.
    void SetStripGate(StripGate* gate);

    // Runs one frame. `record` is `recordSize` bytes of frame info record (need not be aligned);
    // the picture is `pictureBytes` bytes with rows record->rowPitch apart; `colorOverride` is
    // null or the 12-float colour override; `curve` the curve index. The output receives RGBA as
    // four half floats (or four floats with `floatOutput`) a pixel, rows `outputPitch` bytes
    // apart, within `outputBytes` bytes. Returns kStatusOk, or a status of the engine's table
    // (status.h): kStatusBadRecord, kStatusBadHostMemory, kStatusBadOutput, or kStatusOther when
    // the frame's rows do not fit in memory.
    int ProcessFrame(const void* record, int recordSize, const void* picture, std::size_t pictureBytes,
                     const float* colorOverride, unsigned curve, bool floatOutput, void* output,
                     std::size_t outputBytes, std::ptrdiff_t outputPitch);

    // For benchmarks: times each stage of each row from now on (a clock read around each), or
    // stops; switching it on starts the totals again.
    void SetStageTiming(bool on);
    // Seconds each stage took on all workers together since timing was switched on, by name.
    std::vector<std::pair<std::string, double>> StageSeconds() const;

    // The SIMD target the dispatch takes on this processor, and every target built in.
    static std::string SimdTarget();
    static std::string CompiledTargets();
    // Highway target bits built in and supported by this processor, best first (tests restrict
    // the dispatch to each in turn with hwy::SetSupportedTargetsForTest).
    static std::vector<std::int64_t> UsableTargets();

private:
    std::unique_ptr<cpu::CpuFrameRunner> m_runner;
};

} // namespace tsr
