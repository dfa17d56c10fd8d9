// The metadata record and the frame info record, field by field.
#include <gtest/gtest.h>

#include "decoderfixture.h"
#include "framebuilder.h"

namespace tsr::test {
namespace {

const int kDc[4] = {0, 0, 0, 0};

TEST(MetadataRecord, EveryFieldFromTheHeader) {
    // The pattern is the low two bits of its word, whatever the other bits hold.
    for (auto [word, pattern] : {std::pair{0xFFFF, 3}, {0x0001, 1}, {0x0302, 2}, {0xFC00, 0}}) {
        FrameLayout layout = DcFrame(32, 32, 1, kDc);
        layout.bayerWord = uint16_t(word);
        layout.whiteLevelCode = 3839;
        const auto frame = BuildFrame(layout);
        TsrFrameMetadataRecord record;
        std::memset(&record, 0, sizeof record);
        ASSERT_EQ(frameDecoderGetMetadata(frame.data(), int(frame.size()), &record), 0);
        EXPECT_EQ(std::vector<uint8_t>(record.infoBytes, record.infoBytes + 4),
                  (std::vector<uint8_t>{1, 2, 3, 4}));
        EXPECT_EQ(record.bayerPattern, pattern) << word;
        EXPECT_EQ(record.whiteLevelCode, 3839);
        EXPECT_EQ(record.gain0, 2.0f);
        EXPECT_EQ(record.gain1, 1.5f);
        for (int i = 0; i < 9; ++i) EXPECT_EQ(record.colorMatrix[i], layout.colorMatrix[i]);
        EXPECT_EQ(record.auxFloat, 0.75f);
        EXPECT_EQ(record.auxWord, 0xBEEF);
        EXPECT_EQ(record.zero0, 0);
    }
}

TEST(MetadataRecord, ShortestInputAndFailures) {
    auto frame = BuildFrame(DcFrame(32, 32, 1, kDc));
    frame.resize(78); // size, magic and the 70 bytes up to auxWord
    TsrFrameMetadataRecord record;
    std::memset(&record, 0xEE, sizeof record);
    EXPECT_EQ(frameDecoderGetMetadata(frame.data(), 78, &record), 0);
    EXPECT_EQ(record.auxWord, 0xBEEF);
    EXPECT_EQ(record.zero0, 0xEE); // bytes 5, 58, 59 are the caller's
    EXPECT_EQ(record.zero1[1], 0xEE);

    std::memset(&record, 0xEE, sizeof record);
    EXPECT_EQ(frameDecoderGetMetadata(frame.data(), 77, &record), -3);
    EXPECT_EQ(record.auxFloat, 0.75f); // fields before the failure are written
    EXPECT_EQ(frameDecoderGetMetadata(frame.data(), 78, nullptr), -3);
    EXPECT_EQ(frameDecoderGetMetadata(nullptr, 78, &record), -3);
    frame[5] = 'X';
    EXPECT_EQ(frameDecoderGetMetadata(frame.data(), 78, &record), -3);
}

TEST(InfoRecord, FieldsAtEveryScale) {
    FrameLayout layout = DcFrame(64, 48, 2, kDc);
    layout.whiteLevelCode = 3839;
    DecoderHandle decoder;
    for (int scale = 0; scale < 4; ++scale) {
        const int pitch = frameDecoderMinRowPitch(64, scale) + 32;
        GuardedImage image(pitch, 48);
        TsrFrameInfoRecord r;
        ASSERT_EQ(DecodeInto(decoder, BuildFrame(layout), image, scale, &r, sizeof r), 0);
        EXPECT_EQ(r.rowPitch, pitch);
        EXPECT_EQ(r.layoutCode, scale == 0 ? 0x62703136u : 0x62703634u);
        EXPECT_EQ(r.width, 64 >> scale);
        EXPECT_EQ(r.height, 48 >> scale);
        EXPECT_EQ(r.bayerPattern, 0);
        EXPECT_EQ(r.zero[0] | r.zero[1] | r.zero[2], 0);
        EXPECT_EQ(r.blackLevel, 256);
        EXPECT_EQ(r.whiteLevel, 4095);
        EXPECT_EQ(r.gain0, 2.0f);
        EXPECT_EQ(r.gain1, 1.5f);
        EXPECT_EQ(r.colorMatrix[8], -3.0f);
        EXPECT_EQ(r.auxFloat, 0.75f);
        EXPECT_EQ(r.auxWord, 0xBEEF);
        EXPECT_EQ(r.maxDcStep, 1);
    }
}

TEST(InfoRecord, SampleOffsetsPerPattern) {
    const float h = 0.125f; // scale index 2
    const float expected[4][6] = {
        {-h, -h, -h, h, h, h}, {h, -h, h, h, -h, h}, {-h, h, -h, -h, h, -h}, {h, h, h, -h, -h, -h}};
    DecoderHandle decoder;
    for (int pattern = 0; pattern < 4; ++pattern) {
        FrameLayout layout = DcFrame(32, 32, 1, kDc);
        layout.bayerWord = uint16_t(pattern);
        for (int scale : {0, 2}) {
            GuardedImage image(frameDecoderMinRowPitch(32, scale), 32);
            TsrFrameInfoRecord r;
            ASSERT_EQ(DecodeInto(decoder, BuildFrame(layout), image, scale, &r, sizeof r), 0);
            for (int i = 0; i < 6; ++i)
                EXPECT_EQ(r.sampleOffsets[i], scale ? expected[pattern][i] : 0.0f) << pattern;
            EXPECT_EQ(r.sampleOffsets[6], 0.0f);
            EXPECT_EQ(r.sampleOffsets[7], 0.0f);
        }
    }
}

TEST(InfoRecord, MaxDcStepAndRecordBufferSize) {
    FrameLayout layout = DcFrame(48, 16, 0, kDc); // three one-macroblock slices
    layout.slices[0].qScale = 4;
    layout.slices[1].qScale = 9;
    layout.slices[2].qScale = 2;
    DecoderHandle decoder;
    GuardedImage image(96, 16);
    TsrFrameInfoRecord r;
    ASSERT_EQ(DecodeInto(decoder, BuildFrame(layout), image, 0, &r, sizeof r), 0);
    EXPECT_EQ(r.maxDcStep, 9);
    layout.quantMatrix.assign(64, 5);
    ASSERT_EQ(DecodeInto(decoder, BuildFrame(layout), image, 0, &r, sizeof r), 0);
    EXPECT_EQ(r.maxDcStep, 45);

    uint8_t small[116];
    std::memset(small, 0x5A, sizeof small);
    EXPECT_EQ(DecodeInto(decoder, BuildFrame(layout), image, 0, small, 115), 0);
    for (uint8_t b : small) ASSERT_EQ(b, 0x5A);
}

} // namespace
} // namespace tsr::test
