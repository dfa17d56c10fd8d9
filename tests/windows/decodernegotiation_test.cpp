// Stream description and media type negotiation of the decoder transform.
#include "decodertransformtest.h"

#include <vector>

using namespace tsr;

namespace {

constexpr DWORD kRecordBytes = 116;

GUID SubtypeOf(IMFMediaType* type) {
    GUID subtype = GUID_NULL;
    type->GetGUID(MF_MT_SUBTYPE, &subtype);
    return subtype;
}

} // namespace

class DecoderNegotiationTest : public DecoderTransformTest {};

TEST_F(DecoderNegotiationTest, DescribesOneInputAndOneOutputStream) {
    DWORD limits[4] = {9, 9, 9, 9};
    EXPECT_EQ(m_transform->GetStreamLimits(&limits[0], &limits[1], &limits[2], &limits[3]), S_OK);
    EXPECT_EQ(std::vector<DWORD>(limits, limits + 4), std::vector<DWORD>({1, 1, 1, 1}));
    EXPECT_EQ(m_transform->GetStreamLimits(nullptr, nullptr, nullptr, nullptr), S_OK);
    DWORD inputs = 9;
    DWORD outputs = 9;
    EXPECT_EQ(m_transform->GetStreamCount(&inputs, &outputs), S_OK);
    EXPECT_EQ(inputs, 1u);
    EXPECT_EQ(outputs, 1u);

    DWORD inputId = 9;
    DWORD outputId = 9;
    EXPECT_EQ(m_transform->GetStreamIDs(1, &inputId, 1, &outputId), S_OK);
    EXPECT_EQ(inputId, 0u);
    EXPECT_EQ(outputId, 0u);
    DWORD ids[2] = {9, 9};
    EXPECT_EQ(m_transform->GetStreamIDs(2, ids, 1, &outputId), E_INVALIDARG);
    EXPECT_EQ(m_transform->GetStreamIDs(1, &inputId, 2, ids), E_INVALIDARG);
    EXPECT_EQ(m_transform->GetStreamIDs(0, ids, 0, ids + 1), S_OK);
    EXPECT_EQ(ids[0], 9u) << "an array declared empty was written";
    EXPECT_EQ(ids[1], 9u);

    MFT_INPUT_STREAM_INFO input = {};
    input.cbSize = 99;
    EXPECT_EQ(m_transform->GetInputStreamInfo(7, &input), S_OK); // any stream id answers
    EXPECT_EQ(input.dwFlags, 3u);
    EXPECT_EQ(input.cbSize, 0u);
    EXPECT_EQ(input.hnsMaxLatency, 0);
    EXPECT_EQ(m_transform->GetInputStreamInfo(0, nullptr), E_POINTER);

    MFT_OUTPUT_STREAM_INFO output = {};
    EXPECT_EQ(m_transform->GetOutputStreamInfo(0, &output), S_OK);
    EXPECT_EQ(output.dwFlags, 0x207u);
    EXPECT_EQ(output.cbSize, kRecordBytes); // no output type yet
    EXPECT_EQ(output.cbAlignment, 0u);
    EXPECT_EQ(m_transform->GetOutputStreamInfo(0, nullptr), E_POINTER);

    ComPtr<IMFAttributes> attributes;
    ASSERT_EQ(m_transform->GetAttributes(&attributes), S_OK);
    EXPECT_EQ(MFGetAttributeUINT32(attributes.Get(), MF_RAW_FRAME_INFO_SIZE, 0), kRecordBytes);
    EXPECT_EQ(m_transform->GetAttributes(nullptr), E_POINTER);

    DWORD status = 9;
    EXPECT_EQ(m_transform->GetInputStatus(0, &status), S_OK);
    EXPECT_EQ(status, static_cast<DWORD>(MFT_INPUT_STATUS_ACCEPT_DATA));
    EXPECT_EQ(m_transform->GetInputStatus(0, nullptr), E_POINTER);
    EXPECT_EQ(m_transform->GetOutputStatus(&status), S_OK);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(m_transform->GetOutputStatus(nullptr), E_POINTER);
}

