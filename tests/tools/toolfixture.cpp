#include "toolfixture.h"

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <ImfChannelList.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfStandardAttributes.h>
#include <png.h>
#include <tiffio.h>
extern "C" {
#include <libavformat/avformat.h>
}

#include "encoder/syntheticscene.h"

namespace tsr::tools::test {

std::vector<std::vector<uint8_t>> SceneFrames(int count, int width, int height,
                                              const EncoderSettings& settings) {
    SceneSettings scene;
    scene.width = width;
    scene.height = height;
    scene.whiteLevelCode = settings.whiteLevelCode;
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < count; ++i) {
        const std::vector<uint16_t> mosaic = RenderSceneMosaic(scene, settings.bayerPattern, i / 24.0);
        frames.push_back(EncodeFrame(mosaic.data(), width, height, width, settings));
    }
    return frames;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
    std::ifstream file(path);
    return file.good();
}

std::vector<uint8_t> Concatenate(const std::vector<std::vector<uint8_t>>& frames) {
    std::vector<uint8_t> all;
    for (const auto& frame : frames) all.insert(all.end(), frame.begin(), frame.end());
    return all;
}

void ToolTest::SetUp() {
    char name[] = "/tmp/tsrraw-test-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(name));
    m_folder = name;
}

void ToolTest::TearDown() {
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

std::vector<std::string> ToolTest::Files() const {
    std::vector<std::string> names;
    if (DIR* folder = opendir(m_folder.c_str())) {
        while (dirent* entry = readdir(folder)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(folder);
    }
    std::sort(names.begin(), names.end());
    return names;
}

FileFacts PngFacts(const std::string& path) {
    FileFacts facts;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return facts;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_read_info(png, info);
        facts.width = static_cast<int>(png_get_image_width(png, info));
        facts.height = static_cast<int>(png_get_image_height(png, info));
        facts.channels = png_get_channels(png, info);
        facts.bits = png_get_bit_depth(png, info);
        facts.kind = png_get_color_type(png, info);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return facts;
}

FileFacts TiffFacts(const std::string& path) {
    FileFacts facts;
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (!tiff) return facts;
    uint32_t width = 0, height = 0;
    uint16_t channels = 0, bits = 0, photometric = 0, format = 0, compression = 0, extra = 0;
    uint16_t* extraTypes = nullptr;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &channels);
    TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extra, &extraTypes);
    facts.width = static_cast<int>(width);
    facts.height = static_cast<int>(height);
    facts.channels = channels;
    facts.bits = bits;
    facts.kind = photometric;
    facts.sampleFormat = format;
    facts.compression = compression;
    facts.extraSamples = extra == 1 && extraTypes ? extraTypes[0] : -extra;
    TIFFClose(tiff);
    return facts;
}

FileFacts ExrFacts(const std::string& path) {
    FileFacts facts;
    Imf::InputFile file(path.c_str());
    const Imf::Header& header = file.header();
    const Imath::Box2i window = header.dataWindow();
    facts.width = window.max.x - window.min.x + 1;
    facts.height = window.max.y - window.min.y + 1;
    facts.compression = header.compression();
    for (Imf::ChannelList::ConstIterator c = header.channels().begin(); c != header.channels().end(); ++c) {
        facts.channelNames += c.name();
        facts.pixelType = c.channel().type;
        ++facts.channels;
    }
    if (Imf::hasChromaticities(header)) {
        const Imf::Chromaticities& p = Imf::chromaticities(header);
        facts.chromaticities = {p.red.x,  p.red.y,  p.green.x, p.green.y,
                                p.blue.x, p.blue.y, p.white.x, p.white.y};
    }
    return facts;
}

FileFacts QuickTimeFacts(const std::string& path) {
    FileFacts facts;
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0) return facts;
    if (context->nb_streams == 1) {
        const AVStream* stream = context->streams[0];
        facts.width = stream->codecpar->width;
        facts.height = stream->codecpar->height;
        facts.codecTag = stream->codecpar->codec_tag;
        facts.frames = stream->nb_frames;
        if (stream->nb_frames > 0)
            facts.frameSeconds = av_q2d(stream->time_base) * static_cast<double>(stream->duration) /
                                 static_cast<double>(stream->nb_frames);
    }
    avformat_close_input(&context);
    return facts;
}

} // namespace tsr::tools::test
