// A photo-like synthetic scene for tests, benchmarks and tools: sky and ground gradients, a
// building with sharp-edged windows, a sun near clipping, fine grass and zone-plate texture, a
// ball that crosses the picture and a turning wheel (so a clip is not one frame repeated), and
// a little sensor noise. Rendered in the linear sensor range: black 256 .. white
// whiteLevelCode + 256 (noise may dip a little below black, as on a real sensor).
// Deterministic for given settings and time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tsr {

struct SceneSettings {
    int width = 0;
    int height = 0;
    uint16_t whiteLevelCode = 3839; // white level = code + 256
    uint32_t seed = 1;              // picks the noise
    float noise = 1.0f;             // noise strength; 0 = none
};

// Three u16 per pixel (red, green, blue), rows of `width` pixels. Empty for a bad size.
std::vector<uint16_t> RenderSceneRgb(const SceneSettings& settings, double t);

// Keeps, for each photosite, the channel its colour filter passes under `bayerPattern` (0..3).
std::vector<uint16_t> MosaicRgb(const uint16_t* rgb, int width, int height, int bayerPattern);

// The scene at time t as a Bayer mosaic, without a full RGB image in between.
std::vector<uint16_t> RenderSceneMosaic(const SceneSettings& settings, int bayerPattern, double t);

} // namespace tsr
