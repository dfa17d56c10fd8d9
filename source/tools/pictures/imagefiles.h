// Picture files the tool reads and writes: 16-bit PNG and TIFF (grey, RGB or RGBA), 8-bit PNG
// previews, and OpenEXR (half or float RGBA). Writers go through OutputFile, so a failed write
// leaves no file under the final name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tsr::tools {

// Interleaved samples, rows of width * channels, no padding.
struct Picture16 {
    int width = 0, height = 0, channels = 0; // 1, 3 or 4
    std::vector<uint16_t> samples;
};
struct PictureFloat {
    int width = 0, height = 0, channels = 0;
    std::vector<float> samples;
};

// Reads PNG (8- or 16-bit; 8-bit samples are scaled to 16 bits) or TIFF (8- or 16-bit,
// contiguous). Alpha is kept as a channel. Throws ToolError.
Picture16 ReadPng(const std::string& path);
Picture16 ReadTiff(const std::string& path);
// Reads an OpenEXR file's R, G, B channels (Y for a grey file) as floats.
PictureFloat ReadExr(const std::string& path);

// `rowStride` is in samples. PNG writes 16-bit or 8-bit samples (bits 16 or 8).
void WritePng(const std::string& path, int width, int height, int channels, const uint16_t* samples,
              size_t rowStride);
void WritePng8(const std::string& path, int width, int height, int channels, const uint8_t* samples,
               size_t rowStride);
void WriteTiff(const std::string& path, int width, int height, int channels, const uint16_t* samples,
               size_t rowStride);

enum class ExrCompression { None, Zip, Piz, Rle };
// RGBA pixels of four halves (IEEE binary16 bit patterns) or four floats, tightly packed. With
// `bt2020` the file says its primaries are BT.2020's (OpenEXR assumes BT.709 otherwise).
void WriteExrHalf(const std::string& path, int width, int height, const uint16_t* rgba,
                  ExrCompression compression, bool bt2020 = false);
void WriteExrFloat(const std::string& path, int width, int height, const float* rgba,
                   ExrCompression compression, bool bt2020 = false);

} // namespace tsr::tools
