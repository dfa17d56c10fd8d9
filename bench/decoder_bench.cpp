// Decoding speed of 4096x2160 frames from the synthetic scene at about 4 and 8 bits per photosite:
// frames/s and photosites/s at every scale index with 1 and 2 workers, and the share of entropy
// decoding in a single-threaded decode.
#include <benchmark/benchmark.h>

#include <map>
#include <vector>

#include "entropy.h"
#include "frameencoder.h"
#include "format/frameformat.h"
#include "format/frameheader.h"
#include "syntheticscene.h"
#include "tsr/framedecoder.h"

namespace {

constexpr int kWidth = 4096, kHeight = 2160;

const std::vector<uint8_t>& FrameAt(int bitsPerPhotosite) {
    static std::map<int, std::vector<uint8_t>> frames;
    auto& frame = frames[bitsPerPhotosite];
    if (frame.empty()) {
        tsr::SceneSettings scene;
        scene.width = kWidth;
        scene.height = kHeight;
        const std::vector<uint16_t> mosaic = tsr::RenderSceneMosaic(scene, 0, 0.25);
        tsr::EncoderSettings settings;
        settings.targetBitsPerPhotosite = bitsPerPhotosite;
        frame = tsr::EncodeFrame(mosaic.data(), kWidth, kHeight, kWidth, settings);
    }
    return frame;
}

void Decode(benchmark::State& state) {
    const int bits = int(state.range(0)), scale = int(state.range(1)), threads = int(state.range(2));
    const std::vector<uint8_t>& frame = FrameAt(bits);
    const int pitch = frameDecoderMinRowPitch(kWidth, scale);
    std::vector<uint8_t> image(size_t(pitch) * (kHeight >> scale));
    TsrFrameInfoRecord record;
    FrameDecoderHandle decoder = frameDecoderCreate(threads);
    for (auto _ : state) {
        const int result = frameDecoderDecode(decoder, frame.data(), int(frame.size()), image.data(), int(image.size()),
                                              pitch, &record, sizeof record, scale);
        if (result != 0) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.data());
    }
    frameDecoderDestroy(decoder);
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["photosites/s"] =
        benchmark::Counter(double(state.iterations()) * kWidth * kHeight, benchmark::Counter::kIsRate);
    state.counters["bits/photosite"] = 8.0 * double(frame.size()) / (double(kWidth) * kHeight);
}

// Entropy decoding alone of every slice of the frame, single-threaded, as a scale-0 decode does it.
void EntropyOnly(benchmark::State& state) {
    const int bits = int(state.range(0)), scale = int(state.range(1));
    const std::vector<uint8_t>& frame = FrameAt(bits);
    tsr::ByteReader reader(frame.data(), frame.size());
    tsr::FrameHeader header;
    tsr::ParseFrameHeader(reader, header);
    const int mbWidth = tsr::MacroblocksFor(header.width), mbHeight = tsr::MacroblocksFor(header.height);
    struct Slice {
        const uint8_t* data;
        uint32_t size;
        int log2Width;
    };
    std::vector<Slice> slices;
    tsr::ByteReader table = reader;
    reader.Skip(2 * size_t(tsr::SlicesPerRow(mbWidth, header.log2SliceWidth)) * mbHeight);
    for (int j = 0; j < mbHeight; ++j)
        tsr::ForEachSliceInRow(mbWidth, header.log2SliceWidth, [&](int, int log2Width) {
            const uint32_t size = table.U16();
            slices.push_back({frame.data() + reader.Position(), size, log2Width});
            reader.Skip(size);
        });
    alignas(64) static int16_t levels[16 * 64];
    for (auto _ : state) {
        for (const Slice& s : slices) {
            const uint8_t* p = s.data;
            const size_t headerSize = p[0] >> 3;
            const size_t sizes[3] = {size_t(p[2]) << 8 | p[3], size_t(p[4]) << 8 | p[5], size_t(p[6]) << 8 | p[7]};
            const size_t sizes4[4] = {sizes[0], sizes[1], sizes[2], s.size - headerSize - sizes[0] - sizes[1] - sizes[2]};
            const uint8_t* component = p + headerSize;
            for (int c = 0; c < 4; ++c) {
                if (c != 1 || scale == 0)
                    tsr::DecodeComponent(component, sizes4[c], s.log2Width, tsr::Log2CoefficientsForScale(scale), levels);
                component += sizes4[c];
            }
        }
        benchmark::DoNotOptimize(levels);
    }
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void DecodeArguments(benchmark::internal::Benchmark* b) {
    for (int bits : {4, 8})
        for (int scale = 0; scale < 4; ++scale)
            for (int threads : {1, 2}) b->Args({bits, scale, threads});
}

BENCHMARK(Decode)->ArgNames({"bits", "scale", "threads"})->Apply(DecodeArguments)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(EntropyOnly)->ArgNames({"bits", "scale"})->ArgsProduct({{4, 8}, {0, 1}})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
