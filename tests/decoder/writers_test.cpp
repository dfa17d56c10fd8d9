// The writers that compute the tone curve against the ones that look it up in the table, for
// every layout they serve, curves of every shape (steep, falling, a last slope that wraps to 0)
// and partial macroblock rows: the bytes written, and those left alone, must be the same.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "decoder/cpufeatures.h"
#include "decoder/writers.h"
#include "format/tonecurve.h"

namespace tsr {
namespace {

TEST(MacroblockWriters, ComputedCurveWritesWhatTheTableWrites) {
    if (!ProcessorHasAvx()) GTEST_SKIP() << "no AVX";
    std::mt19937 random(7);
    const std::vector<ToneCurveKnots> curves = {
        {0, 512, 1024, 2048, 4096, 8192, 16384, 32768}, // the default
        {0, 0, 0, 0, 0, 0, 0, 0},                       // last slope 65536 wraps to 0
        {65535, 60000, 1, 40000, 2, 65535, 0, 65535},   // falling and wrapping slopes
        {100, 9000, 20000, 30000, 41000, 52000, 60000, 65000}};
    ToneCurveTable table;
    for (const ToneCurveKnots& knots : curves) {
        table.Update(knots.data());
        const ToneCurve curve(knots.data());
        WriterCurve writerCurve;
        writerCurve.table = table.Table();
        std::copy(curve.knots, curve.knots + 8, writerCurve.knots);
        std::copy(curve.slopes, curve.slopes + 8, writerCurve.slopes);
        // Every input value once (256 per macroblock), then random samples with fewer rows.
        for (uint32_t first = 0; first <= 65536; first += 256) {
            const bool exhaustive = first < 65536;
            uint16_t samples[4][64];
            for (int i = 0; i < 256; ++i)
                samples[i / 64][i % 64] = exhaustive ? uint16_t(first + i) : uint16_t(random());
            const uint16_t* blocks[4] = {samples[0], samples[1], samples[2], samples[3]};
            // Scale index 0 for each pattern, then scale index 1.
            for (int layout = 0; layout < 5; ++layout) {
                const int scale = layout < 4 ? 0 : 1, rowsPerMacroblock = scale == 0 ? 16 : 8;
                const MacroblockWriter computed = SelectWriter(scale == 0, scale, layout & 3, true);
                const MacroblockWriter tabulated = SelectWriter(scale == 0, scale, layout & 3, false);
                ASSERT_NE(computed, tabulated);
                for (int rows = exhaustive ? rowsPerMacroblock : 1; rows <= rowsPerMacroblock; ++rows) {
                    const ptrdiff_t pitch = 80;
                    std::vector<uint8_t> want(pitch * 17, 0xA5), got = want;
                    tabulated(blocks, want.data(), pitch, rows, writerCurve);
                    computed(blocks, got.data(), pitch, rows, writerCurve);
                    ASSERT_EQ(got, want) << "curve " << knots[1] << " layout " << layout << " rows " << rows
                                         << " first " << first;
                }
            }
        }
    }
}

} // namespace
} // namespace tsr
