// Sample processing of the decoder transform: queueing, both output layouts, every scale index,
// time stamps, messages and failures, checked against the frame decoder run directly on frames
// made by the encoder.
#include "d3d11device.h"
#include "debugcapture.h"
#include "decodertransformtest.h"

#include "encoder/frameencoder.h"
#include "encoder/syntheticscene.h"
#include <tsr/framedecoder.h>

#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace tsr;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr UINT32 kWidth = 256;
constexpr UINT32 kHeight = 128;
constexpr DWORD kRecordBytes = 116;
constexpr LONGLONG kUnknownTime = LLONG_MAX;
constexpr LONGLONG k30000Over1001 = 333667; // 100 ns units

const Bytes& TestFrame() {
    static const Bytes frame = [] {
        SceneSettings scene;
        scene.width = kWidth;
        scene.height = kHeight;
        EncoderSettings settings;
        settings.bayerPattern = 1;
        settings.gain0 = 1.75f;
        settings.gain1 = 1.25f;
        settings.infoBytes = {1, 2, 3, 4};
        const std::vector<uint16_t> mosaic = RenderSceneMosaic(scene, settings.bayerPattern, 0.25);
        return EncodeFrame(mosaic.data(), kWidth, kHeight, kWidth, settings);
    }();
    return frame;
}

DWORD RowPitch(UINT32 scale) {
    return static_cast<DWORD>(frameDecoderMinRowPitch(kWidth, static_cast<int>(scale)));
}

struct Decoded {
    Bytes record;
    Bytes picture;
};

// The frame decoder's own result for the same call the transform makes.
Decoded ReferenceDecode(const Bytes& frame, UINT32 scale, DWORD pictureRoom, DWORD pitch) {
    Decoded decoded{Bytes(kRecordBytes, 0xEE), Bytes(pictureRoom, 0xEE)}; // as outputSample() fills
    FrameDecoderHandle decoder = frameDecoderCreate(1);
    const int status =
        frameDecoderDecode(decoder, frame.data(), static_cast<int>(frame.size()), decoded.picture.data(),
                           static_cast<int>(pictureRoom), static_cast<int>(pitch), decoded.record.data(),
                           kRecordBytes, static_cast<int>(scale));
    frameDecoderDestroy(decoder);
    EXPECT_EQ(status, 0);
    return decoded;
}

// A memory buffer holding `size` bytes; the rest of its `maxLength` bytes hold `fill`.
ComPtr<IMFMediaBuffer> MemoryBuffer(const uint8_t* bytes, DWORD size, DWORD maxLength, uint8_t fill = 0) {
    ComPtr<IMFMediaBuffer> buffer;
    EXPECT_HRESULT_SUCCEEDED(MFCreateMemoryBuffer(maxLength, &buffer));
    BYTE* data = nullptr;
    buffer->Lock(&data, nullptr, nullptr);
    std::memset(data, fill, maxLength);
    if (size) std::memcpy(data, bytes, size);
    buffer->Unlock();
    buffer->SetCurrentLength(size);
    return buffer;
}

// An input sample carrying the bytes in `bufferCount` consecutive pieces.
ComPtr<IMFSample> InputSample(const Bytes& bytes, DWORD bufferCount = 1) {
    ComPtr<IMFSample> sample;
    EXPECT_HRESULT_SUCCEEDED(MFCreateSample(&sample));
    const DWORD piece = static_cast<DWORD>(bytes.size()) / bufferCount;
    for (DWORD i = 0; i < bufferCount; ++i) {
        const DWORD begin = i * piece;
        const DWORD end = i + 1 == bufferCount ? static_cast<DWORD>(bytes.size()) : begin + piece;
        sample->AddBuffer(MemoryBuffer(bytes.data() + begin, end - begin, end - begin + 1).Get());
    }
    return sample;
}

// An output sample of memory buffers with these maximum lengths, filled with `fill`.
ComPtr<IMFSample> OutputSample(const std::vector<DWORD>& maxLengths, uint8_t fill = 0xEE) {
    ComPtr<IMFSample> sample;
    EXPECT_HRESULT_SUCCEEDED(MFCreateSample(&sample));
    for (DWORD length : maxLengths) sample->AddBuffer(MemoryBuffer(nullptr, 0, length, fill).Get());
    return sample;
}

