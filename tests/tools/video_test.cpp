// Videos, DPX and pipes: what convert writes is read back by FFmpeg's own libraries and compared
// with the CPU engine's RGBA for the same frames.
#include <half.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}

#include "support/toolerror.h"
#include "toolfixture.h"
#include "tsr/media/displaytransform.h"
#include "tsr/media/timecode.h"

namespace tsr::tools::test {

using namespace media;

namespace {

// Every frame of a file's first video stream, decoded, with what the container and codec say.
struct DecodedVideo {
    int width = 0, height = 0;
    std::string pixelFormat, profile, primaries, transfer, matrix, range, timecode;
    AVRational frameRate{0, 1};
    // Per frame, per plane, the samples (10- or 16-bit) row after row.
    std::vector<std::vector<std::vector<uint16_t>>> frames;
};

std::string ContainerTimecode(const AVFormatContext* format, const AVStream* stream) {
    for (AVDictionary* metadata : {format->metadata, stream->metadata})
        if (const AVDictionaryEntry* entry = av_dict_get(metadata, "timecode", nullptr, 0))
            return entry->value;
    return "";
}

void KeepFrame(const AVFrame& frame, DecodedVideo& video) {
    if (const AVDictionaryEntry* entry = av_dict_get(frame.metadata, "timecode", nullptr, 0))
        video.timecode = entry->value; // picture files carry their own
    const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    const bool bigEndian = format->flags & AV_PIX_FMT_FLAG_BE;
    const bool planar = format->flags & AV_PIX_FMT_FLAG_PLANAR;
    std::vector<std::vector<uint16_t>> planes;
    for (int p = 0; p < av_pix_fmt_count_planes(static_cast<AVPixelFormat>(frame.format)); ++p) {
        const bool chroma = p > 0 && p < 3 && !(format->flags & AV_PIX_FMT_FLAG_RGB);
        const int width = chroma ? AV_CEIL_RSHIFT(frame.width, format->log2_chroma_w) : frame.width;
        const int height = chroma ? AV_CEIL_RSHIFT(frame.height, format->log2_chroma_h) : frame.height;
        const int samples = planar ? width : width * format->nb_components;
        std::vector<uint16_t> plane;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < samples; ++x) {
                const uint8_t* at = frame.data[p] + static_cast<ptrdiff_t>(y) * frame.linesize[p] + 2 * x;
                plane.push_back(bigEndian ? static_cast<uint16_t>(at[0] << 8 | at[1])
                                          : static_cast<uint16_t>(at[1] << 8 | at[0]));
            }
        planes.push_back(std::move(plane));
    }
    video.frames.push_back(std::move(planes));
}

// Decodes with the demuxer libavformat picks for the file's content (NUT from a pipe, DPX
// through its image demuxer).
DecodedVideo DecodeVideo(const std::string& path) {
    DecodedVideo video;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return video;
    avformat_find_stream_info(format, nullptr);
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index >= 0) {
        const AVStream* stream = format->streams[index];
        const AVCodecParameters* parameters = stream->codecpar;
        video.width = parameters->width;
        video.height = parameters->height;
        video.frameRate = stream->r_frame_rate;
        video.timecode = ContainerTimecode(format, stream);
        const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(parameters->format));
        video.pixelFormat = name ? name : "";
        const char* profile = avcodec_profile_name(parameters->codec_id, parameters->profile);
        video.profile = profile ? profile : "";
        video.primaries = av_color_primaries_name(parameters->color_primaries);
        video.transfer = av_color_transfer_name(parameters->color_trc);
        video.matrix = av_color_space_name(parameters->color_space);
        video.range = av_color_range_name(parameters->color_range);
        const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
        AVCodecContext* codec = avcodec_alloc_context3(decoder);
        avcodec_parameters_to_context(codec, parameters);
        avcodec_open2(codec, decoder, nullptr);
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        auto drain = [&] {
            while (avcodec_receive_frame(codec, frame) == 0) KeepFrame(*frame, video);
        };
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == index) avcodec_send_packet(codec, packet);
            av_packet_unref(packet);
            drain();
        }
        avcodec_send_packet(codec, nullptr);
        drain();
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
    }
    avformat_close_input(&format);
    return video;
}

