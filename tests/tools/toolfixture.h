// Shared pieces of the tool tests: a scratch folder per test, small encoded clips made with the
// library, and file helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "frameencoder.h"
#include "toolrunner.h"

namespace tsr::tools::test {

// Frames of the moving scene encoded with the library, `count` of them, width x height.
std::vector<std::vector<uint8_t>> SceneFrames(int count, int width, int height,
                                              const EncoderSettings& settings);

std::vector<uint8_t> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
bool FileExists(const std::string& path);
std::vector<uint8_t> Concatenate(const std::vector<std::vector<uint8_t>>& frames);

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string Path(const std::string& name) const { return m_folder + "/" + name; }
    // Every file name in the scratch folder, hidden ones included.
    std::vector<std::string> Files() const;

    std::string m_folder;
};

} // namespace tsr::tools::test