// The whole allocated content of a buffer, and its current length.
Bytes BufferContent(IMFSample* sample, DWORD index, DWORD* currentLength = nullptr) {
    ComPtr<IMFMediaBuffer> buffer;
    EXPECT_HRESULT_SUCCEEDED(sample->GetBufferByIndex(index, &buffer));
    BYTE* data = nullptr;
    DWORD maxLength = 0;
    DWORD current = 0;
    EXPECT_HRESULT_SUCCEEDED(buffer->Lock(&data, &maxLength, &current));
    Bytes bytes(data, data + maxLength);
    buffer->Unlock();
    if (currentLength) *currentLength = current;
    return bytes;
}

DWORD BufferCount(IMFSample* sample) {
    DWORD count = 0;
    EXPECT_HRESULT_SUCCEEDED(sample->GetBufferCount(&count));
    return count;
}

ULONG ReferenceCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

} // namespace

class DecoderProcessingTest : public DecoderTransformTest {
protected:
    void SetUp() override {
        DecoderTransformTest::SetUp();
        ASSERT_FALSE(TestFrame().empty()) << "the encoder made no frame";
    }

    void NegotiateScale(UINT32 scale) {
        const GUID& subtype = scale == 0 ? MFVideoFormat_bp16 : MFVideoFormat_bp64;
        Negotiate(kWidth, kHeight, subtype, kWidth >> scale, kHeight >> scale);
    }

    HRESULT Queue(const Bytes& bytes, DWORD bufferCount = 1) {
        return m_transform->ProcessInput(0, InputSample(bytes, bufferCount).Get(), 0);
    }

    HRESULT ProcessOutput(ComPtr<IMFSample>& sample) {
        MFT_OUTPUT_DATA_BUFFER output = {};
        output.pSample = sample.Get();
        DWORD status = 0;
        const HRESULT hr = m_transform->ProcessOutput(0, 1, &output, &status);
        if (!sample && output.pSample)
            *sample.ReleaseAndGetAddressOf() = output.pSample; // allocated by the transform
        return hr;
    }

    DWORD PendingFlag() {
        DWORD flags = 0;
        EXPECT_EQ(m_transform->GetOutputStatus(&flags), S_OK);
        return flags;
    }
};

TEST_F(DecoderProcessingTest, ProcessOutputWithNothingQueuedAsksForInputBeforeCheckingArguments) {
    EXPECT_EQ(m_transform->ProcessOutput(0, 0, nullptr, nullptr), MF_E_TRANSFORM_NEED_MORE_INPUT);
    EXPECT_EQ(m_transform->ProcessOutput(1, 2, nullptr, nullptr), MF_E_TRANSFORM_NEED_MORE_INPUT);
}

TEST_F(DecoderProcessingTest, ProcessInputRefusals) {
    const ComPtr<IMFSample> sample = InputSample(TestFrame());
    EXPECT_EQ(m_transform->ProcessInput(0, sample.Get(), 0), MF_E_NOTACCEPTING);
    ASSERT_EQ(m_transform->SetInputType(0, VideoType(MFVideoFormat_tsrn, kWidth, kHeight).Get(), 0), S_OK);
    EXPECT_EQ(m_transform->ProcessInput(0, sample.Get(), 0), MF_E_NOTACCEPTING) << "no output type yet";
    ASSERT_EQ(m_transform->SetOutputType(0, VideoType(MFVideoFormat_bp16, kWidth, kHeight).Get(), 0), S_OK);

    ComPtr<IMFSample> empty;
    ASSERT_HRESULT_SUCCEEDED(MFCreateSample(&empty));
    EXPECT_EQ(m_transform->ProcessInput(0, sample.Get(), 1), E_INVALIDARG);
    EXPECT_EQ(m_transform->ProcessInput(0, nullptr, 0), E_POINTER);
    EXPECT_EQ(m_transform->ProcessInput(0, empty.Get(), 0), E_INVALIDARG);
    EXPECT_EQ(PendingFlag(), 0u);
    EXPECT_EQ(ReferenceCount(sample.Get()), 1u);
}

