#include "format/framefinder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "format/bigendian.h"
#include "format/frameformat.h"
#include "format/frameheader.h"

namespace tsr {

namespace {

constexpr uint64_t kMaxSliceSize = 0xFFFF;

FrameCheck Verdict(FrameVerdict verdict, uint64_t size) {
    return {verdict, size};
}

} // namespace

FrameCheck CheckFrameAt(const uint8_t* data, size_t available) {
    const FrameCheck implausible;
    if (!data) return implausible;
    // Too short to hold the magic: plausible while the bytes there begin it.
    if (available < static_cast<size_t>(kFrameHeaderStart)) {
        const size_t magicBytes = available > 4 ? available - 4 : 0;
        if (magicBytes && std::memcmp(data + 4, kFrameMagic, magicBytes) != 0) return implausible;
        return Verdict(FrameVerdict::NeedMore, kFrameHeaderStart);
    }
    if (std::memcmp(data + 4, kFrameMagic, 4) != 0) return implausible;
    const uint64_t frameSize = LoadU32Be(data);
    const uint64_t headerEnd = kFrameHeaderStart + header::kFixedSize;
    if (frameSize < headerEnd) return implausible;
    if (available < kFrameHeaderStart + 2u) return Verdict(FrameVerdict::NeedMore, kFrameHeaderStart + 2u);

    // The header, with every rule, in the bytes headerSize gives it.
    const uint64_t headerSize = LoadU16Be(data + kFrameHeaderStart + header::kHeaderSize);
    const uint64_t bodyEnd = kFrameHeaderStart + headerSize;
    if (headerSize < static_cast<uint64_t>(header::kFixedSize) || bodyEnd > frameSize) return implausible;
    if (available < bodyEnd) return Verdict(FrameVerdict::NeedMore, bodyEnd);
    ByteReader reader(data + kFrameHeaderStart, static_cast<size_t>(headerSize));
    FrameHeader fields;
    if (!ParseFrameHeaderBody(reader, fields)) return implausible;

    // The slice size table and the slices it lists must fit the frame; a frame cannot be longer
    // than the largest slices the table could list.
    const uint64_t slices =
        static_cast<uint64_t>(MacroblocksFor(fields.height)) *
        static_cast<uint64_t>(SlicesPerRow(MacroblocksFor(fields.width), fields.log2SliceWidth));
    const uint64_t tableEnd = bodyEnd + 2 * slices;
    if (tableEnd > frameSize || frameSize > tableEnd + slices * kMaxSliceSize) return implausible;
    if (available < tableEnd) return Verdict(FrameVerdict::NeedMore, tableEnd);
    uint64_t sliceBytes = 0;
    for (uint64_t i = 0; i < slices; ++i) sliceBytes += LoadU16Be(data + bodyEnd + 2 * i);
    if (tableEnd + sliceBytes > frameSize) return implausible;
    if (available < frameSize) return Verdict(FrameVerdict::NeedMore, frameSize);
    return Verdict(FrameVerdict::Whole, frameSize);
}

FrameSearch FindFrame(const uint8_t* data, size_t size, size_t from) {
    FrameSearch search;
    if (!data) {
        search.offset = size;
        return search;
    }
    for (size_t offset = from; offset < size;) {
        const size_t remaining = size - offset;
        if (remaining >= static_cast<size_t>(kFrameHeaderStart)) {
            // Jump to the next "tsrf" four bytes on; nothing before it can start a frame.
            const uint8_t* magic =
                static_cast<const uint8_t*>(std::memchr(data + offset + 4, kFrameMagic[0], remaining - 4));
            if (!magic) {
                offset = size - 4; // only a frame whose magic has not arrived yet may start there
                continue;
            }
            offset = static_cast<size_t>(magic - data) - 4;
        }
        const FrameCheck check = CheckFrameAt(data + offset, size - offset);
        if (check.verdict != FrameVerdict::Implausible) {
            search.offset = offset;
            search.check = check;
            return search;
        }
        ++offset;
    }
    search.offset = size;
    return search;
}

FrameCheck CheckFrameIn(const ReadAt& read, uint64_t length, uint64_t offset) {
    if (offset >= length) return {};
    const uint64_t remaining = length - offset;
    std::vector<uint8_t> head;
    uint64_t want = kFrameHeaderStart;
    for (;;) {
        if (want > remaining) return {}; // cut short by the end of the file
        head.resize(static_cast<size_t>(want));
        if (read(offset, head.data(), head.size()) != head.size()) return {};
        const FrameCheck check = CheckFrameAt(head.data(), head.size());
        if (check.verdict != FrameVerdict::NeedMore) return check;
        // Only the slices are missing: they are the decoder's to check.
        if (check.size == LoadU32Be(head.data()) && want > kFrameHeaderStart + 2u && check.size <= remaining)
            return {FrameVerdict::Whole, check.size};
        if (check.size <= want) return {};
        want = check.size;
    }
}

uint64_t FindFrameIn(const ReadAt& read, uint64_t length, uint64_t from) {
    constexpr size_t kWindow = 1 << 20;
    std::vector<uint8_t> window;
    uint64_t start = from;
    while (start < length) {
        window.resize(static_cast<size_t>(std::min<uint64_t>(kWindow, length - start)));
        if (read(start, window.data(), window.size()) != window.size()) return length;
        size_t at = 0;
        for (;;) {
            const FrameSearch search = FindFrame(window.data(), window.size(), at);
            if (search.offset >= window.size()) break;
            // A candidate is confirmed from the file, which may hold more than the window.
            if (CheckFrameIn(read, length, start + search.offset).verdict == FrameVerdict::Whole)
                return start + search.offset;
            at = search.offset + 1;
        }
        if (start + window.size() >= length) break;
        start += window.size() - (kFrameHeaderStart - 1); // a frame may start in the window's last bytes
    }
    return length;
}

} // namespace tsr