TEST_F(DecoderNegotiationTest, LeavesTheOptionalMethodsUnimplemented) {
    IMFAttributes* attributes = nullptr;
    DWORD id = 0;
    for (HRESULT hr : {m_transform->GetInputStreamAttributes(0, &attributes),
                       m_transform->GetOutputStreamAttributes(0, &attributes),
                       m_transform->DeleteInputStream(0), m_transform->AddInputStreams(1, &id),
                       m_transform->SetOutputBounds(0, 1), m_transform->ProcessEvent(0, nullptr)})
        EXPECT_EQ(hr, E_NOTIMPL);
    EXPECT_EQ(attributes, nullptr);
}

TEST_F(DecoderNegotiationTest, OffersTheFourInputSubtypesInOrderUntilATypeIsSet) {
    const GUID* expected[] = {&MFVideoFormat_tsrh_BE, &MFVideoFormat_tsrn_BE, &MFVideoFormat_tsrh,
                              &MFVideoFormat_tsrn};
    for (DWORD index = 0; index < 4; ++index) {
        ComPtr<IMFMediaType> type;
        ASSERT_EQ(m_transform->GetInputAvailableType(0, index, &type), S_OK);
        GUID major = GUID_NULL;
        type->GetGUID(MF_MT_MAJOR_TYPE, &major);
        EXPECT_TRUE(IsEqualGUID(major, MFMediaType_Video));
        EXPECT_TRUE(IsEqualGUID(SubtypeOf(type.Get()), *expected[index])) << "index " << index;
    }
    IMFMediaType* type = nullptr;
    EXPECT_EQ(m_transform->GetInputAvailableType(0, 4, &type), MF_E_NO_MORE_TYPES);
    EXPECT_EQ(m_transform->GetInputAvailableType(0, 4, nullptr), MF_E_NO_MORE_TYPES);
    EXPECT_EQ(m_transform->GetInputAvailableType(0, 0, nullptr), E_POINTER);

    // Every input subtype is accepted; the current type is then offered at every index.
    for (const GUID* subtype : expected) {
        ComPtr<IMFMediaType> set = VideoType(*subtype, 640, 480);
        ASSERT_EQ(m_transform->SetInputType(0, set.Get(), 0), S_OK);
        ComPtr<IMFMediaType> offered;
        ASSERT_EQ(m_transform->GetInputAvailableType(0, 3, &offered), S_OK);
        EXPECT_EQ(offered.Get(), set.Get());
    }
}

TEST_F(DecoderNegotiationTest, SetInputTypeRefusals) {
    ComPtr<IMFMediaType> audio;
    ASSERT_HRESULT_SUCCEEDED(MFCreateMediaType(&audio));
    audio->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    audio->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_tsrn);
    ComPtr<IMFMediaType> noMajor;
    ASSERT_HRESULT_SUCCEEDED(MFCreateMediaType(&noMajor));
    noMajor->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_tsrn);

    const ComPtr<IMFMediaType> compressed = VideoType(MFVideoFormat_tsrn, 64, 64);
    const ComPtr<IMFMediaType> bayer = VideoType(MFVideoFormat_bp16, 64, 64);
    const ComPtr<IMFMediaType> noSize = VideoType(MFVideoFormat_tsrn);
    const ComPtr<IMFMediaType> zeroWidth = VideoType(MFVideoFormat_tsrn, 0, 64);
    const ComPtr<IMFMediaType> zeroHeight = VideoType(MFVideoFormat_tsrn, 64, 0);
    const ComPtr<IMFMediaType> beyond2GiB = VideoType(MFVideoFormat_tsrn, 65536, 16384);
    const ComPtr<IMFMediaType> largestWidth = VideoType(MFVideoFormat_tsrn, 0xFFFFFFFF, 2);
    const struct {
        const char* name;
        IMFMediaType* type;
        DWORD flags;
        HRESULT expected;
    } cases[] = {
        {"test only, not examined", audio.Get(), MFT_SET_TYPE_TEST_ONLY, S_OK},
        {"null type", nullptr, 0, E_POINTER},
        {"null type, test only", nullptr, MFT_SET_TYPE_TEST_ONLY, E_POINTER},
        {"unknown flag", compressed.Get(), 2, E_INVALIDARG},
        {"unknown flag, test only", compressed.Get(), 2 | MFT_SET_TYPE_TEST_ONLY, E_INVALIDARG},
        {"audio major type", audio.Get(), 0, MF_E_INVALIDMEDIATYPE},
        {"no major type", noMajor.Get(), 0, MF_E_ATTRIBUTENOTFOUND},
        {"output subtype", bayer.Get(), 0, MF_E_INVALIDMEDIATYPE},
        {"no frame size", noSize.Get(), 0, E_INVALIDARG},
        {"zero width", zeroWidth.Get(), 0, E_INVALIDARG},
        {"zero height", zeroHeight.Get(), 0, E_INVALIDARG},
        {"picture beyond 2 GiB", beyond2GiB.Get(), 0, E_INVALIDARG},
        {"largest width", largestWidth.Get(), 0, E_INVALIDARG},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(m_transform->SetInputType(0, c.type, c.flags), c.expected) << c.name;
        IMFMediaType* current = nullptr;
        EXPECT_EQ(m_transform->GetInputCurrentType(0, &current), MF_E_TRANSFORM_TYPE_NOT_SET) << c.name;
    }
}

