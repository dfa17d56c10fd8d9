#include "streams/displaytransform.h"

#include <half.h>

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

namespace tsr::tools {

namespace {

// BT.709's opto-electronic transfer, which BT.2020 uses too (at 10 bits its constants round
// to the same).
float Bt709Transfer(float linear) {
    return linear < 0.018f ? 4.5f * linear : 1.099f * std::pow(linear, 0.45f) - 0.099f;
}

float Clip(float value) {
    return std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
}

// The nearest code to a value that is never negative (R'G'B' are clipped to 0..1 first).
uint16_t Code(float value) {
    return static_cast<uint16_t>(value + 0.5f);
}

} // namespace

ColourTags ColourTagsForCurve(unsigned curve) {
    ColourTags tags;
    switch (curve) {
    case 0:
        tags.primaries = AVCOL_PRI_BT709;
        tags.transfer = AVCOL_TRC_BT709;
        tags.matrix = AVCOL_SPC_BT709;
        break;
    case 1:
        tags.primaries = AVCOL_PRI_BT2020;
        tags.transfer = AVCOL_TRC_BT2020_10;
        tags.matrix = AVCOL_SPC_BT2020_NCL;
        break;
    case 2:
        tags.primaries = AVCOL_PRI_BT2020;
        tags.transfer = AVCOL_TRC_ARIB_STD_B67;
        tags.matrix = AVCOL_SPC_BT2020_NCL;
        break;
    default: // log curves: the pictures stay log; no standard transfer describes them
        tags.primaries = AVCOL_PRI_BT2020;
        tags.transfer = AVCOL_TRC_UNSPECIFIED;
        tags.matrix = AVCOL_SPC_BT2020_NCL;
        break;
    }
    return tags;
}

float DisplayEncode(unsigned curve, float value) {
    return curve <= 1 ? Bt709Transfer(value) : value;
}

DisplayTransform::DisplayTransform(unsigned curve) : m_tags(ColourTagsForCurve(curve)), m_fromHalf(65536) {
    const bool bt709 = m_tags.matrix == AVCOL_SPC_BT709;
    m_kr = bt709 ? 0.2126f : 0.2627f;
    m_kb = bt709 ? 0.0722f : 0.0593f;
    for (size_t bits = 0; bits < m_fromHalf.size(); ++bits) {
        half value;
        value.setBits(static_cast<uint16_t>(bits));
        m_fromHalf[bits] = DisplayEncode(curve, Clip(static_cast<float>(value)));
    }
}

float DisplayTransform::Encoded(const RgbaFrame& rgba, size_t pixel, int channel) const {
    const size_t sample = 4 * pixel + static_cast<size_t>(channel);
    if (rgba.isFloat) {
        float value;
        std::memcpy(&value, rgba.bytes.data() + 4 * sample, sizeof value);
        return m_fromHalf[half(Clip(value)).bits()];
    }
    uint16_t bits;
    std::memcpy(&bits, rgba.bytes.data() + 2 * sample, sizeof bits);
    return m_fromHalf[bits];
}

void DisplayTransform::ToYuv(const RgbaFrame& rgba, AVFrame& picture) const {
    const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture.format));
    const int xShift = format->log2_chroma_w, yShift = format->log2_chroma_h;
    const float kg = 1.0f - m_kr - m_kb;
    const float cbScale = 896.0f / (2.0f * (1.0f - m_kb)), crScale = 896.0f / (2.0f * (1.0f - m_kr));
    const size_t width = static_cast<size_t>(rgba.width);
    for (int y = 0; y < rgba.height; ++y) {
        auto* luma =
            reinterpret_cast<uint16_t*>(picture.data[0] + static_cast<ptrdiff_t>(y) * picture.linesize[0]);
        for (size_t x = 0; x < width; ++x) {
            const size_t pixel = static_cast<size_t>(y) * width + x;
            const float value = m_kr * Encoded(rgba, pixel, 0) + kg * Encoded(rgba, pixel, 1) +
                                m_kb * Encoded(rgba, pixel, 2);
            luma[x] = Code(64.0f + 876.0f * value);
        }
    }
    const int chromaWidth = (rgba.width + (1 << xShift) - 1) >> xShift;
    const int chromaHeight = (rgba.height + (1 << yShift) - 1) >> yShift;
    for (int cy = 0; cy < chromaHeight; ++cy) {
        auto* cb =
            reinterpret_cast<uint16_t*>(picture.data[1] + static_cast<ptrdiff_t>(cy) * picture.linesize[1]);
        auto* cr =
            reinterpret_cast<uint16_t*>(picture.data[2] + static_cast<ptrdiff_t>(cy) * picture.linesize[2]);
        const int y0 = cy << yShift, y1 = std::min(rgba.height, (cy + 1) << yShift);
        for (int cx = 0; cx < chromaWidth; ++cx) {
            const int x0 = cx << xShift, x1 = std::min(rgba.width, (cx + 1) << xShift);
            float r = 0, g = 0, b = 0;
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x) {
                    const size_t pixel = static_cast<size_t>(y) * width + static_cast<size_t>(x);
                    r += Encoded(rgba, pixel, 0);
                    g += Encoded(rgba, pixel, 1);
                    b += Encoded(rgba, pixel, 2);
                }
            const float count = static_cast<float>((y1 - y0) * (x1 - x0));
            r /= count;
            g /= count;
            b /= count;
            const float luma = m_kr * r + kg * g + m_kb * b;
            cb[cx] = Code(512.0f + cbScale * (b - luma));
            cr[cx] = Code(512.0f + crScale * (r - luma));
        }
    }
}

} // namespace tsr::tools
