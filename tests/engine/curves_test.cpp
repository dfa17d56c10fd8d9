// Output-curve nodes: constants, the factory, a few values per curve, and the kernels of the
// image-processing program on PoCL against the models.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "engine/curves.h"
#include "kernelrunner.h"

namespace tsr::test {
namespace {

TEST(CurveFactory, OneNodePerCurveIndex) {
    const struct {
        unsigned curve;
        const char* kernel; // null: no node
        size_t blockSize;
    } cases[] = {
        {0, nullptr, 0},
        {1, nullptr, 0},
        {2, "ImageProcessing_HLG", 24},
        {3, "ImageProcessing_Canon_CanonLog2", 48},
        {4, "ImageProcessing_Log", 64},
        {5, "ImageProcessing_Nikon_NLog", 32},
        {6, "ImageProcessing_Log", 64},
        {7, "ImageProcessing_Log", 64},
        {8, "ImageProcessing_Log", 64},
        {9, nullptr, 0},
        {1000, nullptr, 0},
    };
    for (const auto& c : cases) {
        CurveNodeList list;
        AppendOutputCurveNodes(c.curve, list);
        if (!c.kernel) {
            EXPECT_TRUE(list.empty()) << c.curve;
            continue;
        }
        ASSERT_EQ(1u, list.size()) << c.curve;
        EXPECT_STREQ(c.kernel, list[0]->KernelName());
        EXPECT_EQ(c.blockSize, list[0]->ParameterBlockSize());
        EXPECT_EQ(nullptr, list[0]->Kernel());
    }
}

TEST(CurveConstants, HlgCanonAndNikonBitPatterns) {
    const CLIPHLG hlg = ImageProcessingNode_HLG<1>().Parameters();
    EXPECT_EQ(0.5f, hlg.r);
    EXPECT_EQ(0x3DFDDD65u, Bits(hlg.a));
    EXPECT_EQ(1.0f, hlg.m);
    EXPECT_EQ(0xBE91C020u, Bits(hlg.b));
    EXPECT_EQ(0x3F0F564Fu, Bits(hlg.c));
    EXPECT_EQ(1.0f, hlg.t);

    const CLIPCANONLOG2 canon = ImageProcessingNode_Canon_CanonLog2<1>().Parameters();
    EXPECT_EQ(0x3D94CD1Bu, Bits(canon.a));
    EXPECT_EQ(0x3DBE2F8Cu, Bits(canon.b));
    EXPECT_EQ(0x42AE32E1u, Bits(canon.c));
    // The gamut matrices map white to white: every row of every matrix sums to 1.
    std::vector<const float*> matrices = {canon.colorMatrix};
    std::vector<CLIPLOG> logs;
    for (int entry = 0; entry < 4; ++entry) logs.push_back(ImageProcessingNode_Log<1>(entry).Parameters());
    for (const CLIPLOG& log : logs) matrices.push_back(log.colorMatrix);
    for (size_t m = 0; m < matrices.size(); ++m)
        for (int row = 0; row < 3; ++row)
            EXPECT_NEAR(
                1.0, double(matrices[m][3 * row]) + matrices[m][3 * row + 1] + matrices[m][3 * row + 2], 2e-6)
                << "matrix " << m << " row " << row;
    // Canon Log 2's matrix, entry by entry, as published for Cinema Gamut to BT.709/BT.2020.
    const float canonMatrix[9] = {0.8804143f,  0.03456769f,  0.08501798f, 0.039596997f, 0.79360366f,
                                  0.16679937f, 0.013393459f, 0.16183142f, 0.8247751f};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(canonMatrix[i], canon.colorMatrix[i]) << i;

    const CLIPNIKONNLOG nikon = ImageProcessingNode_Nikon_NLog<1>().Parameters();
    const std::uint32_t expected[8] = {0x3DD025BEu, Bits(0.9f),  0x3F1AE6BAu, 0x3F22A8AAu,
                                       Bits(0.9f),  0x3BF5C28Fu, 0x3EAAAAABu, 0x3EBA9876u};
    const float actual[8] = {nikon.c, nikon.s, nikon.d, nikon.a, nikon.m, nikon.b, nikon.g, nikon.t};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(expected[i], Bits(actual[i])) << "field " << i;
}

TEST(CurveConstants, LogTableEntries) {
    const struct {
        int entry;
        float a, b, c, d, e, f, t;
        float firstMatrix;
    } cases[] = {
        {0, 0.89028f, 0.0108f, 0.07726326f, 0.584555f, 5.4225f, 0.092864126f, 0.008666666f, 0.9859064f},
        {1, 0.9f, 0.00873f, 0.07270296f, 0.598206f, 5.04f, 0.125f, 0.011111111f, 0.9298549f},
        {2, 4.736842f, 0.05263158f, 0.07694951f, 0.41055718f, 5.959749f, 0.092864126f, 0.0125f, 0.89557296f},
        {3, 4.736842f, 0.05263158f, 0.07694951f, 0.41055718f, 5.959749f, 0.092864126f, 0.0125f, 1.0381441f},
    };
    for (const auto& c : cases) {
        const CLIPLOG k = ImageProcessingNode_Log<1>(c.entry).Parameters();
        EXPECT_FLOAT_EQ(c.a, k.a) << c.entry;
        EXPECT_FLOAT_EQ(c.b, k.b) << c.entry;
        EXPECT_FLOAT_EQ(c.c, k.c) << c.entry;
        EXPECT_FLOAT_EQ(c.d, k.d) << c.entry;
        EXPECT_FLOAT_EQ(c.e, k.e) << c.entry;
        EXPECT_FLOAT_EQ(c.f, k.f) << c.entry;
        EXPECT_FLOAT_EQ(c.t, k.t) << c.entry;
        EXPECT_EQ(c.firstMatrix, k.colorMatrix[0]) << c.entry;
    }
}

TEST(CurveValues, ExpectedPoints) {
    const CLIPHLG hlg = ImageProcessingNode_HLG<1>().Parameters();
    EXPECT_FLOAT_EQ(0.5f, ModelHlg(hlg, 1.0f));
    EXPECT_NEAR(1.0f, ModelHlg(hlg, 12.0f), 1e-6f);
    EXPECT_EQ(0.0f, ModelHlg(hlg, -0.5f));

    const CLIPCANONLOG2 canon = ImageProcessingNode_Canon_CanonLog2<1>().Parameters();
    EXPECT_EQ(canon.b, ModelCanonLog2(canon, 0.0f));
    EXPECT_FLOAT_EQ(2.0f * canon.b - ModelCanonLog2(canon, 0.3f), ModelCanonLog2(canon, -0.3f));

    const CLIPNIKONNLOG nikon = ImageProcessingNode_Nikon_NLog<1>().Parameters();
    const float below = std::nextafter(nikon.t, 0.0f);
    EXPECT_NEAR(ModelNLog(nikon, nikon.t), ModelNLog(nikon, below),
                5e-4f); // the segments meet (to the constants' rounding)
    EXPECT_FLOAT_EQ(nikon.c * std::log2(nikon.s * nikon.t) + nikon.d, ModelNLog(nikon, nikon.t));

    const CLIPLOG vlog = ImageProcessingNode_Log<1>(1).Parameters();
    const float x = std::nextafter(vlog.t, 0.0f);
    EXPECT_FLOAT_EQ(5.04f * x + 0.125f, ModelLog(vlog, x));
}

// Every curve kernel over values around its breakpoints, negatives included.
TEST(CurveKernels, MatchTheirModels) {
    const float samples[] = {-0.5f, -0.01f,  0.0f,        0.001f, 0.008f, 0.0087f, 0.0111f, 0.0125f, 0.05f,
                             0.2f,  0.3644f, 0.36444443f, 0.5f,   0.99f,  1.0f,    1.01f,   4.0f,    12.0f};
    const int count = static_cast<int>(sizeof samples / sizeof samples[0]);
    const int width = count, height = 3;
    Plane input(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            float* p = &input[(static_cast<size_t>(y) * width + x) * 4];
            p[0] = samples[x];
            p[1] = samples[(x + y + 1) % count];
            p[2] = samples[(x + 2 * y + 5) % count];
            p[3] = 0.25f * y;
        }
    }
    cl_mem in = MakeImage(CL_RGBA, CL_FLOAT, width, height, input.data());
    cl_mem out = MakeImage(CL_RGBA, CL_FLOAT, width, height);
    for (unsigned curve = 2; curve <= 8; ++curve) {
        CurveNodeList list;
        AppendOutputCurveNodes(curve, list);
        const ImageProcessingNode<1>& node = *list[0];
        ASSERT_EQ(0, RunKernel(CurveProgram(), node.KernelName(), node.ParameterBlock(),
                               node.ParameterBlockSize(), in, out));
        EXPECT_LE(MaxDifference(ReadRgba(out), ModelCurveNode(node, input)), 2e-5f) << "curve " << curve;
    }
    clReleaseMemObject(in);
    clReleaseMemObject(out);
}

} // namespace
} // namespace tsr::test
