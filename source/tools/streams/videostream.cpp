#include "streams/videostream.h"

#include <cerrno>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include "support/toolerror.h"

namespace tsr::tools {

namespace {

constexpr int kIoBufferSize = 1 << 16;
constexpr int kAlignment = 64;

int WritePacket(void* opaque, uint8_t* data, int size) {
    auto* file = static_cast<std::FILE*>(opaque);
    if (std::fwrite(data, 1, static_cast<size_t>(size), file) != static_cast<size_t>(size))
        return AVERROR(errno ? errno : EIO);
    return size;
}

int64_t Seek(void* opaque, int64_t offset, int whence) {
    auto* file = static_cast<std::FILE*>(opaque);
    if (whence == AVSEEK_SIZE) return -1;
    if (std::fseek(file, static_cast<long>(offset), whence & ~AVSEEK_FORCE) != 0) return AVERROR(errno);
    return std::ftell(file);
}

} // namespace

VideoStream::VideoStream(std::FILE* file, bool seekable, std::string name, const VideoStreamSetup& setup)
    : m_file(file), m_name(std::move(name)) {
    try {
        Open(seekable, setup);
    } catch (...) {
        Release();
        throw;
    }
}

void VideoStream::Open(bool seekable, const VideoStreamSetup& setup) {
    // The libraries' own log would add lines to standard error; the tool reports errors itself.
    av_log_set_level(AV_LOG_QUIET);
    const AVCodec* encoder = avcodec_find_encoder_by_name(setup.encoder.c_str());
    if (!encoder) throw ToolError("this FFmpeg has no " + setup.encoder + " encoder");
    int error = avformat_alloc_output_context2(&m_format, nullptr, setup.muxer.c_str(), nullptr);
    if (error < 0) Fail("cannot start the container", error);
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
    m_format->pb =
        avio_alloc_context(buffer, kIoBufferSize, 1, m_file, nullptr, WritePacket, seekable ? Seek : nullptr);
    if (!m_format->pb) {
        av_free(buffer);
        throw std::bad_alloc();
    }
    m_format->pb->seekable = seekable ? AVIO_SEEKABLE_NORMAL : 0;
    m_format->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_BITEXACT;
    if (!setup.timecode.empty()) av_dict_set(&m_format->metadata, "timecode", setup.timecode.c_str(), 0);

    m_codec = avcodec_alloc_context3(encoder);
    m_packet = av_packet_alloc();
    m_frame = av_frame_alloc();
    if (!m_codec || !m_packet || !m_frame) throw std::bad_alloc();
    m_codec->width = setup.width;
    m_codec->height = setup.height;
    m_codec->pix_fmt = setup.pixelFormat;
    m_codec->time_base = av_inv_q(setup.frameRate);
    m_codec->framerate = setup.frameRate;
    m_codec->sample_aspect_ratio = AVRational{1, 1};
    m_codec->thread_count = 0; // the encoder's own choice
    if (setup.globalQuality >= 0) {
        m_codec->flags |= AV_CODEC_FLAG_QSCALE;
        m_codec->global_quality = setup.globalQuality * FF_QP2LAMBDA;
    }
    if (setup.bitRate > 0) m_codec->bit_rate = setup.bitRate;
    if (setup.colourTagged) {
        // The tags are ISO/IEC 23091-2 code points, which FFmpeg's enumerations share.
        m_codec->color_primaries = static_cast<AVColorPrimaries>(setup.tags.primaries);
        m_codec->color_trc = static_cast<AVColorTransferCharacteristic>(setup.tags.transfer);
        m_codec->colorspace = static_cast<AVColorSpace>(setup.tags.matrix);
        m_codec->color_range = static_cast<AVColorRange>(setup.tags.range);
        const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(setup.pixelFormat);
        if (format->log2_chroma_h > 0) m_codec->chroma_sample_location = AVCHROMA_LOC_CENTER;
    }
    if (m_format->oformat->flags & AVFMT_GLOBALHEADER) m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    for (const auto& option : setup.options)
        av_dict_set(&options, option.first.c_str(), option.second.c_str(), 0);
    error = avcodec_open2(m_codec, encoder, &options);
    av_dict_free(&options);
    if (error < 0) Fail("cannot start the encoder", error);

    m_stream = avformat_new_stream(m_format, nullptr);
    if (!m_stream) throw std::bad_alloc();
    m_stream->time_base = m_codec->time_base;
    m_stream->avg_frame_rate = setup.frameRate;
    m_stream->r_frame_rate = setup.frameRate;
    error = avcodec_parameters_from_context(m_stream->codecpar, m_codec);
    if (error < 0) Fail("cannot start the stream", error);
    if (setup.codecTag) m_stream->codecpar->codec_tag = setup.codecTag;
    if (!setup.timecode.empty()) av_dict_set(&m_stream->metadata, "timecode", setup.timecode.c_str(), 0);
    error = avformat_write_header(m_format, nullptr);
    if (error < 0) Fail("cannot write the container's header", error);

    m_planes = av_pix_fmt_count_planes(setup.pixelFormat);
    int linesizes[4]{};
    av_image_fill_linesizes(linesizes, setup.pixelFormat, setup.width);
    size_t total = 0;
    ptrdiff_t strides[4]{};
    // Rows and planes on 64-byte boundaries, as encoders' vector code likes them.
    for (int i = 0; i < 4; ++i) strides[i] = linesizes[i] = FFALIGN(linesizes[i], kAlignment);
    size_t sizes[4]{};
    av_image_fill_plane_sizes(sizes, setup.pixelFormat, setup.height, strides);
    for (int i = 0; i < m_planes; ++i) {
        m_planeBytes[i] = static_cast<int>(sizes[i]);
        total += sizes[i];
    }
    m_pool = av_buffer_pool_init(total + AV_INPUT_BUFFER_PADDING_SIZE, av_buffer_allocz);
    if (!m_pool) throw std::bad_alloc();
    std::memcpy(m_frame->linesize, linesizes, sizeof linesizes);
}

VideoStream::~VideoStream() {
    Release();
}

void VideoStream::Release() {
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    avcodec_free_context(&m_codec);
    if (m_format) {
        if (m_format->pb) av_freep(&m_format->pb->buffer);
        avio_context_free(&m_format->pb);
        avformat_free_context(m_format);
    }
    av_buffer_pool_uninit(&m_pool);
}

AVFrame& VideoStream::NextFrame() {
    int linesizes[4];
    std::memcpy(linesizes, m_frame->linesize, sizeof linesizes);
    av_frame_unref(m_frame);
    m_frame->buf[0] = av_buffer_pool_get(m_pool);
    if (!m_frame->buf[0]) throw std::bad_alloc();
    m_frame->format = m_codec->pix_fmt;
    m_frame->width = m_codec->width;
    m_frame->height = m_codec->height;
    std::memcpy(m_frame->linesize, linesizes, sizeof linesizes);
    uint8_t* data = m_frame->buf[0]->data;
    for (int i = 0; i < m_planes; ++i) {
        m_frame->data[i] = data;
        data += m_planeBytes[i];
    }
    return *m_frame;
}

void VideoStream::Send() {
    m_frame->pts = m_next++;
    m_frame->color_primaries = m_codec->color_primaries;
    m_frame->color_trc = m_codec->color_trc;
    m_frame->colorspace = m_codec->colorspace;
    m_frame->color_range = m_codec->color_range;
    Encode(m_frame);
}

void VideoStream::Finish() {
    Encode(nullptr);
    const int error = av_write_trailer(m_format);
    if (error < 0) Fail("cannot complete the container", error);
    avio_flush(m_format->pb);
    if (m_format->pb->error < 0) Fail("cannot write", m_format->pb->error);
}

void VideoStream::Encode(AVFrame* frame) {
    int error = avcodec_send_frame(m_codec, frame);
    if (error < 0) Fail("the encoder failed", error);
    for (;;) {
        error = avcodec_receive_packet(m_codec, m_packet);
        if (error == AVERROR(EAGAIN) || error == AVERROR_EOF) break;
        if (error < 0) Fail("the encoder failed", error);
        av_packet_rescale_ts(m_packet, m_codec->time_base, m_stream->time_base);
        m_packet->stream_index = m_stream->index;
        error = av_interleaved_write_frame(m_format, m_packet);
        if (error < 0) Fail("cannot write", error);
    }
}

void VideoStream::Fail(const char* what, int error) const {
    if (error == AVERROR(EPIPE)) throw ToolError("cannot write " + m_name + ": the reader closed the pipe");
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    throw ToolError(std::string(what) + " (" + m_name + "): " + text);
}

} // namespace tsr::tools