TEST_F(DecoderProcessingTest, MultiBufferInputsAreMadeContiguousBeforeQueueing) {
    NegotiateScale(0);
    const Decoded expected = ReferenceDecode(TestFrame(), 0, kHeight * RowPitch(0), RowPitch(0));
    for (DWORD pieces : {2u, 3u}) {
        SCOPED_TRACE(testing::Message() << pieces << " input buffers");
        const ComPtr<IMFSample> input = InputSample(TestFrame(), pieces);
        ASSERT_EQ(m_transform->ProcessInput(0, input.Get(), 0), S_OK);
        ASSERT_EQ(BufferCount(input.Get()), 1u);
        DWORD length = 0;
        const Bytes joined = BufferContent(input.Get(), 0, &length);
        EXPECT_EQ(Bytes(joined.begin(), joined.begin() + length), TestFrame());

        ComPtr<IMFSample> output = OutputSample({kRecordBytes, kHeight * RowPitch(0)});
        ASSERT_EQ(ProcessOutput(output), S_OK);
        EXPECT_EQ(BufferContent(output.Get(), 1), expected.picture);
    }
}

TEST_F(DecoderProcessingTest, ProcessOutputArgumentErrorsKeepTheSampleQueued) {
    NegotiateScale(0);
    ASSERT_EQ(Queue(TestFrame()), S_OK);
    ComPtr<IMFSample> sample = OutputSample({kRecordBytes, kHeight * RowPitch(0)});
    MFT_OUTPUT_DATA_BUFFER buffers[2] = {};
    buffers[0].pSample = sample.Get();
    DWORD status = 0;
    EXPECT_EQ(m_transform->ProcessOutput(1, 1, buffers, &status), E_INVALIDARG);
    EXPECT_EQ(m_transform->ProcessOutput(0, 0, buffers, &status), E_INVALIDARG);
    EXPECT_EQ(m_transform->ProcessOutput(0, 2, buffers, &status), E_INVALIDARG);
    EXPECT_EQ(m_transform->ProcessOutput(0, 1, nullptr, &status), E_POINTER);
    EXPECT_EQ(PendingFlag(), static_cast<DWORD>(MFT_OUTPUT_STATUS_SAMPLE_READY));
    EXPECT_EQ(m_transform->ProcessOutput(0, 1, buffers, nullptr), S_OK);
    EXPECT_EQ(PendingFlag(), 0u);
}

TEST_F(DecoderProcessingTest, DecodesEveryLayoutAndScaleLikeTheFrameDecoder) {
    enum Layout { OneBuffer, TwoBuffers, WiderPitch, SelfAllocated };
    const char* const names[] = {"one buffer", "two buffers", "two buffers, pitch + 64",
                                 "allocated by the transform"};
    TsrFrameMetadataRecord metadata = {};
    ASSERT_EQ(frameDecoderGetMetadata(TestFrame().data(), static_cast<int>(TestFrame().size()), &metadata),
              0);

    for (UINT32 scale = 0; scale < 4; ++scale) {
        for (Layout layout : {OneBuffer, TwoBuffers, WiderPitch, SelfAllocated}) {
            SCOPED_TRACE(testing::Message() << "scale " << scale << ", " << names[layout]);
            ComPtr<IMFTransform> fresh;
            ASSERT_EQ(m_library.CreateInstance(CLSID_TesselRAWDecoder, fresh), S_OK);
            m_transform.Swap(fresh);
            fresh.Detach()->Release();
            NegotiateScale(scale);

            const UINT32 height = kHeight >> scale;
            const DWORD pitch = RowPitch(scale) + (layout == WiderPitch ? 64 : 0);
            const DWORD pictureBytes = height * pitch;
            EXPECT_EQ(OutputSampleSize(), kRecordBytes + height * RowPitch(scale));
            const Decoded expected = ReferenceDecode(TestFrame(), scale, pictureBytes, pitch);

            ComPtr<IMFSample> output;
            if (layout == OneBuffer) output = OutputSample({kRecordBytes + pictureBytes});
            if (layout == TwoBuffers || layout == WiderPitch)
                output = OutputSample({kRecordBytes, pictureBytes});
            ASSERT_EQ(Queue(TestFrame()), S_OK);
            ASSERT_EQ(ProcessOutput(output), S_OK);
            ASSERT_TRUE(output);

            if (layout == OneBuffer) {
                ASSERT_EQ(BufferCount(output.Get()), 1u);
                DWORD length = 0;
                const Bytes content = BufferContent(output.Get(), 0, &length);
                EXPECT_EQ(length, kRecordBytes + pictureBytes);
                EXPECT_EQ(Bytes(content.begin(), content.begin() + kRecordBytes), expected.record);
                EXPECT_EQ(Bytes(content.begin() + kRecordBytes, content.end()), expected.picture);
            } else {
                ASSERT_EQ(BufferCount(output.Get()), 2u);
                DWORD recordLength = 0;
                DWORD pictureLength = 0;
                EXPECT_EQ(BufferContent(output.Get(), 0, &recordLength), expected.record);
                EXPECT_EQ(BufferContent(output.Get(), 1, &pictureLength), expected.picture);
                EXPECT_EQ(recordLength, kRecordBytes);
                EXPECT_EQ(pictureLength, pictureBytes);
            }

            Bytes blob(64, 0);
            UINT32 blobSize = 0;
            ASSERT_HRESULT_SUCCEEDED(output->GetBlob(MF_RAW_FRAME_METADATA, blob.data(), 64, &blobSize));
            ASSERT_EQ(blobSize, 60u);
            EXPECT_EQ(std::memcmp(blob.data(), &metadata, 60), 0);
            UINT32 width = 0;
            UINT32 sampleHeight = 0;
            ASSERT_HRESULT_SUCCEEDED(
                MFGetAttributeSize(output.Get(), MF_MT_FRAME_SIZE, &width, &sampleHeight));
            EXPECT_EQ(width, kWidth >> scale);
            EXPECT_EQ(sampleHeight, height);
            EXPECT_EQ(ReferenceCount(output.Get()), 1u);
        }
    }
}