// The engine's RGBA (half or float) of a raw file, as floats, one vector per frame.
std::vector<std::vector<float>> RgbaFrames(const std::vector<uint8_t>& bytes, int width, int height,
                                           bool isFloat) {
    const size_t samples = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    const size_t size = isFloat ? 4 : 2;
    std::vector<std::vector<float>> frames;
    for (size_t at = 0; at + size * samples <= bytes.size(); at += size * samples) {
        std::vector<float> frame(samples);
        for (size_t i = 0; i < samples; ++i) {
            half value;
            value.setBits(static_cast<uint16_t>(bytes[at + 2 * i] | bytes[at + 2 * i + 1] << 8));
            frame[i] = value;
            if (isFloat) std::memcpy(&frame[i], &bytes[at + 4 * i], 4);
        }
        frames.push_back(std::move(frame));
    }
    return frames;
}

float Clip(float value) {
    return std::isnan(value) ? 0.0f : std::min(1.0f, std::max(0.0f, value));
}

// The 10-bit limited-range Y'CbCr a display encoding of `rgba` gives: the BT.709 transfer for
// the linear curves, none for the others; BT.709 or BT.2020 luma weights; chroma the mean over
// each block of xBlock x yBlock pixels.
std::vector<std::vector<double>> ExpectedYuv(const std::vector<float>& rgba, int width, int height,
                                             unsigned curve, int xBlock, int yBlock) {
    const double kr = curve == 0 ? 0.2126 : 0.2627, kb = curve == 0 ? 0.0722 : 0.0593;
    auto encoded = [&](int x, int y, int c) {
        const double v = Clip(rgba[4 * (static_cast<size_t>(y) * width + x) + c]);
        if (curve > 1) return v;
        return v < 0.018 ? 4.5 * v : 1.099 * std::pow(v, 0.45) - 0.099;
    };
    std::vector<std::vector<double>> planes(3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            planes[0].push_back(64 + 876 * (kr * encoded(x, y, 0) + (1 - kr - kb) * encoded(x, y, 1) +
                                            kb * encoded(x, y, 2)));
    for (int y = 0; y < height; y += yBlock)
        for (int x = 0; x < width; x += xBlock) {
            double rgb[3] = {};
            for (int c = 0; c < 3; ++c) {
                for (int dy = 0; dy < yBlock; ++dy)
                    for (int dx = 0; dx < xBlock; ++dx) rgb[c] += encoded(x + dx, y + dy, c);
                rgb[c] /= xBlock * yBlock;
            }
            const double luma = kr * rgb[0] + (1 - kr - kb) * rgb[1] + kb * rgb[2];
            planes[1].push_back(512 + 896 * (rgb[2] - luma) / (2 * (1 - kb)));
            planes[2].push_back(512 + 896 * (rgb[0] - luma) / (2 * (1 - kr)));
        }
    return planes;
}

struct Comparison {
    double psnr = 0; // over all planes, peak 1023
    double largestError = 0;
};

Comparison Compare(const std::vector<std::vector<uint16_t>>& decoded,
                   const std::vector<std::vector<double>>& expected) {
    double squares = 0, count = 0;
    Comparison result;
    for (size_t p = 0; p < 3; ++p) {
        EXPECT_EQ(expected[p].size(), decoded[p].size());
        for (size_t i = 0; i < std::min(expected[p].size(), decoded[p].size()); ++i) {
            const double error = decoded[p][i] - expected[p][i];
            squares += error * error;
            result.largestError = std::max(result.largestError, std::abs(error));
            ++count;
        }
    }
    result.psnr = 10 * std::log10(1023.0 * 1023.0 / std::max(squares / count, 1e-12));
    return result;
}

class VideoTest : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        // A time code track too: its first frame is at 01:00:00:24.
        ASSERT_EQ(0, RunTool({"encode", "--scene", "--size", "256x128", "--count", "3", "--fps", "25",
                              "--timecode", "01:00:00:24", "-q", "-o", Path("clip.mov")})
                         .exitCode);
    }
    // The CPU engine's RGBA of every frame at a curve and a scale index.
    // The file is ref<curve><scale><type>.raw.
    const std::vector<std::vector<float>>& Reference(unsigned curve, int scale,
                                                     const std::string& type = "half") {
        const std::string name = Path("ref" + std::to_string(curve) + std::to_string(scale) + type + ".raw");
        auto& frames = m_references[name];
        if (frames.empty()) {
            EXPECT_EQ(0, RunTool({"convert", "--engine", "cpu", "--curve", std::to_string(curve), "--scale",
                                  std::to_string(scale), "--type", type, "-q", "-o", name, Path("clip.mov")})
                             .exitCode);
            frames = RgbaFrames(ReadFile(name), 256 >> scale, 128 >> scale, type == "float");
        }
        return frames;
    }

