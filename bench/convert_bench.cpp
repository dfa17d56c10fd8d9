// The convert job on a 4096x2160 clip of the synthetic scene to OpenEXR half, or to nothing (frames
// dropped after the engine, as by a raw pipe that keeps up): frames/s and the time per frame in
// each stage (read and decode, debayer on the OpenCL device or the CPU engine, EXR encoding and
// writing), with the three stages overlapped and one after another, for PIZ, ZIP and uncompressed
// EXR. Each stage's time is measured inside the stage, so with overlap they add up to more than
// the wall time. Beside each: the decoder's own frames/s on the same clip and the pipeline's share
// of it, and for the CPU engine its Mpixel/s per thread, on each SIMD target this processor runs.
#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#if __has_include("pipeline/convertpipeline.h")

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "common/processorcount.h"
#include "cpuengine/cpuengine.h"
#include "encoder/frameencoder.h"
#include "encoder/syntheticscene.h"
#include "pictures/pictureformats.h"
#include "pipeline/convertpipeline.h"
#include "tsr/media/clip.h"
#include "tsr/media/frames.h"
#include "tsr/media/processorshare.h"
#include "tsr/media/rgbaengine.h"

namespace {

constexpr int kWidth = 4096, kHeight = 2160, kFrames = 4;

struct Fixture {
    std::string folder;
    std::string clipPath;
    std::unique_ptr<tsr::media::RgbaEngine> opencl; // created on first use
    std::unique_ptr<tsr::media::RgbaEngine> cpu;
    std::unique_ptr<tsr::media::FrameDecoder> decoder;

    ~Fixture() {
        if (!clipPath.empty()) {
            std::remove(clipPath.c_str());
            rmdir(folder.c_str());
        }
    }
};

Fixture& Shared() {
    static Fixture f;
    if (!f.clipPath.empty()) return f;
    f.decoder = std::make_unique<tsr::media::FrameDecoder>(0);
    char name[] = "/tmp/tsrraw-convert-bench-XXXXXX";
    f.folder = mkdtemp(name) ? name : "/tmp";
    f.clipPath = f.folder + "/clip.tsr";
    std::unique_ptr<tsr::media::ClipWriter> writer = tsr::media::CreateFrameSequenceWriter(f.clipPath);
    tsr::SceneSettings scene;
    scene.width = kWidth;
    scene.height = kHeight;
    tsr::EncoderSettings settings;
    for (int i = 0; i < kFrames; ++i) {
        const std::vector<uint16_t> mosaic = tsr::RenderSceneMosaic(scene, 0, i / 24.0);
        writer->Append(tsr::EncodeFrame(mosaic.data(), kWidth, kHeight, kWidth, settings));
    }
    writer->Finish();
    return f;
}

// Frames/s of the decoder alone over the clip (full size, the fixture's decoder), measured once.
double DecoderFramesPerSecond(Fixture& fixture) {
    static double rate = -1.0;
    if (rate >= 0.0) return rate;
    rate = 0.0;
    std::unique_ptr<tsr::media::ClipReader> clip = tsr::media::OpenClip(fixture.clipPath);
    std::vector<std::vector<uint8_t>> frames(kFrames);
    for (int i = 0; i < kFrames; ++i) clip->ReadFrame(i, frames[i]);
    const int pitch = frameDecoderMinRowPitch(kWidth, 0);
    std::vector<uint8_t> picture(static_cast<size_t>(pitch) * kHeight);
    std::vector<uint8_t> record(static_cast<size_t>(frameDecoderInfoRecordSize()));
    auto decode = [&](const std::vector<uint8_t>& frame) {
        return frameDecoderDecode(fixture.decoder->Get(), frame.data(), static_cast<int>(frame.size()),
                                  picture.data(), static_cast<int>(picture.size()), pitch, record.data(),
                                  static_cast<int>(record.size()), 0);
    };
    if (decode(frames[0]) != 0) return rate;
    constexpr int kRounds = 3;
    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < kRounds; ++round)
        for (const auto& frame : frames) decode(frame);
    rate =
        kRounds * kFrames / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return rate;
}