TEST_F(DecoderNegotiationTest, CurrentTypesAreHandedOutWithAReference) {
    IMFMediaType* type = nullptr;
    EXPECT_EQ(m_transform->GetInputCurrentType(0, &type), MF_E_TRANSFORM_TYPE_NOT_SET);
    EXPECT_EQ(m_transform->GetOutputCurrentType(0, &type), MF_E_TRANSFORM_TYPE_NOT_SET);
    EXPECT_EQ(m_transform->GetInputCurrentType(0, nullptr), MF_E_TRANSFORM_TYPE_NOT_SET);

    ComPtr<IMFMediaType> input = VideoType(MFVideoFormat_tsrh, 320, 240);
    ComPtr<IMFMediaType> output = VideoType(MFVideoFormat_bp16, 320, 240);
    ASSERT_EQ(m_transform->SetInputType(0, input.Get(), 0), S_OK);
    ASSERT_EQ(m_transform->SetOutputType(0, output.Get(), 0), S_OK);
    EXPECT_EQ(m_transform->GetInputCurrentType(0, nullptr), E_POINTER);
    EXPECT_EQ(m_transform->GetOutputCurrentType(0, nullptr), E_POINTER);

    ComPtr<IMFMediaType> current;
    ASSERT_EQ(m_transform->GetInputCurrentType(0, &current), S_OK);
    EXPECT_EQ(current.Get(), input.Get());
    ASSERT_EQ(m_transform->GetOutputCurrentType(0, &current), S_OK);
    EXPECT_EQ(current.Get(), output.Get());
    current.Reset();

    // A refused type leaves the current one in place; the transform holds exactly one reference.
    EXPECT_EQ(m_transform->SetInputType(0, VideoType(MFVideoFormat_bp64, 8, 8).Get(), 0),
              MF_E_INVALIDMEDIATYPE);
    input->AddRef();
    EXPECT_EQ(input->Release(), 2u);
}

