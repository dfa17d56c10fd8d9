// The CPU engine's own contract, without OpenCL: argument checks, and a frame that runs without
// any OpenCL platform.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <hwy/targets.h>

#include <cmath>
#include <limits>
#include <map>
#include <random>

#include "cpuengine/cpuengine.h"
#include "cpuengine/rowkernels.h"
#include "cpuengine/taskpool.h"
#include "engine/status.h"

namespace tsr {
namespace {

TsrFrameInfoRecord Record(bool bayer, int width, int height) {
    TsrFrameInfoRecord r;
    std::memset(&r, 0, sizeof r);
    r.layoutCode = bayer ? TSR_LAYOUT_BP16 : TSR_LAYOUT_BP64;
    r.rowPitch = width * (bayer ? 2 : 8);
    r.width = width;
    r.height = height;
    r.blackLevel = TSR_BLACK_LEVEL;
    r.whiteLevel = 4095;
    r.gain0 = r.gain1 = 1.0f;
    const float identityXyz[9] = {0.4124f, 0.3576f, 0.1805f, 0.2126f, 0.7152f,
                                  0.0722f, 0.0193f, 0.1192f, 0.9505f};
    std::memcpy(r.colorMatrix, identityXyz, sizeof identityXyz);
    r.auxFloat = 0.9f;
    return r;
}

TEST(CpuEngineArguments, BadRecordsPicturesAndOutputsAreRefused) {
    CpuEngine engine(2);
    const TsrFrameInfoRecord good = Record(true, 8, 4);
    std::vector<std::uint8_t> picture(8 * 4 * 2, 0);
    std::vector<std::uint8_t> output(8 * 4 * 8, 0);
    auto run = [&](const TsrFrameInfoRecord& r, int recordSize, size_t pictureBytes, size_t outputBytes,
                   std::ptrdiff_t pitch) {
        return engine.ProcessFrame(&r, recordSize, picture.data(), pictureBytes, nullptr, 0, false,
                                   output.data(), outputBytes, pitch);
    };
    EXPECT_EQ(kStatusOk, run(good, sizeof good, picture.size(), output.size(), 64));
    EXPECT_EQ(kStatusBadRecord, run(good, TSR_FRAME_INFO_RECORD_SIZE - 1, picture.size(), output.size(), 64));
    EXPECT_EQ(kStatusBadHostMemory, run(good, sizeof good, picture.size() - 1, output.size(), 64));
    TsrFrameInfoRecord shortPitch = good;
    shortPitch.rowPitch = 15;
    EXPECT_EQ(kStatusBadHostMemory, run(shortPitch, sizeof good, picture.size(), output.size(), 64));
    TsrFrameInfoRecord negativePitch = good;
    negativePitch.rowPitch = -16;
    EXPECT_EQ(kStatusBadHostMemory, run(negativePitch, sizeof good, picture.size(), output.size(), 64));
    TsrFrameInfoRecord empty = good;
    empty.width = 0;
    EXPECT_EQ(kStatusBadOutput, run(empty, sizeof good, picture.size(), output.size(), 64));
    EXPECT_EQ(kStatusBadOutput, run(good, sizeof good, picture.size(), output.size(), 63));
    EXPECT_EQ(kStatusBadOutput, run(good, sizeof good, picture.size(), output.size() - 1, 64));
    EXPECT_EQ(kStatusBadOutput, engine.ProcessFrame(&good, sizeof good, picture.data(), picture.size(),
                                                    nullptr, 0, false, nullptr, output.size(), 64));
}

// A flat grey frame at white balance 1: every pixel comes out the same, alpha 1.
TEST(CpuEngineFrames, FlatGreyIsFlatInBothLayouts) {
    for (bool bayer : {true, false}) {
        const int width = 37, height = 23;
        const TsrFrameInfoRecord r = Record(bayer, width, height);
        std::vector<std::uint16_t> samples(static_cast<size_t>(width) * height * (bayer ? 1 : 4), 2000);
        std::vector<float> out(static_cast<size_t>(width) * height * 4);
        CpuEngine engine(3);
        ASSERT_EQ(0, engine.ProcessFrame(&r, sizeof r, samples.data(), samples.size() * 2, nullptr, 0, true,
                                         out.data(), out.size() * 4, width * 16));
        for (size_t i = 0; i < out.size(); i += 4) {
            for (int c = 0; c < 3; ++c) ASSERT_NEAR(out[c], out[i + c], 1e-6f) << "pixel " << i / 4;
            ASSERT_EQ(1.0f, out[i + 3]);
        }
        // Grey through the BT.709 conversion of a D65 matrix stays grey.
        EXPECT_NEAR(out[0], out[1], 2e-3f);
        EXPECT_NEAR(out[2], out[1], 2e-3f);
        EXPECT_GT(out[1], 0.0f);
    }
}

// The benchmark's stage clock: the stages each layout runs count time, the others none, and
// switching it on starts the totals again.
TEST(CpuEngineInfo, StageClockCountsTheStagesThatRan) {
    const int width = 64, height = 48;
    CpuEngine engine(2);
    auto seconds = [&](bool bayer) {
        const TsrFrameInfoRecord r = Record(bayer, width, height);
        std::vector<std::uint16_t> samples(static_cast<size_t>(width) * height * (bayer ? 1 : 4), 1500);
        std::vector<std::uint16_t> out(static_cast<size_t>(width) * height * 4);
        engine.SetStageTiming(true);
        EXPECT_EQ(0, engine.ProcessFrame(&r, sizeof r, samples.data(), samples.size() * 2, nullptr, 0, false,
                                         out.data(), out.size() * 2, width * 8));
        std::map<std::string, double> stages;
        for (const auto& stage : engine.StageSeconds()) stages[stage.first] = stage.second;
        return stages;
    };
    std::map<std::string, double> bayer = seconds(true);
    for (const char* stage : {"normalise", "green", "colour", "output"})
        EXPECT_GT(bayer[stage], 0.0) << stage;
    EXPECT_EQ(0.0, bayer["four-sample"]);
    std::map<std::string, double> fourSample = seconds(false);
    EXPECT_GT(fourSample["four-sample"], 0.0);
    EXPECT_GT(fourSample["output"], 0.0);
    for (const char* stage : {"normalise", "green", "colour"}) EXPECT_EQ(0.0, fourSample[stage]) << stage;
}

TEST(CpuEngineInfo, NamesItsTargetsAndThreads) {
    EXPECT_FALSE(CpuEngine::SimdTarget().empty());
    EXPECT_NE(std::string::npos, CpuEngine::CompiledTargets().find(CpuEngine::SimdTarget()));
    EXPECT_EQ(3, CpuEngine(3).Threads());
    EXPECT_GE(CpuEngine().Threads(), 1);
}

// The half-float conversion written for targets without conversion instructions (SSE4, scalar)
// against the processor's own instructions (F16C, through the AVX2 or AVX-512 target).
TEST(CpuEngineHalves, EveryTargetRoundsLikeTheHardware) {
    std::vector<float> values = {0.0f,
                                 -0.0f,
                                 1.0f,
                                 -1.0f,
                                 65504.0f,
                                 65519.99f,
                                 65520.0f,
                                 -65520.0f,
                                 1e9f,
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::quiet_NaN(),
                                 6.103515625e-05f,
                                 6.1e-05f,
                                 5.96e-08f,
                                 2.98e-08f,
                                 2.99e-08f,
                                 1e-10f,
                                 1.00048828125f,
                                 1.00146484375f,
                                 0.333333f};
    std::mt19937 random(3);
    std::uniform_int_distribution<std::uint32_t> bits;
    for (int i = 0; i < 20000; ++i) {
        const std::uint32_t b = bits(random) & 0x8FFFFFFFu; // magnitudes up to 2^32
        float v;
        std::memcpy(&v, &b, sizeof v);
        values.push_back(v);
        values.push_back(std::ldexp(static_cast<float>(i), -24)); // the subnormal range, ties included
    }
    const std::vector<std::int64_t> targets = CpuEngine::UsableTargets();
    std::vector<std::uint16_t> reference;
    for (std::int64_t target : targets) {
        if (target != HWY_AVX2 && target != HWY_AVX3) continue;
        hwy::SetSupportedTargetsForTest(target);
        reference.resize(values.size());
        cpu::FloatsToHalves(values.data(), reference.data(), values.size());
        break;
    }
    if (reference.empty()) GTEST_SKIP() << "no target with conversion instructions on this processor";
    for (std::int64_t target : targets) {
        hwy::SetSupportedTargetsForTest(target);
        std::vector<std::uint16_t> halves(values.size());
        cpu::FloatsToHalves(values.data(), halves.data(), values.size());
        for (size_t i = 0; i < values.size(); ++i)
            ASSERT_EQ(reference[i], halves[i]) << hwy::TargetName(target) << ": " << values[i];
    }
    hwy::SetSupportedTargetsForTest(0);
}

// Cached rows and scratch buffers belong to one frame: an engine that ran other frames before
// (wider, narrower, the other layout) gives the bytes a fresh engine gives.
TEST(CpuEngineFrames, AReusedEngineGivesWhatAFreshOneGives) {
    struct Shape {
        bool bayer;
        int width, height;
    };
    const Shape shapes[] = {{true, 64, 40}, {false, 33, 21}, {true, 5, 3}, {true, 64, 40}, {true, 96, 12}};
    std::mt19937 random(9);
    std::uniform_int_distribution<int> sample(200, 4200);
    CpuEngine reused(2);
    for (const Shape& shape : shapes) {
        TsrFrameInfoRecord r = Record(shape.bayer, shape.width, shape.height);
        r.maxDcStep = 8;
        std::vector<std::uint16_t> samples(static_cast<size_t>(shape.width) * shape.height *
                                           (shape.bayer ? 1 : 4));
        for (auto& s : samples) s = static_cast<std::uint16_t>(sample(random));
        std::vector<std::uint8_t> fresh(static_cast<size_t>(shape.width) * shape.height * 8),
            again(fresh.size());
        CpuEngine once(3);
        ASSERT_EQ(0, once.ProcessFrame(&r, sizeof r, samples.data(), samples.size() * 2, nullptr, 4, false,
                                       fresh.data(), fresh.size(), shape.width * 8));
        ASSERT_EQ(0, reused.ProcessFrame(&r, sizeof r, samples.data(), samples.size() * 2, nullptr, 4, false,
                                         again.data(), again.size(), shape.width * 8));
        EXPECT_EQ(fresh, again) << shape.width << "x" << shape.height;
    }
}

// Every task runs once, whatever the numbers of tasks and workers.
TEST(CpuEngineWorkers, EveryTaskRunsExactlyOnce) {
    for (int threads : {1, 2, 5})
        for (int count : {0, 1, 3, 64}) {
            cpu::TaskPool pool(threads);
            std::vector<int> runs(static_cast<size_t>(count), 0);
            std::vector<int> workers(static_cast<size_t>(count), -1);
            auto task = [&](int index, int worker) {
                ++runs[static_cast<size_t>(index)];
                workers[static_cast<size_t>(index)] = worker;
            };
            for (int round = 0; round < 3; ++round) pool.Run(count, task);
            for (int i = 0; i < count; ++i) {
                EXPECT_EQ(3, runs[static_cast<size_t>(i)]) << threads << " threads, task " << i;
                EXPECT_GE(workers[static_cast<size_t>(i)], 0);
                EXPECT_LT(workers[static_cast<size_t>(i)], threads);
            }
        }
}

} // namespace
} // namespace tsr
