// The four-sample conversion and the test chart on PoCL against their models.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "chainmodel.h"
#include "kernelrunner.h"

namespace tsr::test {
namespace {

struct FourSampleCase {
    int width, height, scale; // scale index 0 (no offsets) or 1..3
    int pattern;
};

class FourSampleKernel : public ::testing::TestWithParam<FourSampleCase> {};

// Offsets of the reduced-resolution layout for a scale index and pattern.
void SetOffsets(TsrFrameInfoRecord& record, int scale, int pattern) {
    std::memset(record.sampleOffsets, 0, sizeof record.sampleOffsets);
    if (scale == 0) return;
    const float h = 0.5f / static_cast<float>(1 << scale);
    static const int signs[4][6] = {
        {-1, -1, -1, 1, 1, 1}, {1, -1, 1, 1, -1, 1}, {-1, 1, -1, -1, 1, -1}, {1, 1, 1, -1, -1, -1}};
    for (int i = 0; i < 6; ++i) record.sampleOffsets[i] = h * static_cast<float>(signs[pattern][i]);
}

TEST_P(FourSampleKernel, MatchesModel) {
    const FourSampleCase c = GetParam();
    TsrFrameInfoRecord record = MakeRecord(c.width, c.height, false, c.pattern);
    SetOffsets(record, c.scale, c.pattern);
    const RawProcessingParameters parameters = RawProcessingSetup(record, nullptr, 0);
    const CLRPTSRD block = ModelParameterBlocks(parameters).fourSample;

    std::mt19937 random(static_cast<unsigned>(c.width * 31 + c.height + c.scale));
    std::uniform_int_distribution<int> sample(0, 65535);
    std::vector<std::uint16_t> samples(static_cast<size_t>(c.width) * c.height * 4);
    for (auto& s : samples)
        s = static_cast<std::uint16_t>(sample(random) / 16); // mostly within the 12-bit range
    cl_mem in = MakeImage(CL_RGBA, CL_UNORM_INT16, c.width, c.height, samples.data());
    cl_mem out = MakeImage(CL_RGBA, CL_FLOAT, c.width, c.height);
    ASSERT_EQ(0, RunKernel(RawProgram(), "RTSRD", &block, sizeof block, in, out));
    // PoCL filters in single precision; GPUs with 8-bit filter weights would need a looser bound.
    EXPECT_LE(MaxDifference(ReadRgba(out), ModelFourSample(samples, c.width, c.height, block)), 2e-5f);
    clReleaseMemObject(in);
    clReleaseMemObject(out);
}

INSTANTIATE_TEST_SUITE_P(Frames, FourSampleKernel,
                         ::testing::Values(FourSampleCase{24, 16, 0, 0}, FourSampleCase{24, 16, 1, 0},
                                           FourSampleCase{24, 16, 2, 1}, FourSampleCase{24, 16, 3, 2},
                                           FourSampleCase{24, 16, 1, 3}, FourSampleCase{1, 7, 1, 0},
                                           FourSampleCase{7, 1, 2, 3}, FourSampleCase{3, 3, 1, 1}));

// Zero offsets read texel centres: the result is exactly the unit-range formula.
TEST(FourSampleKernelExact, ZeroOffsetsNeedNoInterpolation) {
    TsrFrameInfoRecord record = MakeRecord(4, 2, false);
    record.blackLevel = 0;
    record.whiteLevel = 65535;
    record.gain0 = 2.0f;
    record.gain1 = 0.5f;
    const float identityXyz[9] = {0.4124564f, 0.3575761f, 0.1804375f, 0.2126729f, 0.7151522f,
                                  0.0721750f, 0.0193339f, 0.1191920f, 0.9503041f};
    std::memcpy(record.colorMatrix, identityXyz, sizeof identityXyz);
    const RawProcessingParameters parameters = RawProcessingSetup(record, nullptr, 0);
    const CLRPTSRD block = ModelParameterBlocks(parameters).fourSample;
    const std::vector<std::uint16_t> samples = {
        0,   0,   0,   0, 65535, 65535, 65535, 0, 16384, 32768, 49152, 0, 40000, 1000, 60000, 0,
        100, 200, 300, 0, 30000, 30000, 30000, 0, 1,     2,     3,     0, 65535, 0,    0,     0};
    cl_mem in = MakeImage(CL_RGBA, CL_UNORM_INT16, 4, 2, samples.data());
    cl_mem out = MakeImage(CL_RGBA, CL_FLOAT, 4, 2);
    ASSERT_EQ(0, RunKernel(RawProgram(), "RTSRD", &block, sizeof block, in, out));
    EXPECT_LE(MaxDifference(ReadRgba(out), ModelFourSample(samples, 4, 2, block)), 1e-5f);
    clReleaseMemObject(in);
    clReleaseMemObject(out);
}

struct ChartCase {
    int width, height, tuning;
    float offset;
};

class TestChartKernel : public ::testing::TestWithParam<ChartCase> {};

TEST_P(TestChartKernel, DrawsOnlyTheCentredRectangle) {
    const ChartCase c = GetParam();
    TsrFrameInfoRecord record = MakeRecord(c.width, c.height, false);
    record.sampleOffsets[0] = c.offset;
    const CLRPPD block =
        ModelTestChartBlock(RawProcessingSetup(record, nullptr, 0), c.width, c.height, c.tuning);
    Plane background(static_cast<size_t>(c.width) * c.height * 4, -3.0f);
    cl_mem image = MakeImage(CL_RGBA, CL_FLOAT, c.width, c.height, background.data());
    ASSERT_EQ(0, RunKernel(RawProgram(), "TSRD", &block, sizeof block, nullptr, image));
    Plane expected = background;
    ModelTestChart(expected, c.width, c.height, block);
    EXPECT_EQ(0.0f, MaxDifference(ReadRgba(image), expected));
    clReleaseMemObject(image);
}

INSTANTIATE_TEST_SUITE_P(Charts, TestChartKernel,
                         ::testing::Values(ChartCase{64, 40, 20, 0.25f}, ChartCase{64, 40, 75, 0.0f},
                                           ChartCase{37, 29, 73, 0.125f}, ChartCase{30, 12, 75, 0.25f},
                                           ChartCase{16, 16, 19199, 0.0f}));

// The expected geometry: half fraction on 1920 x 1080 covers x 480..1439, y 270..809, bands of
// 67 rows (the last 71), columns of 120.
TEST(TestChartKernelGeometry, HalfFractionOnFullHd) {
    const int width = 1920, height = 1080;
    TsrFrameInfoRecord record = MakeRecord(width, height, false);
    const CLRPPD block = ModelTestChartBlock(RawProcessingSetup(record, nullptr, 0), width, height, 75);
    Plane background(static_cast<size_t>(width) * height * 4, -1.0f);
    cl_mem image = MakeImage(CL_RGBA, CL_FLOAT, width, height, background.data());
    ASSERT_EQ(0, RunKernel(RawProgram(), "TSRD", &block, sizeof block, nullptr, image));
    const Plane result = ReadRgba(image);
    auto at = [&](int x, int y, int channel) {
        return result[(static_cast<size_t>(y) * width + x) * 4 + channel];
    };
    EXPECT_EQ(-1.0f, at(479, 500, 0));
    EXPECT_EQ(-1.0f, at(1440, 500, 0));
    EXPECT_EQ(-1.0f, at(960, 269, 0));
    EXPECT_EQ(-1.0f, at(960, 810, 0));
    EXPECT_EQ(0.0f, at(480, 270, 0));    // band 0, one black column (checker columns 0)
    EXPECT_EQ(0.0f, at(1439, 336, 1));   // still band 0 at its last row
    EXPECT_EQ(0.0625f, at(480, 337, 2)); // band 1 (blue), first step
    EXPECT_EQ(0.0f, at(480, 337, 0));
    EXPECT_EQ(8.0f, at(1439, 809, 0)); // band 7 (white) takes the 4 leftover rows
    EXPECT_EQ(8.0f, at(1439, 809, 2));
    EXPECT_EQ(0.125f, at(600, 5 * 67 + 270, 0)); // band 5 (magenta), second step
    EXPECT_EQ(0.0f, at(600, 5 * 67 + 270, 1));
    EXPECT_EQ(0.0625f, at(599, 5 * 67 + 270, 2));
    clReleaseMemObject(image);
}

} // namespace
} // namespace tsr::test
