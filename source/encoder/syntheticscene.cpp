#include "syntheticscene.h"

#include <algorithm>
#include <cmath>

#include "format/bayercell.h"

namespace tsr {
namespace {

constexpr float kPi = 3.14159265f;

uint32_t Hash32(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

// Roughly normal noise of unit spread: a sum of two uniform values.
float NoiseAt(uint32_t key) {
    const uint32_t h = Hash32(key);
    return (static_cast<float>(h & 0xFFFF) + static_cast<float>(h >> 16)) / 65536.0f - 1.0f;
}

float Smoothstep(float e0, float e1, float x) {
    const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

struct Rgb {
    float r, g, b;
};

Rgb Mix(Rgb a, Rgb b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

class Scene {
public:
    Scene(const SceneSettings& s, double t) : m_settings(s), m_time(static_cast<float>(t)) {
        m_scale = 1.0f / static_cast<float>(std::max(s.width, s.height));
        m_aspectX = static_cast<float>(s.width) * m_scale;
        m_aspectY = static_cast<float>(s.height) * m_scale;
        const float cycle = m_time * 0.1f - std::floor(m_time * 0.1f);
        m_ballX = (0.1f + 0.8f * cycle) * m_aspectX;
        m_ballY = (0.72f + 0.05f * std::sin(m_time * 1.3f)) * m_aspectY;
        m_wheelAngle = m_time * 0.7f;
        m_frameKey = Hash32(static_cast<uint32_t>(std::lround(t * 1000.0)) ^ (s.seed * 0x9E3779B9U));
    }

    // Linear scene colour at photosite (x, y), 0 = black, 1 = white (may exceed 1: clipped).
    Rgb Colour(int x, int y) const {
        const float u = (static_cast<float>(x) + 0.5f) * m_scale; // 0..aspectX
        const float v = (static_cast<float>(y) + 0.5f) * m_scale; // 0..aspectY
        const float vn = v / m_aspectY;
        const float un = u / m_aspectX;

        // Sky above the horizon, ground below, with a soft haze at the horizon line.
        const float horizon = 0.55f + 0.03f * std::sin(un * 7.0f);
        Rgb sky{0.30f + 0.15f * un, 0.45f + 0.08f * un, 0.75f};
        sky = Mix(sky, Rgb{0.7f, 0.7f, 0.72f}, Smoothstep(0.2f, horizon, vn) * 0.6f);
        const float grass =
            0.5f +
            0.5f * std::sin(static_cast<float>(x) * 1.9f + 2.0f * std::sin(static_cast<float>(y) * 0.37f)) *
                std::sin(static_cast<float>(y) * 2.3f);
        Rgb ground{0.16f + 0.05f * grass, 0.24f + 0.10f * grass, 0.07f + 0.03f * grass};
        ground = Mix(ground, Rgb{0.1f, 0.13f, 0.05f}, (vn - horizon) / (1.0f - horizon + 1e-3f));
        Rgb c = vn < horizon ? sky : ground;

        // The sun: a disk near clipping with a glow.
        const float sx = u - 0.82f * m_aspectX, sy = v - 0.14f * m_aspectY;
        const float sd = std::sqrt(sx * sx + sy * sy);
        const float glow = 0.25f * std::exp(-sd * 18.0f);
        c = {c.r + glow, c.g + glow * 0.9f, c.b + glow * 0.6f};
        if (sd < 0.035f) c = {1.2f, 1.15f, 1.0f};

        // A building with a grid of sharp windows.
        const float bx0 = 0.08f * m_aspectX, bx1 = 0.38f * m_aspectX, by0 = 0.22f * m_aspectY;
        if (u >= bx0 && u < bx1 && vn >= 0.22f && vn < horizon + 0.02f) {
            c = {0.42f, 0.30f, 0.26f};
            const float wx = (u - bx0) / (0.02f * m_aspectX), wy = (v - by0) / (0.03f * m_aspectY);
            const bool window = wx - std::floor(wx) > 0.35f && wy - std::floor(wy) > 0.4f;
            if (window)
                c = (static_cast<int>(wx) + static_cast<int>(wy)) % 3 == 0 ? Rgb{0.9f, 0.8f, 0.5f}
                                                                           : Rgb{0.05f, 0.06f, 0.08f};
        }

        // A zone plate: rings whose frequency rises to the sampling limit, drifting with time.
        const float zx = u - 0.6f * m_aspectX, zy = v - 0.35f * m_aspectY;
        const float zr2 = zx * zx + zy * zy;
        if (zr2 < 0.012f) {
            const float k = 0.25f * kPi / (m_scale * m_scale * 0.012f); // reaches Nyquist at the rim
            const float ring = 0.5f + 0.5f * std::cos(k * zr2 + m_time * 2.0f);
            c = {0.1f + 0.6f * ring, 0.1f + 0.6f * ring, 0.1f + 0.6f * ring};
        }

        // A turning wheel with eight spokes.
        const float wx = u - 0.5f * m_aspectX, wy = v - 0.78f * m_aspectY;
        const float wr = std::sqrt(wx * wx + wy * wy);
        if (wr < 0.09f) {
            const float angle = std::atan2(wy, wx) + m_wheelAngle;
            const bool spoke = std::cos(angle * 8.0f) > 0.85f || wr < 0.012f || wr > 0.082f;
            c = spoke ? Rgb{0.75f, 0.75f, 0.78f} : Rgb{0.04f, 0.04f, 0.05f};
        }

        // The ball: shaded red sphere with a sharp outline and a highlight.
        const float bx = u - m_ballX, by = v - m_ballY;
        const float br = std::sqrt(bx * bx + by * by) / 0.06f;
        if (br < 1.0f) {
            const float shade = 0.35f + 0.65f * std::sqrt(1.0f - br * br) * (0.6f - 0.4f * (bx + by) / 0.06f);
            c = {0.85f * shade, 0.12f * shade, 0.10f * shade};
            const float hx = bx + 0.02f, hy = by + 0.02f;
            if (hx * hx + hy * hy < 0.00012f) c = {1.1f, 1.05f, 1.0f};
        }
        return c;
    }

    // Sensor value of one channel with shot and read noise.
    uint16_t SensorValue(float linear, int x, int y, int channel) const {
        const float white = static_cast<float>(m_settings.whiteLevelCode);
        float value = std::clamp(linear, 0.0f, 1.0f) * white;
        if (m_settings.noise > 0) {
            const uint32_t key =
                m_frameKey ^ Hash32(static_cast<uint32_t>(x) * 0x85EBCA6BU + static_cast<uint32_t>(y) * 3u +
                                    static_cast<uint32_t>(channel));
            const float spread = m_settings.noise * (2.0f + 0.6f * std::sqrt(value));
            value += spread * NoiseAt(key);
        }
        return static_cast<uint16_t>(std::clamp(value + 256.0f, 0.0f, white + 256.0f) + 0.5f);
    }

private:
    SceneSettings m_settings;
    float m_time;
    float m_scale, m_aspectX, m_aspectY;
    float m_ballX, m_ballY, m_wheelAngle;
    uint32_t m_frameKey;
};

bool SizeOk(int width, int height) {
    return width > 0 && height > 0 && width <= 65535 && height <= 65535;
}

int ChannelOf(int component) {
    return component == kRed ? 0 : component == kBlue ? 2 : 1;
}

} // namespace

std::vector<uint16_t> RenderSceneRgb(const SceneSettings& settings, double t) {
    if (!SizeOk(settings.width, settings.height)) return {};
    const Scene scene(settings, t);
    std::vector<uint16_t> rgb(static_cast<size_t>(settings.width) * static_cast<size_t>(settings.height) * 3);
    uint16_t* out = rgb.data();
    for (int y = 0; y < settings.height; ++y)
        for (int x = 0; x < settings.width; ++x, out += 3) {
            const Rgb c = scene.Colour(x, y);
            out[0] = scene.SensorValue(c.r, x, y, 0);
            out[1] = scene.SensorValue(c.g, x, y, 1);
            out[2] = scene.SensorValue(c.b, x, y, 2);
        }
    return rgb;
}

std::vector<uint16_t> MosaicRgb(const uint16_t* rgb, int width, int height, int bayerPattern) {
    if (!rgb || !SizeOk(width, height)) return {};
    std::vector<uint16_t> mosaic(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t i = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
            mosaic[i] = rgb[3 * i + static_cast<size_t>(ChannelOf(ComponentAt(bayerPattern, y, x)))];
        }
    return mosaic;
}

std::vector<uint16_t> RenderSceneMosaic(const SceneSettings& settings, int bayerPattern, double t) {
    if (!SizeOk(settings.width, settings.height)) return {};
    const Scene scene(settings, t);
    std::vector<uint16_t> mosaic(static_cast<size_t>(settings.width) * static_cast<size_t>(settings.height));
    uint16_t* out = mosaic.data();
    for (int y = 0; y < settings.height; ++y)
        for (int x = 0; x < settings.width; ++x) {
            const Rgb c = scene.Colour(x, y);
            const int channel = ChannelOf(ComponentAt(bayerPattern, y, x));
            *out++ = scene.SensorValue(channel == 0 ? c.r : channel == 1 ? c.g : c.b, x, y, channel);
        }
    return mosaic;
}

} // namespace tsr
