#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "encoder/frameencoder.h"
#include "encoder/framefaults.h"
#include "encoder/syntheticscene.h"

namespace {

std::vector<uint8_t> SampleFrame(bool matrix, bool curve) {
    tsr::SceneSettings scene;
    scene.width = 48;
    scene.height = 34;
    const auto mosaic = tsr::RenderSceneMosaic(scene, 0, 0);
    tsr::EncoderSettings s;
    s.log2SliceWidth = 1; // 3 macroblocks: slices of 2 and 1, 3 rows
    s.hasQuantMatrix = matrix;
    s.quantMatrix.fill(2);
    s.hasToneCurve = curve;
    s.toneCurve = {0, 512, 1024, 2048, 4096, 8192, 16384, 32768};
    return tsr::EncodeFrame(mosaic.data(), 48, 34, 48, s);
}

std::set<size_t> ChangedBytes(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    std::set<size_t> changed;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i]) changed.insert(i);
    return changed;
}

TEST(FrameFaults, LocatesSlicesByTheSizeTable) {
    const auto frame = SampleFrame(true, true);
    tsr::faults::FrameLayout layout;
    ASSERT_TRUE(tsr::faults::ReadLayout(frame, layout));
    EXPECT_EQ(layout.headerSize, 152);
    EXPECT_EQ(layout.quantMatrixOffset, 80u);
    EXPECT_EQ(layout.toneCurveOffset, 144u);
    EXPECT_EQ(layout.sliceTableOffset, 160u);
    EXPECT_EQ(layout.sliceCount, 6);
    size_t expected = 160 + 12;
    for (int i = 0; i < 6; ++i) {
        tsr::faults::SliceSpan span;
        ASSERT_TRUE(tsr::faults::FindSlice(frame, i, span));
        EXPECT_EQ(span.offset, expected);
        EXPECT_EQ(frame[span.offset], 64); // an 8-byte slice header
        expected += span.length;
    }
    EXPECT_EQ(expected, frame.size());
    tsr::faults::SliceSpan span;
    EXPECT_FALSE(tsr::faults::FindSlice(frame, 6, span));
    EXPECT_FALSE(tsr::faults::FindSlice(frame, -1, span));
}

// Each edit changes exactly the bytes of its field, to the value given, big-endian.
TEST(FrameFaults, EachEditChangesExactlyItsField) {
    using Frame = std::vector<uint8_t>;
    const Frame original = SampleFrame(true, true);
    tsr::faults::SliceSpan slice2;
    ASSERT_TRUE(tsr::faults::FindSlice(original, 2, slice2));
    const size_t s2 = slice2.offset;
    struct Case {
        const char* name;
        std::function<bool(Frame&)> edit;
        std::map<size_t, uint8_t> bytes; // offset -> new value
    } const cases[] = {
        {"frameSize",
         [](Frame& f) { return tsr::faults::SetFrameSize(f, 0x01020304); },
         {{0, 1}, {1, 2}, {2, 3}, {3, 4}}},
        {"magic", [](Frame& f) { return tsr::faults::SetMagic(f, "tsrg"); }, {{7, 'g'}}},
        {"headerSize",
         [](Frame& f) { return tsr::faults::SetHeaderSize(f, 0x0197); },
         {{8, 0x01}, {9, 0x97}}},
        {"version", [](Frame& f) { return tsr::faults::SetVersion(f, 2); }, {{11, 2}}},
        {"width", [](Frame& f) { return tsr::faults::SetWidth(f, 0x0A0B); }, {{16, 0x0A}, {17, 0x0B}}},
        {"height", [](Frame& f) { return tsr::faults::SetHeight(f, 0x0C0D); }, {{18, 0x0C}, {19, 0x0D}}},
        {"pattern word",
         [](Frame& f) { return tsr::faults::SetBayerPatternWord(f, 0xFFFF); },
         {{24, 0xFF}, {25, 0xFF}}},
        {"flags", [](Frame& f) { return tsr::faults::SetFrameFlags(f, 0x7F13); }, {{78, 0x7F}, {79, 0x13}}},
        {"flag bits on",
         [](Frame& f) { return tsr::faults::SetFrameFlagBits(f, 0xFFC0, true); },
         {{78, 0xFF}, {79, 0xD3}}},
        {"flag bits off",
         [](Frame& f) { return tsr::faults::SetFrameFlagBits(f, 0x0001, false); },
         {{79, 0x12}}},
        {"quant weight", [](Frame& f) { return tsr::faults::SetQuantWeight(f, 63, 64); }, {{80 + 63, 64}}},
        {"tone knot",
         [](Frame& f) { return tsr::faults::SetToneCurveKnot(f, 3, 0x0102); },
         {{144 + 6, 0x01}, {144 + 7, 0x02}}},
        {"size entry",
         [](Frame& f) { return tsr::faults::SetSliceSizeEntry(f, 5, 0xFFEE); },
         {{170, 0xFF}, {171, 0xEE}}},
        {"slice header size",
         [](Frame& f) { return tsr::faults::SetSliceHeaderSizeByte(f, 2, 7 << 3); },
         {{s2, 56}}},
        {"slice qScale", [](Frame& f) { return tsr::faults::SetSliceQScale(f, 2, 0); }, {{s2 + 1, 0}}},
        {"component size",
         [](Frame& f) { return tsr::faults::SetSliceComponentSize(f, 2, 2, 0xABCD); },
         {{s2 + 6, 0xAB}, {s2 + 7, 0xCD}}},
    };
    for (const Case& c : cases) {
        Frame edited = original;
        ASSERT_TRUE(c.edit(edited)) << c.name;
        ASSERT_EQ(edited.size(), original.size()) << c.name;
        std::set<size_t> expectedChanged;
        for (auto [offset, value] : c.bytes) {
            EXPECT_EQ(edited[offset], value) << c.name << " byte " << offset;
            if (original[offset] != value) expectedChanged.insert(offset);
        }
        EXPECT_EQ(ChangedBytes(original, edited), expectedChanged) << c.name;
    }
    Frame truncated = original;
    EXPECT_TRUE(tsr::faults::TruncateFrame(truncated, 100));
    EXPECT_EQ(truncated, Frame(original.begin(), original.begin() + 100));
    EXPECT_FALSE(tsr::faults::TruncateFrame(truncated, 100));
}

