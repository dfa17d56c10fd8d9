// The debayer transform's input paths under random use, on the host queue: thousands of samples
// with random buffer counts, lengths, damaged records, colour overrides and curves, random output
// samples, messages and type changes in random order. Nothing may crash; a bad frame fails alone
// and the next good frame is processed; every sample the test made is released by the transform.
#include "debayertransformtest.h"
#include "randomuse.h"

#include <cstring>

using namespace tsr;

namespace {

constexpr UINT32 kWidth = 32, kHeight = 16;

ULONG References(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

class RandomizedDebayer : public DebayerTransformTest {
protected:
    void SetUp() override {
        DebayerTransformTest::SetUp();
        if (!HasFatalFailure()) UseHostQueue();
    }
    RandomUse m_use{20261209};
    int Uniform(int low, int high) { return m_use.Uniform(low, high); }
    // A Bayer sample: good, or with a damaged record or picture, odd buffers or odd attributes.
    ComPtr<IMFSample> InputSample(const BayerFrame& frame, bool& isGood) {
        BayerFrame bytes = frame;
        isGood = false;
        ComPtr<IMFSample> sample;
        switch (Uniform(0, 7)) {
        case 0:
            isGood = true;
            sample = TwoBufferSample(bytes);
            break;
        case 1:
            isGood = true;
            sample = OneBufferSample(bytes);
            break;
        case 2: // record fields at random: sizes, pitch, layout, pattern, levels
            for (int i = Uniform(1, 6); i > 0; --i)
                bytes.record[size_t(Uniform(0, 115))] = uint8_t(Uniform(0, 255));
            sample = Uniform(0, 1) ? TwoBufferSample(bytes) : OneBufferSample(bytes);
            break;
        case 3:
            bytes.record.resize(size_t(Uniform(0, 115)));
            sample = TwoBufferSample(bytes);
            break;
        case 4:
            bytes.picture.resize(size_t(Uniform(0, int(bytes.picture.size()) - 1)));
            sample = Uniform(0, 1) ? TwoBufferSample(bytes) : OneBufferSample(bytes);
            break;
        case 5: {
            MFCreateSample(&sample);
            for (int i = Uniform(0, 4); i > 0; --i)
                sample->AddBuffer(MemoryBuffer(Bytes(size_t(Uniform(0, 300)), uint8_t(Uniform(0, 255))),
                                               DWORD(Uniform(1, 400)))
                                      .Get());
            break;
        }
        case 6: { // colour override blob of any length
            sample = TwoBufferSample(bytes);
            const Bytes blob(size_t(Uniform(0, 64)), uint8_t(Uniform(0, 255)));
            sample->SetBlob(MF_DEBAYER_COLOR_MATRIX, blob.data(), UINT32(blob.size()));
            break;
        }
        default:
            sample = TwoBufferSample(bytes);
            sample->SetUINT32(MF_DEBAYER_OUTPUT_CURVE,
                              UINT32(Uniform(0, 1) ? Uniform(0, 5) : Uniform(0, 1 << 30)));
            break;
        }
        if (Uniform(0, 1)) sample->SetSampleTime(Uniform(-1000, 1000000));
        if (Uniform(0, 1)) sample->SetSampleDuration(Uniform(-5, 400000));
        return sample;
    }
};

TEST_F(RandomizedDebayer, DebayerTransformSurvivesRandomSamplesMessagesAndTypes) {
    const BayerFrame frame = MakeDecodedFrame(kWidth, kHeight, 0);
    ASSERT_NO_FATAL_FAILURE(Negotiate(frame, MFVideoFormat_A16B16G16R16F));
    const DWORD outputBytes = kWidth * kHeight * 8;
    std::vector<ComPtr<IMFSample>> inputs;
    int processed = 0, refused = 0;
    for (int step = 0; step < 2000; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        const int action = Uniform(0, 19);
        if (action == 0) {
            m_use.PostRandomMessage(m_transform.Get());
            continue;
        }
        if (action == 1) {
            m_use.SetRandomType(m_transform.Get(),
                                {MFVideoFormat_bp16, MFVideoFormat_bp64, MFVideoFormat_A16B16G16R16F,
                                 MFVideoFormat_RGBA128F, MFVideoFormat_RGB32});
            ASSERT_NO_FATAL_FAILURE(Negotiate(frame, MFVideoFormat_A16B16G16R16F));
            continue;
        }
        bool isGood = false;
        ComPtr<IMFSample> input = InputSample(frame, isGood);
        inputs.push_back(input);
        if (FAILED(m_transform->ProcessInput(0, input.Get(), 0))) {
            ASSERT_FALSE(isGood);
            continue;
        }
        MFT_OUTPUT_DATA_BUFFER output = {};
        bool adequate = true;
        if (Uniform(0, 2) == 0) {
            ComPtr<IMFSample> sample;
            MFCreateSample(&sample);
            const DWORD length = outputBytes + DWORD(Uniform(-2, 2));
            adequate = length >= outputBytes;
            sample->AddBuffer(MemoryBuffer(Bytes(), length).Get());
            output.pSample = sample.Detach();
        }
        DWORD status = 0;
        const HRESULT hr = m_transform->ProcessOutput(0, 1, &output, &status);
        if (output.pSample) output.pSample->Release();
        if (isGood && adequate) {
            ASSERT_EQ(hr, S_OK);
            ++processed;
        } else if (FAILED(hr)) {
            ++refused;
            m_transform->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0);
            ComPtr<IMFSample> next;
            ASSERT_EQ(Process(TwoBufferSample(frame).Get(), next), S_OK);
        }
    }
    m_transform->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0);
    for (const ComPtr<IMFSample>& input : inputs) EXPECT_EQ(References(input.Get()), 1u);
    EXPECT_GT(processed, 200);
    EXPECT_GT(refused, 200);
}

} // namespace
