// The CPU engine against the OpenCL chain on PoCL: the same frames, records, overrides, curves
// and tuning values through both, on every SIMD target this processor runs. The two may differ
// only by float evaluation order (PoCL contracts multiply-adds; the CPU engine does not), so the
// chain tolerances of the engine tests apply.
#include <gtest/gtest.h>

#include <hwy/targets.h>

#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cpuengine/cpuengine.h"
#include "encoder/syntheticscene.h"
#include "engine/processor.h"
#include "testsupport.h"

namespace tsr::test {
namespace {

constexpr float kFloatTolerance = 5e-5f;
constexpr float kHalfTolerance = 2e-3f;

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> bytes; // rows record.rowPitch apart
    TsrFrameInfoRecord record{};
};

// Rows padded past their samples, so that the pitch is never the packed one.
constexpr int kPitchPadding = 24;

Picture MakePicture(bool bayer, int width, int height, int pattern, unsigned seed, bool scene) {
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.record = MakeRecord(width, height, bayer, bayer ? pattern : 0);
    const int perPixel = bayer ? 1 : 4;
    std::vector<std::uint16_t> samples(static_cast<size_t>(width) * height * perPixel);
    std::mt19937 random(seed);
    if (scene) {
        SceneSettings settings;
        settings.width = width;
        settings.height = height;
        settings.whiteLevelCode = 4095 - 256;
        settings.seed = seed;
        if (bayer) {
            samples = RenderSceneMosaic(settings, pattern, 0.25);
        } else {
            const std::vector<std::uint16_t> rgb = RenderSceneRgb(settings, 0.25);
            for (size_t i = 0; i < rgb.size() / 3; ++i) {
                for (int c = 0; c < 3; ++c) samples[4 * i + c] = rgb[3 * i + c];
                samples[4 * i + 3] = 0;
            }
        }
    } else if (bayer) {
        samples = RandomBayer(random, width, height, TSR_BLACK_LEVEL, 4095);
    } else {
        std::uniform_int_distribution<int> sample(0, 4400);
        for (auto& s : samples) s = static_cast<std::uint16_t>(sample(random));
    }
    if (!bayer) {
        // Sample positions a quarter pixel off in every direction, one pattern per `pattern`.
        const float offsets[4][6] = {{-0.25f, -0.25f, -0.25f, 0.25f, 0.25f, 0.25f},
                                     {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
                                     {0.5f, -0.5f, 0.3f, 0.1f, -0.7f, 1.25f},
                                     {-1.5f, 0.75f, 0.0f, -0.3f, 2.5f, -2.0f}};
        std::memcpy(picture.record.sampleOffsets, offsets[pattern & 3], sizeof offsets[0]);
    }
    const int rowBytes = width * perPixel * 2;
    picture.record.rowPitch = rowBytes + kPitchPadding;
    picture.bytes.assign(static_cast<size_t>(picture.record.rowPitch) * height, 0xA5);
    for (int y = 0; y < height; ++y)
        std::memcpy(&picture.bytes[static_cast<size_t>(y) * picture.record.rowPitch],
                    &samples[static_cast<size_t>(y) * width * perPixel], static_cast<size_t>(rowBytes));
    return picture;
}

PrivateOpenCLProcessor& OpenCLProcessor(int tuningValue) {
    static std::map<int, std::unique_ptr<PrivateOpenCLProcessor>> processors;
    auto& processor = processors[tuningValue];
    if (!processor)
        processor.reset(new PrivateOpenCLProcessor(TestOpenCL().context, TestOpenCL().queue, tuningValue));
    return *processor;
}

std::vector<float> RunOpenCL(const Picture& picture, const float* colorOverride, unsigned curve, bool half,
                             int tuningValue) {
    PrivateOpenCLProcessor& processor = OpenCLProcessor(tuningValue);
    EXPECT_EQ(0, processor.Status());
    const TsrFrameInfoRecord& r = picture.record;
    cl_mem input = processor.Upload(picture.bytes.data(), r.layoutCode, r.width, r.height, r.rowPitch,
                                    TestOpenCL().queue);
    EXPECT_NE(nullptr, input);
    cl_mem output = MakeImage(CL_RGBA, half ? CL_HALF_FLOAT : CL_FLOAT, r.width, r.height);
    CurveNodeList nodes;
    AppendOutputCurveNodes(curve, nodes);
    EXPECT_EQ(0, processor.Run(input, RawProcessingSetup(r, colorOverride, curve), nodes, TestOpenCL().queue,
                               output));
    std::vector<float> result = ReadRgba(output);
    processor.ReturnImage(input);
    clReleaseMemObject(output);
    return result;
}

std::vector<float> RunCpu(CpuEngine& engine, const Picture& picture, const float* colorOverride,
                          unsigned curve, bool half) {
    const int pixelBytes = half ? 8 : 16;
    // Output rows padded too, with a guard that must stay untouched.
    const std::ptrdiff_t pitch = picture.width * pixelBytes + 16;
    std::vector<std::uint8_t> out(static_cast<size_t>(pitch) * picture.height, 0x5A);
    EXPECT_EQ(0, engine.ProcessFrame(&picture.record, sizeof picture.record, picture.bytes.data(),
                                     picture.bytes.size(), colorOverride, curve, !half, out.data(),
                                     out.size(), pitch));
    std::vector<float> result(static_cast<size_t>(picture.width) * picture.height * 4);
    for (int y = 0; y < picture.height; ++y) {
        const std::uint8_t* row = &out[static_cast<size_t>(y) * pitch];
        for (int i = 0; i < picture.width * 4; ++i) {
            float& v = result[static_cast<size_t>(y) * picture.width * 4 + i];
            if (half) {
                std::uint16_t h;
                std::memcpy(&h, row + 2 * i, 2);
                v = HalfToFloat(h);
            } else {
                std::memcpy(&v, row + 4 * i, 4);
            }
        }
        for (int i = picture.width * pixelBytes; i < pitch; ++i)
            EXPECT_EQ(0x5A, row[i]) << "row padding written at row " << y;
    }
    return result;
}

// Largest difference, and where it is (pixel index and channel).
struct Difference {
    float value = 0.0f;
    size_t at = 0;
};

Difference Compare(const std::vector<float>& a, const std::vector<float>& b) {
    Difference worst;
    for (size_t i = 0; i < a.size(); ++i) {
        const float difference = std::fabs(a[i] - b[i]);
        if (!(difference <= worst.value)) worst = {difference, i};
    }
    return worst;
}

struct EqualityCase {
    bool bayer;
    int width, height;
    int pattern; // Bayer pattern, or the sample-offset set of four-sample frames
    unsigned curve;
    bool half;
    int tuning;
    bool colorOverride;
    bool scene;
};

std::string Name(const EqualityCase& c) {
    return std::string(c.bayer ? "bp16_" : "bp64_") + std::to_string(c.width) + "x" +
           std::to_string(c.height) + "_p" + std::to_string(c.pattern) + "_curve" + std::to_string(c.curve) +
           (c.half ? "_half" : "_float") + (c.tuning ? "_tuning" + std::to_string(c.tuning) : "") +
           (c.colorOverride ? "_override" : "") + (c.scene ? "_scene" : "");
}

class CpuEngineEquality : public ::testing::TestWithParam<EqualityCase> {};

TEST_P(CpuEngineEquality, MatchesTheOpenCLChainOnEveryTarget) {
    const EqualityCase c = GetParam();
    const Picture picture =
        MakePicture(c.bayer, c.width, c.height, c.pattern, 11 * c.width + 7 * c.height + c.pattern, c.scene);
    // Gains, matrix and exposure all different from the record's.
    const float colorOverride[12] = {2.3f,  1.2f,  0.45f, 0.33f, 0.17f, 0.2f,
                                     0.75f, 0.05f, 0.03f, 0.1f,  0.9f,  1.3f};
    const float* override = c.colorOverride ? colorOverride : nullptr;
    const std::vector<float> expected = RunOpenCL(picture, override, c.curve, c.half, c.tuning);
    const float tolerance = c.half ? kHalfTolerance : kFloatTolerance;

    const std::vector<std::int64_t> targets = CpuEngine::UsableTargets();
    ASSERT_FALSE(targets.empty());
    for (std::int64_t target : targets) {
        hwy::SetSupportedTargetsForTest(target);
        CpuEngine engine(3, c.tuning);
        ASSERT_EQ(hwy::TargetName(target), CpuEngine::SimdTarget());
        const Difference d = Compare(RunCpu(engine, picture, override, c.curve, c.half), expected);
        EXPECT_LE(d.value, tolerance)
            << "target " << hwy::TargetName(target) << ", pixel " << (d.at / 4) % picture.width << ","
            << d.at / 4 / picture.width << " channel " << d.at % 4;
    }
    hwy::SetSupportedTargetsForTest(0);
}

std::vector<EqualityCase> Cases() {
    std::vector<EqualityCase> cases;
    const int sizes[][2] = {{1, 1}, {2, 2}, {3, 3}, {4, 5}, {17, 11}, {1, 9}, {9, 1}, {6, 4}, {40, 24}};
    // Every size, pattern and output type; the curve index turns through 0..8 along the way.
    unsigned curve = 0;
    for (bool bayer : {true, false})
        for (const auto& size : sizes)
            for (int pattern = 0; pattern < 4; ++pattern)
                for (bool half : {false, true}) {
                    cases.push_back({bayer, size[0], size[1], pattern, curve, half, 0, false, false});
                    curve = (curve + 1) % 9;
                }
    // Every curve in both output types on a picture with texture, then the chart tuning values
    // and the colour override.
    for (bool bayer : {true, false})
        for (unsigned k = 0; k < 9; ++k)
            for (bool half : {false, true}) cases.push_back({bayer, 48, 32, 1, k, half, 0, false, true});
    for (bool bayer : {true, false})
        for (int tuning : {20, 75, 79, 19199, 19195}) {
            cases.push_back({bayer, 64, 48, 2, 4, false, tuning, false, false});
            cases.push_back({bayer, 64, 48, 3, 0, true, tuning, false, false});
        }
    for (bool bayer : {true, false})
        for (bool half : {false, true})
            cases.push_back({bayer, 33, 20, 0, half ? 2u : 1u, half, 0, true, false});
    // A record whose pattern byte is out of range: no photosite is red or blue.
    for (bool half : {false, true}) cases.push_back({true, 17, 11, 6, 1, half, 0, false, false});
#ifndef TSR_SMALL_PICTURES_ONLY
    // A photo-like picture from the encoder's synthetic scene, at a size PoCL runs in well under a
    // second (a 4K frame takes PoCL several seconds a curve).
    for (int pattern = 0; pattern < 4; ++pattern)
        cases.push_back(
            {true, 384, 216, pattern, static_cast<unsigned>(pattern * 2), pattern % 2 == 1, 0, false, true});
    cases.push_back({false, 384, 216, 0, 4, false, 0, false, true});
    cases.push_back({false, 384, 216, 2, 6, true, 0, false, true});
#endif
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Chains, CpuEngineEquality, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<EqualityCase>& info) { return Name(info.param); });

// Strips are independent: any thread count gives the same bytes.
TEST(CpuEngineStrips, ThreadCountDoesNotChangeTheResult) {
    for (bool bayer : {true, false}) {
        const Picture picture = MakePicture(bayer, 96, 101, 1, 5, true);
        CpuEngine one(1), several(5);
        EXPECT_EQ(RunCpu(one, picture, nullptr, 4, true), RunCpu(several, picture, nullptr, 4, true));
    }
}

} // namespace
} // namespace tsr::test
