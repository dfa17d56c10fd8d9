// The picture formats the tool writes, in one table (pictureformats.cpp): each format's name for
// --format, the extensions that choose it from an output name, what it accepts (the decoder's
// pictures, the engine's RGBA) and its writers, which live in the format's own file.
#pragma once

#include <cstdint>
#include <string>

#include "pictures/imagefiles.h"
#include "tsr/media/decodedpicture.h"
#include "tsr/media/rgbaengine.h"

namespace tsr::tools {

enum class PictureFormat { Raw, Png16, Tiff16, Exr, Preview, Dpx };

// DPX header fields that come from the clip rather than the picture.
struct DpxFields {
    int bits = 10;        // 10 or 16
    double frameRate = 0; // 0: not known
    bool hasTimecode = false;
    uint32_t timecode = 0; // SMPTE 12M, BCD: hours in the top byte, frames in the lowest
};

// What the writers of RGBA take besides the frame; each reads only its own part.
struct PictureWriteOptions {
    ExrCompression compression = ExrCompression::Piz;
    DpxFields dpx;
};

// The format named by `option` (--format), else chosen by the extension of `path`, else raw.
// Throws a usage error for an unknown name, and, unless `allowRgbaFormats`, for a format that
// takes only the engine's RGBA.
PictureFormat FormatFor(const std::string& option, const std::string& path, bool allowRgbaFormats);
// "png", "preview", ...
const char* FormatName(PictureFormat format);
// The extension its files take: "png" for preview.
const char* PictureExtension(PictureFormat format);
// Whether, without %d in the output name, the frames go back to back into one file.
bool JoinsFrames(PictureFormat format);
// Whether the format's writer reads the DPX fields (--dpx-bits).
bool TakesDpxFields(PictureFormat format);

// A decoded picture (formats that accept one) or the engine's RGBA, written to `path`.
void WriteDecodedPicture(const media::DecodedPicture& picture, PictureFormat format, const std::string& path);
void WriteRgbaPicture(const media::RgbaFrame& frame, PictureFormat format, const std::string& path,
                      const PictureWriteOptions& options = {});

} // namespace tsr::tools
