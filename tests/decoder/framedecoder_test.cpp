// The decode call: argument checks, validity rules with their codes, output placement for every
// layout, and damaged input.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <random>

#include <sys/mman.h>

#include "decoderfixture.h"
#include "framebuilder.h"
#include "peakmemory.h"
#include "referencedecoder.h"

namespace tsr::test {
namespace {

const int kDc[4] = {10, 20, 30, 40};

void SetFrameSize(std::vector<uint8_t>& b, size_t size) {
    for (int i = 0; i < 4; ++i) b[i] = uint8_t(size >> (24 - 8 * i));
} // distinct per component: samples tell components apart

// With the default curve, a DC-only block decodes to curve(32768 + dc).
uint16_t Curved(int dc) {
    const int s = 32768 + dc;
    return uint16_t((4096 * 8192 + (s & 8191) * 4096 + 4096) >> 13);
}

TEST(FrameDecoder, ArgumentChecks) {
    DecoderHandle decoder;
    const auto frame = BuildFrame(DcFrame(32, 32, 1, kDc));
    GuardedImage image(64, 32);
    EXPECT_EQ(frameDecoderDecode(nullptr, frame.data(), int(frame.size()), image.data(), image.size(), 64,
                                 nullptr, 0, 0),
              -3);
    EXPECT_EQ(frameDecoderDecode(decoder, nullptr, int(frame.size()), image.data(), image.size(), 64, nullptr,
                                 0, 0),
              -3);
    EXPECT_EQ(frameDecoderDecode(decoder, frame.data(), int(frame.size()), nullptr, image.size(), 64, nullptr,
                                 0, 0),
              -3);
    EXPECT_EQ(frameDecoderDecode(decoder, frame.data(), 0, image.data(), image.size(), 64, nullptr, 0, 0),
              -3);
    EXPECT_EQ(frameDecoderDecode(decoder, frame.data(), -5, image.data(), image.size(), 64, nullptr, 0, 0),
              -3);
    EXPECT_EQ(frameDecoderDecode(decoder, frame.data(), int(frame.size()), image.data(), image.size(), 63,
                                 nullptr, 0, 0),
              -3);
    EXPECT_EQ(frameDecoderDecode(decoder, frame.data(), int(frame.size()), image.data(), image.size() - 1, 64,
                                 nullptr, 0, 0),
              -3);
    EXPECT_TRUE(image.GuardsIntact());
    EXPECT_EQ(image.storage[kGuard], kUntouched);
    EXPECT_EQ(DecodeInto(decoder, frame, image, 0), 0);
    EXPECT_TRUE(image.GuardsIntact());
}

TEST(FrameDecoder, MinimumRowPitch) {
    struct Case {
        int width, scale, pitch;
    };
    const Case cases[] = {{1000, 0, 2016},  {4096, 0, 8192}, {4096, 1, 16384}, {1000, 1, 4032},
                          {1000, 2, 2016},  {1000, 3, 1008}, {2, 3, 16},       {1000, 4, 8064},
                          {1000, -1, 8064}, {0, 0, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(frameDecoderMinRowPitch(c.width, c.scale), c.pitch) << c.width << " " << c.scale;
    EXPECT_EQ(frameDecoderInfoRecordSize(), 116);
}

TEST(FrameDecoder, ScaleIndexWithoutWriterAndPitchOneBelowMinimum) {
    DecoderHandle decoder;
    const auto frame = BuildFrame(DcFrame(64, 32, 2, kDc));
    GuardedImage big(1024, 64);
    EXPECT_EQ(DecodeInto(decoder, frame, big, 4), -1);
    EXPECT_EQ(DecodeInto(decoder, frame, big, -1), -1);
    EXPECT_EQ(big.storage[kGuard], kUntouched);
    GuardedImage tight(frameDecoderMinRowPitch(64, 2) - 1, 8);
    EXPECT_EQ(DecodeInto(decoder, frame, tight, 2), -3);
}

// Each rule of the frame layout and header, with the code it must produce.
TEST(FrameDecoder, ValidityRules) {
    using Edit = std::function<void(FrameLayout&, std::vector<uint8_t>&)>;
    struct Case {
        const char* name;
        Edit edit;
        int expected;
    };
    auto fields = [](std::function<void(FrameLayout&)> f) {
        return [f](FrameLayout& s, std::vector<uint8_t>&) { f(s); };
    };
    auto bytes = [](std::function<void(std::vector<uint8_t>&)> f) {
        return [f](FrameLayout&, std::vector<uint8_t>& b) {
            if (!b.empty()) f(b);
        };
    };
    std::vector<uint16_t> curve = {0, 100, 200, 300, 400, 500, 600, 700};
    const Case cases[] = {
        {"valid", fields([](FrameLayout&) {}), 0},
        {"frameSize one more than the input", bytes([](auto& b) { SetFrameSize(b, b.size() + 1); }), -2},
        {"frameSize zero", bytes([](auto& b) { b[0] = b[1] = b[2] = b[3] = 0; }), -2},
        {"frameSize smaller than the data", bytes([](auto& b) { SetFrameSize(b, 80); }), 0},
        {"bad magic", bytes([](auto& b) { b[7] = 'g'; }), -2},
        {"version 2", fields([](FrameLayout& s) { s.version = 2; }), -2},
        {"version 0", fields([](FrameLayout& s) { s.version = 0; }), 0},
        {"version 0 with tone curve", fields([&](FrameLayout& s) {
             s.version = 0;
             s.toneCurve = curve;
         }),
         -2},
        {"version 1 with tone curve", fields([&](FrameLayout& s) { s.toneCurve = curve; }), 0},
        {"headerSize one short", fields([](FrameLayout& s) { s.headerSizeDelta = -1; }), -2},
        {"headerSize with padding", fields([](FrameLayout& s) { s.headerSizeDelta = 9; }), 0},
        {"152-byte header", fields([&](FrameLayout& s) {
             s.toneCurve = curve;
             s.quantMatrix.assign(64, 3);
         }),
         0},
        {"151 with both tables", fields([&](FrameLayout& s) {
             s.toneCurve = curve;
             s.quantMatrix.assign(64, 3);
             s.headerSizeDelta = -1;
         }),
         -2},
        {"weight 0 first", fields([](FrameLayout& s) {
             s.quantMatrix.assign(64, 1);
             s.quantMatrix[0] = 0;
         }),
         -2},
        {"weight 0", fields([](FrameLayout& s) {
             s.quantMatrix.assign(64, 1);
             s.quantMatrix[5] = 0;
         }),
         -2},
        {"weight 64", fields([](FrameLayout& s) {
             s.quantMatrix.assign(64, 63);
             s.quantMatrix[63] = 64;
         }),
         -2},
        {"weights 1 and 63", fields([](FrameLayout& s) {
             s.quantMatrix.assign(64, 1);
             s.quantMatrix[9] = 63;
         }),
         0},
        {"equal knots", fields([&](FrameLayout& s) {
             s.toneCurve = curve;
             s.toneCurve[4] = s.toneCurve[3];
         }),
         -2},
        {"equal first knots", fields([&](FrameLayout& s) {
             s.toneCurve = curve;
             s.toneCurve[1] = 0;
         }),
         -2},
        {"equal last knots", fields([&](FrameLayout& s) {
             s.toneCurve = curve;
             s.toneCurve[7] = 600;
         }),
         -2},
        {"log2SliceWidth 5", fields([](FrameLayout& s) { s.flags = 5 << 1; }), -2},
        {"ignored flag bits", fields([](FrameLayout& s) { s.flags |= 0xFFE0; }), 0},
        {"ignored pattern bits", fields([](FrameLayout& s) { s.bayerWord = 0xFFFC; }), 0},
        {"truncated inside the slices", bytes([](auto& b) {
             b.resize(b.size() - 1);
             SetFrameSize(b, b.size());
         }),
         -2},
        {"truncated inside the table", bytes([](auto& b) {
             b.resize(8 + 72 + 1);
             SetFrameSize(b, b.size());
         }),
         -2},
        {"truncated inside the header", bytes([](auto& b) {
             b.resize(40);
             SetFrameSize(b, 40);
         }),
         -2},
        {"slice longer than the input", bytes([](auto& b) { b[8 + 72] = 0x7F; }), -2},
    };
    DecoderHandle decoder;
    for (const Case& c : cases) {
        FrameLayout layout = DcFrame(32, 32, 1, kDc);
        std::vector<uint8_t> none;
        c.edit(layout, none);
        auto frame = BuildFrame(layout);
        c.edit(layout, frame);
        GuardedImage image(64, 32);
        uint8_t record[116];
        std::memset(record, 0xAB, sizeof record);
        EXPECT_EQ(DecodeInto(decoder, frame, image, 0, record, sizeof record), c.expected) << c.name;
        EXPECT_TRUE(image.GuardsIntact()) << c.name;
        if (c.expected != 0) {
            EXPECT_EQ(record[0], 0xAB) << c.name << ": the record must stay untouched";
            EXPECT_EQ(image.storage[kGuard], kUntouched) << c.name << ": nothing may be written";
        }
    }
}

TEST(FrameDecoder, WidthAndHeightMustBeNonzeroAndEven) {
    DecoderHandle decoder;
    for (auto [w, h] : {std::pair{0, 32}, {32, 0}, {31, 32}, {32, 33}}) {
        FrameLayout layout = DcFrame(32, 32, 1, kDc);
        layout.width = uint16_t(w);
        layout.height = uint16_t(h);
        GuardedImage image(256, 40);
        EXPECT_NE(DecodeInto(decoder, BuildFrame(layout), image, 0), 0) << w << "x" << h;
        EXPECT_EQ(image.storage[kGuard], kUntouched);
    }
}

// A slice whose header breaks a rule is skipped: its area keeps what was there, the rest decodes.
TEST(FrameDecoder, BadSlicesAreSkippedAndLeaveTheirAreaUntouched) {
    struct Case {
        const char* name;
        std::function<void(SliceLayout&)> edit;
    };
    const Case cases[] = {
        {"header size 7", [](SliceLayout& s) { s.headerByte = 7 << 3; }},
        {"qScale 0", [](SliceLayout& s) { s.qScale = 0; }},
        {"component 1 size 0", [](SliceLayout& s) { s.sizeOverride[1] = 0; }},
        {"components fill the slice",
         [](SliceLayout& s) { s.sizeOverride[2] = int(s.components[2].size() + s.components[3].size()); }},
    };
    DecoderHandle decoder;
    for (const Case& c : cases) {
        FrameLayout layout = DcFrame(64, 32, 1, kDc); // 2 slices of 2 macroblocks per row, 2 rows
        c.edit(layout.slices[1]);
        GuardedImage image(128, 32);
        EXPECT_EQ(DecodeInto(decoder, BuildFrame(layout), image, 0), 0) << c.name;
        EXPECT_TRUE(image.GuardsIntact()) << c.name;
        EXPECT_EQ(image.Sample(0, 40), kUntouched * 257) << c.name; // slice 1: columns 32..63 of rows 0..15
        EXPECT_EQ(image.Sample(15, 63), kUntouched * 257) << c.name;
        EXPECT_NE(image.Sample(0, 0), kUntouched * 257) << c.name;
        EXPECT_NE(image.Sample(16, 40), kUntouched * 257) << c.name;
    }
}

TEST(FrameDecoder, MosaicPlacementForEveryPattern) {
    // Cell position -> component, for patterns 0..3 (row 0 left, right, row 1 left, right).
    const int cells[4][4] = {{3, 1, 0, 2}, {1, 3, 2, 0}, {0, 2, 3, 1}, {2, 0, 1, 3}};
    DecoderHandle decoder;
    for (int pattern = 0; pattern < 4; ++pattern) {
        FrameLayout layout = DcFrame(48, 34, 0, kDc); // not multiples of 16: 3 x 3 macroblocks
        layout.bayerWord = uint16_t(pattern | 0x1234 << 2);
        GuardedImage image(frameDecoderMinRowPitch(48, 0), 34);
        ASSERT_EQ(DecodeInto(decoder, BuildFrame(layout), image, 0), 0);
        EXPECT_TRUE(image.GuardsIntact());
        for (int y = 0; y < 34; ++y)
            for (int x = 0; x < 48; ++x)
                ASSERT_EQ(image.Sample(y, x), Curved(kDc[cells[pattern][2 * (y & 1) + (x & 1)]]))
                    << "pattern " << pattern << " at " << x << "," << y;
    }
}

TEST(FrameDecoder, ReducedSizePixelsAndRowCounts) {
    DecoderHandle decoder;
    for (int scale = 1; scale <= 3; ++scale) {
        const int width = 1000, height = 1080; // last macroblock row holds 8 rows at full size
        const int w = width >> scale, h = height >> scale;
        const int pitch = frameDecoderMinRowPitch(width, scale);
        GuardedImage image(pitch, h + 1);
        const auto frame = BuildFrame(DcFrame(width, height, 4, kDc));
        ASSERT_EQ(frameDecoderDecode(decoder, frame.data(), int(frame.size()), image.data(), pitch * h, pitch,
                                     nullptr, 0, scale),
                  0);
        for (int y : {0, h / 2, h - 1})
            for (int x : {0, w / 3, w - 1}) {
                EXPECT_EQ(image.Sample(y, 4 * x + 0), Curved(kDc[3])) << scale; // red: component 3
                EXPECT_EQ(image.Sample(y, 4 * x + 1), Curved(kDc[0])) << scale; // green: component 0
                EXPECT_EQ(image.Sample(y, 4 * x + 2), Curved(kDc[2])) << scale; // blue: component 2
                EXPECT_EQ(image.Sample(y, 4 * x + 3), 65535) << scale;
            }
        // Whole macroblocks are written across, but no row below the picture.
        EXPECT_EQ(image.Sample(h, 0), kUntouched * 257) << scale;
        EXPECT_TRUE(image.GuardsIntact());
    }
}

TEST(FrameDecoder, ToneCurveAndDefaultCurveValues) {
    DecoderHandle decoder;
    const int zero[4] = {0, 0, 0, 0};
    GuardedImage image(64, 32);
    ASSERT_EQ(DecodeInto(decoder, BuildFrame(DcFrame(32, 32, 1, zero)), image, 0), 0);
    EXPECT_EQ(image.Sample(5, 7), 4096); // all-zero coefficients, default curve
    FrameLayout layout = DcFrame(32, 32, 1, zero);
    layout.toneCurve = {0, 1000, 2000, 3000, 4000, 5000, 6000, 60000};
    ASSERT_EQ(DecodeInto(decoder, BuildFrame(layout), image, 0), 0);
    EXPECT_EQ(image.Sample(5, 7), 4000); // 32768 is the start of segment 4
}

// Random damage never crashes, never writes outside the image, never hangs, and is judged as the
// reference decoder judges it.
TEST(FrameDecoder, MutatedAndTruncatedFramesStayInsideTheBuffer) {
    DecoderHandle decoder;
    FrameLayout layout = DcFrame(96, 48, 2, kDc);
    const auto original = BuildFrame(layout);
    std::mt19937 random(2024);
    for (int trial = 0; trial < 3000; ++trial) {
        auto frame = original;
        const int flips = 1 + trial % 8;
        for (int i = 0; i < flips; ++i) frame[random() % frame.size()] ^= uint8_t(1u << (random() % 8));
        if (trial % 5 == 0) frame.resize(random() % frame.size() + 1);
        const int scale = trial % 4;
        const int pitch = frameDecoderMinRowPitch(96, scale);
        GuardedImage image(pitch, 48 >> (scale ? scale : 0));
        const int result = DecodeInto(decoder, frame, image, scale);
        EXPECT_TRUE(result == 0 || result == -2 || result == -3) << result;
        ASSERT_TRUE(image.GuardsIntact()) << "trial " << trial;
        // Valid or not as the reference decoder judges it (-3: a damaged size no longer fits the
        // buffer made for the original one).
        reference::Frame expected;
        if (result != -3) {
            EXPECT_EQ(result, reference::DecodeFrame(frame, scale, expected)) << "trial " << trial;
        }
    }
}

// A 2.5 KB frame claiming 65534 x 65534 photosites costs no memory beyond what its bytes justify,
// at every scale: the output area is mapped but untouched, so any growth is the decoder's own.
TEST(FrameDecoder, HugeClaimInATinyFrameAllocatesNothing) {
    if (!ResetPeakResidentMemory()) GTEST_SKIP() << "peak resident memory cannot be reset here";
    const size_t area = size_t(INT_MAX);
    void* output =
        mmap(nullptr, area, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(output, MAP_FAILED);
    DecoderHandle decoder;
    for (int log2SliceWidth : {0, 1}) {
        const auto frame = HugeClaimFrame(log2SliceWidth);
        for (int scale = 0; scale <= 3; ++scale) {
            ResetPeakResidentMemory();
            const int64_t before = ResidentKib("VmRSS");
            // Scales 0 and 1 need more than a decode call can address (-3); 2 and 3 fit (-2).
            const int result = frameDecoderDecode(decoder, frame.data(), int(frame.size()), output, INT_MAX,
                                                  frameDecoderMinRowPitch(65534, scale), nullptr, 0, scale);
            EXPECT_EQ(result, scale <= 1 ? -3 : -2) << scale;
            EXPECT_LT(ResidentKib() - before, 4096)
                << "log2SliceWidth " << log2SliceWidth << ", scale " << scale;
        }
    }
    munmap(output, area);
    const auto good = BuildFrame(DcFrame(32, 32, 1, kDc));
    GuardedImage image(64, 32);
    EXPECT_EQ(DecodeInto(decoder, good, image, 0), 0);
}

} // namespace
} // namespace tsr::test
