// TIFF through libtiff: contiguous 8- or 16-bit unsigned samples, strips, no compression on
// write (fast and lossless).
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>

#include "pictures/imagefiles.h"
#include "pictures/pictureformats.h"
#include "pictures/rgbasamples.h"
#include "support/toolerror.h"
#include "tsr/media/decodedpicture.h"
#include "tsr/media/outputfile.h"

namespace tsr::tools {

using namespace media;

namespace {

thread_local std::string lastTiffError;

void TiffError(const char*, const char* format, va_list arguments) {
    char text[256];
    std::vsnprintf(text, sizeof text, format, arguments);
    lastTiffError = text;
}

void TiffWarning(const char*, const char*, va_list) {}

void InstallTiffHandlers() {
    TIFFSetErrorHandler(TiffError);
    TIFFSetWarningHandler(TiffWarning);
}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

} // namespace

void WriteTiff(const std::string& path, int width, int height, int channels, const uint16_t* samples,
               size_t rowStride) {
    InstallTiffHandlers();
    if (channels != 1 && channels != 3 && channels != 4)
        throw ToolError("TIFF pictures have 1, 3 or 4 channels");
    OutputFile output(path);
    {
        TiffHandle tiff(TIFFOpen(output.TemporaryPath().c_str(), "w"));
        if (!tiff) throw ToolError("cannot write " + path + ": " + lastTiffError);
        TIFF* t = tiff.get();
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(channels));
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(16));
        TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, static_cast<uint16_t>(SAMPLEFORMAT_UINT));
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, static_cast<uint16_t>(PLANARCONFIG_CONTIG));
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                     static_cast<uint16_t>(channels == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB));
        if (channels == 4) {
            const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
            TIFFSetField(t, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(1), &extra);
        }
        TIFFSetField(t, TIFFTAG_COMPRESSION, static_cast<uint16_t>(COMPRESSION_NONE));
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
        std::vector<uint16_t> row(static_cast<size_t>(width) * static_cast<size_t>(channels));
        for (int y = 0; y < height; ++y) {
            // libtiff may byte-swap the buffer in place; hand it a copy.
            const uint16_t* source = samples + rowStride * static_cast<size_t>(y);
            std::copy(source, source + row.size(), row.begin());
            if (TIFFWriteScanline(t, row.data(), static_cast<uint32_t>(y), 0) < 0)
                throw ToolError("cannot write " + path + ": " + lastTiffError);
        }
        if (!TIFFFlush(t)) throw ToolError("cannot write " + path + ": " + lastTiffError);
    }
    output.Commit();
}

Picture16 ReadTiff(const std::string& path) {
    InstallTiffHandlers();
    TiffHandle tiff(TIFFOpen(path.c_str(), "r"));
    if (!tiff) throw ToolError("cannot read " + path + ": " + lastTiffError);
    TIFF* t = tiff.get();
    uint32_t width = 0, height = 0;
    uint16_t channels = 1, bits = 8, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &channels);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &format);
    if ((bits != 8 && bits != 16) || planar != PLANARCONFIG_CONTIG || format != SAMPLEFORMAT_UINT ||
        (channels != 1 && channels != 3 && channels != 4) || width == 0 || height == 0 || width > 65535 ||
        height > 65535)
        throw ToolError(path + ": only contiguous 8- or 16-bit grey, RGB or RGBA TIFF pictures can be read");
    DecodedPicture::CheckPixelCount(path + ": ", width, height);
    Picture16 picture;
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    picture.channels = channels;
    const size_t stride = static_cast<size_t>(width) * channels;
    picture.samples.resize(stride * height);
    const tmsize_t scanline = TIFFScanlineSize(t);
    if (scanline < static_cast<tmsize_t>(stride * (bits / 8)))
        throw ToolError(path + ": unexpected TIFF row size");
    std::vector<uint8_t> row(static_cast<size_t>(scanline));
    for (uint32_t y = 0; y < height; ++y) {
        if (TIFFReadScanline(t, row.data(), y, 0) < 0)
            throw ToolError("cannot read " + path + ": " + lastTiffError);
        uint16_t* out = picture.samples.data() + stride * y;
        if (bits == 16) {
            std::copy_n(reinterpret_cast<const uint16_t*>(row.data()), stride, out);
        } else {
            for (size_t i = 0; i < stride; ++i) out[i] = static_cast<uint16_t>(row[i] * 257);
        }
    }
    return picture;
}

// The decoder's picture: one grey channel a photosite (mosaic) or four a pixel, 16 bits.
void WriteTiffDecoded(const DecodedPicture& picture, const std::string& path) {
    const auto* samples = reinterpret_cast<const uint16_t*>(picture.Picture());
    WriteTiff(path, picture.OutputWidth(), picture.OutputHeight(), picture.Mosaic() ? 1 : 4, samples,
              static_cast<size_t>(picture.RowPitch()) / 2);
}

// The engine's RGB clamped to 0..1 as 16-bit codes; alpha is left out.
void WriteTiffRgba(const RgbaFrame& frame, const std::string& path, const PictureWriteOptions&) {
    const std::vector<uint16_t> rgb = QuantisedRgb16(frame);
    WriteTiff(path, frame.width, frame.height, 3, rgb.data(), static_cast<size_t>(frame.width) * 3);
}

} // namespace tsr::tools
