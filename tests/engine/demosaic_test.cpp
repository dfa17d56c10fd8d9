// The demosaic kernels on PoCL against the C++ models of their formulas.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "chainmodel.h"
#include "kernelrunner.h"

namespace tsr::test {
namespace {

// Single-precision kernels against single-precision models; the device may fuse multiply-adds
// and round square roots and divisions differently.
constexpr float kTolerance = 2e-5f;

struct Frame {
    int width, height, pattern;
    bool photoLike;
};

class DemosaicKernels : public ::testing::TestWithParam<Frame> {};

std::vector<std::uint16_t> MakeBayer(const Frame& f, const TsrFrameInfoRecord& record, unsigned seed) {
    if (f.photoLike) {
        const Plane scene = PhotoLikeScene(f.width, f.height);
        return MosaicScene(scene, f.width, f.height, f.pattern, record.blackLevel, record.whiteLevel,
                           record.gain0, record.gain1);
    }
    std::mt19937 random(seed);
    return RandomBayer(random, f.width, f.height, record.blackLevel, record.whiteLevel);
}

TEST_P(DemosaicKernels, EachKernelMatchesItsModel) {
    const Frame f = GetParam();
    const TsrFrameInfoRecord record = MakeRecord(f.width, f.height, true, f.pattern);
    const RawProcessingParameters parameters = RawProcessingSetup(record, nullptr, 0);
    const std::vector<std::uint16_t> bayer = MakeBayer(f, record, 1000u * f.width + f.height + f.pattern);

    // RPS_0000: Bayer -> (X, G); a four-channel image stands in for the two-channel one.
    const CLRPPS0 green = ModelParameterBlocks(parameters).green;
    cl_mem input = MakeImage(CL_R, CL_UNSIGNED_INT16, f.width, f.height, bayer.data());
    cl_mem greenImage = MakeImage(CL_RGBA, CL_FLOAT, f.width, f.height);
    ASSERT_EQ(0, RunKernel(RawProgram(), "RPS_0000", &green, sizeof green, input, greenImage));
    const Plane greenDevice = ReadRgba(greenImage);
    const Plane greenModel = ModelGreen(bayer, f.width, f.height, green);
    EXPECT_LE(MaxDifference(greenDevice, greenModel, 2), kTolerance) << "RPS_0000";

    // RPS_0001 from the device's own green plane, so each kernel is judged on its own.
    const CLRPPS1 colour = ModelParameterBlocks(parameters).colour;
    cl_mem colourImage = MakeImage(CL_RGBA, CL_FLOAT, f.width, f.height);
    ASSERT_EQ(0, RunKernel(RawProgram(), "RPS_0001", &colour, sizeof colour, greenImage, colourImage));
    const Plane colourDevice = ReadRgba(colourImage);
    EXPECT_LE(MaxDifference(colourDevice, ModelColour(greenDevice, f.width, f.height, colour)), kTolerance)
        << "RPS_0001";

    const CLRPPS2 conversion = ModelParameterBlocks(parameters).conversion;
    cl_mem outImage = MakeImage(CL_RGBA, CL_FLOAT, f.width, f.height);
    ASSERT_EQ(0, RunKernel(RawProgram(), "RPS_0002", &conversion, sizeof conversion, colourImage, outImage));
    EXPECT_LE(MaxDifference(ReadRgba(outImage), ModelConversion(colourDevice, f.width, f.height, conversion)),
              kTolerance)
        << "RPS_0002";

    for (cl_mem image : {input, greenImage, colourImage, outImage}) clReleaseMemObject(image);
}

std::vector<Frame> Frames() {
    std::vector<Frame> frames;
    for (int pattern = 0; pattern < 4; ++pattern) {
        frames.push_back({48, 32, pattern, false});
        frames.push_back({48, 32, pattern, true});
    }
    // Edge rules on tiny and odd sizes.
    for (const auto& size : {std::pair<int, int>{1, 9}, {9, 1}, {2, 2}, {3, 3}, {1, 1}, {17, 11}, {4, 5}})
        frames.push_back({size.first, size.second, (size.first + size.second) % 4, false});
    return frames;
}

INSTANTIATE_TEST_SUITE_P(Frames, DemosaicKernels, ::testing::ValuesIn(Frames()),
                         [](const ::testing::TestParamInfo<Frame>& info) {
                             const Frame& f = info.param;
                             return std::to_string(f.width) + "x" + std::to_string(f.height) + "_pattern" +
                                    std::to_string(f.pattern) + (f.photoLike ? "_photo" : "_random");
                         });

// Flat grey at unit gains: every pixel comes out grey, and a green photosite passes its value
// through RPS_0000 unclipped, with X = 0.
TEST(DemosaicKernelsFlat, GreyStaysGrey) {
    const int width = 8, height = 6;
    TsrFrameInfoRecord record = MakeRecord(width, height, true, 1);
    record.gain0 = record.gain1 = 1.0f;
    const RawProcessingParameters parameters = RawProcessingSetup(record, nullptr, 0);
    const std::vector<std::uint16_t> bayer(width * height, 2000);
    cl_mem input = MakeImage(CL_R, CL_UNSIGNED_INT16, width, height, bayer.data());
    cl_mem greenImage = MakeImage(CL_RGBA, CL_FLOAT, width, height);
    cl_mem colourImage = MakeImage(CL_RGBA, CL_FLOAT, width, height);
    const CLRPPS0 green = ModelParameterBlocks(parameters).green;
    const CLRPPS1 colour = ModelParameterBlocks(parameters).colour;
    ASSERT_EQ(0, RunKernel(RawProgram(), "RPS_0000", &green, sizeof green, input, greenImage));
    ASSERT_EQ(0, RunKernel(RawProgram(), "RPS_0001", &colour, sizeof colour, greenImage, colourImage));
    const float level = (2000.0f - 256.0f) / (4095.0f - 256.0f);
    const Plane g = ReadRgba(greenImage);
    EXPECT_EQ(0.0f, g[4 * 0 + 0]); // (0, 0) is green in pattern 1
    EXPECT_FLOAT_EQ(level, g[4 * 0 + 1]);
    const Plane c = ReadRgba(colourImage);
    for (size_t i = 0; i < c.size(); i += 4) {
        EXPECT_NEAR(level, c[i], 1e-6f);
        EXPECT_NEAR(level, c[i + 1], 1e-6f);
        EXPECT_NEAR(level, c[i + 2], 1e-6f);
        EXPECT_EQ(1.0f, c[i + 3]);
    }
    for (cl_mem image : {input, greenImage, colourImage}) clReleaseMemObject(image);
}

} // namespace
} // namespace tsr::test
