// Broken frames from the fault editor through the decoder: each rule gives its result, bad
// slices are skipped without touching their area, ignored bits change nothing, and random damage
// never makes the decoder write outside its buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>

#include "decodedframe.h"
#include "encoder/frameencoder.h"
#include "encoder/framefaults.h"
#include "encoder/syntheticscene.h"
#include "referencedecoder.h"

namespace {

using Frame = std::vector<uint8_t>;

struct DecoderDeleter {
    void operator()(FrameDecoder* d) const { frameDecoderDestroy(d); }
};

const int kWidth = 48, kHeight = 34; // 3 x 3 macroblocks; with log2SliceWidth 1, slices of 2 and 1

Frame SampleFrame() {
    tsr::SceneSettings scene;
    scene.width = kWidth;
    scene.height = kHeight;
    const auto mosaic = tsr::RenderSceneMosaic(scene, 1, 0.25);
    tsr::EncoderSettings s;
    s.bayerPattern = 1;
    s.log2SliceWidth = 1;
    s.hasQuantMatrix = true;
    s.quantMatrix.fill(2);
    s.hasToneCurve = true;
    s.toneCurve = {0, 512, 1024, 2048, 4096, 8192, 16384, 32768};
    return tsr::EncodeFrame(mosaic.data(), kWidth, kHeight, kWidth, s);
}

TEST(FaultRoundTrip, EachBrokenRuleGivesItsResult) {
    std::unique_ptr<FrameDecoder, DecoderDeleter> decoder(frameDecoderCreate(2));
    const Frame original = SampleFrame();
    tsr::faults::SliceSpan last;
    ASSERT_TRUE(tsr::faults::FindSlice(original, 5, last));
    const uint16_t flags = static_cast<uint16_t>(original[8 + 70] << 8 | original[8 + 71]);
    const uint16_t knot2 = static_cast<uint16_t>(original[144 + 4] << 8 | original[144 + 5]);
    namespace f = tsr::faults;
    struct Case {
        const char* name;
        std::function<bool(Frame&)> edit;
        int result;
    } const cases[] = {
        {"frameSize one past the input",
         [&](Frame& g) { return f::SetFrameSize(g, static_cast<uint32_t>(g.size() + 1)); }, -2},
        {"frameSize 0", [](Frame& g) { return f::SetFrameSize(g, 0); }, -2},
        {"frameSize below the input",
         [&](Frame& g) { return f::SetFrameSize(g, static_cast<uint32_t>(g.size() - 100)); }, 0},
        {"magic", [](Frame& g) { return f::SetMagic(g, "tsrF"); }, -2},
        {"headerSize one short", [](Frame& g) { return f::SetHeaderSize(g, 151); }, -2},
        {"version 2", [](Frame& g) { return f::SetVersion(g, 2); }, -2},
        {"version 0 with a tone curve", [](Frame& g) { return f::SetVersion(g, 0); }, -2},
        {"odd width", [](Frame& g) { return f::SetWidth(g, kWidth - 1); }, -2},
        {"zero height", [](Frame& g) { return f::SetHeight(g, 0); }, -2},
        {"log2SliceWidth 5",
         [&](Frame& g) { return f::SetFrameFlags(g, static_cast<uint16_t>((flags & ~0xEu) | 5u << 1)); }, -2},
        {"quantiser weight 0", [](Frame& g) { return f::SetQuantWeight(g, 17, 0); }, -2},
        {"quantiser weight 64", [](Frame& g) { return f::SetQuantWeight(g, 0, 64); }, -2},
        {"quantiser weight 63", [](Frame& g) { return f::SetQuantWeight(g, 63, 63); }, 0},
        {"equal tone-curve knots", [&](Frame& g) { return f::SetToneCurveKnot(g, 3, knot2); }, -2},
        {"last slice past the end",
         [&](Frame& g) {
             return f::SetSliceSizeEntry(g, 5, static_cast<uint16_t>(g.size() - last.offset + 1));
         },
         -2},
        {"one byte short",
         [](Frame& g) {
             return f::TruncateFrame(g, g.size() - 1) && f::SetFrameSize(g, static_cast<uint32_t>(g.size()));
         },
         -2},
        {"only the header",
         [](Frame& g) { return f::TruncateFrame(g, 8 + 152) && f::SetFrameSize(g, 8 + 152); }, -2},
    };
    for (const Case& c : cases) {
        Frame broken = original;
        ASSERT_TRUE(c.edit(broken)) << c.name;
        for (int scale = 0; scale < 4; ++scale) {
            const DecodedFrame decoded = DecodeFrame(decoder.get(), broken, kWidth, kHeight, scale);
            EXPECT_EQ(decoded.result, c.result) << c.name << " scale " << scale;
            EXPECT_TRUE(decoded.guardsIntact) << c.name;
            if (c.result != 0) {
                EXPECT_EQ(decoded.untouched, decoded.samples.size()) << c.name << ": nothing written";
            }
        }
    }
}

// A slice whose header breaks a rule is skipped: its area keeps what was there, the rest of the
// picture is as usual, and the frame still decodes with 0.
TEST(FaultRoundTrip, BadSliceHeadersSkipOnlyTheirSlice) {
    std::unique_ptr<FrameDecoder, DecoderDeleter> decoder(frameDecoderCreate(2));
    const Frame original = SampleFrame();
    tsr::faults::SliceSpan slice2; // first slice of macroblock row 1: macroblocks 0 and 1
    ASSERT_TRUE(tsr::faults::FindSlice(original, 2, slice2));
    const size_t sizes = (original[slice2.offset + 2] << 8 | original[slice2.offset + 3]) +
                         (original[slice2.offset + 4] << 8 | original[slice2.offset + 5]) +
                         (original[slice2.offset + 6] << 8 | original[slice2.offset + 7]);
    const uint16_t size0 =
        static_cast<uint16_t>(original[slice2.offset + 2] << 8 | original[slice2.offset + 3]);
    namespace f = tsr::faults;
    struct Case {
        const char* name;
        std::function<bool(Frame&)> edit;
        int mbRow, mbFirst, mbEnd; // the skipped slice's macroblocks
    } const cases[] = {
        {"header size 7", [](Frame& g) { return f::SetSliceHeaderSizeByte(g, 2, 7 << 3); }, 1, 0, 2},
        {"qScale 0", [](Frame& g) { return f::SetSliceQScale(g, 2, 0); }, 1, 0, 2},
        {"component 1 size 0", [](Frame& g) { return f::SetSliceComponentSize(g, 2, 1, 0); }, 1, 0, 2},
        {"no room for component 3",
         [&](Frame& g) {
             return f::SetSliceComponentSize(g, 2, 0,
                                             static_cast<uint16_t>(size0 + slice2.length - 8 - sizes));
         },
         1, 0, 2},
        // The last slice, so that no later slice moves.
        {"slice shorter than its header", [](Frame& g) { return f::SetSliceSizeEntry(g, 5, 7); }, 2, 2, 3},
    };
    for (int scale = 0; scale < 4; ++scale) {
        const DecodedFrame good = DecodeFrame(decoder.get(), original, kWidth, kHeight, scale);
        ASSERT_EQ(good.result, 0);
        const int side = 16 >> scale, channels = scale == 0 ? 1 : 4;
        for (const Case& c : cases) {
            Frame broken = original;
            ASSERT_TRUE(c.edit(broken)) << c.name;
            const DecodedFrame decoded = DecodeFrame(decoder.get(), broken, kWidth, kHeight, scale);
            ASSERT_EQ(decoded.result, 0) << c.name;
            EXPECT_TRUE(decoded.guardsIntact) << c.name;
            for (int y = 0; y < decoded.height; ++y)
                for (int x = 0; x < decoded.width; ++x)
                    for (int ch = 0; ch < channels; ++ch) {
                        const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(decoded.width) +
                                          static_cast<size_t>(x)) *
                                             static_cast<size_t>(channels) +
                                         static_cast<size_t>(ch);
                        const bool skipped =
                            y / side == c.mbRow && x / side >= c.mbFirst && x / side < c.mbEnd;
                        ASSERT_EQ(decoded.samples[i], skipped ? kFillValue : good.samples[i])
                            << c.name << " scale " << scale << " at " << x << "," << y;
                    }
        }
    }
}

