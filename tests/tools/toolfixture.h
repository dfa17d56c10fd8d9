// Shared pieces of the tool tests: a scratch folder per test, small encoded clips made with the
// library, and file helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/frameencoder.h"
#include "toolrunner.h"

namespace tsr::tools::test {

// Frames of the moving scene encoded with the library, `count` of them, width x height.
std::vector<std::vector<uint8_t>> SceneFrames(int count, int width, int height,
                                              const EncoderSettings& settings);

std::vector<uint8_t> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
bool FileExists(const std::string& path);
std::vector<uint8_t> Concatenate(const std::vector<std::vector<uint8_t>>& frames);

// Fields of a file as the format's own library reads them (libpng, libtiff, OpenEXR, libavformat),
// not the tool's readers, so that a field the tool writes and reads alike wrongly still shows.
struct FileFacts {
    int width = 0, height = 0, channels = 0, bits = 0;
    int kind = 0;                      // PNG colour type; TIFF photometric interpretation
    int sampleFormat = 0;              // TIFF
    int extraSamples = 0;              // TIFF
    int compression = -1;              // TIFF or OpenEXR compression code
    std::vector<float> chromaticities; // OpenEXR: red, green, blue, white (x, y each), when present
    std::string channelNames;          // OpenEXR
    int pixelType = -1;                // OpenEXR
    uint32_t codecTag = 0;             // QuickTime track
    int64_t frames = 0;
    double frameSeconds = 0; // QuickTime: the track's duration over its frame count
};
FileFacts PngFacts(const std::string& path);
FileFacts TiffFacts(const std::string& path);
FileFacts ExrFacts(const std::string& path);
FileFacts QuickTimeFacts(const std::string& path);

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
