// The chain a host builds: TsrRawDecoder.dll's transform feeding TsrRawDebayer.dll's, on frames
// made by the encoder, at every scale, for both output subtypes and every curve.
#include "debayertransformtest.h"

#include <cstring>

using namespace tsr;

namespace {

constexpr UINT32 kWidth = 128;
constexpr UINT32 kHeight = 96;

class DebayerChainTest : public DecoderAndDebayerTest {
protected:
    // Negotiates both transforms the way a topology does: the decoder's output type becomes the
    // debayer's input type.
    void NegotiateChain(UINT32 scale, const GUID& outputSubtype) {
        ASSERT_EQ(m_decoder->SetInputType(0, VideoType(MFVideoFormat_tsrn, kWidth, kHeight).Get(), 0), S_OK);
        const GUID& bayer = scale == 0 ? MFVideoFormat_bp16 : MFVideoFormat_bp64;
        ASSERT_EQ(m_decoder->SetOutputType(0, VideoType(bayer, kWidth >> scale, kHeight >> scale).Get(), 0),
                  S_OK);
        ComPtr<IMFMediaType> bayerType;
        ASSERT_EQ(m_decoder->GetOutputCurrentType(0, &bayerType), S_OK);
        ASSERT_EQ(m_transform->SetInputType(0, bayerType.Get(), 0), S_OK);
        ASSERT_EQ(m_transform->SetOutputType(0, VideoType(outputSubtype).Get(), 0), S_OK);
    }

    ComPtr<IMFSample> Decode(const Bytes& compressed) {
        ComPtr<IMFSample> sample;
        EXPECT_HRESULT_SUCCEEDED(MFCreateSample(&sample));
        sample->AddBuffer(MemoryBuffer(compressed, static_cast<DWORD>(compressed.size())).Get());
        sample->SetSampleTime(0);
        EXPECT_EQ(m_decoder->ProcessInput(0, sample.Get(), 0), S_OK);
        MFT_OUTPUT_DATA_BUFFER buffer = {};
        DWORD status = 0;
        EXPECT_EQ(m_decoder->ProcessOutput(0, 1, &buffer, &status), S_OK);
        ComPtr<IMFSample> bayer;
        *bayer.ReleaseAndGetAddressOf() = buffer.pSample; // MinGW's ComPtr::Attach adds a reference
        return bayer;
    }
};

TEST_F(DebayerChainTest, EveryScaleSubtypeCurveAndColorOverrideMatchesTheEngine) {
    const Bytes compressed = MakeEncodedFrame(kWidth, kHeight);
    const float matrix[12] = {1.6f, 1.2f, 0.7f, 0.2f, 0.1f, 0.25f, 0.65f, 0.1f, 0.05f, 0.1f, 0.85f, 1.25f};
    enum Override { kNone, kFromSample, kFromStore };
    struct Case {
        UINT32 scale;
        const GUID* subtype;
        UINT32 curve;
        Override override;
    } cases[] = {
        {0, &MFVideoFormat_A16B16G16R16F, 0, kNone},       {0, &MFVideoFormat_RGBA128F, 1, kFromSample},
        {1, &MFVideoFormat_A16B16G16R16F, 2, kFromStore},  {1, &MFVideoFormat_RGBA128F, 3, kNone},
        {2, &MFVideoFormat_A16B16G16R16F, 4, kFromSample}, {2, &MFVideoFormat_RGBA128F, 5, kFromStore},
        {3, &MFVideoFormat_A16B16G16R16F, 6, kNone},       {3, &MFVideoFormat_RGBA128F, 7, kFromSample},
        {0, &MFVideoFormat_A16B16G16R16F, 8, kFromStore},
    };
    ComPtr<IMFAttributes> store;
    ASSERT_EQ(m_transform->GetAttributes(&store), S_OK);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "scale " << c.scale << " curve " << c.curve << " override " << c.override);
        ASSERT_NO_FATAL_FAILURE(NegotiateChain(c.scale, *c.subtype));
        store->DeleteItem(MF_DEBAYER_COLOR_MATRIX);
        if (c.override == kFromStore)
            store->SetBlob(MF_DEBAYER_COLOR_MATRIX, reinterpret_cast<const UINT8*>(matrix), sizeof matrix);

        ComPtr<IMFSample> bayer = Decode(compressed);
        ASSERT_NE(bayer.Get(), nullptr);
        DWORD buffers = 0;
        bayer->GetBufferCount(&buffers);
        EXPECT_EQ(buffers, 2u); // record and picture apart
        bayer->SetUINT32(MF_DEBAYER_OUTPUT_CURVE, c.curve);
        if (c.override == kFromSample)
            bayer->SetBlob(MF_DEBAYER_COLOR_MATRIX, reinterpret_cast<const UINT8*>(matrix), sizeof matrix);

        ComPtr<IMFSample> rgba;
        ASSERT_EQ(Process(bayer.Get(), rgba), S_OK);
        const BayerFrame reference = MakeDecodedFrame(kWidth, kHeight, c.scale);
        const Bytes expected =
            EngineOutput(reference, *c.subtype, c.override == kNone ? nullptr : matrix, c.curve);
        ASSERT_EQ(expected.size(),
                  size_t{kWidth >> c.scale} * (kHeight >> c.scale) * OutputPixelBytes(*c.subtype));
        EXPECT_TRUE(BufferBytes(rgba.Get()) == expected);
        LONGLONG time = -1;
        EXPECT_EQ(rgba->GetSampleTime(&time), S_OK);
        EXPECT_EQ(time, 0);
    }
}

} // namespace
