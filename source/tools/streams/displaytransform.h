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
#pragma once

#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "pipeline/rgbaengine.h"

struct AVFrame;

namespace tsr::tools {

struct ColourTags {
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_MPEG;
};

ColourTags ColourTagsForCurve(unsigned curve);

// The display encoding of a value in 0..1 (already clipped) for `curve`.
float DisplayEncode(unsigned curve, float value);

class DisplayTransform {
public:
    explicit DisplayTransform(unsigned curve);
    const ColourTags& Tags() const { return m_tags; }
    // Fills the three planes of `picture` (a 10-bit planar Y'CbCr frame of the RGBA's size, 4:4:4,
    // 4:2:2 or 4:2:0 as its format says). Chroma is the mean over the pixels each sample covers.
    void ToYuv(const RgbaFrame& rgba, AVFrame& picture);

private:
    // The display values of row `y`'s red, green and blue, as three planes of the row's width.
    void EncodeRow(const RgbaFrame& rgba, int y, float* r, float* g, float* b) const;

    ColourTags m_tags;
    float m_kr = 0, m_kb = 0;
    std::vector<float> m_fromHalf; // display value of every half bit pattern
    std::vector<float> m_rows;     // EncodeRow's planes for the rows of one chroma row
    std::vector<float> m_means;    // R', G', B' means of one chroma row's samples, as planes
};

} // namespace tsr::tools
