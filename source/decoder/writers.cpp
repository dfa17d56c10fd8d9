#include "writers.h"

#include <cstring>

#include "format/bayercell.h"

namespace tsr {

namespace {
// Full-size mosaic: block sample (m, n) of a component goes to photosite (2m + r, 2n + q).
template <int Pattern>
void WriteMosaic(const uint16_t* const samples[4], uint8_t* out, ptrdiff_t rowPitch, int rows,
                 const WriterCurve& writerCurve) {
    const uint16_t* curve = writerCurve.table;
    const uint16_t* topLeft = samples[kCellComponent[Pattern][0]];
    const uint16_t* topRight = samples[kCellComponent[Pattern][1]];
    const uint16_t* bottomLeft = samples[kCellComponent[Pattern][2]];
    const uint16_t* bottomRight = samples[kCellComponent[Pattern][3]];
    for (int m = 0; 2 * m < rows; ++m) {
        uint16_t top[16], bottom[16];
        for (int n = 0; n < 8; ++n) {
            top[2 * n] = curve[topLeft[8 * m + n]];
            top[2 * n + 1] = curve[topRight[8 * m + n]];
            bottom[2 * n] = curve[bottomLeft[8 * m + n]];
            bottom[2 * n + 1] = curve[bottomRight[8 * m + n]];
        }
        std::memcpy(out + 2 * m * rowPitch, top, sizeof top);
        if (2 * m + 1 < rows) std::memcpy(out + (2 * m + 1) * rowPitch, bottom, sizeof bottom);
    }
}

// Reduced size: pixel (m, n) is red, green, blue from components 3, 0, 2, then 65535.
template <int Side>
void WritePixels(const uint16_t* const samples[4], uint8_t* out, ptrdiff_t rowPitch, int rows,
                 const WriterCurve& writerCurve) {
    const uint16_t* curve = writerCurve.table;
    const uint16_t* red = samples[3];
    const uint16_t* green = samples[0];
    const uint16_t* blue = samples[2];
    for (int m = 0; m < rows; ++m) {
        uint16_t row[4 * Side];
        for (int n = 0; n < Side; ++n) {
            row[4 * n] = curve[red[Side * m + n]];
            row[4 * n + 1] = curve[green[Side * m + n]];
            row[4 * n + 2] = curve[blue[Side * m + n]];
            row[4 * n + 3] = 65535;
        }
        std::memcpy(out + m * rowPitch, row, sizeof row);
    }
}
} // namespace

MacroblockWriter SelectWriter(bool fullSizeMosaic, int scaleIndex, int bayerPattern, bool vector) {
    if (vector && fullSizeMosaic == (scaleIndex == 0) && scaleIndex <= 1)
        return SelectVectorWriter(scaleIndex, bayerPattern);
    if (fullSizeMosaic) {
        if (scaleIndex != 0) return nullptr;
        static const MacroblockWriter mosaic[4] = {WriteMosaic<0>, WriteMosaic<1>, WriteMosaic<2>,
                                                   WriteMosaic<3>};
        return mosaic[bayerPattern & 3];
    }
    switch (scaleIndex) {
    case 1:
        return WritePixels<8>;
    case 2:
        return WritePixels<4>;
    case 3:
        return WritePixels<2>;
    default:
        return nullptr;
    }
}

} // namespace tsr
