#include "streams/videosinks.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include "pictures/rgbasamples.h"
#include "support/toolerror.h"
#include "tsr/media/outputfile.h"

namespace tsr::tools {

using namespace media;

VideoSink::VideoSink(const std::string& path, const VideoTiming& timing)
    : m_path(path == "-" ? "standard output" : path), m_timing(timing) {
    if (path != "-") m_file = std::make_unique<OutputFile>(path);
}

VideoSink::~VideoSink() = default;

VideoStream& VideoSink::StreamFor(const RgbaFrame& frame, const VideoStreamSetup& setup) {
    if (!m_stream) {
        VideoStreamSetup timed = setup;
        timed.frameRate = m_timing.frameRate;
        timed.timecode = m_timing.timecode;
        std::FILE* file = m_file ? m_file->Stream() : stdout;
        m_stream = std::make_unique<VideoStream>(file, m_file != nullptr, m_path, timed);
        m_width = frame.width;
        m_height = frame.height;
    } else if (frame.width != m_width || frame.height != m_height) {
        throw ToolError("frame " + std::to_string(frame.index) + " is " + std::to_string(frame.width) + "x" +
                        std::to_string(frame.height) + ", the stream " + std::to_string(m_width) + "x" +
                        std::to_string(m_height) + ": a video holds pictures of one size");
    }
    return *m_stream;
}

void VideoSink::Finish() {
    if (m_stream) m_stream->Finish();
    if (m_file) {
        m_file->Commit();
    } else if (std::fflush(stdout) != 0) {
        throw ToolError("cannot write to standard output: " + std::string(std::strerror(errno)));
    }
}

ProxySink::ProxySink(const std::string& path, const ProxyChoice& choice, const VideoTiming& timing)
    : VideoSink(path, timing), m_choice(choice) {}

void ProxySink::Write(const RgbaFrame& frame) {
    if (!Started()) m_transform = std::make_unique<DisplayTransform>(frame.curve);
    VideoStreamSetup setup;
    if (!Started()) {
        setup = ProxySetup(m_choice, frame.width, frame.height);
        setup.tags = m_transform->Tags();
    }
    VideoStream& stream = StreamFor(frame, setup);
    AVFrame& picture = stream.NextFrame();
    const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture.format));
    YuvPlanes planes;
    for (int i = 0; i < 3; ++i) {
        planes.data[i] = picture.data[i];
        planes.stride[i] = picture.linesize[i];
    }
    planes.log2ChromaWidth = format->log2_chroma_w;
    planes.log2ChromaHeight = format->log2_chroma_h;
    m_transform->ToYuv(frame, planes);
    stream.Send();
}

NutSink::NutSink(const std::string& path, const VideoTiming& timing) : VideoSink(path, timing) {}

void NutSink::Write(const RgbaFrame& frame) {
    VideoStreamSetup setup;
    setup.muxer = "nut";
    setup.encoder = "rawvideo";
    setup.pixelFormat = AV_PIX_FMT_RGBA64LE;
    setup.width = frame.width;
    setup.height = frame.height;
    VideoStream& stream = StreamFor(frame, setup);
    AVFrame& picture = stream.NextFrame();
    const size_t width = static_cast<size_t>(frame.width);
    for (int y = 0; y < frame.height; ++y) {
        uint8_t* row = picture.data[0] + static_cast<ptrdiff_t>(y) * picture.linesize[0];
        for (size_t i = 0; i < 4 * width; ++i) {
            const auto sample = static_cast<uint16_t>(
                QuantisedSample(RgbaSample(frame, static_cast<size_t>(y) * 4 * width + i), 65535));
            row[2 * i] = static_cast<uint8_t>(sample);
            row[2 * i + 1] = static_cast<uint8_t>(sample >> 8);
        }
    }
    stream.Send();
}

} // namespace tsr::tools
