// The interleaved component decoder against the plain reference decoder of tests/encoder: groups
// of one to four components, intact, truncated or damaged, decoded together at every slice
// width and scale must each give what the reference gives for that component alone. Lanes end
// at every point of a group, so the hand-over to the lane that goes on is covered.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "decoder/entropy.h"
#include "encoder/entropyencoder.h"
#include "referencedecoder.h"

namespace tsr {
namespace {

// A component with runs of levels of every size, long zero runs and a few large levels.
std::vector<uint8_t> EncodedComponent(std::mt19937& random, int log2Blocks) {
    std::vector<int16_t> levels(size_t(64) << log2Blocks);
    const int density = int(random() % 100);
    for (size_t g = 0; g < levels.size(); ++g) {
        if (int(random() % 100) >= density * (g < levels.size() / 4 ? 2 : 1)) continue;
        const int magnitude = random() % 50 == 0 ? int(random() % 3000) : int(random() % 6) + 1;
        levels[g] = int16_t(random() % 2 ? magnitude : -magnitude);
    }
    std::vector<uint8_t> out;
    EncodeComponent(levels.data(), int(levels.size()), log2Blocks, out);
    return out;
}

void Damage(std::mt19937& random, std::vector<uint8_t>& bytes) {
    if (bytes.empty()) return;
    switch (random() % 4) {
    case 0:
        break;
    case 1:
        bytes.resize(random() % bytes.size());
        break;
    case 2:
        for (int i = 0; i < 3; ++i) bytes[random() % bytes.size()] ^= uint8_t(1u << (random() % 8));
        break;
    default:
        for (uint8_t& b : bytes)
            if (random() % 8 == 0) b = uint8_t(random());
    }
}

TEST(InterleavedDecoding, EveryComponentOfAGroupMatchesTheReference) {
    std::mt19937 random(11);
    for (int trial = 0; trial < 3000; ++trial) {
        const int count = 1 + int(random() % 4), log2Blocks = int(random() % 5),
                  scale = 1 + int(random() % 3);
        const int log2Coefficients = Log2CoefficientsForScale(scale), side = BlockSideForScale(scale);
        std::vector<std::vector<uint8_t>> padded(count);
        std::vector<std::vector<int16_t>> got(count, std::vector<int16_t>(16 * 64));
        const uint8_t* data[4];
        size_t sizes[4];
        int16_t* levels[4];
        for (int i = 0; i < count; ++i) {
            padded[i] = EncodedComponent(random, log2Blocks);
            Damage(random, padded[i]);
            sizes[i] = padded[i].size();
            padded[i].resize(sizes[i] + kStringPadding);
            data[i] = padded[i].data();
            levels[i] = got[i].data();
        }
        DecodePaddedComponents(data, sizes, count, log2Blocks, log2Coefficients, levels);
        for (int i = 0; i < count; ++i) {
            std::vector<int16_t> want(16 * 64);
            reference::DecodeComponent(data[i], sizes[i], log2Blocks, scale, want.data());
            for (int b = 0; b < (1 << log2Blocks); ++b)
                for (int r = 0; r < side * side; ++r)
                    ASSERT_EQ(got[i][b * 64 + r], want[b * 64 + r / side * 8 + r % side])
                        << "trial " << trial << " component " << i << " block " << b << " raster " << r;
        }
    }
}

} // namespace
} // namespace tsr
