// Demosaic quality: scenes mosaiced into Bayer data, demosaiced by RPS_0000 and RPS_0001 on PoCL,
// compared with the original (white-balanced camera RGB, before the colour matrix). Bilinear
// interpolation of the same mosaic is the yardstick. Real photographs are read from binary PPM
// files in the folder named by TSR_TEST_PHOTOS, when set.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>

#include "chainmodel.h"
#include "kernelrunner.h"

namespace tsr::test {
namespace {

double Psnr(const Plane& a, const Plane& b) {
    double sum = 0.0;
    size_t count = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (i % 4 == 3) continue;
        const double d = std::min(1.0f, std::max(0.0f, a[i])) - std::min(1.0f, std::max(0.0f, b[i]));
        sum += d * d;
        ++count;
    }
    return 10.0 * std::log10(1.0 / (sum / static_cast<double>(count)));
}

// Plain bilinear demosaic of the normalised, white-balanced mosaic.
Plane Bilinear(const std::vector<std::uint16_t>& bayer, int width, int height, int pattern, float gainRed,
               float gainBlue) {
    auto kind = [&](int x, int y) {
        const int phase = 2 * (y & 1) + (x & 1);
        return phase == pattern ? 0 : (phase == 3 - pattern ? 2 : 1);
    };
    auto value = [&](int x, int y) {
        const float v = (bayer[static_cast<size_t>(y) * width + x] - 256.0f) / (4095.0f - 256.0f);
        const int k = kind(x, y);
        return k == 0 ? v * gainRed : (k == 2 ? v * gainBlue : v);
    };
    Plane out(static_cast<size_t>(width) * height * 4, 1.0f);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            float sum[3] = {0, 0, 0}, weight[3] = {0, 0, 0};
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int sx = x + dx, sy = y + dy;
                    if (sx < 0 || sy < 0 || sx >= width || sy >= height) continue;
                    const int k = kind(sx, sy);
                    const float w = (dx == 0 && dy == 0) ? 4.0f : (dx == 0 || dy == 0 ? 2.0f : 1.0f);
                    sum[k] += w * value(sx, sy);
                    weight[k] += w;
                }
            }
            for (int c = 0; c < 3; ++c)
                out[(static_cast<size_t>(y) * width + x) * 4 + c] = weight[c] > 0 ? sum[c] / weight[c] : 0.0f;
        }
    }
    return out;
}

struct Result {
    double engine, bilinear;
};

Result Measure(const Plane& scene, int width, int height) {
    const int pattern = 0;
    TsrFrameInfoRecord record = MakeRecord(width, height, true, pattern);
    record.maxDcStep = 4;
    const std::vector<std::uint16_t> bayer = MosaicScene(scene, width, height, pattern, record.blackLevel,
                                                         record.whiteLevel, record.gain0, record.gain1);
    const RawProcessingParameters parameters = RawProcessingSetup(record, nullptr, 0);
    const CLRPPS0 green = ModelParameterBlocks(parameters).green;
    const CLRPPS1 colour = ModelParameterBlocks(parameters).colour;
    cl_mem input = MakeImage(CL_R, CL_UNSIGNED_INT16, width, height, bayer.data());
    cl_mem greenImage = MakeImage(CL_RGBA, CL_FLOAT, width, height);
    cl_mem colourImage = MakeImage(CL_RGBA, CL_FLOAT, width, height);
    EXPECT_EQ(0, RunKernel(RawProgram(), "RPS_0000", &green, sizeof green, input, greenImage));
    EXPECT_EQ(0, RunKernel(RawProgram(), "RPS_0001", &colour, sizeof colour, greenImage, colourImage));
    const Plane demosaiced = ReadRgba(colourImage);
    for (cl_mem image : {input, greenImage, colourImage}) clReleaseMemObject(image);
    return Result{Psnr(demosaiced, scene),
                  Psnr(Bilinear(bayer, width, height, pattern, record.gain0, record.gain1), scene)};
}

bool ReadPpm(const std::string& path, Plane& rgb, int& width, int& height) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    int maxValue = 0;
    const bool header = std::fscanf(file, "P6 %d %d %d", &width, &height, &maxValue) == 3 &&
                        maxValue == 255 && width > 0 && height > 0 && width <= 8192 && height <= 8192;
    std::fgetc(file);
    std::vector<unsigned char> bytes(header ? static_cast<size_t>(width) * height * 3 : 0);
    const bool body = header && std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    std::fclose(file);
    if (!body) return false;
    rgb.assign(static_cast<size_t>(width) * height * 4, 1.0f);
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i)
        for (int c = 0; c < 3; ++c) // 8-bit sRGB to linear light (gamma 2.2)
            rgb[i * 4 + c] = std::pow(bytes[i * 3 + c] / 255.0f, 2.2f);
    return true;
}

TEST(DemosaicQuality, SyntheticScene) {
    const Result r = Measure(PhotoLikeScene(256, 192), 256, 192);
    std::printf("synthetic scene 256x192: engine %.2f dB, bilinear %.2f dB\n", r.engine, r.bilinear);
    EXPECT_GT(r.engine, 30.0);
    EXPECT_GT(r.engine, r.bilinear);
}

TEST(DemosaicQuality, Photographs) {
    const char* folder = std::getenv("TSR_TEST_PHOTOS");
    if (!folder) GTEST_SKIP() << "TSR_TEST_PHOTOS names no folder of .ppm photographs";
    DIR* directory = opendir(folder);
    ASSERT_NE(nullptr, directory);
    int measured = 0;
    while (dirent* entry = readdir(directory)) {
        const std::string name = entry->d_name;
        if (name.size() < 5 || name.compare(name.size() - 4, 4, ".ppm") != 0) continue;
        Plane rgb;
        int width = 0, height = 0;
        ASSERT_TRUE(ReadPpm(std::string(folder) + "/" + name, rgb, width, height)) << name;
        const Result r = Measure(rgb, width, height);
        std::printf("%s %dx%d: engine %.2f dB, bilinear %.2f dB\n", name.c_str(), width, height, r.engine,
                    r.bilinear);
        EXPECT_GT(r.engine, r.bilinear) << name;
        ++measured;
    }
    closedir(directory);
    EXPECT_GT(measured, 0);
}

} // namespace
} // namespace tsr::test
