// CPU engine throughput against the OpenCL engine on the machine's first OpenCL device (PoCL on
// CI machines), on the encoder's synthetic scene: whole frames from host memory to RGBA in host
// memory. Every configuration runs once for each SIMD target built in that this processor runs
// (the benchmark's name ends in the target). Reports frames/s, Mpixel/s per worker thread and the
// speed-up over OpenCL, by wall time and by processor time of all threads (the steadier figure on
// a machine shared with other work), and, where the processor's clock is known, cycles per pixel
// in all and in each stage of the chain.
#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "benchrecord.h"
#include "cpuengine/cpuengine.h"
#include "encoder/syntheticscene.h"
#include "engine/debayerer.h"

namespace {

struct Frame {
    TsrFrameInfoRecord record;
    std::vector<std::uint16_t> samples;
};

const Frame& SceneFrame(bool bayer) {
    static std::map<bool, Frame> frames;
    Frame& frame = frames[bayer];
    if (!frame.samples.empty()) return frame;
    const int width = bayer ? 4096 : 2048, height = bayer ? 2160 : 1080;
    tsr::SceneSettings settings;
    settings.width = width;
    settings.height = height;
    if (bayer) {
        frame.samples = tsr::RenderSceneMosaic(settings, 0, 0.5);
    } else {
        const std::vector<std::uint16_t> rgb = tsr::RenderSceneRgb(settings, 0.5);
        frame.samples.assign(rgb.size() / 3 * 4, 0);
        for (size_t i = 0; i < rgb.size() / 3; ++i)
            for (int c = 0; c < 3; ++c) frame.samples[4 * i + c] = rgb[3 * i + c];
    }
    frame.record = BenchRecord(bayer, width, height);
    return frame;
}

double ProcessorSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

struct Timing {
    double wall = 0.0;      // seconds per frame
    double processor = 0.0; // processor seconds per frame, all threads
};

// Per-frame times of the OpenCL engine for one configuration, measured once per run over a few
// frames after a warm-up frame; zero without an OpenCL device.
Timing OpenCLTiming(bool bayer, unsigned curve, bool floatOutput) {
    static std::map<std::tuple<bool, unsigned, bool>, Timing> measured;
    const auto key = std::make_tuple(bayer, curve, floatOutput);
    const auto known = measured.find(key);
    if (known != measured.end()) return known->second;
    Timing& timing = measured[key];

    cl_platform_id platform = nullptr;
    cl_device_id device = nullptr;
    if (clGetPlatformIDs(1, &platform, nullptr) != CL_SUCCESS ||
        clGetDeviceIDs(platform, CL_DEVICE_TYPE_ALL, 1, &device, nullptr) != CL_SUCCESS)
        return timing;
    cl_context context = clCreateContext(nullptr, 1, &device, nullptr, nullptr, nullptr);
    cl_command_queue queue = context ? clCreateCommandQueue(context, device, 0, nullptr) : nullptr;
    if (!queue) return timing;
    {
        HRESULT status = E_FAIL;
        tsr::Debayerer debayerer(queue, &status);
        const Frame& frame = SceneFrame(bayer);
        cl_image_format format = {CL_RGBA,
                                  static_cast<cl_channel_type>(floatOutput ? CL_FLOAT : CL_HALF_FLOAT)};
        cl_image_desc descriptor = {};
        descriptor.image_type = CL_MEM_OBJECT_IMAGE2D;
        descriptor.image_width = static_cast<size_t>(frame.record.width);
        descriptor.image_height = static_cast<size_t>(frame.record.height);
        cl_mem output = clCreateImage(context, CL_MEM_WRITE_ONLY, &format, &descriptor, nullptr, nullptr);
        const unsigned bytes = static_cast<unsigned>(frame.samples.size() * 2);
        auto run = [&] {
            return tsr::ProcessMemory(debayerer.Processor(), frame.samples.data(), bytes, &frame.record,
                                      sizeof frame.record, nullptr, curve, nullptr, output);
        };
        if (status == S_OK && output && run() == 0) {
            constexpr int kFrames = 3;
            const auto start = std::chrono::steady_clock::now();
            const double processorStart = ProcessorSeconds();
            for (int i = 0; i < kFrames; ++i) run();
            timing.processor = (ProcessorSeconds() - processorStart) / kFrames;
            timing.wall =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / kFrames;
        }
        if (output) clReleaseMemObject(output);
    }
    clReleaseCommandQueue(queue);
    clReleaseContext(context);
    return timing;
}

// The processor's clock in Hz as /proc/cpuinfo states it, or 0 where it does not.
double ProcessorClock() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        double mhz = 0.0;
        if (line.rfind("cpu MHz", 0) == 0 && std::sscanf(line.c_str(), "cpu MHz : %lf", &mhz) == 1 && mhz > 0)
            return mhz * 1e6;
    }
    return 0.0;
}

