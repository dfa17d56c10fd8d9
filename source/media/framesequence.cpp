// Plain clips: frames back to back, each starting with its big-endian frameSize and "tsrf".
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "format/bigendian.h"
#include "format/framefinder.h"
#include "format/frameformat.h"
#include "format/frameheader.h"
#include "media/filehandle.h"
#include "tsr/media/clip.h"
#include "tsr/media/mediaerror.h"
#include "tsr/media/outputfile.h"

namespace tsr::media {

namespace {

// QuickTime files start with one of these boxes.
bool LooksLikeQuickTime(const uint8_t* head, size_t got) {
    static const char* const boxes[] = {"ftyp", "moov", "mdat", "wide", "free", "skip"};
    for (const char* box : boxes)
        if (got >= 8 && std::memcmp(head + 4, box, 4) == 0) return true;
    return false;
}

struct FrameSpan {
    uint64_t offset;
    uint32_t size;
    std::string damage; // why the frame cannot be read, when it cannot
};

class FrameSequenceReader : public ClipReader {
public:
    FrameSequenceReader(FileHandle file, const std::string& path, bool keepDamaged)
        : m_path(path), m_file(std::move(file)), m_keepDamaged(keepDamaged) {
        m_properties.container = "frames";
        if (!m_file) throw MediaError("cannot open " + path + ": " + std::strerror(errno));
        if (std::fseek(m_file.get(), 0, SEEK_END) != 0) throw MediaError("cannot read " + path);
        const long length = std::ftell(m_file.get());
        if (length < 0) throw MediaError("cannot read " + path);
        Index(static_cast<uint64_t>(length));
    }
    int FrameCount() const override { return static_cast<int>(m_frames.size()); }
    const ClipProperties& Properties() const override { return m_properties; }

    void ReadFrame(int index, std::vector<uint8_t>& bytes) override {
        if (index < 0 || index >= FrameCount())
            throw MediaError(m_path + ": no frame " + std::to_string(index));
        const FrameSpan& span = m_frames[static_cast<size_t>(index)];
        if (!span.damage.empty()) throw MediaError(span.damage);
        bytes.resize(span.size);
        if (std::fseek(m_file.get(), static_cast<long>(span.offset), SEEK_SET) != 0 ||
            std::fread(bytes.data(), 1, span.size, m_file.get()) != span.size)
            throw MediaError(m_path + ": cannot read frame " + std::to_string(index));
    }

private:
    // Walks the frames by their sizes; every frame must start with the magic and fit the file.
    // Where one does not, the clip goes on at the next plausible frame (the frame finder's), and
    // the bytes in between are one damaged frame.
    void Index(uint64_t length) {
        uint64_t offset = 0;
        while (offset < length) {
            std::string damage = Damage(offset, length);
            if (damage.empty()) {
                const uint32_t size = LoadU32Be(m_head);
                m_frames.push_back({offset, size, {}});
                offset += size;
                continue;
            }
            const ReadAt read = [this](uint64_t at, uint8_t* out, size_t count) {
                if (std::fseek(m_file.get(), static_cast<long>(at), SEEK_SET) != 0) return size_t{0};
                return std::fread(out, 1, count, m_file.get());
            };
            const uint64_t next = FindFrameIn(read, length, offset + 1);
            if (next < length)
                damage += "; the clip goes on at the next frame, at byte " + std::to_string(next);
            if (!m_keepDamaged) throw MediaError(damage);
            m_frames.push_back({offset, 0, damage});
            offset = next; // at the end when nothing after it can be found
        }
        if (m_frames.empty()) throw MediaError(m_path + " is empty");
    }

    // Why the frame at `offset` is not whole: its head (into m_head) and size against the file.
    std::string Damage(uint64_t offset, uint64_t length) {
        const std::string where = m_path + ": frame " + std::to_string(m_frames.size());
        if (length - offset < sizeof m_head)
            return where + " is truncated (" + std::to_string(length - offset) +
                   " bytes at the end of the file)";
        if (std::fseek(m_file.get(), static_cast<long>(offset), SEEK_SET) != 0 ||
            std::fread(m_head, 1, sizeof m_head, m_file.get()) != sizeof m_head)
            throw MediaError("cannot read " + m_path);
        if (!HasFrameMagic(m_head, sizeof m_head))
            return where + " at byte " + std::to_string(offset) +
                   " does not start with a frame size and \"tsrf\"";
        const uint32_t size = LoadU32Be(m_head);
        if (size < sizeof m_head) return where + " has an impossible frame size of " + std::to_string(size);
        if (size > length - offset)
            return where + " is truncated (needs " + std::to_string(size) + " bytes, " +
                   std::to_string(length - offset) + " left)";
        return {};
    }

