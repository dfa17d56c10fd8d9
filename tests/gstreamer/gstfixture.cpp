#include "gstfixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "encoder/frameencoder.h"
#include "encoder/syntheticscene.h"
#include "tsr/media/clip.h"

namespace tsr::test {

namespace {

std::string g_scratch;

// A half float's value, written out here so the expected pictures do not lean on the code
// under test.
float HalfToFloat(uint16_t bits) {
    const int sign = bits >> 15, exponent = (bits >> 10) & 31, mantissa = bits & 1023;
    float value;
    if (exponent == 0)
        value = std::ldexp(static_cast<float>(mantissa), -24);
    else if (exponent == 31)
        value = mantissa ? NAN : INFINITY;
    else
        value = std::ldexp(static_cast<float>(mantissa + 1024), exponent - 25);
    return sign ? -value : value;
}

// What a player is shown: BT.709's transfer for the linear curves, the curve's own values else.
float Displayed(unsigned curve, float linear) {
    const float v = std::isnan(linear) ? 0.0f : std::fmin(std::fmax(linear, 0.0f), 1.0f);
    if (curve > 1) return v;
    return v < 0.018f ? 4.5f * v : 1.099f * std::pow(v, 0.45f) - 0.099f;
}

class GstEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        char folder[] = "/tmp/tsr-gst-XXXXXX";
        ASSERT_TRUE(mkdtemp(folder));
        g_scratch = folder;
        setenv("GST_REGISTRY", (g_scratch + "/registry.bin").c_str(), 1);
        setenv("GST_PLUGIN_PATH", TSR_GST_PLUGIN_DIR, 1);
        gst_init(nullptr, nullptr);
        ASSERT_TRUE(gst_registry_find_plugin(gst_registry_get(), "tesselraw"))
            << "the plug-in is not in " << TSR_GST_PLUGIN_DIR;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(g_scratch, ignored);
    }
};

} // namespace

const std::string& ScratchFolder() {
    return g_scratch;
}

Bytes SceneFrame(int width, int height, int index) {
    SceneSettings scene;
    scene.width = width;
    scene.height = height;
    const std::vector<uint16_t> mosaic = RenderSceneMosaic(scene, 0, 0.25 * index);
    return EncodeFrame(mosaic.data(), width, height, width, EncoderSettings());
}

std::string WriteClip(const std::string& name, const std::vector<Bytes>& frames,
                      const std::string& timecode) {
    const std::string path = ScratchFolder() + "/" + name;
    media::ClipWriterSettings settings;
    settings.timecode = timecode;
    auto writer = media::CreateClipWriter(path, settings);
    for (const Bytes& frame : frames) writer->Append(frame);
    writer->Finish();
    return path;
}

std::string RunCommand(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        status = -1;
        return out;
    }
    char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, got);
    status = pclose(pipe);
    return out;
}

std::vector<uint16_t> ConvertedPicture(const std::string& clip, int index, unsigned curve, int downscale,
                                       bool display) {
    int status = 0;
    const std::string range = std::to_string(index) + "-" + std::to_string(index);
    const std::string raw =
        RunCommand(std::string(TSRRAW_PATH) + " convert --quiet --engine cpu --curve " +
                       std::to_string(curve) + " --downscale " + std::to_string(downscale) + " --frames " +
                       range + " -o - --format raw '" + clip + "'",
                   status);
    EXPECT_EQ(status, 0) << "tsrraw convert failed";
    const size_t pixels = raw.size() / 8;
    std::vector<uint16_t> picture(pixels * 4);
    for (size_t i = 0; i < pixels * 4; ++i) {
        uint16_t bits;
        std::memcpy(&bits, raw.data() + 2 * i, 2);
        if (i % 4 == 3) {
            picture[i] = 65535;
            continue;
        }
        const float linear = HalfToFloat(bits);
        const float value = display ? Displayed(curve, linear)
                                    : (std::isnan(linear) ? 0.0f : std::fmin(std::fmax(linear, 0.0f), 1.0f));
        picture[i] = static_cast<uint16_t>(65535.0f * value + 0.5f);
    }
    return picture;
}

int LargestDifference(const std::vector<uint16_t>& a, const uint16_t* b, size_t count) {
    if (a.size() != count) return 65536;
    int largest = 0;
    for (size_t i = 0; i < count; ++i) largest = std::max(largest, std::abs(int(a[i]) - int(b[i])));
    return largest;
}

} // namespace tsr::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new tsr::test::GstEnvironment);
    return RUN_ALL_TESTS();
}