TEST(FaultRoundTrip, IgnoredBitsChangeNothing) {
    std::unique_ptr<FrameDecoder, DecoderDeleter> decoder(frameDecoderCreate(1));
    const Frame original = SampleFrame();
    Frame flagged = original, patterned = original;
    ASSERT_TRUE(tsr::faults::SetFrameFlagBits(flagged, 0xFFE0, true));
    ASSERT_TRUE(tsr::faults::SetBayerPatternWord(patterned, 0xFFFD)); // pattern 1 in the low bits
    for (int scale = 0; scale < 4; ++scale) {
        const DecodedFrame good = DecodeFrame(decoder.get(), original, kWidth, kHeight, scale);
        for (const Frame* g : {&flagged, &patterned}) {
            const DecodedFrame decoded = DecodeFrame(decoder.get(), *g, kWidth, kHeight, scale);
            ASSERT_EQ(decoded.result, 0);
            EXPECT_EQ(decoded.samples, good.samples) << "scale " << scale;
            EXPECT_EQ(decoded.info.bayerPattern, 1);
        }
    }
}

// Random damage: flipped bytes anywhere, truncation, wild size-table entries. The decoder
// answers what the reference decoder answers, never writes outside the output buffer or the info
// record, and every value it writes is the reference's value for the damaged data.
TEST(FaultRoundTrip, RandomDamageNeverWritesOutside) {
    std::unique_ptr<FrameDecoder, DecoderDeleter> decoder(frameDecoderCreate(2));
    const Frame original = SampleFrame();
    std::mt19937 random(11);
    for (int trial = 0; trial < 400; ++trial) {
        Frame broken = original;
        const int kind = trial % 4;
        if (kind == 0) { // a few flipped bytes after the header
            for (int i = 0, n = 1 + static_cast<int>(random() % 4); i < n; ++i)
                broken[160 + random() % (broken.size() - 160)] ^= static_cast<uint8_t>(1 + random() % 255);
        } else if (kind == 1) { // anywhere, the header included
            broken[random() % broken.size()] = static_cast<uint8_t>(random());
        } else if (kind == 2) { // truncated, frameSize kept consistent
            broken.resize(8 + random() % (broken.size() - 8));
            tsr::faults::SetFrameSize(broken, static_cast<uint32_t>(broken.size()));
        } else { // slice header fields
            const int slice = static_cast<int>(random() % 6);
            tsr::faults::SetSliceComponentSize(broken, slice, static_cast<int>(random() % 3),
                                               static_cast<uint16_t>(random()));
            tsr::faults::SetSliceHeaderSizeByte(broken, slice, static_cast<uint8_t>(random()));
        }
        const int scale = static_cast<int>(random() % 4);
        const DecodedFrame decoded = DecodeFrame(decoder.get(), broken, kWidth, kHeight, scale);
        reference::Frame expected;
        EXPECT_EQ(decoded.result, reference::DecodeFrame(broken, scale, expected))
            << "trial " << trial << " scale " << scale;
        EXPECT_TRUE(decoded.guardsIntact) << "trial " << trial;
        if (decoded.result != 0 || expected.samples.size() != decoded.samples.size()) continue;
        // Skipped slices keep the fill value; elsewhere the values agree to the transforms'
        // rounding. Damaged blocks hold wrapped, full-scale coefficients, which stray up to
        // twice as far as ExtremeContentAgreesWithReference allows; a wrong codeword value or
        // a misplaced level moves whole blocks by far more.
        int worst = 0;
        for (size_t i = 0; i < decoded.samples.size(); ++i)
            if (decoded.samples[i] != kFillValue)
                worst = std::max(worst, std::abs(int(decoded.samples[i]) - int(expected.samples[i])));
        EXPECT_LE(worst, 16) << "trial " << trial << " scale " << scale;
    }
}

} // namespace
