#include <gtest/gtest.h>

#include <random>

#include "encoder/entropyencoder.h"
#include "referencedecoder.h"

namespace {

// Coding order: position g is scan position g >> log2Blocks of block g & (blocks - 1).
std::vector<int16_t> RasterFromCodingOrder(const std::vector<int16_t>& coded, int log2Blocks) {
    const int blocks = 1 << log2Blocks;
    std::vector<int16_t> raster(64 * static_cast<size_t>(blocks));
    for (int g = 0; g < 64 * blocks; ++g)
        raster[static_cast<size_t>((g & (blocks - 1)) * 64 + reference::kScan8[g >> log2Blocks])] =
            coded[static_cast<size_t>(g)];
    return raster;
}

std::vector<int16_t> DecodeWithReference(const std::vector<uint8_t>& bytes, int log2Blocks, int scaleIndex) {
    std::vector<int16_t> out(64 << log2Blocks);
    reference::DecodeComponent(bytes.data(), bytes.size(), log2Blocks, scaleIndex, out.data());
    return out;
}

TEST(EntropyEncoder, DcDeltaSignIsSentRelativeToThePreviousDelta) {
    // DCs -2, -3, -2, -2: first DC codeword 3, then deltas -1 (1), +1 after a negative one (1), 0.
    std::vector<int16_t> levels(64 * 4, 0);
    levels[0] = -2, levels[1] = -3, levels[2] = -2, levels[3] = -2;
    std::vector<uint8_t> bytes;
    tsr::EncodeComponent(levels.data(), 256, 2, bytes);
    reference::BitReader bits(bytes.data(), bytes.size());
    EXPECT_EQ(reference::ReadCodeword(bits, 700), 3u);
    EXPECT_EQ(reference::ReadCodeword(bits, 100), 1u);
    EXPECT_EQ(reference::ReadCodeword(bits, reference::DcDescriptor(1)), 1u);
    EXPECT_EQ(reference::ReadCodeword(bits, reference::DcDescriptor(1)), 0u);
    EXPECT_EQ(bits.Peek32(), 0u); // nothing after the last nonzero coefficient but padding
    EXPECT_EQ(bytes.size(), (bits.Position() + 7) / 8);
}

TEST(EntropyEncoder, EndsRightAfterTheLastNonzeroCoefficient) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, int16_t>> levels; // position, level; one block
        std::vector<uint8_t> bytes;
    } const cases[] = {
        // DC 0 with descriptor 700: 1 and twelve zeros.
        {"dc only", {}, {0x80, 0x00}},
        // + run count 1 (descriptor 66: 1 01), level 1 (descriptor 49: 1 0), sign 0.
        {"one level", {{1, 1}}, {0x80, 0x05, 0x80}},
        // + run count 0 (1 00), zero run 2 (descriptor 0: 0010), level -2 (descriptor 49: 1 1), sign 1.
        {"zeros then a level", {{4, -2}}, {0x80, 0x04, 0x2E}},
    };
    for (const Case& c : cases) {
        std::vector<int16_t> levels(64, 0);
        for (auto [g, level] : c.levels) levels[static_cast<size_t>(g)] = level;
        std::vector<uint8_t> bytes;
        EXPECT_EQ(tsr::EncodeComponent(levels.data(), 64, 0, bytes), c.bytes.size()) << c.name;
        EXPECT_EQ(bytes, c.bytes) << c.name;
    }
}

// Random components of every slice width, sparse like real coefficients with occasional large
// values, read back by the reference at every scale.
TEST(EntropyEncoder, RandomComponentsRoundTripAtEveryScale) {
    std::mt19937 random(7);
    for (int log2Blocks = 0; log2Blocks <= 4; ++log2Blocks) {
        const int count = 64 << log2Blocks;
        for (int trial = 0; trial < 40; ++trial) {
            std::vector<int16_t> levels(static_cast<size_t>(count), 0);
            const double density = (trial % 5) / 4.0; // 0 .. all nonzero
            for (int g = 0; g < count; ++g) {
                const bool dc = g < (1 << log2Blocks);
                if (!dc && std::uniform_real_distribution<>(0, 1)(random) >= density) continue;
                int v = std::geometric_distribution<>(trial % 2 ? 0.02 : 0.4)(random) + 1;
                if (random() % 97 == 0) v = static_cast<int>(random() % 32767) + 1;
                levels[static_cast<size_t>(g)] = static_cast<int16_t>(random() & 1 ? -v : v);
                if (dc)
                    levels[static_cast<size_t>(g)] =
                        static_cast<int16_t>(static_cast<int>(random() % 4001) - 2000);
            }
            std::vector<int16_t> coded = levels;
            std::vector<uint8_t> bytes;
            tsr::EncodeComponent(coded.data(), count, log2Blocks, bytes);
            ASSERT_EQ(coded, levels) << "nothing here needs clamping";
            const std::vector<int16_t> raster = RasterFromCodingOrder(levels, log2Blocks);
            for (int scale : {0, 2, 3}) {
                const int side = scale == 0 ? 8 : scale == 2 ? 4 : 2;
                const std::vector<int16_t> decoded = DecodeWithReference(bytes, log2Blocks, scale);
                for (size_t i = 0; i < raster.size(); ++i) {
                    const int u = static_cast<int>(i % 64) / 8, v = static_cast<int>(i % 64) % 8;
                    const int16_t expected = (u < side && v < side) ? raster[i] : 0;
                    ASSERT_EQ(decoded[i], expected) << "log2Blocks " << log2Blocks << " trial " << trial
                                                    << " scale " << scale << " index " << i;
                }
            }
        }
    }
}

// Extreme levels. DC steps go the short way round modulo 2^16, so alternating -32768 and 32767
// come back exactly; after a zero step (descriptor 16) a step of 32768 does not fit 32 bits and
// is one short. AC magnitude 32768 is clamped to 32767. The stream then decodes to exactly the
// values left in the array.
TEST(EntropyEncoder, ExtremeLevelsWrapOrClampInPlace) {
    const int log2Blocks = 4, count = 64 << 4;
    std::vector<int16_t> levels(static_cast<size_t>(count), 0);
    for (int b = 0; b < 13; ++b)
        levels[static_cast<size_t>(b)] = static_cast<int16_t>(b & 1 ? 32767 : -32768);
    levels[13] = 100, levels[14] = 100, levels[15] = -32668; // a zero step, then 32768
    for (int g = 16; g < count; g += 3)
        levels[static_cast<size_t>(g)] = static_cast<int16_t>(g & 1 ? -32768 : 32767);
    std::vector<int16_t> coded = levels;
    std::vector<uint8_t> bytes;
    tsr::EncodeComponent(coded.data(), count, log2Blocks, bytes);
    for (int b = 0; b < 15; ++b)
        EXPECT_EQ(coded[static_cast<size_t>(b)], levels[static_cast<size_t>(b)]) << b;
    EXPECT_EQ(coded[15], -32667);
    for (int g = 16; g < count; ++g)
        EXPECT_EQ(coded[static_cast<size_t>(g)],
                  levels[static_cast<size_t>(g)] == -32768 ? -32767 : levels[static_cast<size_t>(g)]);
    EXPECT_EQ(DecodeWithReference(bytes, log2Blocks, 0), RasterFromCodingOrder(coded, log2Blocks));
}

} // namespace
