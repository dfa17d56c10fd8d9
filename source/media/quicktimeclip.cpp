// QuickTime clips through libavformat. Reading uses the demuxer's sample index (position and
// size of every sample) and reads samples directly, so any frame range is a seek away; writing
// muxes one video track whose sample description carries the 'tsrn' or 'tsrh' type.
extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

#include <algorithm>
#include <cstring>
#include <mutex>

#include "format/frameheader.h"
#include "tsr/media/clip.h"
#include "tsr/media/mediaerror.h"
#include "tsr/media/outputfile.h"

namespace tsr::media {

namespace {

std::string AvErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

// libavformat's own log would add lines of its own to standard error; the tool reports errors itself.
void QuietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// Bytes in memory as libavformat's input, through its custom I/O callbacks.
struct MemoryInput {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    size_t position = 0;

    static int Read(void* opaque, uint8_t* buffer, int capacity) {
        auto* self = static_cast<MemoryInput*>(opaque);
        const size_t count = std::min(static_cast<size_t>(capacity), self->size - self->position);
        if (count == 0) return AVERROR_EOF;
        std::memcpy(buffer, self->bytes + self->position, count);
        self->position += count;
        return static_cast<int>(count);
    }
    static int64_t Seek(void* opaque, int64_t offset, int whence) {
        auto* self = static_cast<MemoryInput*>(opaque);
        whence &= ~AVSEEK_FORCE;
        if (whence == AVSEEK_SIZE) return static_cast<int64_t>(self->size);
        const int64_t base = whence == SEEK_CUR   ? static_cast<int64_t>(self->position)
                             : whence == SEEK_END ? static_cast<int64_t>(self->size)
                                                  : 0;
        if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return AVERROR(EINVAL);
        if (offset > static_cast<int64_t>(self->size) - base || offset < -base) return AVERROR(EINVAL);
        self->position = static_cast<size_t>(base + offset);
        return static_cast<int64_t>(self->position);
    }
};

class QuickTimeReader : public ClipReader {
public:
    // Reads the file at `path`, or `memory` (named `path` in messages) when given.
    QuickTimeReader(const std::string& path, bool keepDamaged, const MemoryInput* memory = nullptr)
        : m_path(path) {
        QuietLibraries();
        m_properties.container = "quicktime";
        if (memory) {
            m_memory = *memory;
            m_input.context = avformat_alloc_context();
            constexpr int kBufferSize = 4096;
            auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
            if (buffer)
                m_input.io = avio_alloc_context(buffer, kBufferSize, 0, &m_memory, MemoryInput::Read, nullptr,
                                                MemoryInput::Seek);
            if (!m_input.io) av_free(buffer);
            if (!m_input.context || !m_input.io) throw MediaError(path + ": not enough memory to read it");
            m_input.context->pb = m_input.io;
            m_input.context->flags |= AVFMT_FLAG_CUSTOM_IO;
        }
        const int opened =
            avformat_open_input(&m_input.context, memory ? "" : path.c_str(), nullptr, nullptr);
        if (opened < 0)
            throw MediaError(path + " is not a readable QuickTime file (" + AvErrorText(opened) + ")");
        for (unsigned i = 0; i < m_input.context->nb_streams; ++i) {
            AVStream* stream = m_input.context->streams[i];
            const uint32_t tag = stream->codecpar->codec_tag;
            if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
                (tag == kFourCCTsrn || tag == kFourCCTsrh)) {
                m_stream = stream;
                break;
            }
        }
        if (!m_stream) throw MediaError(path + " has no tsrn or tsrh video track");
        m_properties.fourcc = m_stream->codecpar->codec_tag;
        AVRational rate =
            m_stream->avg_frame_rate.num > 0 ? m_stream->avg_frame_rate : m_stream->r_frame_rate;
        if (rate.num > 0 && rate.den > 0) {
            m_properties.frameRateNumerator = rate.num;
            m_properties.frameRateDenominator = rate.den;
        }
        // The demuxer gives a time code track's start to the video track it belongs to.
        for (AVDictionary* metadata : {m_stream->metadata, m_input.context->metadata})
            if (const AVDictionaryEntry* timecode = av_dict_get(metadata, "timecode", nullptr, 0))
                if (m_properties.timecode.empty()) m_properties.timecode = timecode->value;
        m_count = avformat_index_get_entries_count(m_stream);
        if (m_count <= 0) throw MediaError(path + ": the tsrn/tsrh track has no frames");
        m_fileSize = avio_size(m_input.context->pb);
        for (int i = 0; i < m_count && !keepDamaged; ++i) {
            const std::string damage = Damage(i);
            if (!damage.empty()) throw MediaError(damage);
        }
    }

    int FrameCount() const override { return m_count; }
    const ClipProperties& Properties() const override { return m_properties; }

    void ReadFrame(int index, std::vector<uint8_t>& bytes) override {
        if (index < 0 || index >= m_count) throw MediaError(m_path + ": no frame " + std::to_string(index));
        const std::string damage = Damage(index);
        if (!damage.empty()) throw MediaError(damage);
        const AVIndexEntry* entry = avformat_index_get_entry(m_stream, index);
        bytes.resize(static_cast<size_t>(entry->size));
        if (avio_seek(m_input.context->pb, entry->pos, SEEK_SET) < 0 ||
            avio_read(m_input.context->pb, bytes.data(), entry->size) != entry->size)
            throw MediaError(m_path + ": cannot read frame " + std::to_string(index) + " (truncated file?)");
    }

private:
    // Why frame `index` cannot be read from the file, when it cannot.
    std::string Damage(int index) const {
        const AVIndexEntry* entry = avformat_index_get_entry(m_stream, index);
        const std::string where = m_path + ": frame " + std::to_string(index);
        if (!entry || entry->pos < 0 || entry->size <= 0) return where + " has no place in the file";
        if (m_fileSize >= 0 && entry->pos + entry->size > m_fileSize)
            return where + " is truncated (the file ends at byte " + std::to_string(m_fileSize) + ")";
        return {};
    }

