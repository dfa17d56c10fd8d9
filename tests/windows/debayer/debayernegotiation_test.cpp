// Streams, attributes and media-type negotiation of the debayer transform.
#include "debayertransformtest.h"

using namespace tsr;

constexpr HRESULT kBounds = static_cast<HRESULT>(0x8000000BL); // E_BOUNDS

namespace {

using DebayerNegotiationTest = DebayerTransformTest;

TEST_F(DebayerNegotiationTest, StreamsAndStreamInfoBeforeAnyType) {
    DWORD counts[4] = {0, 0, 0, 0};
    EXPECT_EQ(m_transform->GetStreamLimits(&counts[0], &counts[1], &counts[2], &counts[3]), S_OK);
    for (DWORD count : counts) EXPECT_EQ(count, 1u);
    DWORD ids[2] = {7, 7};
    EXPECT_EQ(m_transform->GetStreamIDs(2, ids, 1, ids), E_INVALIDARG);
    EXPECT_EQ(m_transform->GetStreamIDs(1, &ids[0], 1, &ids[1]), S_OK);
    EXPECT_EQ(ids[0], 0u);
    EXPECT_EQ(ids[1], 0u);

    MFT_INPUT_STREAM_INFO input = {};
    EXPECT_EQ(m_transform->GetInputStreamInfo(0, nullptr), E_POINTER);
    EXPECT_EQ(m_transform->GetInputStreamInfo(0, &input), S_OK);
    EXPECT_EQ(input.dwFlags, 7u);
    MFT_OUTPUT_STREAM_INFO output = {};
    EXPECT_EQ(m_transform->GetOutputStreamInfo(0, &output), S_OK);
    EXPECT_EQ(output.dwFlags, 0x207u);
    EXPECT_EQ(output.cbSize, 0u);

    for (HRESULT hr : {m_transform->GetInputStreamAttributes(0, nullptr),
                       m_transform->GetOutputStreamAttributes(0, nullptr), m_transform->DeleteInputStream(0),
                       m_transform->AddInputStreams(1, nullptr), m_transform->SetOutputBounds(0, 1),
                       m_transform->ProcessEvent(0, nullptr)})
        EXPECT_EQ(hr, E_NOTIMPL);
}

TEST_F(DebayerNegotiationTest, AttributeStoreAnnouncesDirect3DAndTheDefaultCurve) {
    ComPtr<IMFAttributes> attributes;
    ASSERT_EQ(m_transform->GetAttributes(&attributes), S_OK);
    EXPECT_EQ(MFGetAttributeUINT32(attributes.Get(), MF_SA_D3D11_AWARE, 0), 1u);
    EXPECT_EQ(MFGetAttributeUINT32(attributes.Get(), MF_DEBAYER_OUTPUT_CURVE, 0), 1u);
    EXPECT_EQ(m_transform->GetAttributes(nullptr), E_POINTER);
}

TEST_F(DebayerNegotiationTest, AvailableTypesFollowTheInputType) {
    ComPtr<IMFMediaType> type;
    const GUID* inputs[] = {&MFVideoFormat_bp16, &MFVideoFormat_bp64};
    for (DWORD index = 0; index < 2; ++index) {
        ASSERT_EQ(m_transform->GetInputAvailableType(0, index, &type), S_OK);
        GUID subtype = GUID_NULL;
        type->GetGUID(MF_MT_SUBTYPE, &subtype);
        EXPECT_TRUE(IsEqualGUID(subtype, *inputs[index]));
    }
    EXPECT_EQ(m_transform->GetInputAvailableType(0, 2, &type), MF_E_NO_MORE_TYPES);
    EXPECT_EQ(m_transform->GetOutputAvailableType(0, 0, &type), MF_E_TRANSFORM_TYPE_NOT_SET);
    EXPECT_EQ(m_transform->GetOutputAvailableType(0, 2, &type), MF_E_NO_MORE_TYPES);

    // No frame rate on the input: 30/0 is offered.
    ASSERT_EQ(m_transform->SetInputType(0, VideoType(MFVideoFormat_bp16, 3840, 2160).Get(), 0), S_OK);
    const GUID* outputs[] = {&MFVideoFormat_A16B16G16R16F, &MFVideoFormat_RGBA128F};
    for (DWORD index = 0; index < 2; ++index) {
        ASSERT_EQ(m_transform->GetOutputAvailableType(0, index, &type), S_OK);
        GUID subtype = GUID_NULL;
        type->GetGUID(MF_MT_SUBTYPE, &subtype);
        EXPECT_TRUE(IsEqualGUID(subtype, *outputs[index]));
        UINT32 width = 0, height = 0, numerator = 0, denominator = 1;
        MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &width, &height);
        MFGetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, &numerator, &denominator);
        EXPECT_EQ(width, 3840u);
        EXPECT_EQ(height, 2160u);
        EXPECT_EQ(numerator, 30u);
        EXPECT_EQ(denominator, 0u);
        EXPECT_EQ(MFGetAttributeUINT32(type.Get(), MF_MT_INTERLACE_MODE, 0), 2u);
    }
    // A set type is offered at every index; the input type is offered once set.
    ASSERT_EQ(m_transform->SetOutputType(0, VideoType(MFVideoFormat_RGBA128F).Get(), 0), S_OK);
    ComPtr<IMFMediaType> current;
    ASSERT_EQ(m_transform->GetOutputAvailableType(0, 0, &type), S_OK);
    ASSERT_EQ(m_transform->GetOutputCurrentType(0, &current), S_OK);
    EXPECT_EQ(type.Get(), current.Get());
    ASSERT_EQ(m_transform->GetInputAvailableType(0, 1, &type), S_OK);
    ASSERT_EQ(m_transform->GetInputCurrentType(0, &current), S_OK);
    EXPECT_EQ(type.Get(), current.Get());
}

