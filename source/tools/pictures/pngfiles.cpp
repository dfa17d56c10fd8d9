// PNG through libpng. libpng reports errors by longjmp; every libpng call below stays inside a
// function whose only automatic objects are plain pointers and integers, so nothing with a
// destructor is skipped by the jump.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "pictures/imagefiles.h"
#include "pictures/pictureformats.h"
#include "pictures/rgbasamples.h"
#include "support/toolerror.h"
#include "tsr/media/decodedpicture.h"
#include "tsr/media/outputfile.h"

namespace tsr::tools {

using namespace media;

namespace {

void PngErrorHandler(png_structp png, png_const_charp message) {
    char* buffer = static_cast<char*>(png_get_error_ptr(png));
    if (buffer) std::snprintf(buffer, 200, "%s", message);
    png_longjmp(png, 1);
}

void PngWarningHandler(png_structp, png_const_charp) {}

// Returns null on success, else the error text (in `error`).
const char* WritePngRows(std::FILE* file, int width, int height, int channels, int bits,
                         const uint8_t* const* rows, char* error) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, error, PngErrorHandler, PngWarningHandler);
    if (!png) return "cannot start the PNG writer";
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return "cannot start the PNG writer";
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return ""; // the handler left the text in the caller's buffer
    }
    png_init_io(png, file);
    const int colourType = channels == 1   ? PNG_COLOR_TYPE_GRAY
                           : channels == 3 ? PNG_COLOR_TYPE_RGB
                                           : PNG_COLOR_TYPE_RGB_ALPHA;
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bits,
                 colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 3);
    png_write_info(png, info);
    if (bits == 16) png_set_swap(png); // our samples are in host (little-endian) order
    for (int y = 0; y < height; ++y) png_write_row(png, rows[y]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return nullptr;
}

struct PngHeader {
    png_uint_32 width = 0, height = 0;
    int channels = 0;
};

const char* ReadPngRows(std::FILE* file, PngHeader* header, std::vector<uint16_t>* samples, char* error) {
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, error, PngErrorHandler, PngWarningHandler);
    if (!png) return "cannot start the PNG reader";
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return "cannot start the PNG reader";
    }
    png_bytep* volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        delete[] rows;
        return ""; // the handler left the text in the caller's buffer
    }
    png_init_io(png, file);
    png_set_user_limits(png, 65535, 65535);
    png_read_info(png, info);
    png_set_expand(png);    // palettes and low bit depths to 8 bits, tRNS to alpha
    png_set_expand_16(png); // 8 bits to 16
    png_set_swap(png);
    if (png_get_color_type(png, info) == PNG_COLOR_TYPE_GRAY_ALPHA) // keep the grey
        png_set_strip_alpha(png);
    png_read_update_info(png, info);
    header->width = png_get_image_width(png, info);
    header->height = png_get_image_height(png, info);
    header->channels = png_get_channels(png, info);
    if (static_cast<unsigned long long>(header->width) * header->height > DecodedPicture::MaxPixels()) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::snprintf(error, 200,
                      "a %ux%u picture has more than %llu pixels (raise the limit with --max-pixels)",
                      static_cast<unsigned>(header->width), static_cast<unsigned>(header->height),
                      DecodedPicture::MaxPixels());
        return "";
    }
    const size_t stride = static_cast<size_t>(header->width) * static_cast<size_t>(header->channels);
    samples->assign(stride * header->height, 0);
    rows = new png_bytep[header->height];
    for (png_uint_32 y = 0; y < header->height; ++y)
        rows[y] = reinterpret_cast<png_bytep>(samples->data() + stride * y);
    png_read_image(png, const_cast<png_bytepp>(rows));
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    delete[] rows;
    return nullptr;
}

void WriteRows(const std::string& path, int width, int height, int channels, int bits, const uint8_t* first,
               size_t rowBytes) {
    if (channels != 1 && channels != 3 && channels != 4)
        throw ToolError("PNG pictures have 1, 3 or 4 channels");
    std::vector<const uint8_t*> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) rows[static_cast<size_t>(y)] = first + rowBytes * static_cast<size_t>(y);
    OutputFile output(path);
    char error[200] = "PNG write failed";
    const char* failed = WritePngRows(output.Stream(), width, height, channels, bits, rows.data(), error);
    if (failed) throw ToolError("cannot write " + path + ": " + (*failed ? failed : error));
    output.Commit();
}

} // namespace

void WritePng(const std::string& path, int width, int height, int channels, const uint16_t* samples,
              size_t rowStride) {
    WriteRows(path, width, height, channels, 16, reinterpret_cast<const uint8_t*>(samples), rowStride * 2);
}

void WritePng8(const std::string& path, int width, int height, int channels, const uint8_t* samples,
               size_t rowStride) {
    WriteRows(path, width, height, channels, 8, samples, rowStride);
}

Picture16 ReadPng(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) throw ToolError("cannot open " + path);
    Picture16 picture;
    PngHeader header;
    char error[200] = "not a PNG file";
    const char* failed = ReadPngRows(file, &header, &picture.samples, error);
    std::fclose(file);
    if (failed) throw ToolError(path + ": " + (*failed ? failed : error));
    picture.width = static_cast<int>(header.width);
    picture.height = static_cast<int>(header.height);
    picture.channels = header.channels;
    return picture;
}

// The decoder's picture: one grey channel a photosite (mosaic) or four a pixel, 16 bits.
void WritePngDecoded(const DecodedPicture& picture, const std::string& path) {
    const auto* samples = reinterpret_cast<const uint16_t*>(picture.Picture());
    WritePng(path, picture.OutputWidth(), picture.OutputHeight(), picture.Mosaic() ? 1 : 4, samples,
             static_cast<size_t>(picture.RowPitch()) / 2);
}

// The engine's RGB clamped to 0..1 as 16-bit codes; alpha is left out.
void WritePngRgba(const RgbaFrame& frame, const std::string& path, const PictureWriteOptions&) {
    const std::vector<uint16_t> rgb = QuantisedRgb16(frame);
    WritePng(path, frame.width, frame.height, 3, rgb.data(), static_cast<size_t>(frame.width) * 3);
}

// 8-bit RGB for a quick look: linear output (curves 0 and 1) through the sRGB transfer, curved
// output as it is.
void WritePreviewRgba(const RgbaFrame& frame, const std::string& path, const PictureWriteOptions&) {
    const size_t pixels = static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height);
    // A table over 0..1 in steps of 1/16383 keeps pow() out of the pixel loop.
    constexpr int kSteps = 16383;
    const bool linear = frame.curve <= 1;
    std::vector<uint8_t> table(kSteps + 1);
    for (int i = 0; i <= kSteps; ++i)
        table[static_cast<size_t>(i)] = PreviewValue(static_cast<float>(i) / kSteps, linear);
    std::vector<uint8_t> rgb(pixels * 3);
    for (size_t p = 0; p < pixels; ++p)
        for (size_t c = 0; c < 3; ++c) {
            const float v = RgbaSample(frame, 4 * p + c);
            const float clamped = std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, 1.0f);
            rgb[3 * p + c] = table[static_cast<size_t>(std::lround(clamped * kSteps))];
        }
    WritePng8(path, frame.width, frame.height, 3, rgb.data(), static_cast<size_t>(frame.width) * 3);
}

} // namespace tsr::tools