TEST_F(DecoderProcessingTest, TimeStampsAndDurations) {
    ComPtr<IMFMediaType> input = VideoType(MFVideoFormat_tsrn, kWidth, kHeight);
    ASSERT_EQ(m_transform->SetInputType(0, input.Get(), 0), S_OK);
    ASSERT_EQ(m_transform->SetOutputType(0, VideoType(MFVideoFormat_bp16, kWidth, kHeight).Get(), 0), S_OK);

    constexpr LONGLONG kNone = -1;
    const struct {
        LONGLONG time, duration; // kNone: the input carries none
        LONGLONG expectedTime, expectedDuration;
    } steps[] = {
        {kNone, kNone, kUnknownTime, k30000Over1001}, // nothing known yet
        {kNone, 7, kUnknownTime, 7},                  // held at the largest time, never wrapped
        {kUnknownTime - 10, kNone, kUnknownTime - 10, k30000Over1001}, // a time just below the largest:
        {kNone, kNone, kUnknownTime, k30000Over1001},                  // the next one saturates
        {1000, kNone, 1000, k30000Over1001},
        {kNone, 5, 1000 + k30000Over1001, 5}, // the average duration advances the time
        {kNone, kNone, 1000 + 2 * k30000Over1001, k30000Over1001},
        {-500, 20, -500, 20},
        {kNone, kNone, -500 + k30000Over1001, k30000Over1001},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << "input time " << step.time << ", duration " << step.duration);
        const ComPtr<IMFSample> sample = InputSample(TestFrame());
        if (step.time != kNone) sample->SetSampleTime(step.time);
        if (step.duration != kNone) sample->SetSampleDuration(step.duration);
        ASSERT_EQ(m_transform->ProcessInput(0, sample.Get(), 0), S_OK);
        ComPtr<IMFSample> output;
        ASSERT_EQ(ProcessOutput(output), S_OK);
        LONGLONG time = 0;
        LONGLONG duration = 0;
        ASSERT_HRESULT_SUCCEEDED(output->GetSampleTime(&time));
        ASSERT_HRESULT_SUCCEEDED(output->GetSampleDuration(&duration));
        EXPECT_EQ(time, step.expectedTime);
        EXPECT_EQ(duration, step.expectedDuration);
    }
}

