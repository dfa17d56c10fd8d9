// Long run (label soak, not part of the default run; scripts/soak.sh runs it): `convert` takes
// 10 000 frames through the decoder and the engine on PoCL while its resident memory and open
// descriptors are sampled; after warm-up neither may grow.
#include <dirent.h>
#include <fstream>

#include "toolfixture.h"

namespace tsr::tools::test {
namespace {

long ResidentKib(pid_t process) {
    std::ifstream status("/proc/" + std::to_string(process) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

long OpenDescriptors(pid_t process) {
    long count = 0;
    if (DIR* folder = opendir(("/proc/" + std::to_string(process) + "/fd").c_str())) {
        while (readdir(folder)) ++count;
        closedir(folder);
    }
    return count;
}

using SoakTest = ToolTest;

TEST_F(SoakTest, DISABLED_ConvertTenThousandFramesWithoutGrowth) {
    const char* frames = std::getenv("TSR_SOAK_FRAMES");
    const std::string count = frames ? frames : "10000";
    ASSERT_EQ(0, RunTool({"encode", "--scene", "--size", "32x16", "--noise", "0", "--count", count, "-q",
                          "-o", Path("clip.mov")})
                     .exitCode);
    struct Sample {
        long kib, descriptors;
    };
    std::vector<Sample> samples;
    const ToolResult run = RunTool(
        {"convert", "--format", "raw", "-q", "-o", Path("out.rgba"), Path("clip.mov")}, {}, [&](pid_t child) {
            const long kib = ResidentKib(child);
            if (kib > 0) samples.push_back({kib, OpenDescriptors(child)});
        });
    ASSERT_EQ(0, run.exitCode) << run.err;
    ASSERT_GT(samples.size(), 20u) << "the run was too short to judge";
    // Warm-up: the first fifth (devices, programs, caches); then the late peak against it.
    const Sample warm = samples[samples.size() / 5];
    Sample late{0, 0};
    for (size_t i = samples.size() * 4 / 5; i < samples.size() - 1; ++i) {
        late.kib = std::max(late.kib, samples[i].kib);
        late.descriptors = std::max(late.descriptors, samples[i].descriptors);
    }
    RecordProperty("warm_kib", std::to_string(warm.kib));
    RecordProperty("late_kib", std::to_string(late.kib));
    EXPECT_LT(late.kib - warm.kib, 4096) << "resident memory grew from " << warm.kib << " KiB";
    EXPECT_LE(late.descriptors, warm.descriptors) << "descriptors grew";
}

} // namespace
} // namespace tsr::tools::test
