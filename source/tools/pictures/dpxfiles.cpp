#include "pictures/dpxfiles.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "format/bigendian.h"
#include "pictures/rgbasamples.h"
#include "support/toolerror.h"
#include "tsr/media/outputfile.h"

namespace tsr::tools {

using namespace media;

namespace {

// Header layout: file information, image information, orientation, film and television
// headers, 2048 bytes in all, then the pixels.
constexpr size_t kHeaderSize = 2048;
constexpr size_t kGenericHeaderSize = 1664;
constexpr size_t kIndustryHeaderSize = 384;

// Codes of the image element's transfer and colorimetric fields.
constexpr uint8_t kUserDefined = 0;
constexpr uint8_t kLinear = 2;
constexpr uint8_t kBt709 = 6;
constexpr uint8_t kBt2020 = 14; // added with the BT.2020 codes of the 2014 revision
constexpr uint8_t kDescriptorRgb = 50;

void PutText(uint8_t* at, size_t size, const std::string& text) {
    std::memset(at, 0, size);
    std::memcpy(at, text.data(), std::min(size - 1, text.size()));
}

} // namespace

DpxCodes DpxCodesForCurve(unsigned curve) {
    switch (curve) {
    case 0:
        return {kLinear, kBt709};
    case 1:
        return {kLinear, kBt2020};
    default: // HLG and the camera log curves: no code every reader knows names them
        return {kUserDefined, kBt2020};
    }
}

void WriteDpx(const std::string& path, const RgbaFrame& frame, const DpxFields& fields) {
    if (fields.bits != 10 && fields.bits != 16) throw UsageError("DPX takes 10 or 16 bits");
    const size_t width = static_cast<size_t>(frame.width), height = static_cast<size_t>(frame.height);
    const size_t rowBytes = fields.bits == 10 ? 4 * width : 6 * width;
    std::vector<uint8_t> bytes(kHeaderSize + rowBytes * height);
    uint8_t* header = bytes.data();
    // Fields left undefined are all ones, as readers expect.
    std::memset(header, 0xFF, kHeaderSize);

    StoreU32Be(header + 0, 0x53445058); // "SDPX": big-endian
    StoreU32Be(header + 4, kHeaderSize);
    PutText(header + 8, 8, "V2.0");
    StoreU32Be(header + 16, static_cast<uint32_t>(bytes.size()));
    StoreU32Be(header + 20, 1); // ditto key: a new image
    StoreU32Be(header + 24, kGenericHeaderSize);
    StoreU32Be(header + 28, kIndustryHeaderSize);
    StoreU32Be(header + 32, 0); // no user data
    const size_t slash = path.find_last_of('/');
    PutText(header + 36, 100, slash == std::string::npos ? path : path.substr(slash + 1));
    PutText(header + 136, 24, "");
    PutText(header + 160, 100, "tsrraw");
    PutText(header + 260, 200, "");
    PutText(header + 460, 200, "");

    StoreU16Be(header + 768, 0); // left to right, top to bottom
    StoreU16Be(header + 770, 1); // one image element
    StoreU32Be(header + 772, static_cast<uint32_t>(width));
    StoreU32Be(header + 776, static_cast<uint32_t>(height));
    uint8_t* element = header + 780;
    const uint32_t maximum = (1u << fields.bits) - 1;
    const DpxCodes codes = DpxCodesForCurve(frame.curve);
    StoreU32Be(element + 0, 0); // unsigned
    StoreU32Be(element + 4, 0);
    StoreF32Be(element + 8, 0.0f);
    StoreU32Be(element + 12, maximum);
    StoreF32Be(element + 16, 1.0f);
    element[20] = kDescriptorRgb;
    element[21] = codes.transfer;
    element[22] = codes.colorimetric;
    element[23] = static_cast<uint8_t>(fields.bits);
    StoreU16Be(element + 24, fields.bits == 10 ? 1 : 0); // 10 bits: filled to 32-bit words
    StoreU16Be(element + 26, 0);                         // not run-length encoded
    StoreU32Be(element + 28, kHeaderSize);
    StoreU32Be(element + 32, 0); // no padding at row or image end
    StoreU32Be(element + 36, 0);
    PutText(element + 40, 32, "");

    PutText(header + 1408 + 24, 100, ""); // orientation: source file name, time, device, serial
    PutText(header + 1408 + 124, 24, "");
    PutText(header + 1408 + 148, 32, "");
    PutText(header + 1408 + 180, 32, "");
    if (fields.frameRate > 0) {
        StoreF32Be(header + 1724, static_cast<float>(fields.frameRate)); // film header
        StoreF32Be(header + 1940, static_cast<float>(fields.frameRate)); // television header
    }
    if (fields.hasTimecode) {
        StoreU32Be(header + 1920, fields.timecode);
        StoreU32Be(header + 1924, 0); // user bits
    }

    uint8_t* out = header + kHeaderSize;
    for (size_t p = 0; p < width * height; ++p) {
        const uint32_t r = QuantisedSample(RgbaSample(frame, 4 * p), maximum);
        const uint32_t g = QuantisedSample(RgbaSample(frame, 4 * p + 1), maximum);
        const uint32_t b = QuantisedSample(RgbaSample(frame, 4 * p + 2), maximum);
        if (fields.bits == 10) {
            StoreU32Be(out, r << 22 | g << 12 | b << 2);
            out += 4;
        } else {
            StoreU16Be(out, static_cast<uint16_t>(r));
            StoreU16Be(out + 2, static_cast<uint16_t>(g));
            StoreU16Be(out + 4, static_cast<uint16_t>(b));
            out += 6;
        }
    }
    OutputFile output(path);
    output.Write(bytes.data(), bytes.size());
    output.Commit();
}

void WriteDpxRgba(const RgbaFrame& frame, const std::string& path, const PictureWriteOptions& options) {
    WriteDpx(path, frame, options.dpx);
}

} // namespace tsr::tools