TEST_F(DecoderProcessingTest, FrameRateOfTheInputTypeSetsTheAverageDuration) {
    const struct {
        UINT32 numerator, denominator;
        LONGLONG duration;
    } rates[] = {{25, 1, 400000}, {50, 1, 200000}, {30000, 1001, 333667}};
    for (const auto& rate : rates) {
        SCOPED_TRACE(testing::Message() << rate.numerator << "/" << rate.denominator);
        ComPtr<IMFMediaType> input = VideoType(MFVideoFormat_tsrn, kWidth, kHeight);
        MFSetAttributeRatio(input.Get(), MF_MT_FRAME_RATE, rate.numerator, rate.denominator);
        ASSERT_EQ(m_transform->SetInputType(0, input.Get(), 0), S_OK);
        ASSERT_EQ(m_transform->SetOutputType(0, VideoType(MFVideoFormat_bp16, kWidth, kHeight).Get(), 0),
                  S_OK);
        const ComPtr<IMFSample> sample = InputSample(TestFrame());
        sample->SetSampleTime(0);
        ASSERT_EQ(m_transform->ProcessInput(0, sample.Get(), 0), S_OK);
        ASSERT_EQ(Queue(TestFrame()), S_OK);
        ComPtr<IMFSample> first;
        ComPtr<IMFSample> second;
        ASSERT_EQ(ProcessOutput(first), S_OK);
        ASSERT_EQ(ProcessOutput(second), S_OK);
        LONGLONG duration = 0;
        LONGLONG time = 0;
        first->GetSampleDuration(&duration);
        second->GetSampleTime(&time);
        EXPECT_EQ(duration, rate.duration);
        EXPECT_EQ(time, rate.duration);
    }
}

TEST_F(DecoderProcessingTest, AFailingFrameIsDroppedAloneAndNothingIsWrittenOutsideBuffers) {
    NegotiateScale(0);
    const DWORD pictureBytes = kHeight * RowPitch(0);
    Bytes garbage(TestFrame().size(), 0x5A);
    Bytes truncated(TestFrame().begin(), TestFrame().begin() + TestFrame().size() / 2);
    const struct {
        const char* name;
        const Bytes* input;
        std::vector<DWORD> output;
        HRESULT expected;
        const char* trace;
    } cases[] = {
        {"not a frame", &garbage, {kRecordBytes, pictureBytes}, E_FAIL, "decode failed, status: -2\n"},
        {"good frame", &TestFrame(), {kRecordBytes, pictureBytes}, S_OK, nullptr},
        {"truncated frame", &truncated, {kRecordBytes, pictureBytes}, E_FAIL, "decode failed, status: -2\n"},
        {"picture buffer one byte short",
         &TestFrame(),
         {kRecordBytes, pictureBytes - 1},
         MF_E_BUFFERTOOSMALL,
         nullptr},
        {"record buffer one byte short",
         &TestFrame(),
         {kRecordBytes - 1, pictureBytes},
         MF_E_BUFFERTOOSMALL,
         nullptr},
        {"one buffer one byte short",
         &TestFrame(),
         {kRecordBytes + pictureBytes - 1},
         MF_E_BUFFERTOOSMALL,
         nullptr},
        {"three buffers", &TestFrame(), {kRecordBytes, pictureBytes, 16}, MF_E_BUFFERTOOSMALL, nullptr},
        {"no buffers", &TestFrame(), {}, MF_E_BUFFERTOOSMALL, nullptr},
        {"good frame after the failures", &TestFrame(), {kRecordBytes + pictureBytes}, S_OK, nullptr},
    };
    // Everything queued first: each failure must consume exactly its own frame.
    for (const auto& c : cases) ASSERT_EQ(Queue(*c.input), S_OK);
    const Bytes expectedPicture = ReferenceDecode(TestFrame(), 0, pictureBytes, RowPitch(0)).picture;

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(PendingFlag(), static_cast<DWORD>(MFT_OUTPUT_STATUS_SAMPLE_READY));
        ComPtr<IMFSample> output = OutputSample(c.output, 0x77);
        DebugOutputCapture capture;
        EXPECT_EQ(ProcessOutput(output), c.expected);
        const std::vector<std::string> messages = capture.Messages();
        if (c.trace)
            EXPECT_EQ(messages, std::vector<std::string>{c.trace});
        else
            EXPECT_TRUE(messages.empty());

        if (c.expected == S_OK) {
            const Bytes picture = BufferContent(output.Get(), c.output.size() - 1);
            EXPECT_TRUE(
                std::equal(expectedPicture.begin(), expectedPicture.end(), picture.end() - pictureBytes));
        } else if (c.expected == MF_E_BUFFERTOOSMALL) {
            // Refused before decoding: not a byte written, no length changed.
            for (DWORD i = 0; i < c.output.size(); ++i) {
                DWORD length = 99;
                EXPECT_EQ(BufferContent(output.Get(), i, &length), Bytes(c.output[i], 0x77))
                    << "buffer " << i;
                EXPECT_EQ(length, 0u);
            }
        }
        EXPECT_FALSE(output->GetItem(MF_RAW_FRAME_METADATA, nullptr) == S_OK && c.expected != S_OK);
    }
    EXPECT_EQ(PendingFlag(), 0u);
    ComPtr<IMFSample> none;
    EXPECT_EQ(ProcessOutput(none), MF_E_TRANSFORM_NEED_MORE_INPUT);
}

