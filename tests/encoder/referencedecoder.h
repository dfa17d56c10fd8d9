// A plain, slow reference decoder for tests: a direct transcription of the frame decoding rules
// (header checks, slice partition, bit reader, codewords, adaptive coefficient decoding,
// dequantisation, the inverse transform evaluated in double precision, tone curve, output
// layouts). It shares no tables or code with the encoder or the decoder, so it cross-checks both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace reference {

// Bit string read most significant bit first; zero bits past the end.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint32_t Peek32() const;
    uint32_t Read(int count); // count 0..32
    size_t Position() const { return m_bit; }

private:
    int Bit(size_t index) const;
    const uint8_t* m_data;
    size_t m_size;
    size_t m_bit = 0;
};

uint32_t ReadCodeword(BitReader& bits, uint16_t descriptor);

// Adaptation tables, as index -> descriptor.
uint16_t DcDescriptor(unsigned index);
uint16_t RunDescriptor(unsigned index);
uint16_t ZeroDescriptor(unsigned index);
uint16_t LevelDescriptor(unsigned index);
extern const uint8_t kScan8[64];

// Decodes one component: `coefficients` receives blocks x 64 values, block b's level of raster
// index i (8x8 raster) at b * 64 + i; only the first 64, 16 or 4 scan positions are read at
// scale index 0/1, 2, 3.
void DecodeComponent(const uint8_t* data, size_t size, int log2Blocks, int scaleIndex, int16_t* coefficients);

// Slice widths (log2, in macroblocks) of one macroblock row.
std::vector<int> SlicePartition(int mbWidth, int log2SliceWidth);

struct Frame {
    int version = 0;
    int width = 0;
    int height = 0;
    int bayerPattern = 0;
    int whiteLevelCode = 0;
    int log2SliceWidth = 0;
    uint8_t quantMatrix[64] = {};
    uint16_t toneCurve[8] = {};
    int maxDcStep = 0;
    int skippedSlices = 0;
    // Decoded picture: scale 0 gives one value per photosite (width x height); scale 1..3 four
    // values per pixel (red, green, blue, 65535), (width >> s) x (height >> s) pixels.
    int outputWidth = 0;
    int outputHeight = 0;
    std::vector<uint16_t> samples;
};

// Returns 0, or -2 for an invalid frame (output then empty).
int DecodeFrame(const std::vector<uint8_t>& frame, int scaleIndex, Frame& out);

// The decoder's curve: value s (0..65535) to output.
uint16_t ToneCurveKnotsOf(const uint16_t knots[8], uint32_t s);

} // namespace reference
