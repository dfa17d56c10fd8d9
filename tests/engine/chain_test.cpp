// The processor and its kernel chain on PoCL: outputs against the chain model, intermediate-image
// bookkeeping, status codes and the steady-stream reuse of images.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <random>

#include "chainmodel.h"
#include "engine/processor.h"
#include "testsupport.h"

namespace tsr::test {
namespace {

PrivateOpenCLProcessor& SharedProcessor(int tuningValue = 0) {
    static std::map<int, std::unique_ptr<PrivateOpenCLProcessor>> processors;
    auto& processor = processors[tuningValue];
    if (!processor)
        processor.reset(new PrivateOpenCLProcessor(TestOpenCL().context, TestOpenCL().queue, tuningValue));
    return *processor;
}

struct Frame {
    bool bayer;
    int width, height;
    std::vector<std::uint16_t> samples;
    cl_mem image = nullptr;

    Frame(bool isBayer, int w, int h, unsigned seed) : bayer(isBayer), width(w), height(h) {
        if (bayer) {
            samples =
                MosaicScene(PhotoLikeScene(w, h), w, h, static_cast<int>(seed % 4), 256, 4095, 1.9f, 1.4f);
            image = MakeImage(CL_R, CL_UNSIGNED_INT16, w, h, samples.data(), CL_MEM_READ_ONLY);
        } else {
            std::mt19937 random(seed);
            std::uniform_int_distribution<int> sample(0, 4400);
            samples.resize(static_cast<size_t>(w) * h * 4);
            for (auto& s : samples) s = static_cast<std::uint16_t>(sample(random));
            image = MakeImage(CL_RGBA, CL_UNORM_INT16, w, h, samples.data(), CL_MEM_READ_ONLY);
        }
    }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;
    ~Frame() { clReleaseMemObject(image); }
    ChainInput Input() const { return ChainInput{bayer, &samples, width, height}; }
};

struct ChainCase {
    bool bayer;
    unsigned curve;
    bool half;
    int tuning;
};

class ChainOutput : public ::testing::TestWithParam<ChainCase> {};

TEST_P(ChainOutput, MatchesTheChainModel) {
    const ChainCase c = GetParam();
    const int width = 40, height = 24;
    Frame frame(c.bayer, width, height, c.curve + 7);
    TsrFrameInfoRecord record =
        MakeRecord(width, height, c.bayer, c.bayer ? static_cast<int>((c.curve + 7) % 4) : 0);
    if (!c.bayer) {
        const float offsets[6] = {-0.25f, -0.25f, -0.25f, 0.25f, 0.25f, 0.25f};
        std::memcpy(record.sampleOffsets, offsets, sizeof offsets);
    }
    const RawProcessingParameters parameters = RawProcessingSetup(record, nullptr, c.curve);
    CurveNodeList nodes;
    AppendOutputCurveNodes(c.curve, nodes);

    cl_mem output = MakeImage(CL_RGBA, c.half ? CL_HALF_FLOAT : CL_FLOAT, width, height);
    PrivateOpenCLProcessor& processor = SharedProcessor(c.tuning);
    ASSERT_EQ(0, processor.Status());
    ASSERT_EQ(0, processor.Run(frame.image, parameters, nodes, nullptr, output));
    const Plane expected = ModelChain(frame.Input(), parameters, c.tuning, nodes, c.half);
    // With half images a rounding difference early in the chain could move an output by a
    // half-float step (PoCL matches the model exactly here); single precision differs by fused
    // multiply-adds.
    EXPECT_LE(MaxDifference(ReadRgba(output), expected), c.half ? 2e-3f : 5e-5f);
    clReleaseMemObject(output);
}

INSTANTIATE_TEST_SUITE_P(Chains, ChainOutput,
                         ::testing::Values(ChainCase{true, 0, false, 0}, ChainCase{true, 0, true, 0},
                                           ChainCase{true, 1, false, 0}, ChainCase{true, 2, true, 0},
                                           ChainCase{true, 4, false, 0}, ChainCase{true, 3, false, 75},
                                           ChainCase{false, 0, false, 0}, ChainCase{false, 0, true, 0},
                                           ChainCase{false, 5, false, 0}, ChainCase{false, 8, true, 20}),
                         [](const ::testing::TestParamInfo<ChainCase>& info) {
                             const ChainCase& c = info.param;
                             return std::string(c.bayer ? "bayer" : "foursample") + "_curve" +
                                    std::to_string(c.curve) + (c.half ? "_half" : "_float") + "_tuning" +
                                    std::to_string(c.tuning);
                         });

// A node whose kernel the image-processing program does not have.
class MissingKernelNode : public ImageProcessingNodeWithBlock<CLIPHLG> {
public:
    const char* KernelName() const override { return "ImageProcessing_Missing"; }
};

TEST(ChainBookkeeping, IntermediateImagesFollowInputKindNodesAndOutputType) {
    PrivateOpenCLProcessor& processor = SharedProcessor();
    const OpenCLRawProcessing& raw = *processor.RawProcessing();
    Frame bayer(true, 16, 8, 1), fourSample(false, 16, 8, 2);
    cl_mem halfOutput = MakeImage(CL_RGBA, CL_HALF_FLOAT, 16, 8);
    cl_mem floatOutput = MakeImage(CL_RGBA, CL_FLOAT, 16, 8);
    const RawProcessingParameters parameters = RawProcessingSetup(MakeRecord(16, 8, true), nullptr, 0);

    struct Step {
        const char* what;
        const Frame& input;
        int nodes;
        cl_mem output;
        bool exists[3];
    };
    const Step steps[] = {
        {"bayer, no curve", bayer, 0, halfOutput, {true, true, false}},
        {"four-sample, no curve", fourSample, 0, halfOutput, {false, false, false}},
        {"four-sample, one curve", fourSample, 1, halfOutput, {false, false, true}},
        {"four-sample, two curves", fourSample, 2, halfOutput, {false, true, true}},
        {"bayer, one curve", bayer, 1, halfOutput, {true, true, true}},
        {"bayer, one curve, float output", bayer, 1, floatOutput, {true, true, true}},
    };
    for (const Step& step : steps) {
        CurveNodeList nodes;
        for (int i = 0; i < step.nodes; ++i) AppendOutputCurveNodes(2, nodes);
        ASSERT_EQ(0, processor.Run(step.input.image, parameters, nodes, nullptr, step.output)) << step.what;
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(step.exists[i], raw.IntermediateImage(i) != nullptr) << step.what << ", image " << i;
            cl_image_format format = {};
            if (raw.IntermediateImage(i)) {
                clGetImageInfo(raw.IntermediateImage(i), CL_IMAGE_FORMAT, sizeof format, &format, nullptr);
                const cl_channel_type expected = step.output == floatOutput ? CL_FLOAT : CL_HALF_FLOAT;
                EXPECT_EQ(expected, format.image_channel_data_type) << step.what << ", image " << i;
            }
        }
    }
    // The same frame again keeps every image.
    const cl_mem kept[3] = {raw.IntermediateImage(0), raw.IntermediateImage(1), raw.IntermediateImage(2)};
    CurveNodeList one;
    AppendOutputCurveNodes(2, one);
    ASSERT_EQ(0, processor.Run(bayer.image, parameters, one, nullptr, floatOutput));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(kept[i], raw.IntermediateImage(i)) << "image " << i;
    clReleaseMemObject(halfOutput);
    clReleaseMemObject(floatOutput);
}

TEST(ChainStatus, RejectedFramesAndMissingKernels) {
    PrivateOpenCLProcessor& processor = SharedProcessor();
    Frame bayer(true, 16, 8, 3);
    const RawProcessingParameters parameters = RawProcessingSetup(MakeRecord(16, 8, true), nullptr, 0);
    cl_mem taller = MakeImage(CL_RGBA, CL_FLOAT, 16, 9);
    cl_mem output = MakeImage(CL_RGBA, CL_FLOAT, 16, 8);
    cl_mem floatInput = MakeImage(CL_R, CL_FLOAT, 16, 8);
    CurveNodeList none;
    EXPECT_EQ(-8, processor.Run(bayer.image, parameters, none, nullptr, taller));
    EXPECT_EQ(-8, processor.Run(floatInput, parameters, none, nullptr, output));
    EXPECT_EQ(-8, processor.Run(nullptr, parameters, none, nullptr, output));

    CurveNodeList missing;
    missing.emplace_back(new MissingKernelNode());
    EXPECT_EQ(-6, processor.Run(bayer.image, parameters, missing, nullptr, output));
    // The raw conversion was enqueued without a flush; let it run before the test ends.
    clFinish(TestOpenCL().queue);

    EXPECT_TRUE(processor.CheckOutput(output, 16, 8));
    EXPECT_FALSE(processor.CheckOutput(output, 16, 9));
    EXPECT_FALSE(processor.CheckOutput(floatInput, 16, 8));
    EXPECT_FALSE(processor.CheckOutput(nullptr, 16, 8));
    for (cl_mem image : {taller, output, floatInput}) clReleaseMemObject(image);
}

TEST(ChainStatus, EnqueueKernelFailures) {
    const SharedOpenCL& cl = TestOpenCL();
    cl_kernel kernel = clCreateKernel(RawProgram(), "RPS_0002", nullptr);
    cl_mem image = MakeImage(CL_RGBA, CL_FLOAT, 4, 4);
    const CLRPPS2 block = {};
    const size_t size[2] = {4, 4};
    EXPECT_EQ(-60, EnqueueKernel(cl.context, kernel, &block, 0, image, image, size, cl.queue)); // no buffer
    EXPECT_EQ(-61, EnqueueKernel(cl.context, nullptr, &block, sizeof block, image, image, size, cl.queue));
    EXPECT_EQ(-162, EnqueueKernel(cl.context, kernel, &block, sizeof block, image, image, size, nullptr));
    EXPECT_EQ(0, EnqueueKernel(cl.context, kernel, &block, sizeof block, image, image, size, cl.queue));
    clFinish(cl.queue);
    clReleaseKernel(kernel);
    clReleaseMemObject(image);
}

// A steady stream of uploads and runs reuses one upload image and the intermediate images.
TEST(ChainSteadyStream, NoImageIsCreatedPerFrame) {
    PrivateOpenCLProcessor& processor = SharedProcessor();
    const int width = 32, height = 16;
    const TsrFrameInfoRecord record = MakeRecord(width, height, true);
    const std::vector<std::uint16_t> bayer(static_cast<size_t>(width) * height, 1000);
    const RawProcessingParameters parameters = RawProcessingSetup(record, nullptr, 2);
    cl_mem output = MakeImage(CL_RGBA, CL_HALF_FLOAT, width, height);
    cl_mem firstUpload = nullptr;
    cl_mem firstImages[3] = {};
    for (int frame = 0; frame < 5; ++frame) {
        CurveNodeList nodes;
        AppendOutputCurveNodes(2, nodes);
        cl_mem upload =
            processor.Upload(bayer.data(), record.layoutCode, width, height, record.rowPitch, nullptr);
        ASSERT_NE(nullptr, upload);
        ASSERT_EQ(0, processor.Run(upload, parameters, nodes, nullptr, output));
        processor.ReturnImage(upload);
        if (frame == 0) {
            firstUpload = upload;
            for (int i = 0; i < 3; ++i) firstImages[i] = processor.RawProcessing()->IntermediateImage(i);
            continue;
        }
        EXPECT_EQ(firstUpload, upload) << "frame " << frame;
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(firstImages[i], processor.RawProcessing()->IntermediateImage(i)) << "frame " << frame;
        EXPECT_EQ(1u, processor.Cache()->EntryCount());
    }
    clReleaseMemObject(output);
}

} // namespace
} // namespace tsr::test

