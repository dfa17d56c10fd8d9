// The decoder transform's input paths under random use: thousands of samples with random buffer
// counts, lengths, contents and attributes, random output samples, messages and type changes in
// random order. Nothing may crash; a bad frame fails alone and the next good frame decodes; every
// sample the test made is released by the transform.
#include "../decoder/framebuilder.h"
#include "decodertransformtest.h"
#include "randomuse.h"

#include "encoder/frameencoder.h"
#include "encoder/syntheticscene.h"
#include <tsr/framedecoder.h>

#include <cstring>
#include <vector>

using Bytes = std::vector<uint8_t>;

namespace {

constexpr UINT32 kWidth = 64, kHeight = 32;

Bytes GoodFrame() {
    tsr::SceneSettings scene;
    scene.width = kWidth;
    scene.height = kHeight;
    tsr::EncoderSettings settings;
    const std::vector<uint16_t> mosaic = tsr::RenderSceneMosaic(scene, 0, 0.5);
    return tsr::EncodeFrame(mosaic.data(), kWidth, kHeight, kWidth, settings);
}

ComPtr<IMFMediaBuffer> MakeBuffer(const uint8_t* bytes, DWORD length, DWORD maxLength) {
    ComPtr<IMFMediaBuffer> made;
    EXPECT_HRESULT_SUCCEEDED(MFCreateMemoryBuffer(maxLength ? maxLength : 1, &made));
    BYTE* data = nullptr;
    made->Lock(&data, nullptr, nullptr);
    if (length) std::memcpy(data, bytes, length);
    made->Unlock();
    made->SetCurrentLength(length);
    return made;
}

ULONG References(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

class Randomized : public DecoderTransformTest {
protected:
    RandomUse m_use{20261209};
    int Uniform(int low, int high) { return m_use.Uniform(low, high); }
    void NegotiateScale(UINT32 scale) {
        Negotiate(kWidth, kHeight, scale == 0 ? tsr::MFVideoFormat_bp16 : tsr::MFVideoFormat_bp64,
                  kWidth >> scale, kHeight >> scale);
    }

    // A compressed sample: good, damaged or foreign bytes in 0..3 buffers, attributes at random.
    ComPtr<IMFSample> InputSample(const Bytes& good, bool& isGood) {
        Bytes bytes = good;
        isGood = false;
        switch (Uniform(0, 6)) {
        case 0:
        case 1:
            isGood = true;
            break;
        case 2:
            bytes.resize(size_t(Uniform(0, int(bytes.size()) - 1)));
            break;
        case 3:
            for (int i = Uniform(1, 8); i > 0; --i)
                bytes[size_t(Uniform(0, int(bytes.size()) - 1))] ^= uint8_t(Uniform(1, 255));
            break;
        case 4:
            bytes = tsr::test::HugeClaimFrame(Uniform(0, 4), size_t(Uniform(80, 4000)));
            break;
        case 5:
            bytes.assign(size_t(Uniform(0, 300)), uint8_t(Uniform(0, 255)));
            break;
        default:
            bytes.insert(bytes.end(), size_t(Uniform(1, 64)), 0xEE);
            isGood = true;
            break; // trailing bytes are ignored
        }
        ComPtr<IMFSample> sample;
        EXPECT_HRESULT_SUCCEEDED(MFCreateSample(&sample));
        const int pieces = isGood ? Uniform(1, 3) : Uniform(0, 3);
        if (pieces == 0) isGood = false;
        size_t at = 0;
        for (int i = 0; i < pieces; ++i) {
            const size_t end =
                i + 1 == pieces ? bytes.size() : at + size_t(Uniform(0, int(bytes.size() - at)));
            sample->AddBuffer(
                MakeBuffer(bytes.data() + at, DWORD(end - at), DWORD(end - at + Uniform(0, 8))).Get());
            at = end;
        }
        if (Uniform(0, 1)) sample->SetSampleTime(Uniform(-1000, 1000000));
        if (Uniform(0, 1)) sample->SetSampleDuration(Uniform(-5, 400000));
        if (Uniform(0, 3) == 0) sample->SetUINT32(MF_MT_INTERLACE_MODE, UINT32(Uniform(0, 9)));
        return sample;
    }

    // An output sample: the transform's own, or the caller's with random buffers; `adequate` when
    // its buffers hold the frame at the negotiated scale.
    MFT_OUTPUT_DATA_BUFFER OutputBuffer(UINT32 scale, bool& adequate) {
        MFT_OUTPUT_DATA_BUFFER output = {};
        adequate = true;
        if (Uniform(0, 2) == 0) return output;
        const DWORD picture = DWORD(frameDecoderMinRowPitch(kWidth, int(scale))) * (kHeight >> scale);
        ComPtr<IMFSample> sample;
        EXPECT_HRESULT_SUCCEEDED(MFCreateSample(&sample));
        const int count = Uniform(0, 3);
        if (count == 1) {
            const DWORD length = TSR_FRAME_INFO_RECORD_SIZE + picture + DWORD(Uniform(-2, 2));
            adequate = length >= TSR_FRAME_INFO_RECORD_SIZE + picture;
            sample->AddBuffer(MakeBuffer(nullptr, 0, length).Get());
        } else if (count == 2) {
            const DWORD record = TSR_FRAME_INFO_RECORD_SIZE + DWORD(Uniform(-1, 1));
            const DWORD room = picture + DWORD(Uniform(-2, 2));
            adequate = record >= TSR_FRAME_INFO_RECORD_SIZE && room >= picture;
            sample->AddBuffer(MakeBuffer(nullptr, 0, record).Get());
            sample->AddBuffer(MakeBuffer(nullptr, 0, room).Get());
        } else {
            adequate = false;
            for (int i = 0; i < count; ++i)
                sample->AddBuffer(MakeBuffer(nullptr, 0, DWORD(Uniform(1, 4096))).Get());
        }
        output.pSample = sample.Detach();
        return output;
    }
};

TEST_F(Randomized, DecoderTransformSurvivesRandomSamplesMessagesAndTypes) {
    const Bytes good = GoodFrame();
    ASSERT_FALSE(good.empty());
    UINT32 scale = 0;
    NegotiateScale(scale);
    std::vector<ComPtr<IMFSample>> inputs; // every input made, to count references at the end
    int decoded = 0, refused = 0;
    for (int step = 0; step < 3000; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        const int action = Uniform(0, 19);
        if (action == 0) {
            m_use.PostRandomMessage(m_transform.Get());
            continue;
        }
        if (action == 1) {
            m_use.SetRandomType(m_transform.Get(),
                                {tsr::MFVideoFormat_tsrn, tsr::MFVideoFormat_tsrh, tsr::MFVideoFormat_bp16,
                                 tsr::MFVideoFormat_bp64, MFVideoFormat_RGB32});
            scale = UINT32(Uniform(0, 3));
            NegotiateScale(scale);
            continue;
        }
        bool isGood = false;
        ComPtr<IMFSample> input = InputSample(good, isGood);
        inputs.push_back(input);
        const HRESULT queued = m_transform->ProcessInput(0, input.Get(), 0);
        if (queued != S_OK) {
            // A frame already waiting, or a sample without bytes.
            ASSERT_TRUE(queued == MF_E_NOTACCEPTING || (!isGood && queued == E_INVALIDARG))
                << std::hex << queued;
            m_transform->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0);
            continue;
        }
        bool adequate = false;
        MFT_OUTPUT_DATA_BUFFER output = OutputBuffer(scale, adequate);
        DWORD status = 0;
        const HRESULT hr = m_transform->ProcessOutput(0, 1, &output, &status);
        if (output.pSample) output.pSample->Release();
        if (isGood && adequate) {
            ASSERT_EQ(hr, S_OK);
            ++decoded;
        } else if (FAILED(hr)) {
            ++refused;
            if (hr == MF_E_BUFFERTOOSMALL) m_transform->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0);
            // The next good frame decodes.
            ASSERT_EQ(m_transform->ProcessInput(
                          0,
                          [&] {
                              ComPtr<IMFSample> s;
                              MFCreateSample(&s);
                              s->AddBuffer(
                                  MakeBuffer(good.data(), DWORD(good.size()), DWORD(good.size())).Get());
                              return s;
                          }()
                              .Get(),
                          0),
                      S_OK);
            MFT_OUTPUT_DATA_BUFFER next = {};
            ASSERT_EQ(m_transform->ProcessOutput(0, 1, &next, &status), S_OK);
            next.pSample->Release();
        }
    }
    m_transform->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0);
    for (const ComPtr<IMFSample>& input : inputs) EXPECT_EQ(References(input.Get()), 1u);
    EXPECT_GT(decoded, 300);
    EXPECT_GT(refused, 300);
}

} // namespace