void Convert(benchmark::State& state) {
    const bool cpuEngine = state.range(0) != 0;
    const bool overlap = state.range(1) != 0;
    // The CPU engine held to the given SIMD target (0: the dispatch's choice; 1, 2, ...: the
    // processor's usable targets, best first).
    const std::vector<std::int64_t> targets = tsr::CpuEngine::UsableTargets();
    const std::size_t target = static_cast<std::size_t>(state.range(3));
    if (target > targets.size()) {
        state.SkipWithError("no such SIMD target on this processor");
        return;
    }
    hwy::SetSupportedTargetsForTest(target > 0 ? targets[target - 1] : 0);
    struct Restore {
        ~Restore() { hwy::SetSupportedTargetsForTest(0); }
    } restore;
    tsr::CpuEngine::SimdTarget(); // the dispatch settles on this thread before the engine's workers use it
    static const tsr::tools::ExrCompression compressions[] = {
        tsr::tools::ExrCompression::None, tsr::tools::ExrCompression::Piz, tsr::tools::ExrCompression::Zip};
    const bool discard = state.range(2) == 3;
    const tsr::tools::ExrCompression compression = compressions[discard ? 0 : state.range(2)];
    Fixture* shared = nullptr;
    std::unique_ptr<tsr::media::ClipReader> clip;
    try {
        shared = &Shared();
        clip = tsr::media::OpenClip(shared->clipPath);
        tsr::media::EngineChoice choice;
        choice.engine = cpuEngine ? "cpu" : "opencl";
        std::unique_ptr<tsr::media::RgbaEngine>& engine = cpuEngine ? shared->cpu : shared->opencl;
        if (!engine) engine = tsr::media::OpenEngine(choice);
    } catch (const std::exception& error) {
        state.SkipWithError(error.what()); // no OpenCL device, no room in /tmp, ...
        return;
    }
    Fixture& fixture = *shared;
    tsr::tools::ConvertJob job;
    job.clip = clip.get();
    job.decoder = fixture.decoder->Get();
    job.session = cpuEngine ? fixture.cpu.get() : fixture.opencl.get();
    // The decoder and a CPU engine share the processors, as tsrraw convert has them.
    job.decoderThreads = tsr::ProcessorCount();
    job.processors = std::make_shared<tsr::media::ProcessorShare>(job.decoderThreads);
    state.SetLabel(cpuEngine ? tsr::CpuEngine::SimdTarget() + ", " + std::to_string(tsr::ProcessorCount()) +
                                   " threads"
                             : job.session->Description());
    job.debayer.curve = 1;
    job.overlap = overlap;
    job.write = [&](const tsr::media::RgbaFrame& frame) {
        if (discard) return;
        tsr::tools::PictureWriteOptions options;
        options.compression = compression;
        tsr::tools::WriteRgbaPicture(frame, tsr::tools::PictureFormat::Exr,
                                     fixture.folder + "/frame" + std::to_string(frame.index) + ".exr",
                                     options);
    };
    // One frame first: kernels built and buffers sized outside the measurement.
    job.range = tsr::tools::FrameRange{0, 0};
    try {
        tsr::tools::RunConvertJob(job);
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
        return;
    }

    job.range = tsr::tools::FrameRange{0, kFrames - 1};
    tsr::tools::ConvertTimings total;
    for (auto _ : state) {
        tsr::tools::ConvertTimings t;
        try {
            t = tsr::tools::RunConvertJob(job);
        } catch (const std::exception& error) {
            state.SkipWithError(error.what());
            break;
        }
        total.frames += t.frames;
        total.decodeSeconds += t.decodeSeconds;
        total.debayerSeconds += t.debayerSeconds;
        total.writeSeconds += t.writeSeconds;
        total.wallSeconds += t.wallSeconds;
    }
    const double frames = total.frames > 0 ? total.frames : 1;
    state.counters["frames/s"] = total.wallSeconds > 0 ? total.frames / total.wallSeconds : 0.0;
    state.counters["decode_ms"] = 1000.0 * total.decodeSeconds / frames;
    state.counters["debayer_ms"] = 1000.0 * total.debayerSeconds / frames;
    state.counters["write_ms"] = 1000.0 * total.writeSeconds / frames;
    state.counters["wall_ms"] = 1000.0 * total.wallSeconds / frames;
    const double decoderRate = DecoderFramesPerSecond(fixture);
    if (decoderRate > 0.0 && total.wallSeconds > 0) {
        state.counters["decoder frames/s"] = decoderRate;
        state.counters["x decoder"] = total.frames / total.wallSeconds / decoderRate;
    }
    if (cpuEngine && total.debayerSeconds > 0)
        state.counters["engine Mpixel/s/thread"] =
            double(kWidth) * kHeight * frames / total.debayerSeconds / 1e6 / tsr::ProcessorCount();
    for (int i = 0; i < kFrames; ++i)
        std::remove((fixture.folder + "/frame" + std::to_string(i) + ".exr").c_str());
}

// Arguments: CPU engine (1) or OpenCL (0); overlap (1) or not (0); EXR compression none (0), PIZ
// (1, the tool's default) or ZIP (2), or no file (3); the CPU engine's SIMD target (0: its
// choice; 1..4: the processor's usable targets, best first, where there are that many).
BENCHMARK(Convert)
    ->ArgNames({"cpu", "overlap", "exr", "target"})
    ->Args({1, 1, 1, 0})
    ->Args({1, 0, 1, 0})
    ->Args({1, 1, 0, 0})
    ->Args({1, 0, 0, 0})
    ->Args({1, 1, 3, 1})
    ->Args({1, 1, 3, 2})
    ->Args({1, 1, 3, 3})
    ->Args({1, 1, 3, 4})
    ->Args({1, 0, 3, 0})
    ->Args({0, 1, 1, 0})
    ->Args({0, 0, 1, 0})
    ->Args({0, 1, 2, 0})
    ->Args({0, 0, 2, 0})
    ->Args({0, 1, 0, 0})
    ->Args({0, 0, 0, 0})
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();

#else

#include <cstdio>

// Built without tsrraw's library (tsr_tools): nothing to measure.
int main() {
    std::puts("convert_bench: tsrraw's library is not part of this build");
    return 0;
}

#endif
