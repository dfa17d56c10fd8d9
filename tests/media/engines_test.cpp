// The engines behind OpenEngine: the choice, the listing, failures carrying the engine's status,
// and the CPU engine taking its processors from a share.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "encoder/frameencoder.h"
#include "encoder/syntheticscene.h"
#include "tsr/media/frames.h"
#include "tsr/media/processorshare.h"
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

// Holders of a share never hold more than it has, whatever mix of sizes they ask for, and a
// request for all of it is served among many requests for one.
TEST(ProcessorShareTest, NeverLendsMoreThanItHasAndServesEveryRequest) {
    ProcessorShare share(3);
    std::atomic<int> held{0}, most{0};
    auto hold = [&](int count, int rounds) {
        for (int i = 0; i < rounds; ++i) {
            const ProcessorShare::Lease lease(share, count);
            const int now = held += std::min(count, 3);
            for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
            }
            std::this_thread::yield();
            held -= std::min(count, 3);
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) threads.emplace_back(hold, 1, 2000);
    threads.emplace_back(hold, 3, 200);
    threads.emplace_back(hold, 8, 200); // held to the three there are
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(3, most.load());
    EXPECT_EQ(0, held.load());
}

// With a share, the CPU engine works only on processors it takes from it: while the share's one
// processor is held elsewhere no strip runs, and once it is given back the frame comes out as it
// does without a share.
TEST(MediaEngineTest, CpuEngineWaitsForTheSharedProcessors) {
    const DecodedPicture picture = DecodedScene(64, 32);
    EngineChoice choice;
    choice.engine = "cpu";
    choice.threads = 2;
    std::unique_ptr<RgbaEngine> engine = OpenEngine(choice);
    RgbaFrame alone, shared;
    engine->Process(picture, DebayerSettings{}, alone);

    auto share = std::make_shared<ProcessorShare>(1);
    engine->ShareProcessors(share);
    const int taken = share->Take(1);
    std::future<void> run = std::async(std::launch::async, [&] { engine->Process(picture, {}, shared); });
    EXPECT_EQ(std::future_status::timeout, run.wait_for(std::chrono::milliseconds(200)));
    share->Give(taken);
    run.get();
    EXPECT_TRUE(alone.bytes == shared.bytes);

    engine->ShareProcessors(nullptr); // no longer waits
    share->Take(1);
    engine->Process(picture, {}, shared);
    EXPECT_TRUE(alone.bytes == shared.bytes);
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