TEST_F(DecoderNegotiationTest, OffersFullSizeOutputTypesOnceAnInputTypeIsSet) {
    IMFMediaType* none = nullptr;
    EXPECT_EQ(m_transform->GetOutputAvailableType(0, 0, &none), MF_E_TRANSFORM_TYPE_NOT_SET);
    EXPECT_EQ(m_transform->GetOutputAvailableType(0, 2, &none), MF_E_NO_MORE_TYPES);

    ComPtr<IMFMediaType> input = VideoType(MFVideoFormat_tsrn, 4096, 2160);
    MFSetAttributeRatio(input.Get(), MF_MT_FRAME_RATE, 25, 1);
    ASSERT_EQ(m_transform->SetInputType(0, input.Get(), 0), S_OK);
    EXPECT_EQ(m_transform->GetOutputAvailableType(0, 0, nullptr), E_POINTER);

    const GUID* expected[] = {&MFVideoFormat_bp16, &MFVideoFormat_bp64};
    for (DWORD index = 0; index < 2; ++index) {
        ComPtr<IMFMediaType> type;
        ASSERT_EQ(m_transform->GetOutputAvailableType(0, index, &type), S_OK);
        EXPECT_TRUE(IsEqualGUID(SubtypeOf(type.Get()), *expected[index]));
        EXPECT_EQ(MFGetAttributeUINT32(type.Get(), MF_MT_FIXED_SIZE_SAMPLES, 0), 1u);
        EXPECT_EQ(MFGetAttributeUINT32(type.Get(), MF_MT_ALL_SAMPLES_INDEPENDENT, 0), 1u);
        EXPECT_EQ(MFGetAttributeUINT32(type.Get(), MF_MT_INTERLACE_MODE, 0), 2u);
        UINT32 width = 0, height = 0, numerator = 0, denominator = 0;
        ASSERT_HRESULT_SUCCEEDED(MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &width, &height));
        EXPECT_EQ(width, 4096u);
        EXPECT_EQ(height, 2160u);
        ASSERT_HRESULT_SUCCEEDED(MFGetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, &numerator, &denominator));
        EXPECT_EQ(numerator, 25u);
        EXPECT_EQ(denominator, 1u);
    }

    ComPtr<IMFMediaType> output = VideoType(MFVideoFormat_bp64, 1024, 540);
    ASSERT_EQ(m_transform->SetOutputType(0, output.Get(), 0), S_OK);
    for (DWORD index = 0; index < 2; ++index) {
        ComPtr<IMFMediaType> type;
        ASSERT_EQ(m_transform->GetOutputAvailableType(0, index, &type), S_OK);
        EXPECT_EQ(type.Get(), output.Get());
    }
}

TEST_F(DecoderNegotiationTest, InputWithoutFrameRateKeeps30000Over1001) {
    ASSERT_EQ(m_transform->SetInputType(0, VideoType(MFVideoFormat_tsrn, 64, 32).Get(), 0), S_OK);
    ComPtr<IMFMediaType> type;
    ASSERT_EQ(m_transform->GetOutputAvailableType(0, 0, &type), S_OK);
    UINT32 numerator = 0, denominator = 0;
    ASSERT_HRESULT_SUCCEEDED(MFGetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, &numerator, &denominator));
    EXPECT_EQ(numerator, 30000u);
    EXPECT_EQ(denominator, 1001u);
}

TEST_F(DecoderNegotiationTest, OutputSizesAndRowPitchesFollowTheScaleIndex) {
    const struct {
        UINT32 inputWidth, inputHeight;
        const GUID* subtype;
        UINT32 width, height; // 0 x 0: the type carries no size
        HRESULT expected;
        DWORD rowPitch;
        UINT32 outputHeight;
    } cases[] = {
        {4096, 2160, &MFVideoFormat_bp64, 4096, 2160, S_OK, 8192, 2160},  // full size: bp16 layout
        {4096, 2160, &MFVideoFormat_bp64, 2048, 1080, S_OK, 16384, 1080}, // half
        {4096, 2160, &MFVideoFormat_bp64, 1024, 540, S_OK, 8192, 540},    // quarter
        {4096, 2160, &MFVideoFormat_bp64, 512, 270, S_OK, 4096, 270},     // eighth
        {4096, 2160, &MFVideoFormat_bp64, 2000, 1000, E_INVALIDARG, 0, 0},
        {4096, 2160, &MFVideoFormat_bp64, 2048, 2160, E_INVALIDARG, 0, 0},
        {4096, 2160, &MFVideoFormat_bp16, 2048, 1080, S_OK, 8192, 2160}, // bp16 is always full size
        {4096, 2160, &MFVideoFormat_bp64, 0, 0, S_OK, 8192, 2160},
        {4000, 2000, &MFVideoFormat_bp16, 4000, 2000, S_OK, 8000, 2000},
        {4000, 2000, &MFVideoFormat_bp64, 2000, 1000, S_OK, 16000, 1000},
        {4000, 2000, &MFVideoFormat_bp64, 500, 250, S_OK, 4000, 250},
        {1000, 6, &MFVideoFormat_bp64, 125, 0, E_INVALIDARG, 0, 0}, // an eighth of 6 rows is none
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.inputWidth << "x" << c.inputHeight << " -> " << c.width << "x" << c.height);
        ComPtr<IMFTransform> transform;
        ASSERT_EQ(m_library.CreateInstance(CLSID_TesselRAWDecoder, transform), S_OK);
        ASSERT_EQ(
            transform->SetInputType(0, VideoType(MFVideoFormat_tsrn, c.inputWidth, c.inputHeight).Get(), 0),
            S_OK);
        ComPtr<IMFMediaType> output =
            c.width || c.height ? VideoType(*c.subtype, c.width, c.height) : VideoType(*c.subtype);
        EXPECT_EQ(transform->SetOutputType(0, output.Get(), 0), c.expected);
        MFT_OUTPUT_STREAM_INFO info = {};
        ASSERT_EQ(transform->GetOutputStreamInfo(0, &info), S_OK);
        if (c.expected == S_OK)
            EXPECT_EQ(info.cbSize, c.outputHeight * c.rowPitch + kRecordBytes);
        else
            EXPECT_EQ(info.cbSize, kRecordBytes) << "a refused output type changed the sample size";
        EXPECT_EQ(transform.Detach()->Release(), 0u);
    }
}

