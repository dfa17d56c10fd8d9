#include "python/frame.h"

#include <atomic>
#include <cstring>
#include <utility>

#include "python/errors.h"
#include "python/leasepool.h"
#include "tsr/media/decodedpicture.h"
#include "tsr/media/frames.h"
#include "tsr/media/mediaerror.h"

namespace tsr::python {

namespace {

struct PooledDecoder {
    media::FrameDecoder decoder; // worker threads: one per processor
    media::DecodedPicture scratch;
};

// Never destroyed: leases may still end while the interpreter shuts down. A child forked from
// this process gets pools of its own (StartPoolsInChild).
std::atomic<LeasePool<PooledDecoder>*> g_decoders{new LeasePool<PooledDecoder>(4)};
std::atomic<LeasePool<media::RgbaEngine>*> g_engines{new LeasePool<media::RgbaEngine>(2)};

LeasePool<PooledDecoder>& Decoders() {
    return *g_decoders;
}

LeasePool<media::RgbaEngine>& Engines() {
    return *g_engines;
}

std::string EngineKey(const media::EngineChoice& choice) {
    return choice.engine + "|" + choice.device + "|" + std::to_string(choice.threads);
}

// OpenCL implementations keep threads and device state of their own that a forked child does
// not have (PoCL's hang in the child): once this process has started an OpenCL engine, its
// children refuse OpenCL with an error rather than hang.
std::atomic<bool> g_openclStarted{false};
std::atomic<bool> g_openclForked{false};

std::unique_ptr<media::RgbaEngine> OpenSession(const media::EngineChoice& choice) {
    if (g_openclForked) {
        const bool opencl = choice.engine == "opencl" ||
                            (choice.engine == "auto" && !choice.device.empty()) ||
                            (choice.engine == "auto" && !media::ListEngines(1).autoIsCpu);
        if (opencl)
            throw media::MediaError(
                "OpenCL does not work in a process forked after OpenCL started: use the CPU "
                "engine, or start processes with multiprocessing's \"spawn\" method",
                media::MediaError::Kind::Engine, 0, "Forked");
    }
    std::unique_ptr<media::RgbaEngine> engine = media::OpenEngine(choice);
    if (engine->Description().rfind("OpenCL", 0) == 0) g_openclStarted = true;
    return engine;
}

} // namespace

void StartPoolsInChild() {
    // The parent's decoders and engines wait for worker threads that the child does not have:
    // ending them would wait forever, so they are left as they are, with the pools' locks.
    g_decoders = new LeasePool<PooledDecoder>(4);
    g_engines = new LeasePool<media::RgbaEngine>(2);
    if (g_openclStarted) g_openclForked = true;
}

Frame::Frame(std::shared_ptr<const std::vector<uint8_t>> bytes, int index, int scale,
             std::weak_ptr<FrameOwner> owner)
    : m_bytes(std::move(bytes)), m_index(index), m_scale(scale), m_owner(std::move(owner)) {}

Frame::~Frame() {
    GiveBack(std::move(m_kept));
}

void Frame::GiveBack(std::unique_ptr<media::DecodedPicture> picture) const {
    if (!picture) return;
    if (const std::shared_ptr<FrameOwner> owner = m_owner.lock()) owner->GiveBack(std::move(picture));
}

std::string Frame::Name() const {
    return m_index < 0 ? std::string() : "frame " + std::to_string(m_index);
}

template <typename Use> void Frame::WithPicture(int scale, Use&& use) {
    if (const std::shared_ptr<FrameOwner> owner = m_owner.lock()) owner->ScaleAskedFor(scale);
    std::unique_ptr<media::DecodedPicture> kept;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_kept && m_kept->ScaleIndex() == scale) kept = std::move(m_kept);
    }
    if (kept) {
        struct Done {
            const Frame& frame;
            std::unique_ptr<media::DecodedPicture>& picture;
            ~Done() { frame.GiveBack(std::move(picture)); }
        } done{*this, kept};
        use(static_cast<const media::DecodedPicture&>(*kept));
        return;
    }
    auto decoder = Decoders().Take("", [] { return std::make_unique<PooledDecoder>(); });
    const int result = decoder->scratch.DecodeFrame(decoder->decoder.Get(), *m_bytes, scale);
    if (result != FRAME_DECODER_OK) throw DecoderFailure(result, Name());
    if (scale == m_scale) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_info = *decoder->scratch.Record();
    }
    use(static_cast<const media::DecodedPicture&>(decoder->scratch));
}

