// Frames whose headers claim far more than their bytes hold, through the decoder transform: a
// 2.5 KB frame claiming 65534 x 65534 photosites is refused at every scale without the memory its
// header claims. The host's picture buffer is committed virtual memory that stays untouched, so
// the working set shows what the transform and the frame decoder take for themselves.
#include "../decoder/framebuilder.h"
#include "decodertransformtest.h"

#include <psapi.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <climits>

#include <tsr/framedecoder.h>

using Microsoft::WRL::ComPtr;

namespace {

// A host's own buffer type over pages that cost nothing until written (Media Foundation's
// memory buffers are written when made). A test double: no system buffer behaves so.
class UntouchedBuffer final : public IMFMediaBuffer {
public:
    explicit UntouchedBuffer(DWORD maxLength)
        : m_data(
              static_cast<BYTE*>(VirtualAlloc(nullptr, maxLength, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE))),
          m_maxLength(maxLength) {}
    ~UntouchedBuffer() { VirtualFree(m_data, 0, MEM_RELEASE); }
    bool Valid() const { return m_data != nullptr; }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IMFMediaBuffer)) {
            *object = static_cast<IMFMediaBuffer*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --m_references;
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP Lock(BYTE** data, DWORD* maxLength, DWORD* currentLength) override {
        *data = m_data;
        if (maxLength) *maxLength = m_maxLength;
        if (currentLength) *currentLength = m_currentLength;
        return S_OK;
    }
    STDMETHODIMP Unlock() override { return S_OK; }
    STDMETHODIMP GetCurrentLength(DWORD* length) override {
        *length = m_currentLength;
        return S_OK;
    }
    STDMETHODIMP SetCurrentLength(DWORD length) override {
        if (length > m_maxLength) return E_INVALIDARG;
        m_currentLength = length;
        return S_OK;
    }
    STDMETHODIMP GetMaxLength(DWORD* length) override {
        *length = m_maxLength;
        return S_OK;
    }

private:
    BYTE* m_data;
    DWORD m_maxLength;
    DWORD m_currentLength = 0;
    std::atomic<ULONG> m_references{1};
};

PROCESS_MEMORY_COUNTERS MemoryCounters() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters;
}

ComPtr<IMFSample> FrameSample(const std::vector<uint8_t>& bytes) {
    ComPtr<IMFMediaBuffer> buffer;
    EXPECT_HRESULT_SUCCEEDED(MFCreateMemoryBuffer(static_cast<DWORD>(bytes.size()), &buffer));
    BYTE* data = nullptr;
    buffer->Lock(&data, nullptr, nullptr);
    std::copy(bytes.begin(), bytes.end(), data);
    buffer->Unlock();
    buffer->SetCurrentLength(static_cast<DWORD>(bytes.size()));
    ComPtr<IMFSample> sample;
    EXPECT_HRESULT_SUCCEEDED(MFCreateSample(&sample));
    sample->AddBuffer(buffer.Get());
    return sample;
}

} // namespace

TEST_F(DecoderTransformTest, HugeClaimInATinyFrameCostsNoMemoryAtAnyScale) {
    // 16 x 65534 compressed frames: every scale's output is as tall as the hostile frame claims,
    // so only a picture buffer as large as its claim stands between the frame and the decoder.
    constexpr UINT32 kWidth = 16, kHeight = 65534;
    for (int log2SliceWidth : {0, 1}) {
        const std::vector<uint8_t> frame = tsr::test::HugeClaimFrame(log2SliceWidth);
        for (UINT32 scale = 0; scale <= 3; ++scale) {
            SCOPED_TRACE("log2SliceWidth " + std::to_string(log2SliceWidth) + ", scale " +
                         std::to_string(scale));
            Negotiate(kWidth, kHeight, scale == 0 ? tsr::MFVideoFormat_bp16 : tsr::MFVideoFormat_bp64,
                      kWidth >> scale, kHeight >> scale);
            const int64_t claimed = int64_t(frameDecoderMinRowPitch(65534, int(scale))) * (65534 >> scale);
            auto* picture = new UntouchedBuffer(static_cast<DWORD>(std::min<int64_t>(claimed, INT_MAX)));
            ASSERT_TRUE(picture->Valid());
            ComPtr<IMFMediaBuffer> record;
            ASSERT_HRESULT_SUCCEEDED(MFCreateMemoryBuffer(TSR_FRAME_INFO_RECORD_SIZE, &record));
            ComPtr<IMFSample> output;
            ASSERT_HRESULT_SUCCEEDED(MFCreateSample(&output));
            output->AddBuffer(record.Get());
            output->AddBuffer(picture);
            picture->Release();

            ASSERT_EQ(m_transform->ProcessInput(0, FrameSample(frame).Get(), 0), S_OK);
            const PROCESS_MEMORY_COUNTERS before = MemoryCounters();
            MFT_OUTPUT_DATA_BUFFER buffer = {};
            buffer.pSample = output.Get();
            DWORD status = 0;
            EXPECT_EQ(m_transform->ProcessOutput(0, 1, &buffer, &status), E_FAIL);
            const PROCESS_MEMORY_COUNTERS after = MemoryCounters();
            // The peak may only pass the earlier peak by what a few MB above the working set allow.
            const SIZE_T allowed = std::max(before.PeakWorkingSetSize, before.WorkingSetSize + (4u << 20));
            EXPECT_LE(after.PeakWorkingSetSize, allowed)
                << (after.PeakWorkingSetSize - before.WorkingSetSize) / 1024 << " KiB above the working set";
        }
    }
}