private:
    std::map<std::string, std::vector<std::vector<float>>> m_references;
};

TEST_F(VideoTest, ProxiesDecodeToTheEnginesPicturesWithTheirTags) {
    struct Case {
        const char* codec;
        const char* file;
        unsigned curve;
        int downscale;
        const char* pixelFormat;
        const char* profile;
        int xBlock, yBlock;
        const char *primaries, *transfer, *matrix;
        double psnrFloor;    // dB, over Y'CbCr at 10 bits
        double largestError; // codes; 0 leaves it to the PSNR
        const char* type = "half";
    };
    const Case cases[] = {
        {"prores", "p.mov", 1, 1, "yuv422p10le", "HQ", 2, 1, "bt2020", "bt2020-10", "bt2020nc", 42, 0},
        {"dnxhr", "d.mxf", 0, 1, "yuv422p10le", "DNXHR HQX", 2, 1, "bt709", "bt709", "bt709", 40, 0},
        {"h264", "h.mp4", 2, 2, "yuv420p10le", "High 10", 2, 2, "bt2020", "arib-std-b67", "bt2020nc", 40, 0},
        {"hevc", "v.mkv", 3, 1, "yuv420p10le", "Main 10", 2, 2, "bt2020", "unknown", "bt2020nc", 38, 0},
        {"ffv1", "f.mkv", 0, 1, "yuv444p10le", "", 1, 1, "bt709", "bt709", "bt709", 60, 1},
        {"ffv1", "g.mkv", 1, 1, "yuv444p10le", "", 1, 1, "bt2020", "bt2020-10", "bt2020nc", 60, 1, "float"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codec);
        const ToolResult run =
            RunTool({"convert", "--engine", "cpu", "--type", c.type, "--codec", c.codec, "--curve",
                     std::to_string(c.curve), "--downscale", std::to_string(c.downscale), "-q", "-o",
                     Path(c.file), Path("clip.mov")});
        ASSERT_EQ(0, run.exitCode) << run.err;
        const DecodedVideo video = DecodeVideo(Path(c.file));
        const int scale = c.downscale == 2 ? 1 : 0;
        EXPECT_EQ(256 >> scale, video.width);
        EXPECT_EQ(128 >> scale, video.height);
        EXPECT_EQ(c.pixelFormat, video.pixelFormat);
        EXPECT_EQ(c.profile, video.profile);
        EXPECT_EQ(25, video.frameRate.num / video.frameRate.den);
        EXPECT_EQ(c.primaries, video.primaries);
        EXPECT_EQ(c.transfer, video.transfer);
        EXPECT_EQ(c.matrix, video.matrix);
        EXPECT_EQ("tv", video.range);
        const auto& reference = Reference(c.curve, scale, c.type);
        ASSERT_EQ(3u, video.frames.size());
        for (size_t f = 0; f < 3; ++f) {
            const Comparison comparison =
                Compare(video.frames[f],
                        ExpectedYuv(reference[f], video.width, video.height, c.curve, c.xBlock, c.yBlock));
            EXPECT_GE(comparison.psnr, c.psnrFloor) << "frame " << f;
            if (c.largestError > 0) {
                EXPECT_LE(comparison.largestError, c.largestError) << "frame " << f;
            }
        }
    }
}

