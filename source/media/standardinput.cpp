// Clips piped into standard input. Frames back to back are read as a stream, one frame at a time,
// so a pipe of any length costs one frame of memory. A QuickTime clip cannot be read that way
// (its sample index may sit at the end and point anywhere), so it is read into memory first, up
// to a limit.
#include <algorithm>
#include <cstring>

#include "format/bigendian.h"
#include "format/frameheader.h"
#include "tsr/media/clip.h"
#include "tsr/media/mediaerror.h"

namespace tsr::media {

namespace {

unsigned long long g_maxStdinBytes = kDefaultMaxStdinBytes;

// Appends up to `count` bytes of `in` to `bytes`, growing the buffer only as data arrives, so
// a size claimed by a header costs nothing until the bytes are there. Returns the bytes read.
size_t ReadAppending(std::FILE* in, std::vector<uint8_t>& bytes, unsigned long long count) {
    constexpr size_t kChunk = 1 << 20;
    size_t got = 0;
    while (got < count) {
        const size_t want = static_cast<size_t>(std::min<unsigned long long>(kChunk, count - got));
        const size_t old = bytes.size();
        bytes.resize(old + want);
        const size_t read = std::fread(bytes.data() + old, 1, want, in);
        bytes.resize(old + read);
        got += read;
        if (read < want) break;
    }
    if (std::ferror(in)) throw MediaError(std::string("cannot read ") + kStandardInputName);
    return got;
}

class FrameStreamReader : public ClipReader {
public:
    // `head` holds the stream's first `got` bytes, already read to tell its kind.
    FrameStreamReader(std::FILE* in, const uint8_t* head, size_t got, bool keepDamaged)
        : m_in(in), m_keepDamaged(keepDamaged), m_head(head, head + got) {
        m_properties.container = "frames";
    }
    int FrameCount() const override { return m_ended ? m_current + 1 : -1; }
    const ClipProperties& Properties() const override { return m_properties; }

    bool HasFrame(int index) override {
        if (index < m_current)
            throw MediaError(std::string(kStandardInputName) + " is read once, in order: frame " +
                             std::to_string(index) + " has gone by");
        while (m_current < index)
            if (!ReadNext()) return false;
        return index >= 0;
    }

    void ReadFrame(int index, std::vector<uint8_t>& bytes) override {
        if (!HasFrame(index))
            throw MediaError(std::string(kStandardInputName) + ": no frame " + std::to_string(index));
        if (!m_damage.empty()) throw MediaError(m_damage);
        bytes = m_frame;
    }

private:
    // Reads the next frame into m_frame; false at the end of the stream.
    bool ReadNext() {
        if (m_ended) return false;
        const std::string where =
            std::string(kStandardInputName) + ": frame " + std::to_string(m_current + 1);
        m_frame.assign(m_head.begin(), m_head.end());
        m_head.clear();
        if (m_frame.size() < 8) ReadAppending(m_in, m_frame, 8 - m_frame.size());
        if (m_frame.empty()) {
            m_ended = true;
            if (m_current < 0) throw MediaError(std::string(kStandardInputName) + " is empty");
            return false;
        }
        std::string damage;
        if (m_frame.size() < 8) {
            damage = where + " is truncated (" + std::to_string(m_frame.size()) +
                     " bytes at the end of the stream)";
        } else if (!HasFrameMagic(m_frame.data(), m_frame.size())) {
            damage = where + " does not start with a frame size and \"tsrf\"";
        } else if (LoadU32Be(m_frame.data()) < 8) {
            damage = where + " has an impossible frame size of " + std::to_string(LoadU32Be(m_frame.data()));
        } else {
            const uint32_t size = LoadU32Be(m_frame.data());
            const size_t got = ReadAppending(m_in, m_frame, size - m_frame.size());
            if (m_frame.size() < size)
                damage = where + " is truncated (needs " + std::to_string(size) + " bytes, " +
                         std::to_string(8 + got) + " left)";
        }
        if (!damage.empty()) {
            // Nothing after it can be found: with keepDamaged it is the stream's last frame.
            if (!m_keepDamaged) throw MediaError(damage);
            m_damage = damage;
            m_ended = true;
        }
        ++m_current;
        return true;
    }

    std::FILE* m_in;
    bool m_keepDamaged;
    std::string m_damage; // why frame m_current cannot be read, when it cannot
    std::vector<uint8_t> m_head;
    std::vector<uint8_t> m_frame; // frame m_current
    int m_current = -1;
    bool m_ended = false;
    ClipProperties m_properties;
};

// A reader over bytes it owns.
class MemoryClip : public ClipReader {
public:
    MemoryClip(std::vector<uint8_t> bytes, bool keepDamaged)
        : m_bytes(std::move(bytes)),
          m_reader(OpenQuickTimeClip(m_bytes.data(), m_bytes.size(), kStandardInputName, keepDamaged)) {}
    int FrameCount() const override { return m_reader->FrameCount(); }
    const ClipProperties& Properties() const override { return m_reader->Properties(); }
    void ReadFrame(int index, std::vector<uint8_t>& bytes) override { m_reader->ReadFrame(index, bytes); }

private:
    std::vector<uint8_t> m_bytes;
    std::unique_ptr<ClipReader> m_reader;
};

} // namespace

void SetMaxStdinBytes(unsigned long long bytes) {
    g_maxStdinBytes = bytes;
}

std::unique_ptr<ClipReader> OpenPipedClip(std::FILE* in, const uint8_t* head, size_t got, bool keepDamaged) {
    if (HasFrameMagic(head, got)) return std::make_unique<FrameStreamReader>(in, head, got, keepDamaged);
    std::vector<uint8_t> bytes(head, head + got);
    ReadAppending(in, bytes, g_maxStdinBytes - got + 1);
    if (bytes.size() > g_maxStdinBytes)
        throw MediaError(std::string("a QuickTime clip on ") + kStandardInputName +
                             " is read into memory, and this one has more than " +
                             std::to_string(g_maxStdinBytes) + " bytes",
                         MediaError::Kind::Failure, 0, {}, MediaError::Remedy::MaxStdinBytes);
    return std::make_unique<MemoryClip>(std::move(bytes), keepDamaged);
}

} // namespace tsr::media
