// TesselRAWDebayer: the Media Foundation transform that turns Bayer frames into RGBA frames on the
// GPU, in system memory or on Direct3D 11 textures, one output sample per input sample, in order.
#pragma once

#include "classfactory.h"
#include "debayerer.h"
#include "mediabuffer.h"

#include <mfapi.h>
#include <mferror.h>
#include <mftransform.h>
#include <wrl/client.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

// Not in every SDK's headers.
#ifndef E_BOUNDS
#define E_BOUNDS static_cast<HRESULT>(0x8000000BL)
#endif

namespace tsr {

class TesselRAWDebayer final : private com::BaseObject, private com::RefCountedObject, public IMFTransform {
public:
    static HRESULT create(IUnknown* outer, REFIID iid, void** result);

    // Reports the attribute store's failure.
    explicit TesselRAWDebayer(HRESULT* hr);

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
    ~TesselRAWDebayer() override;

    // Width x height x bytes per pixel of the output subtype; 0 without an output type.
    std::uint64_t outputImageSize() const;
    GUID outputSubtype() const;

    HRESULT setDeviceManager(IUnknown* manager);
    void createEngine();
    Microsoft::WRL::ComPtr<IMFSample> createOutputSample();
    void processOldestSample(IMFSample* output);
    // The image for an input (buffer 1) or output (buffer 0) of a frame, and the view it needs.
    void inputImage(IMFSample* sample, std::uint32_t layoutCode, std::shared_ptr<CLImage>& image,
                    std::shared_ptr<com::MediaBuffer>& view);
    void outputImage(IMFSample* sample, std::shared_ptr<CLImage>& image,
                     std::shared_ptr<com::MediaBuffer>& view);
    std::shared_ptr<CLImage> imageForView(const com::MediaBuffer& view, const cl_image_format& format,
                                          bool input);

    std::recursive_mutex m_mutex;
    Microsoft::WRL::ComPtr<IMFMediaType> m_inputType;
    Microsoft::WRL::ComPtr<IMFMediaType> m_outputType;
    Microsoft::WRL::ComPtr<IMFAttributes> m_attributes;
    Microsoft::WRL::ComPtr<IMFDXGIDeviceManager> m_deviceManager;
    UINT32 m_streamId = 0;
    UINT32 m_width = 0;
    UINT32 m_height = 0;
    UINT32 m_frameRateNumerator = 30;
    UINT32 m_frameRateDenominator = 0;
    std::unique_ptr<Debayerer> m_engine;
    UINT32 m_curveIndex = 1;
    std::deque<Microsoft::WRL::ComPtr<IMFSample>> m_pending;
};

} // namespace tsr