TEST_F(DebayerNegotiationTest, SetTypeRefusals) {
    ComPtr<IMFMediaType> audio = VideoType(MFVideoFormat_bp16, 64, 64);
    audio->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    ComPtr<IMFMediaType> noSubtype;
    MFCreateMediaType(&noSubtype);
    noSubtype->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    struct Case {
        const char* what;
        bool input;
        IMFMediaType* type;
        DWORD flags;
        HRESULT expected;
    } cases[] = {
        {"null input", true, nullptr, 0, E_POINTER},
        {"unknown flag", true, VideoType(MFVideoFormat_bp16, 64, 64).Detach(), 2, E_INVALIDARG},
        {"test only skips the check", true, VideoType(MFVideoFormat_tsrn).Detach(), MFT_SET_TYPE_TEST_ONLY,
         S_OK},
        {"compressed input", true, VideoType(MFVideoFormat_tsrn, 64, 64).Detach(), 0, MF_E_INVALIDMEDIATYPE},
        {"audio", true, audio.Get(), 0, MF_E_INVALIDMEDIATYPE},
        {"no subtype", true, noSubtype.Get(), 0, MF_E_ATTRIBUTENOTFOUND},
        {"no frame size", true, VideoType(MFVideoFormat_bp16).Detach(), 0, MF_E_ATTRIBUTENOTFOUND},
        {"Bayer output", false, VideoType(MFVideoFormat_bp64).Detach(), 0, MF_E_INVALIDMEDIATYPE},
        {"null output", false, nullptr, 0, E_POINTER},
    };
    for (const Case& c : cases) {
        const HRESULT hr = c.input ? m_transform->SetInputType(0, c.type, c.flags)
                                   : m_transform->SetOutputType(0, c.type, c.flags);
        EXPECT_EQ(hr, c.expected) << c.what;
    }
    for (const Case& c : cases)
        if (c.type && c.type != audio.Get() && c.type != noSubtype.Get()) c.type->Release();
    ComPtr<IMFMediaType> type;
    EXPECT_EQ(m_transform->GetInputCurrentType(0, &type), MF_E_TRANSFORM_TYPE_NOT_SET);
    EXPECT_EQ(m_transform->GetOutputCurrentType(0, &type), MF_E_TRANSFORM_TYPE_NOT_SET);
}

TEST_F(DebayerNegotiationTest, FrameRateOfARefusedInputTypeStaysStored) {
    ComPtr<IMFMediaType> sizeless = VideoType(MFVideoFormat_bp64);
    MFSetAttributeRatio(sizeless.Get(), MF_MT_FRAME_RATE, 25, 1);
    EXPECT_EQ(m_transform->SetInputType(0, sizeless.Get(), 0), MF_E_ATTRIBUTENOTFOUND);
    ASSERT_EQ(m_transform->SetInputType(0, VideoType(MFVideoFormat_bp64, 640, 360).Get(), 0), S_OK);
    ComPtr<IMFMediaType> offered;
    ASSERT_EQ(m_transform->GetOutputAvailableType(0, 0, &offered), S_OK);
    UINT32 numerator = 0, denominator = 0;
    MFGetAttributeRatio(offered.Get(), MF_MT_FRAME_RATE, &numerator, &denominator);
    EXPECT_EQ(numerator, 25u);
    EXPECT_EQ(denominator, 1u);
}

