// Sample processing of the debayer transform in system memory, on the engine with a host-supplied
// OpenCL queue (Wine's OpenCL on PoCL), checked against the engine run directly on the same frames.
#include "debayertransformtest.h"
#include "debugcapture.h"

#include <algorithm>
#include <string>

using namespace tsr;

namespace {

constexpr UINT32 kWidth = 96;
constexpr UINT32 kHeight = 64;

class DebayerProcessingTest : public DebayerTransformTest {
protected:
    void SetUp() override {
        DebayerTransformTest::SetUp();
        if (!HasFatalFailure()) UseHostQueue();
    }
};

bool AnyMessageContains(const DebugOutputCapture& capture, const std::string& text) {
    const std::vector<std::string> messages = capture.Messages();
    return std::any_of(messages.begin(), messages.end(),
                       [&](const std::string& message) { return message.find(text) != std::string::npos; });
}

TEST_F(DebayerProcessingTest, OneAndTwoBufferSamplesMatchTheEngineForEverySubtype) {
    const BayerFrame frame = MakeDecodedFrame(kWidth, kHeight, 0);
    for (const GUID* subtype : {&MFVideoFormat_A16B16G16R16F, &MFVideoFormat_RGBA128F}) {
        ASSERT_NO_FATAL_FAILURE(Negotiate(frame, *subtype));
        const Bytes expected = EngineOutput(frame, *subtype, nullptr, 1);
        ASSERT_EQ(expected.size(), size_t{kWidth} * kHeight * OutputPixelBytes(*subtype));
        ASSERT_GT(std::count(expected.begin(), expected.end(), 0), 0);
        ASSERT_LT(std::count(expected.begin(), expected.end(), 0), static_cast<long>(expected.size() / 2));
        for (bool oneBuffer : {true, false}) {
            ComPtr<IMFSample> output;
            ASSERT_EQ(Process((oneBuffer ? OneBufferSample(frame) : TwoBufferSample(frame)).Get(), output),
                      S_OK);
            EXPECT_TRUE(BufferBytes(output.Get()) == expected) << (oneBuffer ? "one buffer" : "two buffers");
        }
    }
}

// The decoder's reduced sizes carry four samples per pixel in buffer 1: they must not be read as
// a mosaic.
TEST_F(DebayerProcessingTest, ReducedSizeFramesInTheirOwnBufferMatchTheEngine) {
    for (UINT32 scale = 1; scale <= 3; ++scale) {
        const BayerFrame frame = MakeDecodedFrame(kWidth * 2, kHeight * 2, scale);
        ASSERT_NO_FATAL_FAILURE(Negotiate(frame, MFVideoFormat_A16B16G16R16F));
        ComPtr<IMFSample> output;
        ASSERT_EQ(Process(TwoBufferSample(frame).Get(), output), S_OK) << scale;
        EXPECT_TRUE(BufferBytes(output.Get()) == EngineOutput(frame, MFVideoFormat_A16B16G16R16F, nullptr, 1))
            << "scale " << scale;
    }
}

TEST_F(DebayerProcessingTest, CurveFromTheOutputTypeAndFromTheSample) {
    const BayerFrame frame = MakeDecodedFrame(kWidth, kHeight, 0);
    struct Case {
        const char* what;
        const GUID* key; // on the output type, null for none
        UINT32 value;
        const GUID* sampleKey; // on the sample, null for none
        UINT32 sampleValue;
        unsigned expectedCurve;
    } cases[] = {
        {"default", nullptr, 0, nullptr, 0, 1},
        {"type curve 3", &MF_DEBAYER_OUTPUT_CURVE, 3, nullptr, 0, 3},
        {"type BT.709 primaries", &MF_MT_VIDEO_PRIMARIES, MFVideoPrimaries_BT709, nullptr, 0, 0},
        {"type BT.2020 primaries", &MF_MT_VIDEO_PRIMARIES, MFVideoPrimaries_BT2020, nullptr, 0, 1},
        {"sample curve 8", nullptr, 0, &MF_DEBAYER_OUTPUT_CURVE, 8, 8},
        {"sample BT.709 primaries", &MF_DEBAYER_OUTPUT_CURVE, 5, &MF_MT_VIDEO_PRIMARIES,
         MFVideoPrimaries_BT709, 0},
        {"sample other primaries keep the type's", &MF_DEBAYER_OUTPUT_CURVE, 5, &MF_MT_VIDEO_PRIMARIES, 1, 5},
    };
    for (const Case& c : cases) {
        ComPtr<IMFMediaType> outputType = VideoType(MFVideoFormat_A16B16G16R16F);
        if (c.key) outputType->SetUINT32(*c.key, c.value);
        ASSERT_NO_FATAL_FAILURE(Negotiate(frame, MFVideoFormat_A16B16G16R16F, outputType.Get()));
        ComPtr<IMFSample> input = TwoBufferSample(frame);
        if (c.sampleKey) input->SetUINT32(*c.sampleKey, c.sampleValue);
        ComPtr<IMFSample> output;
        ASSERT_EQ(Process(input.Get(), output), S_OK) << c.what;
        EXPECT_TRUE(BufferBytes(output.Get()) ==
                    EngineOutput(frame, MFVideoFormat_A16B16G16R16F, nullptr, c.expectedCurve))
            << c.what;
    }
    // Primaries the type does not name leave the curve where the previous type put it.
    ComPtr<IMFMediaType> other = VideoType(MFVideoFormat_A16B16G16R16F);
    other->SetUINT32(MF_MT_VIDEO_PRIMARIES, 1);
    ASSERT_EQ(m_transform->SetOutputType(0, other.Get(), 0), S_OK);
    ComPtr<IMFSample> output;
    ASSERT_EQ(Process(TwoBufferSample(frame).Get(), output), S_OK);
    EXPECT_TRUE(BufferBytes(output.Get()) == EngineOutput(frame, MFVideoFormat_A16B16G16R16F, nullptr, 5));
}

TEST_F(DebayerProcessingTest, ColorMatrixFromTheSampleBeforeTheStore) {
    const BayerFrame frame = MakeDecodedFrame(kWidth, kHeight, 0);
    ASSERT_NO_FATAL_FAILURE(Negotiate(frame, MFVideoFormat_RGBA128F));
    const float fromStore[12] = {2.0f, 1.5f, 0.5f, 0.4f, 0.1f, 0.2f, 0.7f, 0.1f, 0.0f, 0.1f, 0.9f, 1.0f};
    const float fromSample[12] = {1.1f, 1.9f, 0.9f, 0.0f, 0.1f, 0.3f, 0.6f, 0.1f, 0.1f, 0.0f, 0.8f, 0.5f};
    ComPtr<IMFAttributes> store;
    ASSERT_EQ(m_transform->GetAttributes(&store), S_OK);
    ASSERT_EQ(store->SetBlob(MF_DEBAYER_COLOR_MATRIX, reinterpret_cast<const UINT8*>(fromStore), 48), S_OK);

    ComPtr<IMFSample> output;
    ASSERT_EQ(Process(TwoBufferSample(frame).Get(), output), S_OK);
    const Bytes storeResult = BufferBytes(output.Get());
    EXPECT_TRUE(storeResult == EngineOutput(frame, MFVideoFormat_RGBA128F, fromStore, 1));

    ComPtr<IMFSample> input = TwoBufferSample(frame);
    input->SetBlob(MF_DEBAYER_COLOR_MATRIX, reinterpret_cast<const UINT8*>(fromSample), 48);
    ASSERT_EQ(Process(input.Get(), output), S_OK);
    EXPECT_TRUE(BufferBytes(output.Get()) == EngineOutput(frame, MFVideoFormat_RGBA128F, fromSample, 1));
    EXPECT_FALSE(BufferBytes(output.Get()) == storeResult);
}

TEST_F(DebayerProcessingTest, TimeStampsAndSizesAreCopiedWhenPresent) {
    const BayerFrame frame = MakeDecodedFrame(kWidth, kHeight, 0);
    ASSERT_NO_FATAL_FAILURE(Negotiate(frame, MFVideoFormat_A16B16G16R16F));
    ComPtr<IMFSample> stamped = TwoBufferSample(frame);
    stamped->SetSampleTime(4000000);
    stamped->SetSampleDuration(333667);
    MFSetAttributeSize(stamped.Get(), MF_MT_FRAME_SIZE, kWidth, kHeight);
    ComPtr<IMFSample> output;
    ASSERT_EQ(Process(stamped.Get(), output), S_OK);
    LONGLONG value = 0;
    ASSERT_EQ(output->GetSampleTime(&value), S_OK);
    EXPECT_EQ(value, 4000000);
    ASSERT_EQ(output->GetSampleDuration(&value), S_OK);
    EXPECT_EQ(value, 333667);
    UINT32 width = 0, height = 0;
    EXPECT_EQ(MFGetAttributeSize(output.Get(), MF_MT_FRAME_SIZE, &width, &height), S_OK);
    EXPECT_EQ(width, kWidth);

    ASSERT_EQ(Process(TwoBufferSample(frame).Get(), output), S_OK);
    EXPECT_EQ(output->GetSampleTime(&value), MF_E_NO_SAMPLE_TIMESTAMP);
    EXPECT_EQ(output->GetSampleDuration(&value), MF_E_NO_SAMPLE_DURATION);
}

TEST_F(DebayerProcessingTest, HostImagesInPlaceOfBuffers) {
    const BayerFrame frame = MakeDecodedFrame(kWidth, kHeight, 0);
    ASSERT_NO_FATAL_FAILURE(Negotiate(frame, MFVideoFormat_A16B16G16R16F));
    const Bytes expected = EngineOutput(frame, MFVideoFormat_A16B16G16R16F, nullptr, 1);

    cl_mem outputImage = m_host.CreateImage({CL_RGBA, CL_HALF_FLOAT}, kWidth, kHeight, CL_MEM_READ_WRITE);
    cl_mem inputImage = m_host.CreateImage({CL_R, CL_UNSIGNED_INT16}, kWidth, kHeight, CL_MEM_READ_WRITE);
    ASSERT_NE(outputImage, nullptr);
    ASSERT_NE(inputImage, nullptr);
    const size_t origin[3] = {0, 0, 0};
    const size_t region[3] = {kWidth, kHeight, 1};
    const auto* record = reinterpret_cast<const TsrFrameInfoRecord*>(frame.record.data());
    ASSERT_EQ(clEnqueueWriteImage(m_host.Queue(), inputImage, CL_TRUE, origin, region, record->rowPitch, 0,
                                  frame.picture.data(), 0, nullptr, nullptr),
              CL_SUCCESS);

    // Record only in buffer 0, picture in the input image; output into the host's image.
    ComPtr<IMFSample> input;
    ASSERT_HRESULT_SUCCEEDED(MFCreateSample(&input));
    input->AddBuffer(MemoryBuffer(frame.record, TSR_FRAME_INFO_RECORD_SIZE).Get());
    input->SetUINT64(MF_DEBAYER_CL_IMAGE, reinterpret_cast<UINT64>(inputImage));
    ComPtr<IMFSample> output;
    ASSERT_HRESULT_SUCCEEDED(MFCreateSample(&output));
    output->SetUINT64(MF_DEBAYER_CL_IMAGE, reinterpret_cast<UINT64>(outputImage));
    ASSERT_EQ(m_transform->ProcessInput(0, input.Get(), 0), S_OK);
    MFT_OUTPUT_DATA_BUFFER buffer = {};
    buffer.pSample = output.Get();
    DWORD status = 0;
    ASSERT_EQ(m_transform->ProcessOutput(0, 1, &buffer, &status), S_OK);
    EXPECT_TRUE(m_host.ReadImage(outputImage, kWidth, kHeight, 8) == expected);

    // The transform keeps no reference to either image after the frame.
    EXPECT_EQ(HostQueue::ReferenceCount(inputImage), 1u);
    EXPECT_EQ(HostQueue::ReferenceCount(outputImage), 1u);
    clReleaseMemObject(inputImage);
    clReleaseMemObject(outputImage);
}

TEST_F(DebayerProcessingTest, BadFramesAreDroppedAloneAndTheTransformStaysUsable) {
    const BayerFrame frame = MakeDecodedFrame(kWidth, kHeight, 0);
    ASSERT_NO_FATAL_FAILURE(Negotiate(frame, MFVideoFormat_A16B16G16R16F));
    const Bytes expected = EngineOutput(frame, MFVideoFormat_A16B16G16R16F, nullptr, 1);

    ComPtr<IMFSample> shortRecord;
    MFCreateSample(&shortRecord);
    shortRecord->AddBuffer(MemoryBuffer(Bytes(frame.record.begin(), frame.record.begin() + 100), 100).Get());
    ComPtr<IMFSample> shortPicture;
    MFCreateSample(&shortPicture);
    shortPicture->AddBuffer(MemoryBuffer(frame.record, TSR_FRAME_INFO_RECORD_SIZE).Get());
    shortPicture->AddBuffer(MemoryBuffer(frame.picture, static_cast<DWORD>(frame.picture.size() / 2)).Get());
    BayerFrame truncated = frame;
    truncated.picture.resize(frame.picture.size() - 1);

    struct Case {
        const char* what;
        IMFSample* sample;
        HRESULT expected;
        const char* trace;
        const char* named; // the status table's line after it
    } cases[] = {
        {"record shorter than 116 bytes", shortRecord.Get(), E_FAIL, "debayer process fail, tsr status: -3",
         "tsr status -3: BadRecord, no usable frame info record"},
        {"picture buffer smaller than the frame", shortPicture.Get(), E_INVALIDARG, nullptr, nullptr},
        {"one-buffer picture one byte short", OneBufferSample(truncated).Detach(), E_FAIL,
         "debayer process fail, tsr status: -7", "tsr status -7: BadHostMemory"},
    };
    for (const Case& c : cases) {
        DebugOutputCapture capture;
        ComPtr<IMFSample> output;
        EXPECT_EQ(Process(c.sample, output), c.expected) << c.what;
        EXPECT_EQ(output.Get(), nullptr) << c.what; // nothing handed out for a failed frame
        if (c.trace) {
            EXPECT_TRUE(AnyMessageContains(capture, c.trace)) << c.what;
            EXPECT_TRUE(AnyMessageContains(capture, c.named)) << c.what;
        }
        DWORD status = 9;
        m_transform->GetOutputStatus(&status);
        EXPECT_EQ(status, 0u) << c.what; // the failed frame is gone
        ASSERT_EQ(Process(TwoBufferSample(frame).Get(), output), S_OK) << "after " << c.what;
        EXPECT_TRUE(BufferBytes(output.Get()) == expected) << "after " << c.what;
    }
    cases[2].sample->Release();
}

TEST_F(DebayerProcessingTest, CallerSuppliedOutputBufferTooSmallIsRefused) {
    const BayerFrame frame = MakeDecodedFrame(kWidth, kHeight, 0);
    ASSERT_NO_FATAL_FAILURE(Negotiate(frame, MFVideoFormat_RGBA128F));
    ComPtr<IMFSample> output;
    ASSERT_HRESULT_SUCCEEDED(MFCreateSample(&output));
    // Room for half-float pixels only.
    output->AddBuffer(MemoryBuffer(Bytes(), kWidth * kHeight * 8).Get());
    ASSERT_EQ(m_transform->ProcessInput(0, TwoBufferSample(frame).Get(), 0), S_OK);
    MFT_OUTPUT_DATA_BUFFER buffer = {};
    buffer.pSample = output.Get();
    DWORD status = 0;
    EXPECT_EQ(m_transform->ProcessOutput(0, 1, &buffer, &status), E_INVALIDARG);
}

TEST_F(DebayerProcessingTest, EngineLifetimeFollowsTheStreamingMessages) {
    const BayerFrame frame = MakeDecodedFrame(kWidth, kHeight, 0);
    ASSERT_NO_FATAL_FAILURE(Negotiate(frame, MFVideoFormat_A16B16G16R16F));
    EXPECT_EQ(m_transform->ProcessMessage(MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, 0), S_OK);
    EXPECT_EQ(m_transform->ProcessMessage(MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, 0), S_OK);
    EXPECT_EQ(m_transform->ProcessMessage(MFT_MESSAGE_NOTIFY_END_STREAMING, 0), S_OK);
    EXPECT_EQ(m_transform->ProcessMessage(MFT_MESSAGE_COMMAND_DRAIN, 0), S_OK);
    // A null device manager drops the engine; the next frame makes a memory engine again.
    EXPECT_EQ(m_transform->ProcessMessage(MFT_MESSAGE_SET_D3D_MANAGER, 0), S_OK);
    ComPtr<IMFSample> output;
    ASSERT_EQ(Process(TwoBufferSample(frame).Get(), output), S_OK);
    EXPECT_TRUE(BufferBytes(output.Get()) == EngineOutput(frame, MFVideoFormat_A16B16G16R16F, nullptr, 1));
    // Something other than a device manager is refused.
    ComPtr<IMFAttributes> notAManager;
    MFCreateAttributes(&notAManager, 1);
    EXPECT_EQ(m_transform->ProcessMessage(MFT_MESSAGE_SET_D3D_MANAGER,
                                          reinterpret_cast<ULONG_PTR>(notAManager.Get())),
              E_NOINTERFACE);
}

// Wine's OpenCL offers only a CPU device: the engine's own-GPU choice finds nothing and says so.
TEST_F(DebayerTransformTest, OwnGpuEngineIsRefusedWithoutAGpu) {
    const BayerFrame frame = MakeDecodedFrame(kWidth, kHeight, 0);
    ASSERT_NO_FATAL_FAILURE(Negotiate(frame, MFVideoFormat_A16B16G16R16F));
    DebugOutputCapture capture;
    EXPECT_EQ(m_transform->ProcessMessage(MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, 0), E_FAIL);
    EXPECT_TRUE(AnyMessageContains(capture, "fail to create opencl processor"));
    ComPtr<IMFSample> output;
    EXPECT_EQ(Process(TwoBufferSample(frame).Get(), output), E_FAIL);
    EXPECT_EQ(output.Get(), nullptr);
    // The frame waits for an engine; a flush lets it go.
    EXPECT_EQ(m_transform->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0), S_OK);
}

} // namespace