bool Frame::DecodeAhead(int scale, std::unique_ptr<media::DecodedPicture> picture) {
    if (!picture) picture = std::make_unique<media::DecodedPicture>();
    {
        auto decoder = Decoders().Take("", [] { return std::make_unique<PooledDecoder>(); });
        if (picture->DecodeFrame(decoder->decoder.Get(), *m_bytes, scale) != FRAME_DECODER_OK) {
            GiveBack(std::move(picture));
            return false;
        }
    }
    std::unique_ptr<media::DecodedPicture> replaced;
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (scale == m_scale) m_info = *picture->Record();
    replaced = std::exchange(m_kept, std::move(picture));
    return true;
}

void Frame::DecodeNow() {
    auto decoder = Decoders().Take("", [] { return std::make_unique<PooledDecoder>(); });
    auto picture = std::make_unique<media::DecodedPicture>();
    const int result = picture->DecodeFrame(decoder->decoder.Get(), *m_bytes, m_scale);
    if (result != FRAME_DECODER_OK) throw DecoderFailure(result, Name());
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_info = *picture->Record();
    m_kept = std::move(picture);
}

TsrFrameInfoRecord Frame::Info() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_info) return *m_info;
    }
    WithPicture(m_scale, [](const media::DecodedPicture&) {});
    const std::lock_guard<std::mutex> lock(m_mutex);
    return *m_info;
}

TsrFrameMetadataRecord Frame::Metadata() const {
    TsrFrameMetadataRecord record{};
    const size_t length = m_bytes->size();
    if (frameDecoderGetMetadata(m_bytes->data(), length > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(length),
                                &record) != 0)
        throw DecoderFailure(FRAME_DECODER_INVALID_FRAME, Name());
    return record;
}

std::string Frame::Damaged() {
    try {
        Info();
    } catch (const media::MediaError& error) {
        if (error.ErrorKind() != media::MediaError::Kind::Decoder) throw;
        return error.what();
    }
    const int slices = media::DamagedSlices(*m_bytes);
    return slices > 0 ? media::DamagedSlicesText(*m_bytes, slices) : std::string();
}

PictureBuffer Frame::Bayer(int scale) {
    PictureBuffer out;
    WithPicture(scale, [&](const media::DecodedPicture& picture) {
        out.width = picture.OutputWidth();
        out.height = picture.OutputHeight();
        out.channels = picture.Mosaic() ? 1 : 4;
        const size_t rowBytes = static_cast<size_t>(out.width) * static_cast<size_t>(out.channels) * 2;
        out.bytes = HostBuffer(rowBytes * static_cast<size_t>(out.height));
        for (int y = 0; y < out.height; ++y)
            std::memcpy(out.bytes.Data() + rowBytes * static_cast<size_t>(y), picture.Row(y), rowBytes);
    });
    return out;
}

PictureBuffer Frame::Process(int scale, const media::DebayerSettings& settings,
                             const media::EngineChoice& engine) {
    PictureBuffer out;
    WithPicture(scale, [&](const media::DecodedPicture& picture) {
        auto session = Engines().Take(EngineKey(engine), [&] { return OpenSession(engine); });
        out.width = picture.OutputWidth();
        out.height = picture.OutputHeight();
        out.channels = 4;
        media::RgbaFrame rgba;
        rgba.index = m_index < 0 ? 0 : m_index;
        out.bytes = HostBuffer(static_cast<size_t>(out.width) * static_cast<size_t>(out.height) *
                               (settings.floatOutput ? 16 : 8));
        rgba.bytes = std::move(out.bytes.Bytes()); // the engine writes every byte
        try {
            session->Process(picture, settings, rgba);
        } catch (const media::MediaError& error) {
            if (m_index >= 0) throw;
            // A frame on its own has no index to name.
            const std::string text = error.what(), prefix = "frame 0: ";
            throw media::MediaError(text.rfind(prefix, 0) == 0 ? text.substr(prefix.size()) : text,
                                    error.ErrorKind(), error.Code(), error.CodeName(), error.Hint());
        }
        out.bytes.Bytes() = std::move(rgba.bytes);
    });
    return out;
}

} // namespace tsr::python