// DPX pictures of frames 1 and 2 with the clip's time code (01:00:00:24 at 25 frames/s: frame 1
// is 01:00:01:00), and a proxy whose --timecode replaces it.
TEST_F(VideoTest, DpxAndProxiesCarryTheClipsTimecodes) {
    const auto& reference = Reference(0, 0);
    const ToolResult info = RunTool({"info", Path("clip.mov")});
    EXPECT_NE(std::string::npos, info.out.find(", 25 frames/s, 0.120 s, time code 01:00:00:24\n"))
        << info.out;
    for (const int bits : {10, 16}) {
        SCOPED_TRACE(std::to_string(bits) + " bits");
        const std::string name = Path("f" + std::to_string(bits) + "_%d.dpx");
        const ToolResult run =
            RunTool({"convert", "--engine", "cpu", "--curve", "0", "--frames", "1-2", "--dpx-bits",
                     std::to_string(bits), "-q", "-o", name, Path("clip.mov")});
        ASSERT_EQ(0, run.exitCode) << run.err;
        for (const int frame : {1, 2}) {
            const DecodedVideo dpx =
                DecodeVideo(Path("f" + std::to_string(bits) + "_" + std::to_string(frame) + ".dpx"));
            EXPECT_EQ(bits == 10 ? "gbrp10le" : "rgb48be", dpx.pixelFormat);
            EXPECT_EQ(256, dpx.width);
            EXPECT_EQ(128, dpx.height);
            EXPECT_EQ("linear", dpx.transfer);
            EXPECT_EQ("bt709", dpx.primaries);
            EXPECT_EQ(25, dpx.frameRate.num / dpx.frameRate.den);
            EXPECT_EQ(frame == 1 ? "01:00:01:00" : "01:00:01:01", dpx.timecode);
            ASSERT_EQ(1u, dpx.frames.size());
            const auto& planes = dpx.frames[0];
            const float maximum = bits == 10 ? 1023 : 65535;
            int mismatches = 0;
            for (size_t p = 0; p < 256 * 128; ++p)
                for (size_t c = 0; c < 3; ++c) {
                    // 10 bits decode to planes G, B, R; 16 bits to packed RGB.
                    const uint16_t value = bits == 10 ? planes[(c + 2) % 3][p] : planes[0][3 * p + c];
                    mismatches += value != std::lround(Clip(reference[frame][4 * p + c]) * maximum);
                }
            EXPECT_EQ(0, mismatches);
        }
    }
    ASSERT_EQ(0, RunTool({"convert", "--engine", "cpu", "--frames", "1-2", "--timecode", "02:00:00:00", "-q",
                          "-o", Path("p.mov"), Path("clip.mov")})
                     .exitCode);
    const DecodedVideo proxy = DecodeVideo(Path("p.mov"));
    EXPECT_EQ("02:00:00:01", proxy.timecode);
    EXPECT_EQ(2u, proxy.frames.size());
}

// -o -: raw frames exactly as the engine writes them, or a NUT stream that libavformat reads
// with its size, rate and pixel format; a reader that goes away fails the job with a message.
TEST_F(VideoTest, StandardOutputCarriesRawFramesOrNut) {
    for (const std::string type : {"half", "float"}) {
        SCOPED_TRACE(type);
        const auto& reference = Reference(1, 0, type);
        const ToolResult raw =
            RunTool({"convert", "--engine", "cpu", "--type", type, "-q", "-o", "-", Path("clip.mov")});
        ASSERT_EQ(0, raw.exitCode) << raw.err;
        EXPECT_TRUE(std::vector<uint8_t>(raw.out.begin(), raw.out.end()) ==
                    ReadFile(Path("ref10" + type + ".raw")));

        const ToolResult nut = RunTool({"convert", "--engine", "cpu", "--type", type, "--format", "nut",
                                        "--timings", "-o", "-", Path("clip.mov")});
        ASSERT_EQ(0, nut.exitCode) << nut.err;
        EXPECT_NE(std::string::npos, nut.err.find("frames/s")); // messages go to standard error
        WriteFile(Path("piped.nut"), std::vector<uint8_t>(nut.out.begin(), nut.out.end()));
        const DecodedVideo video = DecodeVideo(Path("piped.nut"));
        EXPECT_EQ("rgba64le", video.pixelFormat);
        EXPECT_EQ(256, video.width);
        EXPECT_EQ(128, video.height);
        EXPECT_EQ(25, video.frameRate.num / video.frameRate.den);
        ASSERT_EQ(3u, video.frames.size());
        int mismatches = 0;
        for (size_t f = 0; f < 3; ++f)
            for (size_t i = 0; i < reference[f].size(); ++i)
                mismatches += video.frames[f][0][i] != std::lround(Clip(reference[f][i]) * 65535);
        EXPECT_EQ(0, mismatches);
    }

    for (const char* format : {"raw", "nut"}) {
        SCOPED_TRACE(format);
        // `true` reads nothing and exits; the frames are larger than the pipe's buffer.
        const std::string command = std::string("( '") + TSRRAW_PATH + "' convert --engine cpu -q --format " +
                                    format + " -o - '" + Path("clip.mov") + "' 2>'" + Path("err") +
                                    "'; echo $? >'" + Path("rc") + "' ) | true";
        ASSERT_EQ(0, std::system(command.c_str()));
        const std::vector<uint8_t> rc = ReadFile(Path("rc")), err = ReadFile(Path("err"));
        EXPECT_EQ("1\n", std::string(rc.begin(), rc.end()));
        EXPECT_NE(std::string::npos, std::string(err.begin(), err.end()).find("closed the pipe"));
    }

    // A terminal gets no frames (script(1) gives the tool one).
    const std::string terminal = std::string("script -qec \"'") + TSRRAW_PATH +
                                 "' convert --engine cpu -q -o - '" + Path("clip.mov") + "'\" /dev/null >'" +
                                 Path("terminal") + "'";
    EXPECT_NE(0, std::system(terminal.c_str()));
    const std::vector<uint8_t> shown = ReadFile(Path("terminal"));
    EXPECT_NE(std::string::npos, std::string(shown.begin(), shown.end()).find("send standard output to"));
    EXPECT_LT(shown.size(), 200u);
}

