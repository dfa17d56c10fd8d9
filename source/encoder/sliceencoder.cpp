#include "sliceencoder.h"

#include <cmath>

#include "entropyencoder.h"
#include "format/bayercell.h"
#include "format/bigendian.h"
#include "format/codetables.h"
#include "format/frameformat.h"
#include "forwardtransform.h"

namespace tsr {
namespace {

// Photosites past the picture edge repeat the last row or column of the same colour.
inline int PadIndex(int i, int size) {
    return i < size ? i : size - 2 + ((i - size) & 1);
}

int Quantise(float coefficient, float inverseStep, int low, int high) {
    const float q = coefficient * inverseStep;
    const long level = std::lround(q);
    return level < low ? low : level > high ? high : static_cast<int>(level);
}

} // namespace

void SliceEncoder::Transform(const SliceSource& source, int mbX, int mbY, int log2Width) {
    m_log2Width = log2Width;
    const int blocks = 1 << log2Width;
    int rows[16];
    for (int r = 0; r < 16; ++r) rows[r] = PadIndex(mbY * kMacroblockSide + r, source.height);
    const InverseToneCurve& inverse = *source.inverseCurve;

    for (int b = 0; b < blocks; ++b) {
        const int x0 = (mbX + b) * kMacroblockSide;
        int columns[16];
        for (int c = 0; c < 16; ++c) columns[c] = PadIndex(x0 + c, source.width);
        for (int r = 0; r < 16; ++r) {
            const uint16_t* row = source.mosaic + rows[r] * source.rowPitchSamples;
            const int m = r >> 1;
            const int left = kCellComponent[source.bayerPattern][2 * (r & 1)];
            const int right = kCellComponent[source.bayerPattern][2 * (r & 1) + 1];
            for (int n = 0; n < 8; ++n) {
                m_coefficients[left][b][8 * m + n] =
                    static_cast<float>(inverse(row[columns[2 * n]])) - 32768.0f;
                m_coefficients[right][b][8 * m + n] =
                    static_cast<float>(inverse(row[columns[2 * n + 1]])) - 32768.0f;
            }
        }
        for (int component = 0; component < 4; ++component) ForwardTransform8x8(m_coefficients[component][b]);
    }
}

size_t SliceEncoder::Emit(const SliceSource& source, int qScale, std::vector<uint8_t>& out) {
    const int blocks = 1 << m_log2Width;
    const int count = 64 << m_log2Width;
    float inverseStep[64];
    for (int i = 0; i < 64; ++i) inverseStep[i] = 1.0f / static_cast<float>(source.quantMatrix[i] * qScale);

    const size_t start = out.size();
    const int headerSize = kMinSliceHeaderSize + source.headerExtension;
    out.resize(start + static_cast<size_t>(headerSize), 0);
    size_t componentSize[4];
    for (int component = 0; component < 4; ++component) {
        for (int k = 0; k < 64; ++k) {
            const int raster = kScan8x8[k];
            // DCs keep the full 16-bit range; AC levels stay symmetric.
            const int low = raster == 0 ? -32768 : -32767;
            for (int b = 0; b < blocks; ++b)
                m_levels[(k << m_log2Width) + b] = static_cast<int16_t>(
                    Quantise(m_coefficients[component][b][raster], inverseStep[raster], low, 32767));
        }
        componentSize[component] = EncodeComponent(m_levels, count, m_log2Width, out);
    }

    const size_t size = out.size() - start;
    if (size > 0xFFFF || componentSize[0] > 0xFFFF || componentSize[1] > 0xFFFF ||
        componentSize[2] > 0xFFFF) {
        out.resize(start);
        return 0;
    }
    uint8_t* header = out.data() + start;
    header[0] = static_cast<uint8_t>(headerSize << 3);
    header[1] = static_cast<uint8_t>(qScale);
    for (int component = 0; component < 3; ++component)
        StoreU16Be(header + 2 + 2 * component, static_cast<uint32_t>(componentSize[component]));
    return size;
}

} // namespace tsr
