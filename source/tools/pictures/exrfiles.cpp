// OpenEXR through the OpenEXR library: RGBA half or float scanline files, and R, G, B (or Y)
// channels read as floats.
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#include <ImfStandardAttributes.h>
#include <ImfThreading.h>
#include <half.h>

#include <exception>
#include <mutex>
#include <thread>

#include "common/processorcount.h"
#include "pictures/imagefiles.h"
#include "pictures/pictureformats.h"
#include "support/toolerror.h"
#include "tsr/media/decodedpicture.h"
#include "tsr/media/mediaerror.h"
#include "tsr/media/outputfile.h"

namespace tsr::tools {

using namespace media;

namespace {

void StartExrThreads() {
    static std::once_flag once;
    std::call_once(once, [] {
        Imf::setGlobalThreadCount(ProcessorCount());
        // Headers claiming more are refused by the library itself, before it sizes its tables
        // (line offsets, tiles) from them.
        Imf::Header::setMaxImageSize(65535, 65535);
        Imf::Header::setMaxTileSize(65535, 65535);
    });
}

Imf::Compression ToImf(ExrCompression compression) {
    switch (compression) {
    case ExrCompression::None:
        return Imf::NO_COMPRESSION;
    case ExrCompression::Piz:
        return Imf::PIZ_COMPRESSION;
    case ExrCompression::Rle:
        return Imf::RLE_COMPRESSION;
    case ExrCompression::Zip:
    default:
        return Imf::ZIP_COMPRESSION;
    }
}

void WriteExr(const std::string& path, int width, int height, const char* pixels, Imf::PixelType type,
              size_t sampleBytes, ExrCompression compression, bool bt2020) {
    StartExrThreads();
    OutputFile output(path);
    try {
        Imf::Header header(width, height);
        header.compression() = ToImf(compression);
        if (bt2020)
            Imf::addChromaticities(
                header, Imf::Chromaticities(Imath::V2f(0.708f, 0.292f), Imath::V2f(0.170f, 0.797f),
                                            Imath::V2f(0.131f, 0.046f), Imath::V2f(0.3127f, 0.3290f)));
        static const char* const names[] = {"R", "G", "B", "A"};
        Imf::FrameBuffer frame;
        const size_t pixelBytes = 4 * sampleBytes;
        for (int c = 0; c < 4; ++c) {
            header.channels().insert(names[c], Imf::Channel(type));
            frame.insert(names[c], Imf::Slice(type, const_cast<char*>(pixels + c * sampleBytes), pixelBytes,
                                              pixelBytes * static_cast<size_t>(width)));
        }
        {
            Imf::OutputFile file(output.TemporaryPath().c_str(), header);
            file.setFrameBuffer(frame);
            file.writePixels(height);
        }
    } catch (const std::exception& error) {
        throw ToolError("cannot write " + path + ": " + error.what());
    }
    output.Commit();
}

} // namespace

void WriteExrHalf(const std::string& path, int width, int height, const uint16_t* rgba,
                  ExrCompression compression, bool bt2020) {
    WriteExr(path, width, height, reinterpret_cast<const char*>(rgba), Imf::HALF, sizeof(uint16_t),
             compression, bt2020);
}

void WriteExrFloat(const std::string& path, int width, int height, const float* rgba,
                   ExrCompression compression, bool bt2020) {
    WriteExr(path, width, height, reinterpret_cast<const char*>(rgba), Imf::FLOAT, sizeof(float), compression,
             bt2020);
}

PictureFloat ReadExr(const std::string& path) {
    StartExrThreads();
    try {
        Imf::InputFile file(path.c_str());
        const Imath::Box2i window = file.header().dataWindow();
        PictureFloat picture;
        picture.width = window.max.x - window.min.x + 1;
        picture.height = window.max.y - window.min.y + 1;
        if (picture.width <= 0 || picture.height <= 0 || picture.width > 65535 || picture.height > 65535)
            throw ToolError(path + ": unusable OpenEXR picture size");
        DecodedPicture::CheckPixelCount(path + ": ", static_cast<unsigned>(picture.width),
                                        static_cast<unsigned>(picture.height));
        const Imf::ChannelList& channels = file.header().channels();
        const bool rgb = channels.findChannel("R") && channels.findChannel("G") && channels.findChannel("B");
        if (!rgb && !channels.findChannel("Y"))
            throw ToolError(path + ": the OpenEXR file has neither R, G, B nor Y channels");
        picture.channels = rgb ? 3 : 1;
        const size_t pixels = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
        picture.samples.assign(pixels * static_cast<size_t>(picture.channels), 0.0f);
        const size_t xStride = sizeof(float) * static_cast<size_t>(picture.channels);
        const size_t yStride = xStride * static_cast<size_t>(picture.width);
        // Slices address pixel (x, y) of the data window, so the base is shifted by its origin.
        char* base = reinterpret_cast<char*>(picture.samples.data()) -
                     static_cast<std::ptrdiff_t>(window.min.x) * static_cast<std::ptrdiff_t>(xStride) -
                     static_cast<std::ptrdiff_t>(window.min.y) * static_cast<std::ptrdiff_t>(yStride);
        Imf::FrameBuffer frame;
        static const char* const rgbNames[] = {"R", "G", "B"};
        for (int c = 0; c < picture.channels; ++c)
            frame.insert(rgb ? rgbNames[c] : "Y",
                         Imf::Slice(Imf::FLOAT, base + c * sizeof(float), xStride, yStride));
        file.setFrameBuffer(frame);
        file.readPixels(window.min.y, window.max.y);
        return picture;
    } catch (const ToolError&) {
        throw;
    } catch (const media::MediaError&) {
        throw;
    } catch (const std::exception& error) {
        throw ToolError("cannot read " + path + ": " + error.what());
    }
}

// Half or float RGBA as the engine made it; linear BT.2020 output (curve 1) says its primaries.
void WriteExrRgba(const RgbaFrame& frame, const std::string& path, const PictureWriteOptions& options) {
    if (frame.isFloat)
        WriteExrFloat(path, frame.width, frame.height, reinterpret_cast<const float*>(frame.bytes.data()),
                      options.compression, frame.curve == 1);
    else
        WriteExrHalf(path, frame.width, frame.height, reinterpret_cast<const uint16_t*>(frame.bytes.data()),
                     options.compression, frame.curve == 1);
}

} // namespace tsr::tools
