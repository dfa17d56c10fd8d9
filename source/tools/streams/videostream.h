// One video stream through a libavcodec encoder into a libavformat container, written to a
// stdio stream: a file (seekable, so containers can go back and finish their index) or a pipe.
// The encoder runs its own threads; the pictures come from the caller's thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libavutil/rational.h>
}

#include "tsr/media/displaytransform.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct AVBufferPool;

namespace tsr::tools {

struct VideoStreamSetup {
    std::string muxer;   // libavformat's short name: "mov", "mp4", "matroska", "mxf", "nut"
    std::string encoder; // libavcodec's name: "prores_ks", "libx264", "rawvideo", ...
    AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
    int width = 0, height = 0;
    AVRational frameRate{24, 1};
    int globalQuality = -1; // with the fixed-quantiser flag, when >= 0
    long long bitRate = 0;  // bits per second; 0 leaves the encoder's choice
    std::vector<std::pair<std::string, std::string>> options; // encoder private options
    bool colourTagged = false; // tags below apply (video codecs, not raw frames)
    media::ColourTags tags;
    std::string timecode;  // "HH:MM:SS:FF" for the container, empty for none
    uint32_t codecTag = 0; // the container's sample type when not its default
};

class VideoStream {
public:
    // `name` appears in messages; `seekable` tells the container whether it may go back.
    VideoStream(std::FILE* file, bool seekable, std::string name, const VideoStreamSetup& setup);
    VideoStream(const VideoStream&) = delete;
    VideoStream& operator=(const VideoStream&) = delete;
    ~VideoStream();

    // A frame of the stream's size and format to fill, from a pool (no allocation once the
    // encoder hands its frames back). Valid until the next Send.
    AVFrame& NextFrame();
    // Encodes the frame NextFrame gave, as the next in presentation order.
    void Send();
    // Drains the encoder and completes the container.
    void Finish();

private:
    void Open(bool seekable, const VideoStreamSetup& setup);
    void Release();
    void Encode(AVFrame* frame);
    [[noreturn]] void Fail(const char* what, int error) const;

    std::FILE* m_file;
    std::string m_name;
    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVStream* m_stream = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    AVBufferPool* m_pool = nullptr;
    int m_planes = 0;
    int m_planeBytes[4]{};
    long long m_next = 0;
};

} // namespace tsr::tools
