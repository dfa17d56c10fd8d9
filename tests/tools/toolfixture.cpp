#include "toolfixture.h"

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "syntheticscene.h"

namespace tsr::tools::test {

std::vector<std::vector<uint8_t>> SceneFrames(int count, int width, int height,
                                              const EncoderSettings& settings) {
    SceneSettings scene;
    scene.width = width;
    scene.height = height;
    scene.whiteLevelCode = settings.whiteLevelCode;
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < count; ++i) {
        const std::vector<uint16_t> mosaic = RenderSceneMosaic(scene, settings.bayerPattern, i / 24.0);
        frames.push_back(EncodeFrame(mosaic.data(), width, height, width, settings));
    }
    return frames;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
    std::ifstream file(path);
    return file.good();
}

std::vector<uint8_t> Concatenate(const std::vector<std::vector<uint8_t>>& frames) {
    std::vector<uint8_t> all;
    for (const auto& frame : frames) all.insert(all.end(), frame.begin(), frame.end());
    return all;
}

void ToolTest::SetUp() {
    char name[] = "/tmp/tsrraw-test-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(name));
    m_folder = name;
}

void ToolTest::TearDown() {
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

std::vector<std::string> ToolTest::Files() const {
    std::vector<std::string> names;
    if (DIR* folder = opendir(m_folder.c_str())) {
        while (dirent* entry = readdir(folder)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(folder);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace tsr::tools::test
