// The CPU engine's own contract, without OpenCL: argument checks, and a frame that runs without
// any OpenCL platform.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "cpuengine.h"

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
    EXPECT_EQ(0, run(good, sizeof good, picture.size(), output.size(), 64));
    EXPECT_EQ(-3, run(good, TSR_FRAME_INFO_RECORD_SIZE - 1, picture.size(), output.size(), 64));
    EXPECT_EQ(-7, run(good, sizeof good, picture.size() - 1, output.size(), 64));
    TsrFrameInfoRecord shortPitch = good;
    shortPitch.rowPitch = 15;
    EXPECT_EQ(-7, run(shortPitch, sizeof good, picture.size(), output.size(), 64));
    TsrFrameInfoRecord negativePitch = good;
    negativePitch.rowPitch = -16;
    EXPECT_EQ(-7, run(negativePitch, sizeof good, picture.size(), output.size(), 64));
    TsrFrameInfoRecord empty = good;
    empty.width = 0;
    EXPECT_EQ(-8, run(empty, sizeof good, picture.size(), output.size(), 64));
    EXPECT_EQ(-8, run(good, sizeof good, picture.size(), output.size(), 63));
    EXPECT_EQ(-8, run(good, sizeof good, picture.size(), output.size() - 1, 64));
    EXPECT_EQ(-8, engine.ProcessFrame(&good, sizeof good, picture.data(), picture.size(), nullptr, 0, false,
                                      nullptr, output.size(), 64));
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

TEST(CpuEngineInfo, NamesItsTargetsAndThreads) {
    EXPECT_FALSE(CpuEngine::SimdTarget().empty());
    EXPECT_NE(std::string::npos, CpuEngine::CompiledTargets().find(CpuEngine::SimdTarget()));
    EXPECT_EQ(3, CpuEngine(3).Threads());
    EXPECT_GE(CpuEngine().Threads(), 1);
}

} // namespace
} // namespace tsr
