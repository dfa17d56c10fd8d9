// TesselRAWDecoder: the Media Foundation transform that decodes compressed Tessel RAW frames into
// Bayer frames, one output sample per input sample, in order.
#pragma once

#include "windows/common/singlestreamtransform.h"

#include <tsr/framedecoder.h>

#include <cstdint>
#include <map>
#include <utility>

namespace tsr {

class TesselRAWDecoder final : public com::SingleStreamTransform {
public:
    static HRESULT Create(IUnknown* outer, REFIID iid, void** result);

    // Reports E_OUTOFMEMORY when the frame decoder cannot start, or the attribute store's failure.
    explicit TesselRAWDecoder(HRESULT* hr);

    // IMFTransform: sample processing
    STDMETHODIMP ProcessMessage(MFT_MESSAGE_TYPE message, ULONG_PTR parameter) override;
    STDMETHODIMP ProcessInput(DWORD stream, IMFSample* sample, DWORD flags) override;
    STDMETHODIMP ProcessOutput(DWORD flags, DWORD bufferCount, MFT_OUTPUT_DATA_BUFFER* buffers,
                               DWORD* status) override;

private:
    ~TesselRAWDecoder() override;

    using FrameSize = std::pair<UINT32, UINT32>; // width, height

    // Negotiation (SingleStreamTransform's hooks)
    Microsoft::WRL::ComPtr<IMFMediaType> OfferedOutputType(DWORD index) const override;
    void ApplyInputType(IMFMediaType* type) override;
    void ApplyOutputType(IMFMediaType* type) override;
    HRESULT OutputSampleSize(DWORD* size) const override;

    Microsoft::WRL::ComPtr<IMFSample> CreateOutputSample() const;
    void DecodeOldestSample(IMFSample* output);
    // Bytes of the decoded picture at the row pitch, and of a one-buffer output sample.
    std::uint64_t PictureBytes() const { return std::uint64_t{m_outputHeight} * m_rowPitch; }
    std::uint64_t OutputSampleBytes() const { return PictureBytes() + TSR_FRAME_INFO_RECORD_SIZE; }

    UINT32 m_inputWidth = 0;
    UINT32 m_inputHeight = 0;
    UINT32 m_rowPitch = 0;
    UINT32 m_outputWidth = 0;
    UINT32 m_outputHeight = 0;
    UINT32 m_frameRateNumerator = 30000;
    UINT32 m_frameRateDenominator = 1001;
    LONGLONG m_nextSampleTime = INT64_MAX;
    LONGLONG m_averageFrameDuration = 0;
    FrameDecoderHandle m_frameDecoder = nullptr;
    std::map<FrameSize, UINT32> m_sizeTable; // output size -> scale index
    UINT32 m_scaleIndex = 0;
};

} // namespace tsr
