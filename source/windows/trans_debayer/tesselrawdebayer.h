// TesselRAWDebayer: the Media Foundation transform that turns Bayer frames into RGBA frames on the
// GPU, in system memory or on Direct3D 11 textures, one output sample per input sample, in order.
#pragma once

#include "engine/debayerer.h"
#include "windows/common/mediabuffer.h"
#include "windows/common/singlestreamtransform.h"

#include <cstdint>
#include <memory>

// Not in every SDK's headers.
#ifndef E_BOUNDS
#define E_BOUNDS static_cast<HRESULT>(0x8000000BL)
#endif

namespace tsr {

class TesselRAWDebayer final : public com::SingleStreamTransform {
public:
    static HRESULT Create(IUnknown* outer, REFIID iid, void** result);

    // Reports the attribute store's failure.
    explicit TesselRAWDebayer(HRESULT* hr);

    // IMFTransform: sample processing
    STDMETHODIMP ProcessMessage(MFT_MESSAGE_TYPE message, ULONG_PTR parameter) override;
    STDMETHODIMP ProcessInput(DWORD stream, IMFSample* sample, DWORD flags) override;
    STDMETHODIMP ProcessOutput(DWORD flags, DWORD bufferCount, MFT_OUTPUT_DATA_BUFFER* buffers,
                               DWORD* status) override;

private:
    ~TesselRAWDebayer() override;

    // Negotiation (SingleStreamTransform's hooks)
    Microsoft::WRL::ComPtr<IMFMediaType> OfferedOutputType(DWORD index) const override;
    void ApplyInputType(IMFMediaType* type) override;
    void ApplyOutputType(IMFMediaType* type) override;
    HRESULT OutputSampleSize(DWORD* size) const override;
    bool AcceptsInput() const override;

    // Width x height x bytes per pixel of the output subtype; 0 without an output type.
    std::uint64_t OutputImageSize() const;
    GUID OutputSubtype() const;

    HRESULT SetDeviceManager(IUnknown* manager);
    void CreateEngine();
    Microsoft::WRL::ComPtr<IMFSample> CreateOutputSample();
    void ProcessOldestSample(IMFSample* output);
    // The image for an input (buffer 1) or output (buffer 0) of a frame, and the view it needs.
    void InputImage(IMFSample* sample, std::uint32_t layoutCode, std::shared_ptr<CLImage>& image,
                    std::shared_ptr<com::MediaBuffer>& view);
    void OutputImage(IMFSample* sample, std::shared_ptr<CLImage>& image,
                     std::shared_ptr<com::MediaBuffer>& view);
    std::shared_ptr<CLImage> ImageForView(const com::MediaBuffer& view, const cl_image_format& format,
                                          bool input);

    Microsoft::WRL::ComPtr<IMFDXGIDeviceManager> m_deviceManager;
    UINT32 m_width = 0;
    UINT32 m_height = 0;
    UINT32 m_frameRateNumerator = 30;
    UINT32 m_frameRateDenominator = 0;
    std::unique_ptr<Debayerer> m_engine;
    UINT32 m_curveIndex = 1;
};

} // namespace tsr
