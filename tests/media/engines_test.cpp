// The engines behind OpenEngine: the choice, the listing, and failures carrying the engine's status.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoder/frameencoder.h"
#include "encoder/syntheticscene.h"
#include "tsr/media/frames.h"
#include "tsr/media/rgbaengine.h"

namespace tsr::media::test {
namespace {

DecodedPicture DecodedScene(int width, int height) {
    SceneSettings scene;
    scene.width = width;
    scene.height = height;
    const EncoderSettings settings;
    const std::vector<uint16_t> mosaic = RenderSceneMosaic(scene, settings.bayerPattern, 0);
    const std::vector<uint8_t> frame = EncodeFrame(mosaic.data(), width, height, width, settings);
    DecodedPicture picture;
    FrameDecoder(1).Decode(frame, 0, 0, picture);
    return picture;
}

// Both engines give RGBA of the picture's size and type; OpenCL runs on PoCL here.
TEST(MediaEngineTest, EachEngineProcessesAPicture) {
    const DecodedPicture picture = DecodedScene(64, 32);
    for (const char* engine : {"cpu", "opencl"}) {
        EngineChoice choice;
        choice.engine = engine;
        choice.threads = engine == std::string("cpu") ? 2 : 0;
        std::unique_ptr<RgbaEngine> session = OpenEngine(choice);
        DebayerSettings settings;
        settings.floatOutput = true;
        RgbaFrame rgba;
        session->Process(picture, settings, rgba);
        EXPECT_EQ(64, rgba.width) << engine;
        EXPECT_EQ(32, rgba.height) << engine;
        EXPECT_EQ(64u * 32u * 16u, rgba.bytes.size()) << engine;
        EXPECT_FALSE(session->Description().empty());
    }
}

TEST(MediaEngineTest, FailuresCarryTheEngineStatus) {
    EngineChoice choice;
    choice.engine = "cpu";
    std::unique_ptr<RgbaEngine> session = OpenEngine(choice);
    const DecodedPicture empty; // no record
    RgbaFrame rgba;
    rgba.index = 7;
    try {
        session->Process(empty, DebayerSettings{}, rgba);
        ADD_FAILURE() << "a picture without a record was processed";
    } catch (const MediaError& error) {
        EXPECT_EQ(MediaError::Kind::Engine, error.ErrorKind());
        EXPECT_EQ(-3, error.Code());
        EXPECT_EQ("BadRecord", error.CodeName());
        EXPECT_STREQ("frame 7: debayer failed: no usable frame info record (BadRecord, -3)", error.what());
    }
}

TEST(MediaEngineTest, ChoicesThatAreNoneAreRefused) {
    struct Case {
        const char* engine;
        const char* device;
        MediaError::Kind kind;
        MediaError::Remedy hint;
    };
    const Case cases[] = {
        {"gpu", "", MediaError::Kind::BadArgument, MediaError::Remedy::None},
        {"cpu", "0:0", MediaError::Kind::BadArgument, MediaError::Remedy::None},
        {"auto", "first", MediaError::Kind::BadArgument, MediaError::Remedy::None},
        {"opencl", "9:9", MediaError::Kind::Failure, MediaError::Remedy::ListDevices},
    };
    for (const Case& c : cases) {
        EngineChoice choice;
        choice.engine = c.engine;
        choice.device = c.device;
        try {
            OpenEngine(choice);
            ADD_FAILURE() << c.engine << " " << c.device;
        } catch (const MediaError& error) {
            EXPECT_EQ(c.kind, error.ErrorKind()) << error.what();
            EXPECT_EQ(c.hint, error.Hint()) << error.what();
        }
    }
}

// The listing as data: the CPU engine, and PoCL's device marked as what "auto" takes.
TEST(MediaEngineTest, ListingNamesTheCpuEngineAndTheDefaultDevice) {
    const EngineListing listing = ListEngines(3);
    EXPECT_NE(std::string::npos, listing.cpu.find("SIMD")) << listing.cpu;
    EXPECT_NE(std::string::npos, listing.cpu.find("3 threads")) << listing.cpu;
    ASSERT_FALSE(listing.devices.empty()) << listing.openclError;
    int defaults = 0;
    for (const OpenCLDeviceInfo& device : listing.devices) defaults += device.isDefault;
    EXPECT_EQ(1, defaults);
}

} // namespace
} // namespace tsr::media::test
