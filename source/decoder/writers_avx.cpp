// Writers of the full-size mosaic and of the half-size pixels that apply the tone curve with
// vector arithmetic on eight samples at a time instead of a table lookup per sample. This file
// is compiled for AVX (for the byte shuffle); it runs only when the processor and system support
// AVX.
#include <immintrin.h>

#include "format/bayercell.h"
#include "writers.h"

namespace tsr {
namespace {

// The curve's segment knots and slopes, and the arithmetic of the tabulated curve:
// out = k[i] + ((s & 8191) * d[i] + 4096) >> 13 with i = s >> 13, saturated to 65535. With
// f = s << 3 (the low 13 bits of s, scaled by 8), f * d / 65536 rounded to nearest is the
// rounded shift, taken as the high half of the product plus the top bit of its low half.
struct VectorCurve {
    __m128i knots, slopes;
    explicit VectorCurve(const WriterCurve& curve)
        : knots(_mm_loadu_si128(reinterpret_cast<const __m128i*>(curve.knots))),
          slopes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(curve.slopes))) {}

    __m128i Apply(__m128i s) const {
        // Byte indices 2i, 2i + 1 of segment i in each 16-bit lane.
        const __m128i segment = _mm_srli_epi16(s, 13);
        const __m128i index =
            _mm_add_epi16(_mm_mullo_epi16(segment, _mm_set1_epi16(0x0202)), _mm_set1_epi16(0x0100));
        const __m128i k = _mm_shuffle_epi8(knots, index), d = _mm_shuffle_epi8(slopes, index);
        const __m128i f = _mm_slli_epi16(s, 3);
        const __m128i rise = _mm_add_epi16(_mm_mulhi_epu16(f, d), _mm_srli_epi16(_mm_mullo_epi16(f, d), 15));
        return _mm_adds_epu16(k, rise);
    }
};

__m128i LoadRow(const uint16_t* samples, int m) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + 8 * m));
}
void Store(uint8_t* at, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), v);
}

template <int Pattern>
void WriteMosaicVector(const uint16_t* const samples[4], uint8_t* out, ptrdiff_t rowPitch, int rows,
                       const WriterCurve& curve) {
    const VectorCurve c(curve);
    const uint16_t* cell[4];
    for (int i = 0; i < 4; ++i) cell[i] = samples[kCellComponent[Pattern][i]];
    for (int m = 0; 2 * m < rows; ++m) {
        const __m128i left = c.Apply(LoadRow(cell[0], m)), right = c.Apply(LoadRow(cell[1], m));
        uint8_t* top = out + 2 * m * rowPitch;
        Store(top, _mm_unpacklo_epi16(left, right));
        Store(top + 16, _mm_unpackhi_epi16(left, right));
        if (2 * m + 1 < rows) {
            const __m128i bottomLeft = c.Apply(LoadRow(cell[2], m)),
                          bottomRight = c.Apply(LoadRow(cell[3], m));
            Store(top + rowPitch, _mm_unpacklo_epi16(bottomLeft, bottomRight));
            Store(top + rowPitch + 16, _mm_unpackhi_epi16(bottomLeft, bottomRight));
        }
    }
}

// Half size: eight pixels a row of red, green, blue and 65535.
void WritePixels8Vector(const uint16_t* const samples[4], uint8_t* out, ptrdiff_t rowPitch, int rows,
                        const WriterCurve& curve) {
    const VectorCurve c(curve);
    const __m128i opaque = _mm_set1_epi16(-1);
    for (int m = 0; m < rows; ++m) {
        const __m128i red = c.Apply(LoadRow(samples[3], m)), green = c.Apply(LoadRow(samples[0], m));
        const __m128i blue = c.Apply(LoadRow(samples[2], m));
        const __m128i redGreenLow = _mm_unpacklo_epi16(red, green),
                      redGreenHigh = _mm_unpackhi_epi16(red, green);
        const __m128i blueLow = _mm_unpacklo_epi16(blue, opaque), blueHigh = _mm_unpackhi_epi16(blue, opaque);
        uint8_t* row = out + m * rowPitch;
        Store(row, _mm_unpacklo_epi32(redGreenLow, blueLow));
        Store(row + 16, _mm_unpackhi_epi32(redGreenLow, blueLow));
        Store(row + 32, _mm_unpacklo_epi32(redGreenHigh, blueHigh));
        Store(row + 48, _mm_unpackhi_epi32(redGreenHigh, blueHigh));
    }
}
} // namespace

MacroblockWriter SelectVectorWriter(int scaleIndex, int bayerPattern) {
    static const MacroblockWriter mosaic[4] = {WriteMosaicVector<0>, WriteMosaicVector<1>,
                                               WriteMosaicVector<2>, WriteMosaicVector<3>};
    if (scaleIndex == 0) return mosaic[bayerPattern & 3];
    return scaleIndex == 1 ? WritePixels8Vector : nullptr;
}

} // namespace tsr
