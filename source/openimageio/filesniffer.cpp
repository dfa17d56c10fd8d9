#include "openimageio/filesniffer.h"

#include <sys/types.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "format/frameheader.h"

namespace tsr::oiio {

namespace {

constexpr int kMaxAtoms = 4096; // atom headers read before giving up on a file
constexpr int kMaxSampleEntries = 16;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

uint32_t BigEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

bool TypeIs(const uint8_t* type, const char* name) {
    return std::memcmp(type, name, 4) == 0;
}

class AtomWalker {
public:
    explicit AtomWalker(std::FILE* file) : m_file(file) {}

    // Whether the atoms in [begin, end) hold a tsrn/tsrh sample description, looking only into
    // the containers on the way to one (moov/trak/mdia/minf/stbl/stsd).
    bool Find(off_t begin, off_t end, int depth) {
        off_t at = begin;
        while (at + 8 <= end) {
            if (++m_atoms > kMaxAtoms) return false;
            uint8_t head[16];
            if (!ReadAt(at, head, 8)) return false;
            uint64_t size = BigEndian32(head);
            const uint8_t* type = head + 4;
            off_t body = at + 8;
            if (size == 1) {
                if (!ReadAt(at + 8, head + 8, 8)) return false;
                size = static_cast<uint64_t>(BigEndian32(head + 8)) << 32 | BigEndian32(head + 12);
                body = at + 16;
            } else if (size == 0) {
                size = static_cast<uint64_t>(end - at); // to the end of its container
            }
            if (size < static_cast<uint64_t>(body - at) || size > static_cast<uint64_t>(end - at))
                return false;
            const off_t atomEnd = at + static_cast<off_t>(size);
            if (TypeIs(type, "stsd")) {
                if (SampleEntriesMatch(body, atomEnd)) return true;
            } else if (depth < 5 && (TypeIs(type, "moov") || TypeIs(type, "trak") || TypeIs(type, "mdia") ||
                                     TypeIs(type, "minf") || TypeIs(type, "stbl"))) {
                if (Find(body, atomEnd, depth + 1)) return true;
            }
            at = atomEnd;
        }
        return false;
    }

private:
    // stsd: version and flags, entry count, then entries of size and format.
    bool SampleEntriesMatch(off_t body, off_t end) {
        uint8_t head[8];
        if (!ReadAt(body, head, 8)) return false;
        const uint32_t count = BigEndian32(head + 4);
        off_t at = body + 8;
        for (uint32_t i = 0; i < count && i < kMaxSampleEntries && at + 8 <= end; ++i) {
            if (!ReadAt(at, head, 8)) return false;
            if (TypeIs(head + 4, "tsrn") || TypeIs(head + 4, "tsrh")) return true;
            const uint32_t size = BigEndian32(head);
            if (size < 8) return false;
            at += size;
        }
        return false;
    }

    bool ReadAt(off_t at, uint8_t* bytes, size_t count) {
        return fseeko(m_file, at, SEEK_SET) == 0 && std::fread(bytes, 1, count, m_file) == count;
    }

    std::FILE* m_file;
    int m_atoms = 0;
};

} // namespace

SniffResult SniffFile(const std::string& path) {
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) return SniffResult::NotOurs;
    uint8_t head[8];
    if (std::fread(head, 1, sizeof head, file.get()) == sizeof head && HasFrameMagic(head, sizeof head))
        return SniffResult::Frames;
    if (fseeko(file.get(), 0, SEEK_END) != 0) return SniffResult::NotOurs;
    const off_t length = ftello(file.get());
    if (length < 8) return SniffResult::NotOurs;
    return AtomWalker(file.get()).Find(0, length, 0) ? SniffResult::QuickTime : SniffResult::NotOurs;
}

} // namespace tsr::oiio