TEST_F(DecoderProcessingTest, FailedFrameStillHandsTheAllocatedSampleToTheCaller) {
    NegotiateScale(2);
    ASSERT_EQ(Queue(Bytes(64, 0)), S_OK);
    ComPtr<IMFSample> output;
    EXPECT_EQ(ProcessOutput(output), E_FAIL);
    ASSERT_TRUE(output);
    ASSERT_EQ(BufferCount(output.Get()), 2u);
    EXPECT_EQ(BufferContent(output.Get(), 0).size(), kRecordBytes);
    EXPECT_EQ(BufferContent(output.Get(), 1).size(), (kHeight >> 2) * RowPitch(2));
    EXPECT_EQ(ReferenceCount(output.Get()), 1u);
}

TEST_F(DecoderProcessingTest, FlushReleasesEveryPendingSampleAndKeepsTheClock) {
    NegotiateScale(1);
    const ComPtr<IMFSample> timed = InputSample(TestFrame());
    timed->SetSampleTime(10000);
    ASSERT_EQ(m_transform->ProcessInput(0, timed.Get(), 0), S_OK);
    ComPtr<IMFSample> output;
    ASSERT_EQ(ProcessOutput(output), S_OK);

    std::vector<ComPtr<IMFSample>> pending;
    for (int i = 0; i < 3; ++i) {
        pending.push_back(InputSample(TestFrame()));
        ASSERT_EQ(m_transform->ProcessInput(0, pending.back().Get(), 0), S_OK);
        EXPECT_EQ(ReferenceCount(pending.back().Get()), 2u);
    }
    // Draining and the streaming notifications change nothing.
    for (MFT_MESSAGE_TYPE message :
         {MFT_MESSAGE_COMMAND_DRAIN, MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, MFT_MESSAGE_NOTIFY_START_OF_STREAM,
          MFT_MESSAGE_NOTIFY_END_OF_STREAM, MFT_MESSAGE_NOTIFY_END_STREAMING, MFT_MESSAGE_COMMAND_MARKER})
        EXPECT_EQ(m_transform->ProcessMessage(message, 0), S_OK) << message;
    EXPECT_EQ(PendingFlag(), static_cast<DWORD>(MFT_OUTPUT_STATUS_SAMPLE_READY));

    ASSERT_EQ(m_transform->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0), S_OK);
    for (const ComPtr<IMFSample>& sample : pending) EXPECT_EQ(ReferenceCount(sample.Get()), 1u);
    EXPECT_EQ(PendingFlag(), 0u);
    ComPtr<IMFSample> none;
    EXPECT_EQ(ProcessOutput(none), MF_E_TRANSFORM_NEED_MORE_INPUT);

    ASSERT_EQ(Queue(TestFrame()), S_OK);
    ComPtr<IMFSample> after;
    ASSERT_EQ(ProcessOutput(after), S_OK);
    LONGLONG time = 0;
    after->GetSampleTime(&time);
    EXPECT_EQ(time, 10000 + k30000Over1001);
}