// Arguments: Bayer (1) or four-sample (0), curve index, float output (1) or half (0), threads;
// `target` is the Highway target the dispatch is held to.
void BM_CpuEngine(benchmark::State& state, std::int64_t target) {
    hwy::SetSupportedTargetsForTest(target);
    struct Restore {
        ~Restore() { hwy::SetSupportedTargetsForTest(0); }
    } restore;
    const bool bayer = state.range(0) != 0;
    const unsigned curve = static_cast<unsigned>(state.range(1));
    const bool floatOutput = state.range(2) != 0;
    const int threads = static_cast<int>(state.range(3));
    const Frame& frame = SceneFrame(bayer);
    const int width = frame.record.width, height = frame.record.height;
    const std::ptrdiff_t pitch = static_cast<std::ptrdiff_t>(width) * (floatOutput ? 16 : 8);
    std::vector<std::uint8_t> output(static_cast<size_t>(pitch) * height);
    tsr::CpuEngine engine(threads);
    auto run = [&] {
        return engine.ProcessFrame(&frame.record, sizeof frame.record, frame.samples.data(),
                                   frame.samples.size() * 2, nullptr, curve, floatOutput, output.data(),
                                   output.size(), pitch);
    };
    if (run() != 0) {
        state.SkipWithError("frame failed");
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    const double processorStart = ProcessorSeconds();
    for (auto _ : state) benchmark::DoNotOptimize(run());
    const double n = static_cast<double>(state.iterations());
    const Timing cpu{std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / n,
                     (ProcessorSeconds() - processorStart) / n};

    const double pixels = static_cast<double>(width) * height;
    state.counters["frames/s"] = benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["Mpixel/s/thread"] =
        benchmark::Counter(pixels / 1e6 / threads, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["cpu ms/frame"] = cpu.processor * 1e3;
    state.counters["Mpixel/cpu-s"] = pixels / 1e6 / cpu.processor;
    const Timing opencl = OpenCLTiming(bayer, curve, floatOutput);
    if (opencl.wall > 0.0) {
        state.counters["OpenCL frames/s"] = 1.0 / opencl.wall;
        state.counters["OpenCL cpu ms/frame"] = opencl.processor * 1e3;
        state.counters["x OpenCL"] = opencl.wall / cpu.wall;
        state.counters["x OpenCL cpu"] = opencl.processor / cpu.processor;
    }
    state.SetLabel(tsr::CpuEngine::SimdTarget());

    // Cycles per pixel: the processor time per frame at the stated clock, shared among the stages
    // in proportion to their own time over a few more frames with the stage clock on.
    static const double clock = ProcessorClock();
    if (clock <= 0.0) return;
    state.counters["cycles/px"] = cpu.processor * clock / pixels;
    engine.SetStageTiming(true);
    for (int i = 0; i < 3; ++i) run();
    const std::vector<std::pair<std::string, double>> stages = engine.StageSeconds();
    double staged = 0.0;
    for (const auto& stage : stages) staged += stage.second;
    for (const auto& stage : stages)
        if (stage.second > 0.0 && staged > 0.0)
            state.counters["c/px " + stage.first] = stage.second / staged * cpu.processor * clock / pixels;
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const double clock = ProcessorClock();
    char mhz[64] = "unknown: no cycles per pixel";
    if (clock > 0.0) std::snprintf(mhz, sizeof mhz, "%.0f MHz (/proc/cpuinfo)", clock / 1e6);
    benchmark::AddCustomContext("processor clock", mhz);
    benchmark::AddCustomContext("SIMD targets", tsr::CpuEngine::CompiledTargets() + " built; " +
                                                    tsr::CpuEngine::SimdTarget() + " chosen here");
    const std::int64_t configurations[][4] = {{1, 1, 0, 1}, {1, 1, 0, 2}, {1, 4, 1, 1},
                                              {1, 4, 1, 2}, {0, 1, 0, 1}, {0, 1, 0, 2}};
    for (const std::int64_t target : tsr::CpuEngine::UsableTargets()) {
        const std::string name = std::string("BM_CpuEngine/") + hwy::TargetName(target);
        auto* benchmark = benchmark::RegisterBenchmark(name.c_str(), BM_CpuEngine, target);
        benchmark->ArgNames({"bayer", "curve", "float", "threads"});
        for (const auto& arguments : configurations)
            benchmark->Args({arguments[0], arguments[1], arguments[2], arguments[3]});
        benchmark->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
