// Reads a clip with FFmpeg's libavformat, the way other programs will: prints the first video
// stream's codec tag, size, frame rate and packet count, one "key value" line each, and writes
// the packets' bytes back to back to the second argument.
//   avprobe clip.mov packets.bin
#include <cstdio>

extern "C" {
#include <libavformat/avformat.h>
}

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: avprobe CLIP PACKETS\n");
        return 2;
    }
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, argv[1], nullptr, nullptr) < 0 ||
        avformat_find_stream_info(format, nullptr) < 0) {
        std::fprintf(stderr, "avprobe: libavformat cannot read %s\n", argv[1]);
        return 1;
    }
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0) {
        std::fprintf(stderr, "avprobe: %s has no video stream\n", argv[1]);
        return 1;
    }
    const AVStream* video = format->streams[stream];
    const uint32_t tag = video->codecpar->codec_tag;
    std::FILE* packets = std::fopen(argv[2], "wb");
    if (!packets) return 1;
    int count = 0;
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == stream) {
            std::fwrite(packet->data, 1, static_cast<size_t>(packet->size), packets);
            ++count;
        }
        av_packet_unref(packet);
    }
    std::fclose(packets);
    std::printf("format %s\n", format->iformat->name);
    std::printf("codec_tag %c%c%c%c\n", tag & 0xFF, (tag >> 8) & 0xFF, (tag >> 16) & 0xFF, tag >> 24);
    std::printf("width %d\nheight %d\n", video->codecpar->width, video->codecpar->height);
    std::printf("frame_rate %d/%d\n", video->avg_frame_rate.num, video->avg_frame_rate.den);
    std::printf("packets %d\n", count);
    av_packet_free(&packet);
    avformat_close_input(&format);
    return 0;
}
