// Decoding speed of 4096x2160 frames: the synthetic scene at about 4 and 8 bits per photosite, and
// a photographic picture with sensor noise (made at build time from scikit-image's photographs,
// see photo_mosaic.py) at about 4.2 and 2.3 bits per photosite. Reports frames/s, photosites/s
// and photosites per CPU second at every scale index with 1 and 2 workers, bits per photosite, the
// share of entropy decoding in a single-threaded decode, and the code statistics of each frame.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <vector>

#include "decoder/entropy.h"
#include "encoder/frameencoder.h"
#include "encoder/syntheticscene.h"
#include "format/frameformat.h"
#include "format/frameheader.h"
#include "tsr/framedecoder.h"

namespace {

constexpr int kWidth = 4096, kHeight = 2160;

// Frames by name: "scene" at 40 or 80 tenths of a bit per photosite, "photo" at 42 or 23.
enum Source { kScene, kPhoto };

std::vector<uint16_t> PhotoMosaic() {
    std::vector<uint16_t> mosaic;
#ifdef TSR_PHOTO_MOSAIC
    if (FILE* f = std::fopen(TSR_PHOTO_MOSAIC, "rb")) {
        mosaic.resize(size_t(kWidth) * kHeight);
        if (std::fread(mosaic.data(), 2, mosaic.size(), f) != mosaic.size()) mosaic.clear();
        std::fclose(f);
    }
#endif
    return mosaic;
}

const std::vector<uint8_t>& FrameAt(Source source, int tenthsOfBits) {
    static std::map<std::pair<Source, int>, std::vector<uint8_t>> frames;
    auto& frame = frames[{source, tenthsOfBits}];
    if (frame.empty()) {
        std::vector<uint16_t> mosaic;
        if (source == kScene) {
            tsr::SceneSettings scene;
            scene.width = kWidth;
            scene.height = kHeight;
            mosaic = tsr::RenderSceneMosaic(scene, 0, 0.25);
        } else {
            static const std::vector<uint16_t> photo = PhotoMosaic();
            mosaic = photo;
        }
        if (mosaic.empty()) return frame;
        tsr::EncoderSettings settings;
        settings.targetBitsPerPhotosite = tenthsOfBits / 10.0;
        frame = tsr::EncodeFrame(mosaic.data(), kWidth, kHeight, kWidth, settings);
    }
    return frame;
}

struct Slice {
    const uint8_t* data;
    uint32_t size;
    int log2Width;
};

std::vector<Slice> SlicesOf(const std::vector<uint8_t>& frame) {
    tsr::ByteReader reader(frame.data(), frame.size());
    tsr::FrameHeader header;
    tsr::ParseFrameHeader(reader, header);
    const int mbWidth = tsr::MacroblocksFor(header.width), mbHeight = tsr::MacroblocksFor(header.height);
    std::vector<Slice> slices;
    tsr::ByteReader table = reader;
    reader.Skip(2 * size_t(tsr::SlicesPerRow(mbWidth, header.log2SliceWidth)) * mbHeight);
    for (int j = 0; j < mbHeight; ++j)
        tsr::ForEachSliceInRow(mbWidth, header.log2SliceWidth, [&](int, int log2Width) {
            const uint32_t size = table.U16();
            slices.push_back({frame.data() + reader.Position(), size, log2Width});
            reader.Skip(size);
        });
    return slices;
}

// Calls fn(component bytes, size, log2Width, component index) for every component of every slice.
template <typename Fn> void ForEachComponent(const std::vector<Slice>& slices, Fn&& fn) {
    for (const Slice& s : slices) {
        const uint8_t* p = s.data;
        const size_t headerSize = p[0] >> 3;
        const size_t sizes[3] = {size_t(p[2]) << 8 | p[3], size_t(p[4]) << 8 | p[5],
                                 size_t(p[6]) << 8 | p[7]};
        const size_t sizes4[4] = {sizes[0], sizes[1], sizes[2],
                                  s.size - headerSize - sizes[0] - sizes[1] - sizes[2]};
        const uint8_t* component = p + headerSize;
        for (int c = 0; c < 4; ++c) {
            fn(component, sizes4[c], s.log2Width, c);
            component += sizes4[c];
        }
    }
}

void DecodeFrom(benchmark::State& state, Source source) {
    const int bits = int(state.range(0)), scale = int(state.range(1)), threads = int(state.range(2));
    const std::vector<uint8_t>& frame = FrameAt(source, bits);
    if (frame.empty()) return state.SkipWithError("no photographic frame (photo_mosaic.py did not run)");
    const int pitch = frameDecoderMinRowPitch(kWidth, scale);
    std::vector<uint8_t> image(size_t(pitch) * (kHeight >> scale));
    TsrFrameInfoRecord record;
    FrameDecoderHandle decoder = frameDecoderCreate(threads);
    const std::clock_t cpuStart = std::clock(); // the process's time on every core
    for (auto _ : state) {
        const int result = frameDecoderDecode(decoder, frame.data(), int(frame.size()), image.data(),
                                              int(image.size()), pitch, &record, sizeof record, scale);
        if (result != 0) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.data());
    }
    const double cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    frameDecoderDestroy(decoder);
    const double photosites = double(state.iterations()) * kWidth * kHeight;
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["Mphotosites/s"] = benchmark::Counter(photosites / 1e6, benchmark::Counter::kIsRate);
    // Per core: photosites over the CPU time of all threads, which a shared machine disturbs less
    // than the wall clock.
    state.counters["Mphotosites/cpu-s"] = photosites / 1e6 / cpuSeconds;
    state.counters["bits/photosite"] = 8.0 * double(frame.size()) / (double(kWidth) * kHeight);
}
void Decode(benchmark::State& state) {
    DecodeFrom(state, kScene);
}
void DecodePhoto(benchmark::State& state) {
    DecodeFrom(state, kPhoto);
}