TEST_F(DecoderProcessingTest, RefusesADeviceManagerAndDirect3DTextures) {
    NegotiateScale(0);
    ComPtr<ID3D11Device> device = CreateTestDevice();
    UINT token = 0;
    ComPtr<IMFDXGIDeviceManager> manager;
    ASSERT_HRESULT_SUCCEEDED(MFCreateDXGIDeviceManager(&token, &manager));
    EXPECT_EQ(
        m_transform->ProcessMessage(MFT_MESSAGE_SET_D3D_MANAGER, reinterpret_cast<ULONG_PTR>(manager.Get())),
        E_NOTIMPL);
    EXPECT_EQ(m_transform->ProcessMessage(MFT_MESSAGE_SET_D3D_MANAGER, 0), E_NOTIMPL);
    if (!device) GTEST_SKIP() << "no Direct3D 11 device";

    ComPtr<ID3D11Texture2D> texture;
    ComPtr<IMFMediaBuffer> textureBuffer;
    ASSERT_HRESULT_SUCCEEDED(CreateTextureBuffer(device.Get(), kWidth, kHeight, texture, textureBuffer));

    // A texture where the record or the picture should go.
    ComPtr<IMFSample> oneTexture;
    ASSERT_HRESULT_SUCCEEDED(MFCreateSample(&oneTexture));
    oneTexture->AddBuffer(textureBuffer.Get());
    ComPtr<IMFSample> texturePicture = OutputSample({kRecordBytes});
    texturePicture->AddBuffer(textureBuffer.Get());
    for (ComPtr<IMFSample> output : {oneTexture, texturePicture}) {
        ASSERT_EQ(Queue(TestFrame()), S_OK);
        EXPECT_EQ(ProcessOutput(output), MF_E_BUFFERTOOSMALL);
        EXPECT_EQ(PendingFlag(), 0u);
    }

    // A texture as input has no bytes to decode.
    ComPtr<IMFSample> textureInput;
    ASSERT_HRESULT_SUCCEEDED(MFCreateSample(&textureInput));
    textureInput->AddBuffer(textureBuffer.Get());
    ASSERT_EQ(m_transform->ProcessInput(0, textureInput.Get(), 0), S_OK);
    ComPtr<IMFSample> output = OutputSample({kRecordBytes, kHeight * RowPitch(0)});
    DebugOutputCapture capture;
    EXPECT_EQ(ProcessOutput(output), E_FAIL);
    EXPECT_EQ(capture.Messages(), std::vector<std::string>{"decode failed, status: -3\n"});

    // And the transform goes on decoding.
    ASSERT_EQ(Queue(TestFrame()), S_OK);
    EXPECT_EQ(ProcessOutput(output), S_OK);
}

TEST_F(DecoderProcessingTest, OneThreadQueuesWhileAnotherDecodesInOrder) {
    NegotiateScale(3);
    constexpr LONGLONG kFrames = 24;
    std::thread producer([&] {
        for (LONGLONG i = 0; i < kFrames; ++i) {
            const ComPtr<IMFSample> sample = InputSample(TestFrame());
            sample->SetSampleTime(i * 1000);
            EXPECT_EQ(m_transform->ProcessInput(0, sample.Get(), 0), S_OK);
        }
    });
    LONGLONG decoded = 0;
    while (decoded < kFrames) {
        ComPtr<IMFSample> output;
        const HRESULT hr = ProcessOutput(output);
        if (hr == MF_E_TRANSFORM_NEED_MORE_INPUT) {
            std::this_thread::yield();
            continue;
        }
        if (hr != S_OK) {
            ADD_FAILURE() << "ProcessOutput failed: " << std::hex << hr;
            break;
        }
        LONGLONG time = -1;
        output->GetSampleTime(&time);
        EXPECT_EQ(time, decoded * 1000);
        ++decoded;
    }
    producer.join();
    EXPECT_EQ(PendingFlag(), 0u);
}

// The transform picks its inverse transform per decoder from the processor and IcpForceSSE2,
// which reaches the library through the shared C runtime: both paths must give the same picture.
TEST_F(DecoderProcessingTest, ForcedSse2AndDefaultTransformsDecodeAlike) {
    std::vector<Bytes> pictures;
    for (const char* setting : {"IcpForceSSE2=", "IcpForceSSE2=1"}) {
        ASSERT_EQ(_putenv(setting), 0);
        ComPtr<IMFTransform> fresh;
        ASSERT_EQ(m_library.CreateInstance(CLSID_TesselRAWDecoder, fresh), S_OK);
        m_transform.Swap(fresh);
        fresh.Detach()->Release();
        NegotiateScale(0);
        ASSERT_EQ(Queue(TestFrame()), S_OK);
        ComPtr<IMFSample> output = OutputSample({kRecordBytes, kHeight * RowPitch(0)});
        ASSERT_EQ(ProcessOutput(output), S_OK);
        pictures.push_back(BufferContent(output.Get(), 1));
    }
    _putenv("IcpForceSSE2=");
    EXPECT_EQ(pictures[0], pictures[1]);
}