    std::string m_path;
    FileHandle m_file;
    bool m_keepDamaged;
    uint8_t m_head[8] = {};
    std::vector<FrameSpan> m_frames;
    ClipProperties m_properties;
};

class FrameSequenceWriter : public ClipWriter {
public:
    explicit FrameSequenceWriter(const std::string& path) : m_output(path) {}
    void Append(const std::vector<uint8_t>& frame) override { m_output.Write(frame.data(), frame.size()); }
    void Finish() override {
        m_output.Stream(); // an empty clip is still a file
        m_output.Commit();
    }

private:
    OutputFile m_output;
};

} // namespace

std::unique_ptr<ClipReader> OpenFrameSequence(const std::string& path, bool keepDamaged) {
    return std::make_unique<FrameSequenceReader>(FileHandle(std::fopen(path.c_str(), "rb")), path,
                                                 keepDamaged);
}

std::unique_ptr<ClipReader> OpenFrameSequence(std::FILE* file, const std::string& name, bool keepDamaged) {
    return std::make_unique<FrameSequenceReader>(FileHandle(file), name, keepDamaged);
}

std::unique_ptr<ClipWriter> CreateFrameSequenceWriter(const std::string& path) {
    return std::make_unique<FrameSequenceWriter>(path);
}

std::unique_ptr<ClipReader> OpenClip(const std::string& path, bool keepDamaged) {
    const bool standardInput = path == "-";
    const std::string name = standardInput ? kStandardInputName : path;
    std::FILE* file = standardInput ? stdin : std::fopen(path.c_str(), "rb");
    if (!file) throw MediaError("cannot open " + path + ": " + std::strerror(errno));
    if (!standardInput) RegisterInput(path);
    uint8_t head[8] = {};
    const size_t got = std::fread(head, 1, sizeof head, file);
    if (!standardInput) std::fclose(file);
    const bool quickTime = LooksLikeQuickTime(head, got);
    const bool frames = HasFrameMagic(head, got);
    if (standardInput && (frames || quickTime)) return OpenPipedClip(stdin, head, got, keepDamaged);
    if (frames) return OpenFrameSequence(path, keepDamaged);
    if (quickTime) return OpenQuickTimeClip(path, keepDamaged);
    if (standardInput && got == 0) throw MediaError(name + " is empty");
    throw MediaError(name + " is neither a Tessel RAW frame nor a clip of them");
}

namespace {

// A reader over bytes it owns.
class OwnedBytesClip : public ClipReader {
public:
    OwnedBytesClip(std::vector<uint8_t> bytes, const std::string& name, bool keepDamaged)
        : m_bytes(std::move(bytes)) {
        if (HasFrameMagic(m_bytes.data(), m_bytes.size())) {
            // A stream over the bytes: fmemopen reads them in place.
            std::FILE* file = fmemopen(m_bytes.data(), m_bytes.size(), "rb");
            if (!file) throw MediaError("cannot read " + name + ": " + std::strerror(errno));
            m_reader = OpenFrameSequence(file, name, keepDamaged);
        } else if (LooksLikeQuickTime(m_bytes.data(), m_bytes.size())) {
            m_reader = OpenQuickTimeClip(m_bytes.data(), m_bytes.size(), name, keepDamaged);
        } else if (m_bytes.empty()) {
            throw MediaError(name + " is empty");
        } else {
            throw MediaError(name + " is neither a Tessel RAW frame nor a clip of them");
        }
    }
    int FrameCount() const override { return m_reader->FrameCount(); }
    const ClipProperties& Properties() const override { return m_reader->Properties(); }
    void ReadFrame(int index, std::vector<uint8_t>& bytes) override { m_reader->ReadFrame(index, bytes); }
    bool HasFrame(int index) override { return m_reader->HasFrame(index); }

private:
    std::vector<uint8_t> m_bytes;
    std::unique_ptr<ClipReader> m_reader;
};

} // namespace

std::unique_ptr<ClipReader> OpenClip(std::vector<uint8_t> bytes, const std::string& name, bool keepDamaged) {
    return std::make_unique<OwnedBytesClip>(std::move(bytes), name, keepDamaged);
}

FrameSize FrameSizeOf(const std::vector<uint8_t>& frame) {
    const size_t h = kFrameHeaderStart;
    if (frame.size() < h + header::kFixedSize || !HasFrameMagic(frame.data(), frame.size())) return {};
    return {static_cast<int>(LoadU16Be(frame.data() + h + header::kWidth)),
            static_cast<int>(LoadU16Be(frame.data() + h + header::kHeight))};
}

FrameSize FirstFrameSize(ClipReader& clip) {
    std::vector<uint8_t> frame;
    clip.ReadFrame(0, frame);
    return FrameSizeOf(frame);
}

std::unique_ptr<ClipWriter> CreateClipWriter(const std::string& path, const ClipWriterSettings& settings) {
    if (HasExtension(path, ".mp4") || HasExtension(path, ".m4v"))
        throw MediaError::BadArgument(
            "MP4 files cannot carry tsrn or tsrh tracks; write a QuickTime file (.mov) instead");
    if (HasExtension(path, ".mov") || HasExtension(path, ".qt")) return CreateQuickTimeWriter(path, settings);
    return CreateFrameSequenceWriter(path);
}

std::string FourCCText(uint32_t fourcc) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((fourcc >> (8 * i)) & 0xFF);
        text += (c >= 32 && c < 127) ? c : '?';
    }
    return text;
}

bool HasExtension(const std::string& path, const char* extension) {
    const size_t length = std::strlen(extension);
    if (path.size() < length) return false;
    for (size_t i = 0; i < length; ++i) {
        char c = path[path.size() - length + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != extension[i]) return false;
    }
    return true;
}

} // namespace tsr::media
