// The convert job on a 4096x2160 clip of the synthetic scene to OpenEXR half: frames/s and the
// time per frame in each stage (read and decode, debayer on the OpenCL device or the CPU engine,
// EXR encoding and writing), with the three stages overlapped and one after another, for PIZ, ZIP
// and uncompressed EXR. Each stage's time is measured inside the stage, so with overlap they add up to more
// than the wall time.
#include <benchmark/benchmark.h>

#if __has_include("convertpipeline.h")

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

#include "clips/clip.h"
#include "encoder/frameencoder.h"
#include "encoder/syntheticscene.h"
#include "pictures/rgbapictures.h"
#include "pipeline/convertpipeline.h"
#include "pipeline/cpusession.h"
#include "pipeline/debayersession.h"
#include "pipeline/framedecoderhandle.h"

namespace {

constexpr int kWidth = 4096, kHeight = 2160, kFrames = 4;

struct Fixture {
    std::string folder;
    std::string clipPath;
    std::unique_ptr<tsr::tools::RgbaEngine> opencl; // created on first use
    std::unique_ptr<tsr::tools::RgbaEngine> cpu;
    std::unique_ptr<tsr::tools::FrameDecoderOwner> decoder;

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
    f.decoder = std::make_unique<tsr::tools::FrameDecoderOwner>(0);
    char name[] = "/tmp/tsrraw-convert-bench-XXXXXX";
    f.folder = mkdtemp(name) ? name : "/tmp";
    f.clipPath = f.folder + "/clip.tsr";
    std::unique_ptr<tsr::tools::ClipWriter> writer = tsr::tools::CreateFrameSequenceWriter(f.clipPath);
    tsr::SceneSettings scene;
    scene.width = kWidth;
    scene.height = kHeight;
    tsr::EncoderSettings settings;
    for (int i = 0; i < kFrames; ++i) {
        const std::vector<uint16_t> mosaic = tsr::renderSceneMosaic(scene, 0, i / 24.0);
        writer->Append(tsr::encodeFrame(mosaic.data(), kWidth, kHeight, kWidth, settings));
    }
    writer->Finish();
    return f;
}

void Convert(benchmark::State& state) {
    const bool cpuEngine = state.range(0) != 0;
    const bool overlap = state.range(1) != 0;
    static const tsr::tools::ExrCompression compressions[] = {
        tsr::tools::ExrCompression::None, tsr::tools::ExrCompression::Piz, tsr::tools::ExrCompression::Zip};
    const tsr::tools::ExrCompression compression = compressions[state.range(2)];
    Fixture* shared = nullptr;
    std::unique_ptr<tsr::tools::ClipReader> clip;
    try {
        shared = &Shared();
        clip = tsr::tools::OpenClip(shared->clipPath);
        if (cpuEngine && !shared->cpu) shared->cpu = std::make_unique<tsr::tools::CpuSession>(0, 0);
        if (!cpuEngine && !shared->opencl)
            shared->opencl = std::make_unique<tsr::tools::DebayerSession>(tsr::tools::ChooseOpenCLDevice(""));
    } catch (const std::exception& error) {
        state.SkipWithError(error.what()); // no OpenCL device, no room in /tmp, ...
        return;
    }
    Fixture& fixture = *shared;
    tsr::tools::ConvertJob job;
    job.clip = clip.get();
    job.decoder = fixture.decoder->Get();
    job.session = cpuEngine ? fixture.cpu.get() : fixture.opencl.get();
    state.SetLabel(job.session->Description());
    job.debayer.curve = 1;
    job.overlap = overlap;
    job.write = [&](const tsr::tools::RgbaFrame& frame) {
        tsr::tools::WriteRgbaPicture(frame, tsr::tools::PictureFormat::Exr,
                                     fixture.folder + "/frame" + std::to_string(frame.index) + ".exr",
                                     compression);
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
    for (int i = 0; i < kFrames; ++i)
        std::remove((fixture.folder + "/frame" + std::to_string(i) + ".exr").c_str());
}

// Arguments: CPU engine (1) or OpenCL (0); overlap (1) or not (0); EXR compression none (0), PIZ
// (1, the tool's default) or ZIP (2).
BENCHMARK(Convert)
    ->ArgNames({"cpu", "overlap", "exr"})
    ->Args({1, 1, 1})
    ->Args({1, 0, 1})
    ->Args({1, 1, 0})
    ->Args({1, 0, 0})
    ->Args({0, 1, 1})
    ->Args({0, 0, 1})
    ->Args({0, 1, 2})
    ->Args({0, 0, 2})
    ->Args({0, 1, 0})
    ->Args({0, 0, 0})
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