TEST(FrameFaults, EditsByFieldNameMatchTheNamedFunctions) {
    using Frame = std::vector<uint8_t>;
    const Frame original = SampleFrame(true, true);
    namespace f = tsr::faults;
    struct Case {
        const char* field;
        uint32_t value;
        int index, component;
        std::function<bool(Frame&)> direct;
    } const cases[] = {
        {"frameSize", 77, 0, 0, [](Frame& g) { return f::SetFrameSize(g, 77); }},
        {"magic", 0x74737266u ^ 1u, 0, 0, [](Frame& g) { return f::SetMagic(g, "tsrg"); }},
        {"headerSize", 151, 0, 0, [](Frame& g) { return f::SetHeaderSize(g, 151); }},
        {"version", 0, 0, 0, [](Frame& g) { return f::SetVersion(g, 0); }},
        {"width", 47, 0, 0, [](Frame& g) { return f::SetWidth(g, 47); }},
        {"height", 0, 0, 0, [](Frame& g) { return f::SetHeight(g, 0); }},
        {"bayerPatternWord", 0xFFFF, 0, 0, [](Frame& g) { return f::SetBayerPatternWord(g, 0xFFFF); }},
        {"frameFlags", 0x40, 0, 0, [](Frame& g) { return f::SetFrameFlags(g, 0x40); }},
        {"quantWeight", 0, 9, 0, [](Frame& g) { return f::SetQuantWeight(g, 9, 0); }},
        {"toneCurveKnot", 5, 7, 0, [](Frame& g) { return f::SetToneCurveKnot(g, 7, 5); }},
        {"sliceSize", 3, 4, 0, [](Frame& g) { return f::SetSliceSizeEntry(g, 4, 3); }},
        {"sliceHeaderSizeByte", 0, 1, 0, [](Frame& g) { return f::SetSliceHeaderSizeByte(g, 1, 0); }},
        {"sliceQScale", 0, 3, 0, [](Frame& g) { return f::SetSliceQScale(g, 3, 0); }},
        {"sliceComponentSize", 9, 3, 1, [](Frame& g) { return f::SetSliceComponentSize(g, 3, 1, 9); }},
        {"truncate", 99, 0, 0, [](Frame& g) { return f::TruncateFrame(g, 99); }},
    };
    for (const Case& c : cases) {
        Frame byName = original, direct = original;
        ASSERT_TRUE(f::ApplyFault(byName, c.field, c.value, c.index, c.component)) << c.field;
        ASSERT_TRUE(c.direct(direct)) << c.field;
        EXPECT_EQ(byName, direct) << c.field;
    }
    Frame frame = original;
    EXPECT_FALSE(f::ApplyFault(frame, "colour", 1));
    EXPECT_FALSE(f::ApplyFault(frame, "version", 256));
    EXPECT_FALSE(f::ApplyFault(frame, "width", 0x10000));
    EXPECT_EQ(frame, original);
}

TEST(FrameFaults, RefusesFieldsTheFrameDoesNotHave) {
    auto frame = SampleFrame(false, false);
    const auto original = frame;
    EXPECT_FALSE(tsr::faults::SetQuantWeight(frame, 0, 5));
    EXPECT_FALSE(tsr::faults::SetToneCurveKnot(frame, 0, 5));
    EXPECT_FALSE(tsr::faults::SetSliceQScale(frame, 6, 1));
    EXPECT_FALSE(tsr::faults::SetSliceComponentSize(frame, 0, 3, 1)); // component 3 has no size field
    EXPECT_FALSE(tsr::faults::SetSliceSizeEntry(frame, 6, 1));
    EXPECT_EQ(frame, original);
    std::vector<uint8_t> tiny(6, 0);
    EXPECT_FALSE(tsr::faults::SetMagic(tiny, "tsrf"));
    EXPECT_FALSE(tsr::faults::SetVersion(tiny, 1));
}

} // namespace