TEST_F(DecoderNegotiationTest, SetOutputTypeRefusals) {
    // Output sizes derive from the input: without an input type nothing can be set.
    EXPECT_EQ(m_transform->SetOutputType(0, VideoType(MFVideoFormat_bp16, 64, 64).Get(), 0),
              MF_E_TRANSFORM_TYPE_NOT_SET);
    ASSERT_EQ(m_transform->SetInputType(0, VideoType(MFVideoFormat_tsrn, 64, 64).Get(), 0), S_OK);
    EXPECT_EQ(m_transform->SetOutputType(0, nullptr, 0), E_POINTER);
    EXPECT_EQ(m_transform->SetOutputType(0, VideoType(MFVideoFormat_bp16, 64, 64).Get(), 4), E_INVALIDARG);
    EXPECT_EQ(m_transform->SetOutputType(0, VideoType(MFVideoFormat_tsrn, 64, 64).Get(), 0),
              MF_E_INVALIDMEDIATYPE);
    EXPECT_EQ(
        m_transform->SetOutputType(0, VideoType(MFVideoFormat_tsrn, 64, 64).Get(), MFT_SET_TYPE_TEST_ONLY),
        S_OK);
    IMFMediaType* current = nullptr;
    EXPECT_EQ(m_transform->GetOutputCurrentType(0, &current), MF_E_TRANSFORM_TYPE_NOT_SET);
}

TEST_F(DecoderNegotiationTest, TypesCannotChangeWhileASampleIsPendingButCanAfterAFlush) {
    Negotiate(64, 32, MFVideoFormat_bp16, 64, 32);
    ComPtr<IMFMediaBuffer> buffer;
    ASSERT_HRESULT_SUCCEEDED(MFCreateMemoryBuffer(16, &buffer));
    ComPtr<IMFSample> sample;
    ASSERT_HRESULT_SUCCEEDED(MFCreateSample(&sample));
    sample->AddBuffer(buffer.Get());
    ASSERT_EQ(m_transform->ProcessInput(0, sample.Get(), 0), S_OK);

    constexpr HRESULT kWhileProcessing = static_cast<HRESULT>(0xC00D6D74);
    EXPECT_EQ(m_transform->SetInputType(0, VideoType(MFVideoFormat_tsrn, 32, 32).Get(), 0), kWhileProcessing);
    EXPECT_EQ(m_transform->SetOutputType(0, VideoType(MFVideoFormat_bp16, 32, 32).Get(), 0),
              kWhileProcessing);
    EXPECT_EQ(
        m_transform->SetInputType(0, VideoType(MFVideoFormat_tsrn, 32, 32).Get(), MFT_SET_TYPE_TEST_ONLY),
        kWhileProcessing);

    ASSERT_EQ(m_transform->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0), S_OK);
    EXPECT_EQ(m_transform->SetInputType(0, VideoType(MFVideoFormat_tsrn, 32, 32).Get(), 0), S_OK);
}