TEST_F(VideoTest, OptionsThatDoNotFitAreRefused) {
    const std::vector<std::vector<std::string>> refused = {
        {"--codec", "prores", "-o", "x.mp4"}, // container does not take the codec
        {"--codec", "dnxhr", "-o", "x.mkv"},
        {"--codec", "prores", "-o", "x.exr"}, // no video name
        {"--codec", "vp9", "-o", "x.mov"},
        {"--codec", "ffv1", "--quality", "3", "-o", "x.mov"}, // lossless
        {"--codec", "h264", "--quality", "52", "-o", "x.mov"},
        {"--codec", "dnxhr", "--bitrate", "20M", "-o", "x.mov"},
        {"--codec", "h264", "--bitrate", "fast", "-o", "x.mov"},
        {"--quality", "18", "-o", "x.exr"},
        {"--codec", "prores", "-o", "-"},
        {"--format", "exr", "-o", "-"},
        {"--tuning", "20202", "-o", "-"}, // its timings would go into the frames
        {"-o", "x_%d.mov"},
        {"--scale", "1", "--downscale", "2", "-o", "x.mov"},
        {"--downscale", "3", "-o", "x.mov"},
        {"--timecode", "01:00:00:25", "-o", "x.mov"}, // 25 frames/s: FF is 0..24
        {"--dpx-bits", "12", "-o", "x_%d.dpx"},
        {"--dpx-bits", "16", "-o", "x_%d.tif"},
    };
    for (const auto& options : refused) {
        std::vector<std::string> arguments = {"convert", "--engine", "cpu", "-q"};
        for (const std::string& option : options)
            arguments.push_back(option.find('x') == 0 ? Path(option) : option);
        arguments.push_back(Path("clip.mov"));
        const ToolResult run = RunTool(arguments);
        EXPECT_EQ(2, run.exitCode) << options.back() << ": " << run.err;
        EXPECT_TRUE(run.out.empty());
    }
    EXPECT_EQ(std::vector<std::string>{"clip.mov"}, Files());

    // Known only once the first picture is there: a failure, and no file left behind.
    const ToolResult small = RunTool({"convert", "--engine", "cpu", "-q", "--codec", "dnxhr", "--downscale",
                                      "2", "-o", Path("small.mov"), Path("clip.mov")});
    EXPECT_EQ(1, small.exitCode);
    EXPECT_NE(std::string::npos, small.err.find("256x120")) << small.err;
    EXPECT_EQ(std::vector<std::string>{"clip.mov"}, Files());
}

} // namespace

} // namespace tsr::tools::test