namespace tsr::test {
namespace {

// The OpenCL C text carried for drivers without a SPIR consumer builds on PoCL and computes what
// the SPIR form computes.
TEST(ProgramForms, SourceFormMatchesSpirForm) {
    const SharedOpenCL& cl = TestOpenCL();
    OpenCLRawProcessing fromSource(cl.context, cl.device, EmbeddedProgramCatalog().source);
    ASSERT_EQ(0, fromSource.Status());
    PrivateOpenCLProcessor& processor = SharedProcessor();
    ASSERT_EQ(0, processor.Status());

    Frame bayer(true, 20, 12, 5);
    const RawProcessingParameters parameters = RawProcessingSetup(MakeRecord(20, 12, true, 1), nullptr, 0);
    cl_mem a = MakeImage(CL_RGBA, CL_FLOAT, 20, 12), b = MakeImage(CL_RGBA, CL_FLOAT, 20, 12);
    CurveNodeList none;
    ASSERT_EQ(0, fromSource.Process(bayer.image, parameters, 75, none, true, cl.queue, a));
    ASSERT_EQ(0, processor.Run(bayer.image, parameters, none, nullptr, b));
    EXPECT_LE(MaxDifference(ReadRgba(a), ModelChain(bayer.Input(), parameters, 75, none, false)), 5e-5f);
    EXPECT_LE(MaxDifference(ReadRgba(b), ModelChain(bayer.Input(), parameters, 0, none, false)), 5e-5f);
    clReleaseMemObject(a);
    clReleaseMemObject(b);
}

// The kernels carry the argument names of their contract in both forms.
TEST(ProgramForms, KernelArgumentNames) {
    const struct {
        const char* kernel;
        std::vector<std::string> names;
    } kernels[] = {{"RPS_0000", {"parameters", "inImage", "outImage"}},
                   {"RPS_0001", {"parameters", "inImage", "outImage"}},
                   {"RPS_0002", {"parameters", "inImage", "outImage"}},
                   {"RTSRD", {"parameters", "inImage", "outImage"}},
                   {"TSRD", {"parameters", "outImage"}}};
    for (const auto& k : kernels) {
        cl_kernel kernel = clCreateKernel(RawProgram(), k.kernel, nullptr);
        ASSERT_NE(nullptr, kernel) << k.kernel;
        cl_uint count = 0;
        clGetKernelInfo(kernel, CL_KERNEL_NUM_ARGS, sizeof count, &count, nullptr);
        ASSERT_EQ(k.names.size(), count) << k.kernel;
        for (cl_uint i = 0; i < count; ++i) {
            char name[64] = {};
            ASSERT_EQ(CL_SUCCESS,
                      clGetKernelArgInfo(kernel, i, CL_KERNEL_ARG_NAME, sizeof name, name, nullptr));
            EXPECT_EQ(k.names[i], name) << k.kernel << " argument " << i;
        }
        clReleaseKernel(kernel);
    }
}

} // namespace
} // namespace tsr::test
