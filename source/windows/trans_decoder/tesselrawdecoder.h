// TesselRAWDecoder: the Media Foundation transform that decodes compressed Tessel RAW frames into
// Bayer frames, one output sample per input sample, in order.
#pragma once

#include "classfactory.h"

#include <tsr/framedecoder.h>

#include <mfapi.h>
#include <mferror.h>
#include <mftransform.h>
#include <wrl/client.h>

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

namespace tsr {

class TesselRAWDecoder final : private com::BaseObject, private com::RefCountedObject, public IMFTransform {
public:
    static HRESULT create(IUnknown* outer, REFIID iid, void** result);

    // Reports E_OUTOFMEMORY when the frame decoder cannot start, or the attribute store's failure.
    explicit TesselRAWDecoder(HRESULT* hr);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** result) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IMFTransform: streams and negotiation
    STDMETHODIMP GetStreamLimits(DWORD* inputMinimum, DWORD* inputMaximum, DWORD* outputMinimum,
                                 DWORD* outputMaximum) override;
    STDMETHODIMP GetStreamCount(DWORD* inputStreams, DWORD* outputStreams) override;
    STDMETHODIMP GetStreamIDs(DWORD inputIdCount, DWORD* inputIds, DWORD outputIdCount,
                              DWORD* outputIds) override;
    STDMETHODIMP GetInputStreamInfo(DWORD stream, MFT_INPUT_STREAM_INFO* info) override;
    STDMETHODIMP GetOutputStreamInfo(DWORD stream, MFT_OUTPUT_STREAM_INFO* info) override;
    STDMETHODIMP GetAttributes(IMFAttributes** attributes) override;
    STDMETHODIMP GetInputStreamAttributes(DWORD stream, IMFAttributes** attributes) override;
    STDMETHODIMP GetOutputStreamAttributes(DWORD stream, IMFAttributes** attributes) override;
    STDMETHODIMP DeleteInputStream(DWORD stream) override;
    STDMETHODIMP AddInputStreams(DWORD count, DWORD* ids) override;
    STDMETHODIMP GetInputAvailableType(DWORD stream, DWORD index, IMFMediaType** type) override;
    STDMETHODIMP GetOutputAvailableType(DWORD stream, DWORD index, IMFMediaType** type) override;
    STDMETHODIMP SetInputType(DWORD stream, IMFMediaType* type, DWORD flags) override;
    STDMETHODIMP SetOutputType(DWORD stream, IMFMediaType* type, DWORD flags) override;
    STDMETHODIMP GetInputCurrentType(DWORD stream, IMFMediaType** type) override;
    STDMETHODIMP GetOutputCurrentType(DWORD stream, IMFMediaType** type) override;
    STDMETHODIMP GetInputStatus(DWORD stream, DWORD* flags) override;
    STDMETHODIMP GetOutputStatus(DWORD* flags) override;
    STDMETHODIMP SetOutputBounds(LONGLONG lowerBound, LONGLONG upperBound) override;
    STDMETHODIMP ProcessEvent(DWORD stream, IMFMediaEvent* event) override;

    // IMFTransform: sample processing
    STDMETHODIMP ProcessMessage(MFT_MESSAGE_TYPE message, ULONG_PTR parameter) override;
    STDMETHODIMP ProcessInput(DWORD stream, IMFSample* sample, DWORD flags) override;
    STDMETHODIMP ProcessOutput(DWORD flags, DWORD bufferCount, MFT_OUTPUT_DATA_BUFFER* buffers,
                               DWORD* status) override;

private:
    ~TesselRAWDecoder() override;

    using FrameSize = std::pair<UINT32, UINT32>; // width, height

    void applyInputType(IMFMediaType* type);
    void applyOutputType(IMFMediaType* type);
    Microsoft::WRL::ComPtr<IMFSample> createOutputSample() const;
    void decodeOldestSample(IMFSample* output);
    // Bytes of the decoded picture at the row pitch, and of a one-buffer output sample.
    std::uint64_t pictureBytes() const { return std::uint64_t{m_outputHeight} * m_rowPitch; }
    std::uint64_t outputSampleBytes() const { return pictureBytes() + TSR_FRAME_INFO_RECORD_SIZE; }

    std::recursive_mutex m_mutex;
    Microsoft::WRL::ComPtr<IMFMediaType> m_inputType;
    Microsoft::WRL::ComPtr<IMFMediaType> m_outputType;
    Microsoft::WRL::ComPtr<IMFAttributes> m_attributes;
    std::deque<Microsoft::WRL::ComPtr<IMFSample>> m_pending;
    UINT32 m_streamId = 0;
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
