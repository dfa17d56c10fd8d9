// The Debayerer on PoCL through a host queue: construction, images, both entry points and the
// status table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>

#include "chainmodel.h"
#include "engine/debayerer.h"
#include "engine/tuning.h"
#include "testsupport.h"

namespace tsr::test {
namespace {

constexpr int kWidth = 24, kHeight = 16;

cl_uint ReferenceCount(cl_mem image) {
    cl_uint count = 0;
    clGetMemObjectInfo(image, CL_MEM_REFERENCE_COUNT, sizeof count, &count, nullptr);
    return count;
}

cl_uint ReferenceCount(cl_command_queue queue) {
    cl_uint count = 0;
    clGetCommandQueueInfo(queue, CL_QUEUE_REFERENCE_COUNT, sizeof count, &count, nullptr);
    return count;
}

Debayerer& SharedDebayerer() {
    static HRESULT status = E_FAIL;
    static Debayerer debayerer(TestOpenCL().queue, &status);
    EXPECT_EQ(S_OK, status);
    return debayerer;
}

struct HostFrame {
    TsrFrameInfoRecord record;
    std::vector<std::uint16_t> samples;
    std::vector<float> output; // RGBA float read back

    explicit HostFrame(int pattern = 1)
        : record(MakeRecord(kWidth, kHeight, true, pattern)),
          samples(
              MosaicScene(PhotoLikeScene(kWidth, kHeight), kWidth, kHeight, pattern, 256, 4095, 1.9f, 1.4f)),
          output(static_cast<size_t>(kWidth) * kHeight * 4, -1.0f) {}
    unsigned Bytes() const { return static_cast<unsigned>(samples.size() * 2); }
};

std::shared_ptr<CLImage> OutputImage(Debayerer& debayerer, HostFrame& frame) {
    std::shared_ptr<CLImage> image;
    const FrameGeometry geometry = {kWidth, kHeight, kWidth * 16, false, true};
    EXPECT_EQ(S_OK,
              debayerer.CreateImageFromMemory({frame.output.data(), frame.output.size() * sizeof(float)},
                                              geometry, {CL_RGBA, CL_FLOAT}, CL_MEM_WRITE_ONLY, image));
    return image;
}

TEST(DebayererConstruction, HostQueueOwnGpuAndBadQueue) {
    EXPECT_NE(nullptr, SharedDebayerer().Processor());

    HRESULT status = S_OK;
    Debayerer noQueue(static_cast<cl_command_queue>(nullptr), &status);
    EXPECT_EQ(E_INVALIDARG, status);
    EXPECT_EQ(nullptr, noQueue.Processor());

    // The engine's own choice takes a GPU; a machine whose OpenCL offers none refuses to start.
    cl_uint gpus = 0;
    cl_device_id unused = nullptr;
    const bool haveGpu =
        clGetDeviceIDs(TestOpenCL().platform, CL_DEVICE_TYPE_GPU, 1, &unused, &gpus) == CL_SUCCESS &&
        gpus > 0;
    Debayerer own(&status);
    EXPECT_EQ(haveGpu ? S_OK : E_FAIL, status);
}

// The transform's sequence with images over memory, then the memory entry point on the same
// bytes: both give the chain model's result.
TEST(DebayererEntryPoints, ImageAndMemoryAgreeWithTheModel) {
    Debayerer& debayerer = SharedDebayerer();
    for (const bool hostQueue : {false, true}) {
        SCOPED_TRACE(hostQueue ? "host queue" : "state's queue");
        ASSERT_EQ(S_OK, debayerer.SetCommandQueue(hostQueue ? TestOpenCL().queue : nullptr));
        HostFrame frame;
        std::shared_ptr<CLImage> input, output = OutputImage(debayerer, frame);
        const FrameGeometry geometry = {kWidth, kHeight, static_cast<std::uint32_t>(frame.record.rowPitch),
                                        true, false};
        ASSERT_EQ(S_OK, debayerer.CreateImageFromMemory({frame.samples.data(), frame.Bytes()}, geometry,
                                                        {CL_R, CL_UNSIGNED_INT16}, CL_MEM_READ_ONLY, input));
        const float colour[12] = {2.0f,  1.5f,  0.41f, 0.36f, 0.18f, 0.21f,
                                  0.72f, 0.07f, 0.02f, 0.12f, 0.95f, 1.1f};
        {
            std::lock_guard<std::mutex> hold(debayerer.Mutex());
            cl_mem out = output->Acquire();
            cl_mem in = input->Acquire();
            ASSERT_EQ(0, ProcessImage(debayerer.Processor(), in, &frame.record, 116, colour, 4,
                                      debayerer.HostQueue(), out));
            input->Release();
            output->Release();
        }
        const std::vector<float> fromImage = frame.output;

        std::fill(frame.output.begin(), frame.output.end(), -1.0f);
        {
            std::lock_guard<std::mutex> hold(debayerer.Mutex());
            cl_mem out = output->Acquire();
            ASSERT_EQ(0, ProcessMemory(debayerer.Processor(), frame.samples.data(), frame.Bytes(),
                                       &frame.record, 116, colour, 4, debayerer.HostQueue(), out));
            output->Release();
        }
        EXPECT_EQ(fromImage, frame.output);

        CurveNodeList nodes;
        AppendOutputCurveNodes(4, nodes);
        const Plane expected = ModelChain(ChainInput{true, &frame.samples, kWidth, kHeight},
                                          RawProcessingSetup(frame.record, colour, 4), 0, nodes, false);
        EXPECT_LE(MaxDifference(frame.output, expected), 5e-5f);
    }
    ASSERT_EQ(S_OK, debayerer.SetCommandQueue(nullptr));
}

// An image that notes its acquire and release calls around the real image it stands for.
class NotingImage : public CLImage {
public:
    NotingImage(std::shared_ptr<CLImage> image, const char* name, std::vector<std::string>& notes)
        : CLImage(image->Image()), m_image(std::move(image)), m_name(name), m_notes(notes) {}
    cl_mem Acquire() override {
        m_notes.push_back(std::string("acquire ") + m_name);
        return m_image->Acquire();
    }
    void Release() override {
        m_notes.push_back(std::string("release ") + m_name);
        m_image->Release();
    }

private:
    std::shared_ptr<CLImage> m_image;
    const char* m_name;
    std::vector<std::string>& m_notes;
};

// ProcessFrame does the transform's sequence itself: output acquired first and released last,
// the entry point chosen by the input, its status returned.
TEST(DebayererProcessFrame, AcquiresInOrderAndMatchesTheEntryPoints) {
    Debayerer& debayerer = SharedDebayerer();
    ASSERT_EQ(S_OK, debayerer.SetCommandQueue(TestOpenCL().queue));
    HostFrame frame;
    std::shared_ptr<CLImage> memoryInput;
    const FrameGeometry geometry = {kWidth, kHeight, static_cast<std::uint32_t>(frame.record.rowPitch), true,
                                    false};
    ASSERT_EQ(S_OK,
              debayerer.CreateImageFromMemory({frame.samples.data(), frame.Bytes()}, geometry,
                                              {CL_R, CL_UNSIGNED_INT16}, CL_MEM_READ_ONLY, memoryInput));
    std::vector<std::string> notes;
    NotingImage input(memoryInput, "input", notes);
    NotingImage output(OutputImage(debayerer, frame), "output", notes);

    DebayerFrame fromImage;
    fromImage.input = &input;
    fromImage.record = &frame.record;
    fromImage.recordSize = 116;
    fromImage.curve = 4;
    ASSERT_EQ(kStatusOk, debayerer.ProcessFrame(fromImage, output));
    EXPECT_EQ(
        (std::vector<std::string>{"acquire output", "acquire input", "release input", "release output"}),
        notes);
    const std::vector<float> imageResult = frame.output;

    DebayerFrame fromMemory = fromImage;
    fromMemory.input = nullptr;
    fromMemory.host = frame.samples.data();
    fromMemory.hostBytes = frame.Bytes();
    std::fill(frame.output.begin(), frame.output.end(), -1.0f);
    notes.clear();
    ASSERT_EQ(kStatusOk, debayerer.ProcessFrame(fromMemory, output));
    EXPECT_EQ((std::vector<std::string>{"acquire output", "release output"}), notes);
    EXPECT_EQ(imageResult, frame.output);

    fromMemory.hostBytes -= 1;
    EXPECT_EQ(kStatusBadHostMemory, debayerer.ProcessFrame(fromMemory, output));
    fromImage.recordSize = 115;
    EXPECT_EQ(kStatusBadRecord, debayerer.ProcessFrame(fromImage, output));
    ASSERT_EQ(S_OK, debayerer.SetCommandQueue(nullptr));
}

// A stand-in processor for the one result the real chain cannot produce: a code outside the
// status table.
class OddResultProcessor : public PrivateProcessor<1> {
public:
    OddResultProcessor() : PrivateProcessor<1>(0) {}
    int Status() const override { return 0; }
    bool CheckOutput(cl_mem, std::int32_t, std::int32_t) const override { return true; }
    cl_mem Upload(const void*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t,
                  cl_command_queue) override {
        return nullptr;
    }
    int Run(cl_mem, const RawProcessingParameters&, const CurveNodeList&, cl_command_queue, cl_mem) override {
        return m_result;
    }
    void ReturnImage(cl_mem) override {}
    int m_result = 5;
};

TEST(DebayererEntryPoints, StatusTable) {
    Debayerer& debayerer = SharedDebayerer();
    ProcessorHolder* handle = debayerer.Processor();
    HostFrame frame;
    std::shared_ptr<CLImage> output = OutputImage(debayerer, frame);
    cl_mem out = output->Image();
    cl_mem halfOutput = MakeImage(CL_RGBA, CL_HALF_FLOAT, kWidth, kHeight);
    cl_mem unormOutput = MakeImage(CL_RGBA, CL_UNORM_INT16, kWidth, kHeight);
    cl_mem wideOutput = MakeImage(CL_RGBA, CL_FLOAT, kWidth + 1, kHeight);
    const void* pixels = frame.samples.data();
    const unsigned bytes = frame.Bytes();
    const TsrFrameInfoRecord* record = &frame.record;

    TsrFrameInfoRecord overflowing = frame.record; // height x pitch wraps to 131072 in 32 bits
    overflowing.height = 65536;
    overflowing.rowPitch = 65538;
    TsrFrameInfoRecord noWidth = frame.record;
    noWidth.width = 0;
    TsrFrameInfoRecord negativeHeight = frame.record;
    negativeHeight.height = -5;
    TsrFrameInfoRecord negativePitch = frame.record;
    negativePitch.rowPitch = -48;
    TsrFrameInfoRecord shortPitch = frame.record;
    shortPitch.rowPitch = kWidth * 2 - 1;
    std::vector<std::uint8_t> big(131072);

    ProcessorHolder empty;
    EXPECT_EQ(-4, ProcessMemory(nullptr, pixels, bytes, record, 116, nullptr, 0, nullptr, out));
    EXPECT_EQ(-4, ProcessMemory(&empty, pixels, bytes, record, 116, nullptr, 0, nullptr, out));
    EXPECT_EQ(-4, ProcessImage(&empty, nullptr, record, 116, nullptr, 0, nullptr, out));
    EXPECT_EQ(-3, ProcessMemory(handle, pixels, bytes, nullptr, 116, nullptr, 0, nullptr, out));
    EXPECT_EQ(-3, ProcessMemory(handle, pixels, bytes, record, 115, nullptr, 0, nullptr, out));
    EXPECT_EQ(-3, ProcessImage(handle, nullptr, record, -1, nullptr, 0, nullptr, out));
    EXPECT_EQ(-7, ProcessMemory(handle, nullptr, bytes, record, 116, nullptr, 0, nullptr, out));
    EXPECT_EQ(-7, ProcessMemory(handle, pixels, bytes - 1, record, 116, nullptr, 0, nullptr, out));
    EXPECT_EQ(0, ProcessMemory(handle, pixels, bytes, record, 116, nullptr, 0, nullptr, out));
    EXPECT_EQ(0, ProcessMemory(handle, pixels, bytes, record, 200, nullptr, 0, nullptr, halfOutput));
    EXPECT_EQ(-7, ProcessMemory(handle, big.data(), 131072, &overflowing, 116, nullptr, 0, nullptr, out));
    EXPECT_EQ(-7, ProcessMemory(handle, pixels, bytes, &shortPitch, 116, nullptr, 0, nullptr, out));
    EXPECT_EQ(-7, ProcessImage(handle, nullptr, record, 116, nullptr, 0, nullptr, out)); // failed acquire
    EXPECT_EQ(-7, ProcessMemory(handle, pixels, bytes, &negativePitch, 116, nullptr, 0, nullptr, out));
    EXPECT_EQ(-8, ProcessMemory(handle, pixels, bytes, &noWidth, 116, nullptr, 0, nullptr, out));
    EXPECT_EQ(-8, ProcessMemory(handle, pixels, bytes, &negativeHeight, 116, nullptr, 0, nullptr, out));
    EXPECT_EQ(-8, ProcessMemory(handle, pixels, bytes, record, 116, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(-8, ProcessMemory(handle, pixels, bytes, record, 116, nullptr, 0, nullptr, unormOutput));
    EXPECT_EQ(-8, ProcessMemory(handle, pixels, bytes, record, 116, nullptr, 0, nullptr, wideOutput));

    // Upload on a queue of another context cannot be enqueued.
    cl_context otherContext = clCreateContext(nullptr, 1, &TestOpenCL().device, nullptr, nullptr, nullptr);
    cl_command_queue otherQueue = clCreateCommandQueue(otherContext, TestOpenCL().device, 0, nullptr);
    EXPECT_EQ(-9, ProcessMemory(handle, pixels, bytes, record, 116, nullptr, 0, otherQueue, out));
    clReleaseCommandQueue(otherQueue);
    clReleaseContext(otherContext);

    // The frame after failures still works.
    EXPECT_EQ(0, ProcessMemory(handle, pixels, bytes, record, 116, nullptr, 2, nullptr, out));

    ProcessorHolder odd;
    odd.processor.reset(new OddResultProcessor());
    cl_mem someImage = halfOutput;
    EXPECT_EQ(-1, ProcessImage(&odd, someImage, record, 116, nullptr, 0, nullptr, out));
    static_cast<OddResultProcessor*>(odd.processor.get())->m_result = -7;
    EXPECT_EQ(-7, ProcessImage(&odd, someImage, record, 116, nullptr, 0, nullptr, out));
    static_cast<OddResultProcessor*>(odd.processor.get())->m_result = -170;
    EXPECT_EQ(-170, ProcessImage(&odd, someImage, record, 116, nullptr, 0, nullptr, out));
    static_cast<OddResultProcessor*>(odd.processor.get())->m_result = -2;
    EXPECT_EQ(-1, ProcessImage(&odd, someImage, record, 116, nullptr, 0, nullptr, out));

    for (cl_mem image : {halfOutput, unormOutput, wideOutput}) clReleaseMemObject(image);
}

TEST(DebayererImages, MemoryImagesWrapsAndQueues) {
    Debayerer& debayerer = SharedDebayerer();
    std::vector<std::uint16_t> pixels(16 * 8, 7);
    std::shared_ptr<CLImage> image;
    const cl_image_format bayer = {CL_R, CL_UNSIGNED_INT16};

    // A host range short of the picture is refused; so is an image OpenCL cannot make.
    EXPECT_EQ(E_INVALIDARG,
              debayerer.CreateImageFromMemory({pixels.data(), pixels.size() * 2 - 1},
                                              {16, 8, 32, true, false}, bayer, CL_MEM_READ_ONLY, image));
    EXPECT_EQ(E_INVALIDARG,
              debayerer.CreateImageFromMemory({pixels.data(), pixels.size() * 2}, {16, 8, 30, true, false},
                                              bayer, CL_MEM_READ_ONLY, image));
    EXPECT_EQ(E_INVALIDARG,
              debayerer.CreateImageFromMemory({pixels.data(), pixels.size() * 2 - 1}, {16, 8, 0, true, false},
                                              bayer, CL_MEM_READ_ONLY, image));
    EXPECT_EQ(nullptr, image);
    EXPECT_EQ(S_OK,
              debayerer.CreateImageFromMemory({pixels.data(), pixels.size() * 2}, {16, 8, 0, true, false},
                                              bayer, CL_MEM_READ_ONLY, image)); // packed rows
    EXPECT_EQ(E_UNEXPECTED,
              debayerer.CreateImageFromMemory({pixels.data(), pixels.size() * 2}, {0, 8, 32, false, false},
                                              bayer, CL_MEM_READ_ONLY, image));
    EXPECT_EQ(nullptr, image);

    // An upload image uploads on every Acquire.
    ASSERT_EQ(S_OK,
              debayerer.CreateImageFromMemory({pixels.data(), pixels.size() * 2}, {16, 8, 32, true, false},
                                              bayer, CL_MEM_READ_ONLY, image));
    std::vector<std::uint16_t> readBack(pixels.size());
    const size_t origin[3] = {0, 0, 0}, region[3] = {16, 8, 1};
    for (std::uint16_t value : {100, 200}) {
        std::fill(pixels.begin(), pixels.end(), value);
        cl_mem acquired = image->Acquire();
        ASSERT_NE(nullptr, acquired);
        ASSERT_EQ(CL_SUCCESS, clEnqueueReadImage(TestOpenCL().queue, acquired, CL_TRUE, origin, region, 0, 0,
                                                 readBack.data(), 0, nullptr, nullptr));
        image->Release();
        EXPECT_EQ(value, readBack[5]);
    }

    // Wrapping holds its own reference; a null image is wrapped as null.
    cl_mem raw = MakeImage(CL_R, CL_UNSIGNED_INT16, 4, 4);
    {
        std::shared_ptr<CLImage> wrapped;
        ASSERT_EQ(S_OK, Debayerer::WrapImage(raw, wrapped));
        EXPECT_EQ(2u, ReferenceCount(raw));
        EXPECT_EQ(raw, wrapped->Acquire());
        ASSERT_EQ(S_OK, Debayerer::WrapImage(nullptr, wrapped));
        EXPECT_EQ(nullptr, wrapped->Acquire());
    }
    EXPECT_EQ(1u, ReferenceCount(raw));
    clReleaseMemObject(raw);

    // The host queue is retained while held and released when replaced.
    cl_command_queue queue = TestOpenCL().queue;
    const cl_uint before = ReferenceCount(queue);
    ASSERT_EQ(S_OK, debayerer.SetCommandQueue(queue));
    EXPECT_EQ(before + 1, ReferenceCount(queue));
    ASSERT_EQ(S_OK, debayerer.SetCommandQueue(nullptr));
    EXPECT_EQ(before, ReferenceCount(queue));
    EXPECT_EQ(nullptr, debayerer.HostQueue());
}

TEST(TuningValue, Parsing) {
    const struct {
        const char* text;
        std::int32_t value;
    } cases[] = {{nullptr, 0},
                 {"", 0},
                 {"0", 0},
                 {"20201", 0 + 20201},
                 {"20202", 20202},
                 {"20202abc", 20202},
                 {"  75", 75},
                 {"-3", -3},
                 {"abc", 0},
                 {"99999999999", 0},
                 // The first and last values of the 32-bit range, and one beyond each.
                 {"2147483647", 2147483647},
                 {"2147483648", 0},
                 {"-2147483648", -2147483647 - 1},
                 {"-2147483649", 0}};
    for (const auto& c : cases) EXPECT_EQ(c.value, ParseTuningValue(c.text)) << (c.text ? c.text : "null");
}

// Runs only where the test's environment sets the variable to the frame-timer value (its own ctest
// entry does); the value is read once per process.
TEST(DebayererTiming, PrintsOneLinePerFrame) {
    if (ProcessTuningValue() != kTuningFrameTimer) GTEST_SKIP() << "tsr772cup is not 20202 in this process";
#ifdef _WIN32
    _putenv("tsr772cup=0");
#else
    setenv("tsr772cup", "0", 1);
#endif
    EXPECT_EQ(kTuningFrameTimer, ProcessTuningValue());

    Debayerer& debayerer = SharedDebayerer();
    HostFrame frame;
    std::shared_ptr<CLImage> output = OutputImage(debayerer, frame);
    cl_mem out = output->Image();
    cl_mem input = MakeImage(CL_R, CL_UNSIGNED_INT16, kWidth, kHeight, frame.samples.data());

    ::testing::internal::CaptureStdout();
    EXPECT_EQ(0, ProcessMemory(debayerer.Processor(), frame.samples.data(), frame.Bytes(), &frame.record, 116,
                               nullptr, 0, nullptr, out));
    std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(std::regex_match(printed, std::regex("GPU upload and raw conversion: +[0-9]+\\.000 ms\n")))
        << printed;

    ::testing::internal::CaptureStdout();
    EXPECT_EQ(0, ProcessImage(debayerer.Processor(), input, &frame.record, 116, nullptr, 0, nullptr, out));
    printed = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(std::regex_match(printed, std::regex("raw conversion: +[0-9]+\\.000 ms\n"))) << printed;

    cl_context otherContext = clCreateContext(nullptr, 1, &TestOpenCL().device, nullptr, nullptr, nullptr);
    cl_command_queue otherQueue = clCreateCommandQueue(otherContext, TestOpenCL().device, 0, nullptr);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(-9, ProcessMemory(debayerer.Processor(), frame.samples.data(), frame.Bytes(), &frame.record,
                                116, nullptr, 0, otherQueue, out));
    EXPECT_EQ("GPU upload and ", ::testing::internal::GetCapturedStdout());
    clReleaseCommandQueue(otherQueue);
    clReleaseContext(otherContext);
    clReleaseMemObject(input);
}

} // namespace
} // namespace tsr::test