    std::string m_path;
    int64_t m_fileSize = -1;
    MemoryInput m_memory; // outlives the input context that reads it
    // Closed by its own destructor, so a constructor that throws leaves nothing open.
    struct InputContext {
        AVFormatContext* context = nullptr;
        AVIOContext* io = nullptr; // custom I/O, owned here rather than by the context
        ~InputContext() {
            avformat_close_input(&context);
            if (io) av_freep(&io->buffer);
            avio_context_free(&io);
        }
    } m_input;
    AVStream* m_stream = nullptr;
    int m_count = 0;
    ClipProperties m_properties;
};

class QuickTimeWriter : public ClipWriter {
public:
    QuickTimeWriter(const std::string& path, const ClipWriterSettings& settings)
        : m_output(path), m_settings(settings) {
        QuietLibraries();
        if (settings.fourcc != kFourCCTsrn && settings.fourcc != kFourCCTsrh)
            throw MediaError::BadArgument("the track type must be tsrn or tsrh");
        if (settings.frameRateNumerator <= 0 || settings.frameRateDenominator <= 0)
            throw MediaError::BadArgument("the frame rate must be positive");
    }
    ~QuickTimeWriter() override {
        if (m_context) {
            avio_closep(&m_context->pb);
            avformat_free_context(m_context);
        }
    }

    void Append(const std::vector<uint8_t>& frame) override {
        if (!m_context) Start(frame);
        AVPacket* packet = av_packet_alloc();
        if (!packet || av_new_packet(packet, static_cast<int>(frame.size())) < 0) {
            av_packet_free(&packet);
            throw MediaError("out of memory writing " + m_output.Path());
        }
        std::copy(frame.begin(), frame.end(), packet->data);
        packet->stream_index = 0;
        packet->pts = packet->dts = m_written;
        packet->duration = 1;
        packet->flags = AV_PKT_FLAG_KEY;
        av_packet_rescale_ts(packet, m_timeBase, m_context->streams[0]->time_base);
        const int written = av_write_frame(m_context, packet);
        av_packet_free(&packet);
        if (written < 0) throw MediaError("cannot write " + m_output.Path() + ": " + AvErrorText(written));
        ++m_written;
    }

    void Finish() override {
        if (!m_context) throw MediaError("no frames to write to " + m_output.Path());
        const int ended = av_write_trailer(m_context);
        avio_closep(&m_context->pb);
        if (ended < 0) throw MediaError("cannot write " + m_output.Path() + ": " + AvErrorText(ended));
        m_output.Commit();
    }

private:
    void Start(const std::vector<uint8_t>& first) {
        int result =
            avformat_alloc_output_context2(&m_context, nullptr, "mov", m_output.TemporaryPath().c_str());
        if (result < 0 || !m_context)
            throw MediaError("cannot create " + m_output.Path() + ": " + AvErrorText(result));
        AVStream* stream = avformat_new_stream(m_context, nullptr);
        if (!stream) throw MediaError("cannot create " + m_output.Path());
        m_timeBase = AVRational{m_settings.frameRateDenominator, m_settings.frameRateNumerator};
        stream->time_base = m_timeBase;
        stream->avg_frame_rate = AVRational{m_settings.frameRateNumerator, m_settings.frameRateDenominator};
        AVCodecParameters* parameters = stream->codecpar;
        parameters->codec_type = AVMEDIA_TYPE_VIDEO;
        parameters->codec_id = AV_CODEC_ID_NONE;
        parameters->codec_tag = m_settings.fourcc;
        ReadStoredDimensions(first.data(), first.size(), parameters->width, parameters->height);
        if (!m_settings.timecode.empty())
            av_dict_set(&m_context->metadata, "timecode", m_settings.timecode.c_str(), 0);
        result = avio_open(&m_context->pb, m_output.TemporaryPath().c_str(), AVIO_FLAG_WRITE);
        if (result < 0) throw MediaError("cannot write " + m_output.Path() + ": " + AvErrorText(result));
        result = avformat_write_header(m_context, nullptr);
        if (result < 0) throw MediaError("cannot write " + m_output.Path() + ": " + AvErrorText(result));
    }

    OutputFile m_output;
    ClipWriterSettings m_settings;
    AVFormatContext* m_context = nullptr;
    AVRational m_timeBase{1, 24};
    int64_t m_written = 0;
};

} // namespace

std::unique_ptr<ClipReader> OpenQuickTimeClip(const std::string& path, bool keepDamaged) {
    return std::make_unique<QuickTimeReader>(path, keepDamaged);
}

std::unique_ptr<ClipReader> OpenQuickTimeClip(const uint8_t* bytes, size_t size, const std::string& name,
                                              bool keepDamaged) {
    const MemoryInput memory{bytes, size, 0};
    return std::make_unique<QuickTimeReader>(name, keepDamaged, &memory);
}

std::unique_ptr<ClipWriter> CreateQuickTimeWriter(const std::string& path,
                                                  const ClipWriterSettings& settings) {
    return std::make_unique<QuickTimeWriter>(path, settings);
}

} // namespace tsr::media
