#include "pictures/pictureformats.h"

#include <iterator>

#include "support/outputnames.h"
#include "support/toolerror.h"

namespace tsr::tools {

using media::DecodedPicture;
using media::RgbaFrame;

// The writers, each defined in its format's file.
void WriteRawDecoded(const DecodedPicture& picture, const std::string& path);
void WriteRawRgba(const RgbaFrame& frame, const std::string& path, const PictureWriteOptions& options);
void WritePngDecoded(const DecodedPicture& picture, const std::string& path);
void WritePngRgba(const RgbaFrame& frame, const std::string& path, const PictureWriteOptions& options);
void WritePreviewRgba(const RgbaFrame& frame, const std::string& path, const PictureWriteOptions& options);
void WriteTiffDecoded(const DecodedPicture& picture, const std::string& path);
void WriteTiffRgba(const RgbaFrame& frame, const std::string& path, const PictureWriteOptions& options);
void WriteExrRgba(const RgbaFrame& frame, const std::string& path, const PictureWriteOptions& options);
void WriteDpxRgba(const RgbaFrame& frame, const std::string& path, const PictureWriteOptions& options);

namespace {

struct FormatEntry {
    PictureFormat format;
    const char* name;          // for --format and messages
    const char* alias;         // another --format spelling, or null
    const char* extensions[2]; // output names that choose it (null: none, or fewer)
    const char* extension;     // what its files are named: out_%04d.<extension>
    bool joinsFrames;          // without %d, all frames back to back in one file
    bool takesDpxFields;       // --dpx-bits and the clip's rate and time code
    void (*writeDecoded)(const DecodedPicture&, const std::string&); // null: RGBA only
    void (*writeRgba)(const RgbaFrame&, const std::string&, const PictureWriteOptions&);
};

// In the order output names are matched; raw, matched by no extension, is the fallback.
const FormatEntry kFormats[] = {
    {PictureFormat::Raw,
     "raw",
     nullptr,
     {nullptr, nullptr},
     "raw",
     true,
     false,
     WriteRawDecoded,
     WriteRawRgba},
    {PictureFormat::Png16,
     "png",
     nullptr,
     {".png", nullptr},
     "png",
     false,
     false,
     WritePngDecoded,
     WritePngRgba},
    {PictureFormat::Tiff16,
     "tiff",
     "tif",
     {".tif", ".tiff"},
     "tiff",
     false,
     false,
     WriteTiffDecoded,
     WriteTiffRgba},
    {PictureFormat::Exr, "exr", nullptr, {".exr", nullptr}, "exr", false, false, nullptr, WriteExrRgba},
    {PictureFormat::Preview,
     "preview",
     nullptr,
     {nullptr, nullptr},
     "png",
     false,
     false,
     nullptr,
     WritePreviewRgba},
    {PictureFormat::Dpx, "dpx", nullptr, {".dpx", nullptr}, "dpx", false, true, nullptr, WriteDpxRgba},
};

const FormatEntry& Entry(PictureFormat format) {
    for (const FormatEntry& entry : kFormats)
        if (entry.format == format) return entry;
    return kFormats[0];
}

} // namespace

PictureFormat FormatFor(const std::string& option, const std::string& path, bool allowRgbaFormats) {
    const FormatEntry* chosen = nullptr;
    for (const FormatEntry& entry : kFormats) {
        if (option.empty()) {
            for (const char* extension : entry.extensions)
                if (!chosen && extension && HasExtension(path, extension)) chosen = &entry;
        } else if (option == entry.name || (entry.alias && option == entry.alias)) {
            chosen = &entry;
        }
    }
    if (!chosen && !option.empty()) throw UsageError("unknown format \"" + option + "\"");
    if (!chosen) chosen = &Entry(PictureFormat::Raw);
    if (!allowRgbaFormats && !chosen->writeDecoded)
        throw UsageError(std::string(chosen->name) + " output needs the debayer: use convert");
    return chosen->format;
}

const char* FormatName(PictureFormat format) {
    return Entry(format).name;
}

const char* PictureExtension(PictureFormat format) {
    return Entry(format).extension;
}

bool JoinsFrames(PictureFormat format) {
    return Entry(format).joinsFrames;
}

bool TakesDpxFields(PictureFormat format) {
    return Entry(format).takesDpxFields;
}

void WriteDecodedPicture(const DecodedPicture& picture, PictureFormat format, const std::string& path) {
    const FormatEntry& entry = Entry(format);
    if (!entry.writeDecoded)
        throw UsageError(std::string(entry.name) + " output needs the debayer: use convert");
    entry.writeDecoded(picture, path);
}

void WriteRgbaPicture(const RgbaFrame& frame, PictureFormat format, const std::string& path,
                      const PictureWriteOptions& options) {
    Entry(format).writeRgba(frame, path, options);
}

} // namespace tsr::tools