// Entropy decoding alone of every slice of the frame, single-threaded, as a decode at the scale
// index does it (components copied into a zero-padded scratch, then decoded together).
void EntropyOnlyOf(benchmark::State& state, Source source) {
    const int bits = int(state.range(0)), scale = int(state.range(1));
    const std::vector<uint8_t>& frame = FrameAt(source, bits);
    if (frame.empty()) return state.SkipWithError("no photographic frame (photo_mosaic.py did not run)");
    const std::vector<Slice> slices = SlicesOf(frame);
    alignas(64) static int16_t levels[4][16 * 64];
    static uint8_t bytes[65536 + 4 * tsr::kStringPadding];
    for (auto _ : state) {
        for (const Slice& slice : slices) {
            const uint8_t* padded[4];
            size_t sizes[4];
            int16_t* targets[4];
            int count = 0;
            uint8_t* next = bytes;
            ForEachComponent({slice}, [&](const uint8_t* data, size_t size, int, int c) {
                if (c == 1 && scale != 0) return;
                std::memcpy(next, data, size);
                std::memset(next + size, 0, tsr::kStringPadding);
                padded[count] = next;
                sizes[count] = size;
                targets[count++] = levels[c];
                next += size + tsr::kStringPadding;
            });
            tsr::DecodePaddedComponents(padded, sizes, count, slice.log2Width,
                                        tsr::Log2CoefficientsForScale(scale), targets);
        }
        benchmark::DoNotOptimize(levels);
    }
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
void EntropyOnly(benchmark::State& state) {
    EntropyOnlyOf(state, kScene);
}
void EntropyOnlyPhoto(benchmark::State& state) {
    EntropyOnlyOf(state, kPhoto);
}

// What the frame's codes look like, to compare frames: nonzero coefficients per photosite, the
// bits each one costs, and the share of levels of magnitude 1, 2..3, 4..15 and 16 or more.
void CodeStatistics(benchmark::State& state) {
    const Source source = state.range(0) ? kPhoto : kScene;
    const std::vector<uint8_t>& frame = FrameAt(source, int(state.range(1)));
    if (frame.empty()) return state.SkipWithError("no photographic frame (photo_mosaic.py did not run)");
    alignas(64) static int16_t levels[16 * 64];
    double nonzero = 0, magnitude[4] = {};
    for (auto _ : state) {
        nonzero = 0;
        for (double& m : magnitude) m = 0;
        ForEachComponent(SlicesOf(frame), [&](const uint8_t* data, size_t size, int log2Width, int) {
            std::fill(std::begin(levels), std::end(levels), int16_t(0));
            tsr::DecodeComponent(data, size, log2Width, 6, levels);
            for (int i = 0; i < (64 << log2Width); ++i) {
                const int m = std::abs(int(levels[i]));
                if (m == 0 || i % 64 == 0) continue;
                ++nonzero;
                ++magnitude[m == 1 ? 0 : m < 4 ? 1 : m < 16 ? 2 : 3];
            }
        });
    }
    const double photosites = double(kWidth) * kHeight;
    state.counters["bits/photosite"] = 8.0 * double(frame.size()) / photosites;
    state.counters["AC nonzero/photosite"] = nonzero / photosites;
    state.counters["bits/AC nonzero"] = 8.0 * double(frame.size()) / nonzero;
    const char* names[4] = {"|AC|=1", "|AC|=2..3", "|AC|=4..15", "|AC|>=16"};
    for (int i = 0; i < 4; ++i) state.counters[names[i]] = magnitude[i] / nonzero;
}

void DecodeArguments(benchmark::internal::Benchmark* b, std::initializer_list<int> rates) {
    for (int bits : rates)
        for (int scale = 0; scale < 4; ++scale)
            for (int threads : {1, 2}) b->Args({bits, scale, threads});
}

BENCHMARK(Decode)
    ->ArgNames({"tenths", "scale", "threads"})
    ->Apply([](benchmark::internal::Benchmark* b) {
        DecodeArguments(b, {40, 80});
    })
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(DecodePhoto)
    ->ArgNames({"tenths", "scale", "threads"})
    ->Apply([](benchmark::internal::Benchmark* b) {
        DecodeArguments(b, {42, 23});
    })
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(EntropyOnly)
    ->ArgNames({"tenths", "scale"})
    ->ArgsProduct({{40, 80}, {0, 1, 2, 3}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(EntropyOnlyPhoto)
    ->ArgNames({"tenths", "scale"})
    ->ArgsProduct({{42, 23}, {0, 1, 2, 3}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(CodeStatistics)
    ->ArgNames({"photo", "tenths"})
    ->Args({0, 40})
    ->Args({1, 42})
    ->Args({1, 23})
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
