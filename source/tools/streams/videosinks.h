// Frame sinks that write a video stream: a proxy through a video codec (display transform and
// colour tags from the curve), or a NUT stream of RGBA frames for other programs. The path "-"
// is standard output. The stream starts with the first frame, whose size it takes.
#pragma once

#include <memory>
#include <string>

#include "streams/codecpresets.h"
#include "streams/framesink.h"
#include "streams/videostream.h"
#include "tsr/media/outputfile.h"

namespace tsr::tools {

struct VideoTiming {
    AVRational frameRate{24, 1};
    std::string timecode; // of the first frame written; empty for none
};

class VideoSink : public FrameSink {
public:
    ~VideoSink() override;
    void Finish() override;

protected:
    VideoSink(const std::string& path, const VideoTiming& timing);
    // Starts the stream at the first frame; checks later frames have the same size.
    VideoStream& StreamFor(const media::RgbaFrame& frame, const VideoStreamSetup& setup);
    const VideoTiming& Timing() const { return m_timing; }
    bool Started() const { return m_stream != nullptr; }

private:
    std::string m_path;
    VideoTiming m_timing;
    std::unique_ptr<media::OutputFile> m_file; // none for standard output
    std::unique_ptr<VideoStream> m_stream;
    int m_width = 0, m_height = 0;
};

class ProxySink : public VideoSink {
public:
    ProxySink(const std::string& path, const ProxyChoice& choice, const VideoTiming& timing);
    void Write(const media::RgbaFrame& frame) override;

private:
    ProxyChoice m_choice;
    std::unique_ptr<media::DisplayTransform> m_transform;
};

// 16-bit RGBA (rgba64le), values clipped to 0..1: half and float output alike.
class NutSink : public VideoSink {
public:
    NutSink(const std::string& path, const VideoTiming& timing);
    void Write(const media::RgbaFrame& frame) override;
};

} // namespace tsr::tools
