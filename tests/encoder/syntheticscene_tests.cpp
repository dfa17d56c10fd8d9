#include <gtest/gtest.h>

#include "encoder/syntheticscene.h"

namespace {

TEST(SyntheticScene, IsDeterministicMovesWithTimeAndStaysInRange) {
    tsr::SceneSettings s;
    s.width = 160;
    s.height = 90;
    s.whiteLevelCode = 3839;
    const auto a = tsr::RenderSceneMosaic(s, 0, 1.0);
    EXPECT_EQ(a, tsr::RenderSceneMosaic(s, 0, 1.0));
    EXPECT_NE(a, tsr::RenderSceneMosaic(s, 0, 2.0));
    s.seed = 2;
    EXPECT_NE(a, tsr::RenderSceneMosaic(s, 0, 1.0));

    // Without noise, later frames still differ (the scene itself moves), and in more than a few
    // photosites.
    s.noise = 0;
    const auto still0 = tsr::RenderSceneMosaic(s, 0, 1.0), still1 = tsr::RenderSceneMosaic(s, 0, 1.5);
    size_t moved = 0;
    for (size_t i = 0; i < still0.size(); ++i) moved += still0[i] != still1[i];
    EXPECT_GT(moved, still0.size() / 100);

    uint16_t low = 65535, high = 0;
    for (uint16_t v : a) low = std::min(low, v), high = std::max(high, v);
    EXPECT_GE(low, 200);   // around the black level 256, noise may dip a little below it
    EXPECT_EQ(high, 4095); // the sun clips at white
    EXPECT_GT(high - low, 3000);
}

TEST(SyntheticScene, MosaicKeepsTheChannelOfEachFilter) {
    tsr::SceneSettings s;
    s.width = 34;
    s.height = 18;
    const auto rgb = tsr::RenderSceneRgb(s, 3.0);
    ASSERT_EQ(rgb.size(), 34u * 18 * 3);
    // Channel of photosite (row, column) of the 2x2 cell per pattern: R G / G B, G R / B G, G B / R G, B G /
    // G R.
    const int channel[4][2][2] = {{{0, 1}, {1, 2}}, {{1, 0}, {2, 1}}, {{1, 2}, {0, 1}}, {{2, 1}, {1, 0}}};
    for (int pattern = 0; pattern < 4; ++pattern) {
        const auto mosaic = tsr::MosaicRgb(rgb.data(), 34, 18, pattern);
        EXPECT_EQ(mosaic, tsr::RenderSceneMosaic(s, pattern, 3.0)) << pattern;
        for (int y = 0; y < 18; ++y)
            for (int x = 0; x < 34; ++x)
                ASSERT_EQ(mosaic[static_cast<size_t>(y * 34 + x)],
                          rgb[static_cast<size_t>(y * 34 + x) * 3 +
                              static_cast<size_t>(channel[pattern][y & 1][x & 1])]);
    }
    EXPECT_TRUE(tsr::RenderSceneRgb(tsr::SceneSettings{}, 0).empty());
}

} // namespace
