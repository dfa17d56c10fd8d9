// GPU engine throughput on the machine's OpenCL device (PoCL on CI machines): whole frames from
// host memory through upload, kernel chain and optional output curve, per frame and per pixel.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "benchrecord.h"
#include "engine/debayerer.h"

namespace {

struct Device {
    cl_context context = nullptr;
    cl_command_queue queue = nullptr;
};

const Device& TheDevice() {
    static const Device device = [] {
        Device d;
        cl_platform_id platform = nullptr;
        cl_device_id id = nullptr;
        if (clGetPlatformIDs(1, &platform, nullptr) != CL_SUCCESS ||
            clGetDeviceIDs(platform, CL_DEVICE_TYPE_ALL, 1, &id, nullptr) != CL_SUCCESS)
            return d;
        d.context = clCreateContext(nullptr, 1, &id, nullptr, nullptr, nullptr);
        d.queue = d.context ? clCreateCommandQueue(d.context, id, 0, nullptr) : nullptr;
        return d;
    }();
    return device;
}

// A smooth scene with texture, as 12-bit samples over the black level.
std::vector<std::uint16_t> Samples(bool bayer, int width, int height) {
    const int perPixel = bayer ? 1 : 4;
    std::vector<std::uint16_t> samples(static_cast<size_t>(width) * height * perPixel);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < perPixel; ++c) {
                const double v =
                    0.5 + 0.4 * std::sin(x * 0.013 + c) * std::cos(y * 0.021) + 0.05 * ((x ^ y) & 7) / 7.0;
                samples[(static_cast<size_t>(y) * width + x) * perPixel + c] =
                    static_cast<std::uint16_t>(256 + v * 3800);
            }
    return samples;
}

// Arguments: Bayer (1) or four-sample (0), curve index, float output (1) or half (0).
void BM_EngineFrame(benchmark::State& state) {
    const bool bayer = state.range(0) != 0;
    const unsigned curve = static_cast<unsigned>(state.range(1));
    const bool floatOutput = state.range(2) != 0;
    const int width = bayer ? 4096 : 2048, height = bayer ? 2160 : 1080;

    const Device& device = TheDevice();
    if (!device.queue) {
        state.SkipWithError("no OpenCL device");
        return;
    }
    HRESULT status = E_FAIL;
    tsr::Debayerer debayerer(device.queue, &status);
    if (status != S_OK) {
        state.SkipWithError("engine did not start");
        return;
    }
    const TsrFrameInfoRecord record = BenchRecord(bayer, width, height);
    const std::vector<std::uint16_t> samples = Samples(bayer, width, height);
    const unsigned bytes = static_cast<unsigned>(samples.size() * sizeof(std::uint16_t));
    cl_image_format format = {CL_RGBA, static_cast<cl_channel_type>(floatOutput ? CL_FLOAT : CL_HALF_FLOAT)};
    cl_image_desc descriptor = {};
    descriptor.image_type = CL_MEM_OBJECT_IMAGE2D;
    descriptor.image_width = static_cast<size_t>(width);
    descriptor.image_height = static_cast<size_t>(height);
    cl_mem output = clCreateImage(device.context, CL_MEM_WRITE_ONLY, &format, &descriptor, nullptr, nullptr);

    // The first frame builds the kernels for this size and allocates the images.
    int result = tsr::ProcessMemory(debayerer.Processor(), samples.data(), bytes, &record, 116, nullptr,
                                    curve, nullptr, output);
    if (result != 0) {
        state.SkipWithError("frame failed");
        clReleaseMemObject(output);
        return;
    }
    for (auto _ : state) {
        result = tsr::ProcessMemory(debayerer.Processor(), samples.data(), bytes, &record, 116, nullptr,
                                    curve, nullptr, output);
        benchmark::DoNotOptimize(result);
    }
    const double pixels = static_cast<double>(width) * height;
    state.counters["Mpixel/s"] =
        benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    clReleaseMemObject(output);
}

BENCHMARK(BM_EngineFrame)
    ->ArgNames({"bayer", "curve", "float"})
    ->Args({1, 0, 0})
    ->Args({1, 0, 1})
    ->Args({1, 4, 0})
    ->Args({1, 4, 1})
    ->Args({0, 0, 0})
    ->Args({0, 0, 1})
    ->Args({0, 4, 0})
    ->Args({0, 4, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
