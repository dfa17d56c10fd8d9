// Codewords at bit level and the adaptive decoding of one component.
#include <gtest/gtest.h>

#include "decoder/entropy.h"
#include "framebuilder.h"
#include "referencedecoder.h"

namespace tsr {
namespace {
using test::BitsOf;
using test::BitsToBytes;

struct Codeword {
    unsigned descriptor;
    std::string bits;
    uint32_t value;
};

TEST(Codewords, DecodeTheDescriptorExamples) {
    const Codeword cases[] = {
        {0, "1", 0},
        {0, "01", 1},
        {0, "0010", 2},
        {0, "0011", 3},
        {0, "000100", 4},
        {700, "1" + BitsOf(5, 12), 5},
        {700, "001" + BitsOf(0, 12), 8192},      // q = 2 <= S
        {700, "0001" + BitsOf(0, 11), 3 * 4096}, // first escape value
        {49, "01000", 2},
        {273, "10", 0},
        {66, "010001", 5},
    };
    for (const Codeword& c : cases) {
        // A trailing one bit checks that exactly the codeword's bits were consumed.
        const std::vector<uint8_t> bytes = BitsToBytes(c.bits + "1");
        BitReader reader(bytes.data(), bytes.size());
        EXPECT_EQ(ReadCodeword<false>(reader, c.descriptor), c.value) << c.descriptor << " " << c.bits;
        EXPECT_EQ(reader.Peek32() >> 31, 1u) << c.descriptor << " " << c.bits;
    }
}

TEST(Codewords, WindowRefillsAcrossManyCodewordsAndPastTheEnd) {
    // 40 codewords "000100" (value 4 with descriptor 0) straddle every 32-bit refill boundary.
    std::string bits;
    for (int i = 0; i < 40; ++i) bits += "000100";
    const std::vector<uint8_t> bytes = BitsToBytes(bits);
    BitReader reader(bytes.data(), bytes.size());
    for (int i = 0; i < 40; ++i) {
        reader.Refill();
        ASSERT_EQ(ReadCodeword<false>(reader, 0), 4u) << i;
    }
    for (int i = 0; i < 4; ++i) {
        reader.Refill();
        EXPECT_EQ(reader.Peek32(), 0u); // zero bits past the end
        reader.Skip(32);
    }
}

TEST(Codewords, OverlongCodewordsInDamagedDataMatchTheReference) {
    // Leading zeros with a large K ask for codewords far longer than 32 bits. The value (modulo
    // 2^32), the sign bit and the bits consumed follow the same rules as for short codewords.
    struct Case {
        unsigned descriptor;
        std::string bits;
    };
    const std::string ones(60, '1'), pattern = "1011001110001111000011111000001111110";
    const Case cases[] = {
        {700, std::string(31, '0') + "1" + ones},           {700, std::string(20, '0') + pattern + ones},
        {0x0F0F, std::string(24, '0') + pattern + ones},    {0x00F0, std::string(9, '0') + pattern + pattern},
        {0x01F3, std::string(17, '0') + pattern + pattern}, {700, std::string(31, '0') + "1"},
    };
    for (const Case& c : cases) {
        for (bool withSign : {false, true}) {
            const std::vector<uint8_t> bytes = BitsToBytes(c.bits);
            BitReader reader(bytes.data(), bytes.size());
            reference::BitReader expected(bytes.data(), bytes.size());
            uint32_t sign = 2;
            const uint32_t value = withSign ? ReadCodeword<true>(reader, c.descriptor, &sign)
                                            : ReadCodeword<false>(reader, c.descriptor);
            EXPECT_EQ(value, reference::ReadCodeword(expected, static_cast<uint16_t>(c.descriptor)))
                << c.descriptor << " " << c.bits;
            if (withSign) {
                EXPECT_EQ(sign, expected.Read(1)) << c.descriptor << " " << c.bits;
            }
            reader.Refill();
            EXPECT_EQ(reader.Peek32(), expected.Peek32()) << c.descriptor << " " << c.bits;
        }
    }
}

// At every length 0..16 the reader yields the component's bits, then zeros: never the byte
// that follows the component (a sentinel of ones here), however the reads are split.
TEST(Codewords, BitReaderStopsAtTheEndOfEveryShortComponent) {
    for (size_t length = 0; length <= 16; ++length) {
        std::vector<uint8_t> bytes(length + 1, 0xFF);
        for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(0x5A ^ (i * 37));
        for (unsigned step : {1u, 3u, 8u, 13u, 32u}) {
            BitReader reader(bytes.data(), length);
            reference::BitReader expected(bytes.data(), length);
            for (size_t bit = 0; bit < 8 * length + 64; bit += step) {
                ASSERT_EQ(reader.Read(step), expected.Read(static_cast<int>(step)))
                    << "length " << length << " step " << step << " bit " << bit;
            }
            reader.Refill();
            EXPECT_EQ(reader.Peek32(), 0u) << "length " << length << " step " << step;
        }
    }
}

std::vector<int16_t> Decode(const std::string& bits, int log2Blocks, int scaleIndex) {
    std::vector<int16_t> levels(64 << log2Blocks, 0);
    const std::vector<uint8_t> bytes = BitsToBytes(bits);
    DecodeComponent(bytes.data(), bytes.size(), log2Blocks, Log2CoefficientsForScale(scaleIndex),
                    levels.data());
    return levels;
}

TEST(ComponentDecoding, DcPredictionFollowsTheSignFlag) {
    // First DC 3 -> -2; deltas with codeword 1 then 1 -> -3, then +1 (the flag flips the sign).
    const auto levels = Decode("1" + BitsOf(3, 12) + "1" + "0001" + "1" + "1", 2, 0);
    EXPECT_EQ(levels[0], -2);
    EXPECT_EQ(levels[64], -3);
    EXPECT_EQ(levels[128], -2);
    EXPECT_EQ(levels[192], 0); // the string ends: the fourth DC stays 0
}

TEST(ComponentDecoding, RunsZerosAndLevelsAdaptTheirDescriptors) {
    const std::string bits = "1" + BitsOf(0, 12) // DC 0
                             + "101"             // run count 1 (descriptor 0,4,2)
                             + "01000" + "0"     // level 2 (0,3,1) -> +3; level descriptor becomes 1,1,1
                             + "0010"            // zero run 2 (0,0,0): skip positions 2..4
                             + "10" + "1"      // level 0 (1,1,1) -> -1 at position 5; run 1,0,0, level 0,0,0
                             + "1"             // run count 0 (1,0,0)
                             + "1"             // zero run 0 (ZERO[2] = 0,0,0)
                             + "000100" + "0"; // level 4 (0,0,0) -> +5 at position 7
    const auto levels = Decode(bits, 0, 0);
    std::vector<int16_t> expected(64, 0);
    expected[kScan8x8[1]] = 3;
    expected[kScan8x8[5]] = -1;
    expected[kScan8x8[7]] = 5;
    EXPECT_EQ(levels, expected);
}

TEST(ComponentDecoding, FrequencyMajorOrderInterleavesBlocks) {
    // nb = 2: position 2 is scan position 1 of block 0, position 3 scan position 1 of block 1.
    const std::string bits = "1" + BitsOf(0, 12) + "10000" // DCs 0, 0
                             + "110"                       // run count 2 (0,4,2)
                             + "10" + "0"                  // level 0 (0,3,1) -> +1
                             + "1" + "1";                  // level 0 (0,0,0) -> -1
    const auto levels = Decode(bits, 1, 0);
    EXPECT_EQ(levels[kScan8x8[1]], 1);
    EXPECT_EQ(levels[64 + kScan8x8[1]], -1);
}

TEST(ComponentDecoding, StopRules) {
    // All-zero bytes: nothing decoded.
    EXPECT_EQ(Decode(std::string(64, '0'), 4, 0), std::vector<int16_t>(64 << 4, 0));
    // Scale 3 reads four positions per block: a run count of 5 stops after three AC levels
    // even though more symbols follow.
    const std::string bits = "1" + BitsOf(2, 12) // DC 1
                             + "010001"          // run count 5 (0,4,2)
                             + "100" + "10" + "10" + std::string(40, '1');
    const auto levels = Decode(bits, 0, 3);
    EXPECT_EQ(levels[0], 1);
    for (int k = 1; k < 4; ++k) EXPECT_EQ(levels[kScan2x2[k]], 1) << k;
    for (int i = 4; i < 64; ++i) EXPECT_EQ(levels[i], 0) << i;
}

} // namespace
} // namespace tsr
