// Frames back to back: the verdict on the bytes at a position (whole, need more, no frame), and
// the search for the next frame after damage, on frames made by the encoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "encoder/frameencoder.h"
#include "encoder/syntheticscene.h"
#include "format/framefinder.h"

namespace tsr::test {
namespace {

using Bytes = std::vector<uint8_t>;

// A 64x32 frame: one slice per macroblock row (log2SliceWidth 2), so two slices and a 4-byte table.
Bytes SmallFrame(double t) {
    SceneSettings scene;
    scene.width = 64;
    scene.height = 32;
    const std::vector<uint16_t> mosaic = RenderSceneMosaic(scene, 0, t);
    EncoderSettings settings;
    settings.log2SliceWidth = 2;
    return EncodeFrame(mosaic.data(), 64, 32, 64, settings);
}

void StoreU32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
void StoreU16(Bytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}

constexpr size_t kBody = 8;                // the frame header starts after size and magic
constexpr size_t kTable = kBody + 72;      // the encoder writes a 72-byte header here
constexpr size_t kSlices = kTable + 2 * 2; // two slices

TEST(FrameFinder, VerdictOnPrefixes) {
    const Bytes frame = SmallFrame(0);
    ASSERT_GT(frame.size(), kSlices);
    // How many bytes are there -> what the bytes so far say.
    const struct {
        size_t available;
        FrameVerdict verdict;
        uint64_t size;
    } cases[] = {
        {0, FrameVerdict::NeedMore, 8},
        {5, FrameVerdict::NeedMore, 8},
        {8, FrameVerdict::NeedMore, 10},
        {kBody + 71, FrameVerdict::NeedMore, kTable},
        {kTable, FrameVerdict::NeedMore, kSlices},
        {kSlices, FrameVerdict::NeedMore, frame.size()},
        {frame.size() - 1, FrameVerdict::NeedMore, frame.size()},
        {frame.size(), FrameVerdict::Whole, frame.size()},
        {frame.size() + 100, FrameVerdict::Whole, frame.size()},
    };
    Bytes padded = frame;
    padded.resize(frame.size() + 100, 0);
    for (const auto& c : cases) {
        const FrameCheck check = CheckFrameAt(padded.data(), c.available);
        EXPECT_EQ(check.verdict, c.verdict) << c.available;
        EXPECT_EQ(check.size, c.size) << c.available;
    }
}

// Damage to a frame's head: each makes the frame implausible.
const struct Damage {
    const char* name;
    std::function<void(Bytes&)> apply;
} kDamages[] = {
    {"magic", [](Bytes& b) { b[6] = 'x'; }},
    {"size zero", [](Bytes& b) { StoreU32(b, 0, 0); }},
    {"size below the header", [](Bytes& b) { StoreU32(b, 0, kTable - 1); }},
    {"size cuts the slices", [](Bytes& b) { StoreU32(b, 0, static_cast<uint32_t>(b.size() - 1)); }},
    {"size beyond the largest slices", [](Bytes& b) { StoreU32(b, 0, kSlices + 2 * 65535 + 1); }},
    {"header size beyond the frame", [](Bytes& b) { StoreU16(b, kBody, static_cast<uint16_t>(b.size())); }},
    {"header size too small", [](Bytes& b) { StoreU16(b, kBody, 71); }},
    {"version", [](Bytes& b) { b[kBody + 3] = 2; }},
    {"odd width", [](Bytes& b) { StoreU16(b, kBody + 8, 63); }},
    {"zero height", [](Bytes& b) { StoreU16(b, kBody + 10, 0); }},
    {"slice width", [](Bytes& b) { StoreU16(b, kBody + 70, 5 << 1); }},
    {"slices overrun", [](Bytes& b) { StoreU16(b, kTable, 0xFFFF); }},
};

TEST(FrameFinder, DamagedHeadsAreNoFrame) {
    const Bytes frame = SmallFrame(0);
    for (const Damage& damage : kDamages) {
        Bytes b = frame;
        damage.apply(b);
        b.resize(b.size() + 2 * 65536, 0); // whatever size it claims, the bytes are there
        const FrameCheck check = CheckFrameAt(b.data(), b.size());
        EXPECT_EQ(check.verdict, FrameVerdict::Implausible) << damage.name;
    }
    // A larger frameSize whose slices still fit is plausible: bytes after the last slice are allowed.
    Bytes padded = frame;
    StoreU32(padded, 0, static_cast<uint32_t>(frame.size() + 10));
    padded.resize(frame.size() + 10, 0);
    EXPECT_EQ(CheckFrameAt(padded.data(), padded.size()).verdict, FrameVerdict::Whole);
}

TEST(FrameFinder, ResynchronisesOnTheFrameAfterDamage) {
    const Bytes a = SmallFrame(0), b = SmallFrame(1), c = SmallFrame(2);
    for (const Damage& damage : kDamages) {
        Bytes stream = a;
        damage.apply(stream);
        stream.insert(stream.end(), b.begin(), b.end());
        stream.insert(stream.end(), c.begin(), c.end());
        ASSERT_EQ(CheckFrameAt(stream.data(), stream.size()).verdict, FrameVerdict::Implausible)
            << damage.name;
        const FrameSearch next = FindFrame(stream.data(), stream.size(), 1);
        EXPECT_EQ(next.offset, a.size()) << damage.name;
        EXPECT_EQ(next.check.verdict, FrameVerdict::Whole) << damage.name;
        EXPECT_EQ(next.check.size, b.size()) << damage.name;
    }
    // A magic inside slice data whose header breaks a rule is passed over.
    Bytes stream = a;
    const Bytes decoy = {0, 0, 1, 0, 't', 's', 'r', 'f', 0, 72, 0, 7};
    stream.insert(stream.begin() + static_cast<std::ptrdiff_t>(kSlices + 2), decoy.begin(), decoy.end());
    stream.insert(stream.end(), b.begin(), b.end());
    EXPECT_EQ(FindFrame(stream.data(), stream.size(), 1).offset, a.size() + decoy.size());
}

TEST(FrameFinder, SearchEndsWhereAFrameMayStillBegin) {
    const Bytes a = SmallFrame(0);
    const struct {
        const char* name;
        Bytes tail;
        size_t offset; // from the tail's start
        FrameVerdict verdict;
    } cases[] = {
        {"no magic", Bytes(40, 'q'), 36, FrameVerdict::NeedMore},
        {"part of a magic", {'q', 'q', 0, 0, 0, 9, 't', 's'}, 2, FrameVerdict::NeedMore},
        {"a frame cut short", Bytes(a.begin(), a.begin() + 50), 0, FrameVerdict::NeedMore},
        {"a whole frame", a, 0, FrameVerdict::Whole},
    };
    for (const auto& c : cases) {
        Bytes stream(30, 'q');
        stream.insert(stream.end(), c.tail.begin(), c.tail.end());
        const FrameSearch search = FindFrame(stream.data(), stream.size(), 0);
        EXPECT_EQ(search.offset, 30 + c.offset) << c.name;
        EXPECT_EQ(search.check.verdict, c.verdict) << c.name;
    }
    EXPECT_EQ(FindFrame(a.data(), a.size(), a.size()).offset, a.size());
}

// In a file the search reads in windows (a frame just past the first window is found), and a
// frame's verdict reads its header and slice size table, not its slices.
TEST(FrameFinder, FileSearchReadsWindowsAndHeadsOnly) {
    const Bytes a = SmallFrame(0);
    Bytes file((1 << 20) + 5, 'q');
    file[(1 << 20) - 3] = 't'; // a magic cut by the window's end that is no frame
    file.insert(file.end(), a.begin(), a.end());
    uint64_t furthest = 0;
    const ReadAt read = [&](uint64_t at, uint8_t* out, size_t count) {
        if (at >= file.size()) return size_t{0};
        count = std::min<size_t>(count, file.size() - static_cast<size_t>(at));
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(at), count, out);
        furthest = std::max<uint64_t>(furthest, at + count);
        return count;
    };
    EXPECT_EQ(FindFrameIn(read, file.size(), 0), (1u << 20) + 5);
    furthest = 0;
    const FrameCheck check = CheckFrameIn(read, file.size(), (1 << 20) + 5);
    EXPECT_EQ(check.verdict, FrameVerdict::Whole);
    EXPECT_EQ(check.size, a.size());
    EXPECT_EQ(furthest, (1u << 20) + 5 + kSlices);
    // Cut short by the end of the file: no frame, and none after it.
    EXPECT_EQ(CheckFrameIn(read, file.size() - 1, (1 << 20) + 5).verdict, FrameVerdict::Implausible);
    EXPECT_EQ(FindFrameIn(read, file.size() - 1, 0), file.size() - 1);
}

} // namespace
} // namespace tsr::test
