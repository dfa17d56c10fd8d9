#include "pictures/rgbapictures.h"

#include <half.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "pictures/dpxfiles.h"
#include "tsr/media/outputfile.h"

namespace tsr::tools {

using namespace media;

float RgbaSample(const RgbaFrame& frame, size_t i) {
    if (frame.isFloat) {
        float value;
        std::memcpy(&value, frame.bytes.data() + 4 * i, sizeof value);
        return value;
    }
    uint16_t bits;
    std::memcpy(&bits, frame.bytes.data() + 2 * i, sizeof bits);
    half value;
    value.setBits(bits);
    return static_cast<float>(value);
}

uint32_t QuantisedSample(float value, uint32_t maximum) {
    const float clipped = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
    return static_cast<uint32_t>(std::lround(clipped * static_cast<float>(maximum)));
}

uint8_t PreviewValue(float value, bool linear) {
    float v = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
    if (linear) v = v <= 0.0031308f ? 12.92f * v : 1.055f * std::pow(v, 1.0f / 2.4f) - 0.055f;
    return static_cast<uint8_t>(std::lround(v * 255.0f));
}

void WriteRgbaPicture(const RgbaFrame& frame, PictureFormat format, const std::string& path,
                      ExrCompression compression) {
    const size_t pixels = static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height);
    switch (format) {
    case PictureFormat::Raw: {
        OutputFile output(path);
        output.Write(frame.bytes.data(), frame.bytes.size());
        output.Commit();
        return;
    }
    case PictureFormat::Dpx:
        WriteDpx(path, frame, DpxFields{});
        return;
    case PictureFormat::Exr:
        if (frame.isFloat)
            WriteExrFloat(path, frame.width, frame.height, reinterpret_cast<const float*>(frame.bytes.data()),
                          compression, frame.curve == 1);
        else
            WriteExrHalf(path, frame.width, frame.height,
                         reinterpret_cast<const uint16_t*>(frame.bytes.data()), compression,
                         frame.curve == 1);
        return;
    case PictureFormat::Png16:
    case PictureFormat::Tiff16: {
        std::vector<uint16_t> rgb(pixels * 3);
        for (size_t p = 0; p < pixels; ++p)
            for (size_t c = 0; c < 3; ++c) {
                rgb[3 * p + c] = static_cast<uint16_t>(QuantisedSample(RgbaSample(frame, 4 * p + c), 65535));
            }
        if (format == PictureFormat::Png16)
            WritePng(path, frame.width, frame.height, 3, rgb.data(), static_cast<size_t>(frame.width) * 3);
        else
            WriteTiff(path, frame.width, frame.height, 3, rgb.data(), static_cast<size_t>(frame.width) * 3);
        return;
    }
    case PictureFormat::Preview: {
        // A table over 0..1 in steps of 1/16383 keeps pow() out of the pixel loop.
        constexpr int kSteps = 16383;
        const bool linear = frame.curve <= 1;
        std::vector<uint8_t> table(kSteps + 1);
        for (int i = 0; i <= kSteps; ++i)
            table[static_cast<size_t>(i)] = PreviewValue(static_cast<float>(i) / kSteps, linear);
        std::vector<uint8_t> rgb(pixels * 3);
        for (size_t p = 0; p < pixels; ++p)
            for (size_t c = 0; c < 3; ++c) {
                const float v = RgbaSample(frame, 4 * p + c);
                const float clamped = std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, 1.0f);
                rgb[3 * p + c] = table[static_cast<size_t>(std::lround(clamped * kSteps))];
            }
        WritePng8(path, frame.width, frame.height, 3, rgb.data(), static_cast<size_t>(frame.width) * 3);
        return;
    }
    }
}

} // namespace tsr::tools
