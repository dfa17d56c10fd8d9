// Codewords at bit level and the adaptive decoding of one component.
#include <gtest/gtest.h>

#include "entropy.h"
#include "framebuilder.h"

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
        {0, "1", 0},      {0, "01", 1},     {0, "0010", 2},   {0, "0011", 3},    {0, "000100", 4},
        {700, "1" + BitsOf(5, 12), 5},      {700, "001" + BitsOf(0, 12), 8192},  // q = 2 <= S
        {700, "0001" + BitsOf(0, 11), 3 * 4096},                                  // first escape value
        {49, "01000", 2}, {273, "10", 0},   {66, "010001", 5},
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

TEST(Codewords, OverlongCodewordsInDamagedDataDoNotOverrun) {
    // 31 leading zeros with a large K asks for a codeword far longer than 32 bits.
    const std::vector<uint8_t> bytes = BitsToBytes(std::string(31, '0') + "1" + std::string(60, '1'));
    BitReader reader(bytes.data(), bytes.size());
    ReadCodeword<false>(reader, 700);
    reader.Refill();
    uint32_t sign;
    ReadCodeword<true>(reader, 0x0F0F, &sign);
    SUCCEED();
}

std::vector<int16_t> Decode(const std::string& bits, int log2Blocks, int scaleIndex) {
    std::vector<int16_t> levels(64 << log2Blocks, 0);
    const std::vector<uint8_t> bytes = BitsToBytes(bits);
    DecodeComponent(bytes.data(), bytes.size(), log2Blocks, Log2CoefficientsForScale(scaleIndex), levels.data());
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
                             + "101"              // run count 1 (descriptor 0,4,2)
                             + "01000" + "0"      // level 2 (0,3,1) -> +3; level descriptor becomes 1,1,1
                             + "0010"             // zero run 2 (0,0,0): skip positions 2..4
                             + "10" + "1"         // level 0 (1,1,1) -> -1 at position 5; run 1,0,0, level 0,0,0
                             + "1"                // run count 0 (1,0,0)
                             + "1"                // zero run 0 (ZERO[2] = 0,0,0)
                             + "000100" + "0";    // level 4 (0,0,0) -> +5 at position 7
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
                             + "110"                      // run count 2 (0,4,2)
                             + "10" + "0"                 // level 0 (0,3,1) -> +1
                             + "1" + "1";                 // level 0 (0,0,0) -> -1
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
