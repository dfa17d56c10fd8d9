// Tables of the slice entropy code: coefficient scan orders and the adaptive codebook
// descriptors. Shared by the decoder and the encoder, which must agree on every entry.
#pragma once

#include <cstdint>

namespace tsr {

// Codebook descriptor D = S << 8 | K << 4 | R: switch S, exponent order K, Rice order R.
struct Descriptor {
    static constexpr unsigned S(uint16_t d) { return d >> 8; }
    static constexpr unsigned K(uint16_t d) { return (d >> 4) & 15; }
    static constexpr unsigned R(uint16_t d) { return d & 15; }
};

constexpr uint16_t kFirstDcDescriptor = 700; // S 2, K 11, R 12
constexpr uint16_t kDcDeltaStart = 100;
constexpr uint16_t kRunCountStart = 66;
constexpr uint16_t kZeroRunStart = 0;
constexpr uint16_t kLevelStart = 49;

constexpr int kDcTableLast = 12;
constexpr int kRunTableLast = 14;
constexpr int kZeroTableLast = 27;
constexpr int kLevelTableLast = 94;

// Descriptor for the next DC delta, indexed by min(|delta|, 12).
inline constexpr uint16_t kDcTable[kDcTableLast + 1] = {16, 33, 50, 51, 51, 51, 68, 68, 68, 68, 68, 68, 118};

// Descriptor for the next run count, indexed by min(level magnitude - 1, 14).
inline constexpr uint16_t kRunTable[kRunTableLast + 1] = {256, 273, 546, 546, 290, 290, 1075, 1075,
                                                          563, 563, 563, 563, 563, 563, 51};

// Descriptor for the next zero run, indexed by min(zero run, 27).
inline constexpr uint16_t kZeroTable[kZeroTableLast + 1] = {512, 256, 0,   0,  529, 529, 273, 273, 17, 17,
                                                            33,  33,  546, 34, 34,  34,  34,  34,  34, 34,
                                                            34,  34,  34,  34, 34,  50,  50,  68};

// Descriptor for the next level, indexed by min(level magnitude - 1, 94).
inline constexpr uint16_t kLevelTable[kLevelTableLast + 1] = {
    0,   529, 273, 273, 546, 546, 546, 290, 290, 290, 563, 563, 563, 563, 563, 563, 563, 563, 307,
    307, 580, 580, 580, 580, 580, 580, 580, 580, 580, 580, 580, 580, 580, 580, 580, 580, 580, 580,
    580, 580, 580, 580, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853,
    853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853,
    853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 853, 358};

// Scan position -> raster index (vertical frequency * side + horizontal frequency).
inline constexpr uint8_t kScan8x8[64] = {0,  8,  1,  9,  16, 24, 17, 25, 2,  10, 3,  11, 18, 26, 19, 27,
                                         32, 40, 33, 34, 41, 48, 56, 49, 42, 35, 43, 50, 57, 58, 51, 59,
                                         4,  12, 5,  6,  13, 20, 28, 21, 14, 7,  15, 22, 29, 36, 44, 37,
                                         30, 23, 31, 38, 45, 52, 60, 53, 46, 39, 47, 54, 61, 62, 55, 63};
inline constexpr uint8_t kScan4x4[16] = {0, 4, 1, 5, 8, 12, 9, 13, 2, 6, 3, 7, 10, 14, 11, 15};
inline constexpr uint8_t kScan2x2[4] = {0, 2, 1, 3};

// Scan table, coefficients per block and block side for a scale index 0..3.
inline const uint8_t* ScanTableForScale(int scaleIndex) {
    return scaleIndex <= 1 ? kScan8x8 : scaleIndex == 2 ? kScan4x4 : kScan2x2;
}
constexpr int Log2CoefficientsForScale(int scaleIndex) {
    return scaleIndex <= 1 ? 6 : scaleIndex == 2 ? 4 : 2;
}
constexpr int BlockSideForScale(int scaleIndex) {
    return scaleIndex <= 1 ? 8 : scaleIndex == 2 ? 4 : 2;
}

} // namespace tsr
