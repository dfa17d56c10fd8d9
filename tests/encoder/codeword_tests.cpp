#include <gtest/gtest.h>

#include <string>

#include "encoder/codewords.h"
#include "format/codetables.h"
#include "referencedecoder.h"

namespace {

// The codeword as a string of '0' and '1'.
std::string CodewordBits(uint32_t value, uint16_t descriptor) {
    std::vector<uint8_t> bytes;
    tsr::BitWriter writer(bytes);
    tsr::WriteCodeword(writer, value, descriptor);
    const uint64_t length = writer.BitCount();
    writer.PadToByte();
    std::string s;
    for (uint64_t i = 0; i < length; ++i) s += ((bytes[i / 8] >> (7 - i % 8)) & 1) ? '1' : '0';
    return s;
}

TEST(Codewords, MatchTheDescriptorExamplesBitForBit) {
    struct Case {
        uint16_t descriptor;
        uint32_t value;
        const char* bits;
    } const cases[] = {
        {0, 0, "1"},
        {0, 1, "01"},
        {0, 2, "0010"},
        {0, 3, "0011"},
        {0, 4, "000100"},
        {700, 5, "1000000000101"},
        {700, 8192, "001000000000000"},
        {700, 12288, "000100000000000"}, // first escape value: M = 2^11, 2 * 12 - 11 + 2 bits
        {66, 3, "111"},                  // S 0, K 4, R 2: no zeros, the one, then 11
        {66, 4, "010000"},               // escape: M = 4 - 4 + 16, one zero then M in 5 bits
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CodewordBits(c.value, c.descriptor), c.bits)
            << "descriptor " << c.descriptor << " value " << c.value;
        EXPECT_EQ(tsr::CodewordLength(c.value, c.descriptor), static_cast<int>(std::string(c.bits).size()));
    }
}

// Every descriptor that the coder can use, read back by the reference reader, up to the longest
// codeword that fits 32 bits; one past that needs more than 32 bits.
TEST(Codewords, EveryDescriptorRoundTripsUpToItsLongestCodeword) {
    std::vector<uint16_t> descriptors = {tsr::kFirstDcDescriptor, tsr::kDcDeltaStart, tsr::kRunCountStart,
                                         tsr::kZeroRunStart, tsr::kLevelStart};
    for (unsigned i = 0; i <= 94; ++i) {
        descriptors.push_back(reference::LevelDescriptor(i));
        descriptors.push_back(reference::ZeroDescriptor(i));
        descriptors.push_back(reference::RunDescriptor(i));
        descriptors.push_back(reference::DcDescriptor(i));
    }
    for (uint16_t d : descriptors) {
        const uint32_t max = tsr::MaxCodewordValue(d);
        EXPECT_LE(tsr::CodewordLength(max, d), 32) << d;
        EXPECT_GT(tsr::CodewordLength(max + 1, d), 32) << d;
        std::vector<uint32_t> values;
        for (uint32_t v = 0; v < 600; ++v) values.push_back(v);
        for (uint32_t v = 600; v < max && v < 0x40000000u; v = v * 3 + 1) values.push_back(v);
        values.push_back(max);
        std::vector<uint8_t> bytes;
        tsr::BitWriter writer(bytes);
        for (uint32_t v : values) tsr::WriteCodeword(writer, v, d);
        const uint64_t written = writer.BitCount();
        writer.PadToByte();
        reference::BitReader reader(bytes.data(), bytes.size());
        for (uint32_t v : values) ASSERT_EQ(reference::ReadCodeword(reader, d), v) << "descriptor " << d;
        EXPECT_EQ(reader.Position(), written);
    }
}

// The shared tables agree with the reference transcription.
TEST(Codewords, SharedAdaptationTablesMatchTheReference) {
    for (unsigned i = 0; i <= tsr::kDcTableLast; ++i)
        EXPECT_EQ(tsr::kDcTable[i], reference::DcDescriptor(i)) << i;
    for (unsigned i = 0; i <= tsr::kRunTableLast; ++i)
        EXPECT_EQ(tsr::kRunTable[i], reference::RunDescriptor(i)) << i;
    for (unsigned i = 0; i <= tsr::kZeroTableLast; ++i)
        EXPECT_EQ(tsr::kZeroTable[i], reference::ZeroDescriptor(i)) << i;
    for (unsigned i = 0; i <= tsr::kLevelTableLast; ++i)
        EXPECT_EQ(tsr::kLevelTable[i], reference::LevelDescriptor(i)) << i;
    for (int i = 0; i < 64; ++i) EXPECT_EQ(tsr::kScan8x8[i], reference::kScan8[i]) << i;
}

} // namespace
