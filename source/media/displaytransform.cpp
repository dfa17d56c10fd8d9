#include "tsr/media/displaytransform.h"

#include <half.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tsr::media {

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
        tags.primaries = ColourPrimaries::Bt709;
        tags.transfer = TransferCharacteristic::Bt709;
        tags.matrix = MatrixCoefficients::Bt709;
        break;
    case 1:
        tags.primaries = ColourPrimaries::Bt2020;
        tags.transfer = TransferCharacteristic::Bt2020TenBit;
        tags.matrix = MatrixCoefficients::Bt2020NonConstant;
        break;
    case 2:
        tags.primaries = ColourPrimaries::Bt2020;
        tags.transfer = TransferCharacteristic::AribStdB67;
        tags.matrix = MatrixCoefficients::Bt2020NonConstant;
        break;
    default: // log curves: the pictures stay log; no standard transfer describes them
        tags.primaries = ColourPrimaries::Bt2020;
        tags.transfer = TransferCharacteristic::Unspecified;
        tags.matrix = MatrixCoefficients::Bt2020NonConstant;
        break;
    }
    return tags;
}

float DisplayEncode(unsigned curve, float value) {
    return curve <= 1 ? Bt709Transfer(value) : value;
}

DisplayTransform::DisplayTransform(unsigned curve) : m_tags(ColourTagsForCurve(curve)), m_fromHalf(65536) {
    const bool bt709 = m_tags.matrix == MatrixCoefficients::Bt709;
    m_kr = bt709 ? 0.2126f : 0.2627f;
    m_kb = bt709 ? 0.0722f : 0.0593f;
    for (size_t bits = 0; bits < m_fromHalf.size(); ++bits) {
        half value;
        value.setBits(static_cast<uint16_t>(bits));
        m_fromHalf[bits] = DisplayEncode(curve, Clip(static_cast<float>(value)));
    }
}

void DisplayTransform::EncodeRow(const RgbaFrame& rgba, int y, float* r, float* g, float* b) const {
    const size_t width = static_cast<size_t>(rgba.width);
    const size_t first = static_cast<size_t>(y) * width * 4;
    float* planes[3] = {r, g, b};
    if (rgba.isFloat) {
        const uint8_t* row = rgba.bytes.data() + 4 * first;
        for (size_t x = 0; x < width; ++x)
            for (size_t c = 0; c < 3; ++c) {
                float value;
                std::memcpy(&value, row + 4 * (4 * x + c), sizeof value);
                planes[c][x] = m_fromHalf[half(Clip(value)).bits()];
            }
        return;
    }
    const uint8_t* row = rgba.bytes.data() + 2 * first;
    for (size_t x = 0; x < width; ++x)
        for (size_t c = 0; c < 3; ++c) {
            uint16_t bits;
            std::memcpy(&bits, row + 2 * (4 * x + c), sizeof bits);
            planes[c][x] = m_fromHalf[bits];
        }
}

void DisplayTransform::ToRgba64(const RgbaFrame& rgba, uint16_t* pixels, std::ptrdiff_t rowStride) const {
    const size_t width = static_cast<size_t>(rgba.width);
    std::vector<float> planes(3 * width);
    for (int y = 0; y < rgba.height; ++y) {
        float* r = planes.data();
        EncodeRow(rgba, y, r, r + width, r + 2 * width);
        auto* row = reinterpret_cast<uint16_t*>(reinterpret_cast<uint8_t*>(pixels) + y * rowStride);
        for (size_t x = 0; x < width; ++x) {
            for (size_t c = 0; c < 3; ++c) row[4 * x + c] = Code(65535.0f * planes[c * width + x]);
            row[4 * x + 3] = 65535;
        }
    }
}