TEST_F(DebayerNegotiationTest, OutputSampleSizeAndItsDwordLimit) {
    struct Case {
        UINT32 width, height;
        const GUID* subtype;
        HRESULT expected;
        DWORD size;
    } cases[] = {
        {4096, 2160, &MFVideoFormat_RGBA128F, S_OK, 141557760u},
        {4096, 2160, &MFVideoFormat_A16B16G16R16F, S_OK, 70778880u},
        {32768, 32768, &MFVideoFormat_RGBA128F, kBounds, 0},
        {16384, 16384, &MFVideoFormat_RGBA128F, kBounds, 0}, // exactly 2^32 bytes
        {16384, 16383, &MFVideoFormat_RGBA128F, S_OK, 16384u * 16383u * 16u},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(m_transform->SetInputType(0, VideoType(MFVideoFormat_bp16, c.width, c.height).Get(), 0),
                  S_OK);
        ASSERT_EQ(m_transform->SetOutputType(0, VideoType(*c.subtype).Get(), 0), S_OK);
        MFT_OUTPUT_STREAM_INFO info = {};
        EXPECT_EQ(m_transform->GetOutputStreamInfo(0, &info), c.expected) << c.width << "x" << c.height;
        if (c.expected == S_OK) {
            EXPECT_EQ(info.cbSize, c.size);
        }
    }
}

TEST_F(DebayerNegotiationTest, ProcessInputNeedsBothTypesAndOneOrTwoBuffers) {
    ComPtr<IMFSample> sample;
    ASSERT_HRESULT_SUCCEEDED(MFCreateSample(&sample));
    EXPECT_EQ(m_transform->ProcessInput(0, sample.Get(), 0), MF_E_NOTACCEPTING);
    ASSERT_EQ(m_transform->SetInputType(0, VideoType(MFVideoFormat_bp16, 64, 32).Get(), 0), S_OK);
    EXPECT_EQ(m_transform->ProcessInput(0, sample.Get(), 0), MF_E_NOTACCEPTING);
    ASSERT_EQ(m_transform->SetOutputType(0, VideoType(MFVideoFormat_A16B16G16R16F).Get(), 0), S_OK);

    EXPECT_EQ(m_transform->ProcessInput(0, sample.Get(), 1), E_INVALIDARG);
    EXPECT_EQ(m_transform->ProcessInput(0, nullptr, 0), E_POINTER);
    EXPECT_EQ(m_transform->ProcessInput(0, sample.Get(), 0), static_cast<HRESULT>(0xC00D7170));
    for (int i = 0; i < 3; ++i) sample->AddBuffer(MemoryBuffer(Bytes(16), 16).Get());
    EXPECT_EQ(m_transform->ProcessInput(0, sample.Get(), 0), MF_E_SAMPLE_HAS_TOO_MANY_BUFFERS);

    ComPtr<IMFSample> good;
    ASSERT_HRESULT_SUCCEEDED(MFCreateSample(&good));
    good->AddBuffer(MemoryBuffer(Bytes(16), 16).Get());
    DWORD status = 9;
    ASSERT_EQ(m_transform->GetInputStatus(0, &status), S_OK);
    EXPECT_EQ(status, static_cast<DWORD>(MFT_INPUT_STATUS_ACCEPT_DATA));
    ASSERT_EQ(m_transform->ProcessInput(0, good.Get(), 0), S_OK);
    // One pending sample closes the input status, yet more are accepted.
    ASSERT_EQ(m_transform->GetInputStatus(0, &status), S_OK);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(m_transform->ProcessInput(0, good.Get(), 0), S_OK);
    ASSERT_EQ(m_transform->GetOutputStatus(&status), S_OK);
    EXPECT_EQ(status, static_cast<DWORD>(MFT_OUTPUT_STATUS_SAMPLE_READY));
    EXPECT_EQ(m_transform->SetInputType(0, VideoType(MFVideoFormat_bp16, 64, 32).Get(), 0),
              MF_E_TRANSFORM_CANNOT_CHANGE_MEDIATYPE_WHILE_PROCESSING);

    // A flush with a texture pointer keeps the queue; with 0 it empties it.
    ASSERT_EQ(m_transform->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0x1234), S_OK);
    ASSERT_EQ(m_transform->GetOutputStatus(&status), S_OK);
    EXPECT_EQ(status, static_cast<DWORD>(MFT_OUTPUT_STATUS_SAMPLE_READY));
    ASSERT_EQ(m_transform->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0), S_OK);
    ASSERT_EQ(m_transform->GetOutputStatus(&status), S_OK);
    EXPECT_EQ(status, 0u);
    MFT_OUTPUT_DATA_BUFFER buffer = {};
    EXPECT_EQ(m_transform->ProcessOutput(0, 1, &buffer, &status), MF_E_TRANSFORM_NEED_MORE_INPUT);
}

} // namespace
