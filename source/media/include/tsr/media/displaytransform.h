// What a proxy's pictures look like: the engine's RGBA, in the curve it was asked for, turned
// into the 10-bit Y'CbCr a video codec takes, with the colour tags that tell players how.
//
//   curve 0, linear BT.709  -> BT.709 transfer, BT.709 primaries and matrix
//   curve 1, linear BT.2020 -> BT.709-type transfer (as BT.2020 defines it), BT.2020 primaries,
//                              non-constant-luminance matrix
//   curve 2, HLG            -> unchanged, tagged HLG (ARIB STD-B67) with BT.2020
//   curves 3..8, log        -> unchanged, transfer tagged unspecified; BT.2020 primaries/matrix
//
// Values are clipped to 0..1 and quantised to limited ("tv") range: Y' 64..940, Cb/Cr 64..960.
// For players the same display values come as 16-bit RGBA too (full range, alpha 1.0).
//
//   tsr::media::DisplayTransform display(rgba.curve);
//   std::vector<uint16_t> pixels(4 * rgba.width * rgba.height);
//   display.ToRgba64(rgba, pixels.data(), 8 * rgba.width);
//   tag(display.Tags());                      // ISO/IEC 23091-2 code points
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tsr/media/rgbaengine.h"

namespace tsr::media {

// Code points of ISO/IEC 23091-2 (ITU-T H.273), as video codecs, containers and FFmpeg's
// AVColor* enumerations number them.
enum class ColourPrimaries : int { Bt709 = 1, Unspecified = 2, Bt2020 = 9 };
enum class TransferCharacteristic : int { Bt709 = 1, Unspecified = 2, Bt2020TenBit = 14, AribStdB67 = 18 };
enum class MatrixCoefficients : int { Bt709 = 1, Unspecified = 2, Bt2020NonConstant = 9 };
// FFmpeg's AVColorRange numbering: limited ("tv", "mpeg") 1, full ("pc", "jpeg") 2.
enum class ColourRange : int { Limited = 1, Full = 2 };

struct ColourTags {
    ColourPrimaries primaries = ColourPrimaries::Unspecified;
    TransferCharacteristic transfer = TransferCharacteristic::Unspecified;
    MatrixCoefficients matrix = MatrixCoefficients::Unspecified;
    ColourRange range = ColourRange::Limited;
};

// Three planes of 10-bit samples in 16-bit words (as FFmpeg's yuv4xxp10 formats hold them).
// Chroma is subsampled by 1 << log2ChromaWidth across and 1 << log2ChromaHeight down (0 and 0
// 4:4:4, 1 and 0 4:2:2, 1 and 1 4:2:0); strides are in bytes.
struct YuvPlanes {
    uint8_t* data[3] = {nullptr, nullptr, nullptr};
    std::ptrdiff_t stride[3] = {0, 0, 0};
    int log2ChromaWidth = 0, log2ChromaHeight = 0;
};

ColourTags ColourTagsForCurve(unsigned curve);

// The display encoding of a value in 0..1 (already clipped) for `curve`.
float DisplayEncode(unsigned curve, float value);

class DisplayTransform {
public:
    explicit DisplayTransform(unsigned curve);
    const ColourTags& Tags() const { return m_tags; }
    // Fills the three planes of `picture` (10-bit planar Y'CbCr of the RGBA's size). Chroma is the
    // mean over the pixels each sample covers.
    void ToYuv(const RgbaFrame& rgba, const YuvPlanes& picture);
    // Writes the display values as 16-bit RGBA (code = value * 65535, rounded; alpha 65535), rows
    // `rowStride` bytes apart.
    void ToRgba64(const RgbaFrame& rgba, uint16_t* pixels, std::ptrdiff_t rowStride) const;

private:
    // The display values of row `y`'s red, green and blue, as three planes of the row's width.
    void EncodeRow(const RgbaFrame& rgba, int y, float* r, float* g, float* b) const;

    ColourTags m_tags;
    float m_kr = 0, m_kb = 0;
    std::vector<float> m_fromHalf; // display value of every half bit pattern
    std::vector<float> m_rows;     // EncodeRow's planes for the rows of one chroma row
    std::vector<float> m_means;    // R', G', B' means of one chroma row's samples, as planes
};

} // namespace tsr::media