void DisplayTransform::ToYuv(const RgbaFrame& rgba, const YuvPlanes& picture) {
    const int xShift = picture.log2ChromaWidth, yShift = picture.log2ChromaHeight;
    const float kr = m_kr, kb = m_kb, kg = 1.0f - m_kr - m_kb;
    const float cbScale = 896.0f / (2.0f * (1.0f - m_kb)), crScale = 896.0f / (2.0f * (1.0f - m_kr));
    const size_t width = static_cast<size_t>(rgba.width);
    const int rows = 1 << yShift;
    // The encoded R', G', B' planes of the rows one chroma row covers.
    m_rows.resize(3 * width * static_cast<size_t>(rows));
    auto plane = [&](int row, int channel) {
        return m_rows.data() + (static_cast<size_t>(row) * 3 + static_cast<size_t>(channel)) * width;
    };
    const int chromaWidth = (rgba.width + (1 << xShift) - 1) >> xShift;
    const int chromaHeight = (rgba.height + rows - 1) >> yShift;
    m_means.resize(3 * static_cast<size_t>(chromaWidth));
    for (int cy = 0; cy < chromaHeight; ++cy) {
        const int y0 = cy << yShift, y1 = std::min(rgba.height, (cy + 1) << yShift);
        for (int y = y0; y < y1; ++y) {
            float *r = plane(y - y0, 0), *g = plane(y - y0, 1), *b = plane(y - y0, 2);
            EncodeRow(rgba, y, r, g, b);
            auto* luma =
                reinterpret_cast<uint16_t*>(picture.data[0] + static_cast<ptrdiff_t>(y) * picture.stride[0]);
            for (size_t x = 0; x < width; ++x)
                luma[x] = Code(64.0f + 876.0f * (kr * r[x] + kg * g[x] + kb * b[x]));
        }
        auto* cb =
            reinterpret_cast<uint16_t*>(picture.data[1] + static_cast<ptrdiff_t>(cy) * picture.stride[1]);
        auto* cr =
            reinterpret_cast<uint16_t*>(picture.data[2] + static_cast<ptrdiff_t>(cy) * picture.stride[2]);
        // The mean of each channel over the pixels a chroma sample covers, summed row by row.
        const int blockRows = y1 - y0;
        const int wholeBlocks = blockRows == rows ? rgba.width >> xShift : 0;
        for (int c = 0; c < 3; ++c) {
            const float* top = plane(0, c);
            const float* bottom = plane(blockRows - 1, c);
            float* mean = m_means.data() + static_cast<size_t>(c) * static_cast<size_t>(chromaWidth);
            int cx = 0;
            if (xShift == 0 && yShift == 0) {
                for (; cx < wholeBlocks; ++cx) mean[cx] = top[cx];
            } else if (xShift == 1 && yShift == 0) {
                for (; cx < wholeBlocks; ++cx) mean[cx] = (top[2 * cx] + top[2 * cx + 1]) / 2.0f;
            } else if (xShift == 1 && yShift == 1) {
                for (; cx < wholeBlocks; ++cx)
                    mean[cx] =
                        (((top[2 * cx] + top[2 * cx + 1]) + bottom[2 * cx]) + bottom[2 * cx + 1]) / 4.0f;
            }
            for (; cx < chromaWidth; ++cx) { // part blocks at the right and bottom, other layouts
                const int x0 = cx << xShift, x1 = std::min(rgba.width, (cx + 1) << xShift);
                float sum = 0;
                for (int row = 0; row < blockRows; ++row)
                    for (int x = x0; x < x1; ++x) sum += plane(row, c)[x];
                mean[cx] = sum / static_cast<float>(blockRows * (x1 - x0));
            }
        }
        const float* r = m_means.data();
        const float* g = r + chromaWidth;
        const float* b = g + chromaWidth;
        for (int cx = 0; cx < chromaWidth; ++cx) {
            const float luma = kr * r[cx] + kg * g[cx] + kb * b[cx];
            cb[cx] = Code(512.0f + cbScale * (b[cx] - luma));
            cr[cx] = Code(512.0f + crScale * (r[cx] - luma));
        }
    }
}

} // namespace tsr::media
