// TesselRAWDebayer: messages, the pending queue, the engine and the processing of one frame.
#include "tesselrawdebayer.h"

#include "common/trace.h"
#include "debayerattributes.h"
#include "outputformats.h"
#include "windows/common/comerror.h"
#include "windows/common/dxgimanagerlock.h"

#include <tsr/framerecords.h>

#include <d3d11.h>

#include <cstring>

namespace tsr {

using com::ComMethodEdge;
using com::MediaBuffer;
using com::ThrowIfFailed;
using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kMaximumInputBuffers = 2;
// Media Foundation's code for a sample that holds no buffer.
constexpr HRESULT kSampleHasNoBuffers = static_cast<HRESULT>(0xC00D7170);

// The curve a sample asks for, else `current`.
UINT32 SampleCurveIndex(IMFSample* sample, UINT32 current) {
    UINT32 value = 0;
    if (SUCCEEDED(sample->GetUINT32(MF_DEBAYER_OUTPUT_CURVE, &value))) return value;
    if (SUCCEEDED(sample->GetUINT32(MF_MT_VIDEO_PRIMARIES, &value))) {
        if (value == MFVideoPrimaries_BT709) return 0;
        if (value == MFVideoPrimaries_BT2020) return 1;
    }
    return current;
}

// Reads a colour override of exactly twelve floats; a blob of another size is no override.
bool ReadColorMatrix(IMFAttributes* attributes, float (&matrix)[12], HRESULT& hr) {
    UINT32 size = 0;
    hr = attributes->GetBlob(MF_DEBAYER_COLOR_MATRIX, reinterpret_cast<UINT8*>(matrix), sizeof matrix, &size);
    return SUCCEEDED(hr) && size == kColorMatrixBytes;
}

// The OpenCL format of a picture in memory of the given layout.
cl_image_format InputImageFormat(std::uint32_t layoutCode) {
    if (layoutCode == TSR_LAYOUT_BP64) return {CL_RGBA, CL_UNORM_INT16};
    return {CL_R, CL_UNSIGNED_INT16};
}

void CopyAttribute(IMFSample* from, IMFSample* to, REFGUID key) {
    UINT64 value = 0;
    if (SUCCEEDED(from->GetUINT64(key, &value))) to->SetUINT64(key, value);
}

} // namespace

STDMETHODIMP TesselRAWDebayer::ProcessMessage(MFT_MESSAGE_TYPE message, ULONG_PTR parameter) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return ComMethodEdge([&]() -> HRESULT {
        switch (message) {
        case MFT_MESSAGE_COMMAND_FLUSH:
            if (parameter == 0) m_pending.clear();
            if (m_engine) m_engine->ForgetTexture(reinterpret_cast<ID3D11Texture2D*>(parameter));
            return S_OK;
        case MFT_MESSAGE_SET_D3D_MANAGER:
            return SetDeviceManager(reinterpret_cast<IUnknown*>(parameter));
        case MFT_MESSAGE_NOTIFY_BEGIN_STREAMING:
            CreateEngine();
            return S_OK;
        case MFT_MESSAGE_NOTIFY_END_STREAMING:
            m_engine.reset();
            return S_OK;
        default:
            return S_OK;
        }
    });
}

HRESULT TesselRAWDebayer::SetDeviceManager(IUnknown* manager) {
    m_deviceManager.Reset();
    m_engine.reset();
    if (!manager) return S_OK;
    // The host hands over an IUnknown; anything but a DXGI device manager is refused.
    ComPtr<IMFDXGIDeviceManager> deviceManager;
    HRESULT hr = manager->QueryInterface(IID_PPV_ARGS(&deviceManager));
    if (FAILED(hr)) return hr;
    com::DXGIManagerLock deviceLock(deviceManager.Get(), &hr);
    if (SUCCEEDED(hr)) m_deviceManager = deviceManager;
    return hr;
}

void TesselRAWDebayer::CreateEngine() {
    if (m_engine) return;
    const UINT64 queueValue = MFGetAttributeUINT64(m_attributes.Get(), MF_DEBAYER_CL_COMMAND_QUEUE, 0);
    const auto queue = reinterpret_cast<cl_command_queue>(static_cast<std::uintptr_t>(queueValue));
    HRESULT hr = S_OK;
    std::unique_ptr<Debayerer> engine;
    if (m_deviceManager) {
        com::DXGIManagerLock deviceLock(m_deviceManager.Get(), &hr);
        ThrowIfFailed(hr);
        engine.reset(new Debayerer(deviceLock.Device(), &hr));
    } else if (!queue) {
        engine.reset(new Debayerer(&hr));
    } else {
        engine.reset(new Debayerer(queue, &hr));
    }
    ThrowIfFailed(hr);
    if (m_deviceManager || queue) ThrowIfFailed(engine->SetCommandQueue(queue));
    m_engine = std::move(engine);
}

STDMETHODIMP TesselRAWDebayer::ProcessInput(DWORD /*stream*/, IMFSample* sample, DWORD flags) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return ComMethodEdge([&]() -> HRESULT {
        const HRESULT accepted = CheckInputCall(sample, flags);
        if (FAILED(accepted)) return accepted;
        DWORD count = 0;
        ThrowIfFailed(sample->GetBufferCount(&count));
        if (count == 0) return kSampleHasNoBuffers;
        if (count > kMaximumInputBuffers) return MF_E_SAMPLE_HAS_TOO_MANY_BUFFERS;
        m_pending.emplace_back(sample);
        return S_OK;
    });
}

STDMETHODIMP TesselRAWDebayer::ProcessOutput(DWORD flags, DWORD bufferCount, MFT_OUTPUT_DATA_BUFFER* buffers,
                                             DWORD* /*status*/) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return ComMethodEdge([&]() -> HRESULT {
        const HRESULT ready = CheckOutputCall(flags, bufferCount, buffers);
        if (FAILED(ready)) return ready;
        CreateEngine();
        ComPtr<IMFSample> provided;
        if (!buffers[0].pSample) provided = CreateOutputSample();
        IMFSample* output = provided ? provided.Get() : buffers[0].pSample;
        ProcessOldestSample(output);
        // Handed to the caller only for a processed frame, so that a failure leaks nothing.
        if (provided) buffers[0].pSample = provided.Detach();
        return S_OK;
    });
}

ComPtr<IMFSample> TesselRAWDebayer::CreateOutputSample() {
    ComPtr<IMFMediaBuffer> buffer;
    if (!m_deviceManager) {
        const std::uint64_t size = OutputImageSize();
        if (size > UINT32_MAX) {
            Trace(L"Output image size exceeds DWORD maximum\n");
            ThrowIfFailed(E_BOUNDS);
        }
        ThrowIfFailed(MFCreateMemoryBuffer(static_cast<DWORD>(size), &buffer));
    } else {
        HRESULT hr = S_OK;
        com::DXGIManagerLock deviceLock(m_deviceManager.Get(), &hr);
        ThrowIfFailed(hr);
        D3D11_TEXTURE2D_DESC description = {};
        description.Width = m_width;
        description.Height = m_height;
        description.MipLevels = 1;
        description.ArraySize = 1;
        description.Format = OutputTextureFormat(OutputSubtype());
        description.SampleDesc.Count = 1;
        description.SampleDesc.Quality = 0;
        description.Usage = D3D11_USAGE_DEFAULT;
        description.BindFlags = D3D11_BIND_SHADER_RESOURCE;
        description.CPUAccessFlags = 0;
        description.MiscFlags = D3D11_RESOURCE_MISC_SHARED;
        ComPtr<ID3D11Texture2D> texture;
        ThrowIfFailed(deviceLock.Device()->CreateTexture2D(&description, nullptr, &texture));
        ThrowIfFailed(MFCreateDXGISurfaceBuffer(IID_ID3D11Texture2D, texture.Get(), 0, FALSE, &buffer));
    }
    ComPtr<IMFSample> sample;
    ThrowIfFailed(MFCreateSample(&sample));
    ThrowIfFailed(sample->AddBuffer(buffer.Get()));
    return sample;
}

std::shared_ptr<CLImage> TesselRAWDebayer::ImageForView(const MediaBuffer& view,
                                                        const cl_image_format& format, bool input) {
    std::shared_ptr<CLImage> image;
    const cl_mem_flags flags = input ? CL_MEM_READ_ONLY : CL_MEM_WRITE_ONLY;
    if (view.Texture()) {
        ThrowIfFailed(m_engine->GetImageForTexture(view.Texture(), flags, image));
        return image;
    }
    if (m_height == 0) ThrowIfFailed(E_INVALIDARG);
    const FrameGeometry geometry = {m_width, m_height, view.MaxLength() / m_height, input, !input};
    ThrowIfFailed(
        m_engine->CreateImageFromMemory({view.data(), view.MaxLength()}, geometry, format, flags, image));
    return image;
}

void TesselRAWDebayer::InputImage(IMFSample* sample, std::uint32_t layoutCode,
                                  std::shared_ptr<CLImage>& image, std::shared_ptr<MediaBuffer>& view) {
    UINT64 clImage = 0;
    if (SUCCEEDED(sample->GetUINT64(MF_DEBAYER_CL_IMAGE, &clImage))) {
        ThrowIfFailed(
            Debayerer::WrapImage(reinterpret_cast<cl_mem>(static_cast<std::uintptr_t>(clImage)), image));
        return;
    }
    ComPtr<IMFMediaBuffer> buffer;
    if (FAILED(sample->GetBufferByIndex(1, &buffer))) return; // one-buffer layout: picture after the record
    ThrowIfFailed(MediaBuffer::Create(buffer.Get(), view));
    // The picture's layout decides how its samples read: one per photosite, or four per pixel.
    image = ImageForView(*view, InputImageFormat(layoutCode), true);
}

void TesselRAWDebayer::OutputImage(IMFSample* sample, std::shared_ptr<CLImage>& image,
                                   std::shared_ptr<MediaBuffer>& view) {
    UINT64 clImage = 0;
    if (SUCCEEDED(sample->GetUINT64(MF_DEBAYER_CL_IMAGE, &clImage))) {
        ThrowIfFailed(
            Debayerer::WrapImage(reinterpret_cast<cl_mem>(static_cast<std::uintptr_t>(clImage)), image));
        return;
    }
    ComPtr<IMFMediaBuffer> buffer;
    ThrowIfFailed(sample->GetBufferByIndex(0, &buffer));
    ThrowIfFailed(MediaBuffer::Create(buffer.Get(), view));
    image = ImageForView(*view, OutputImageFormat(OutputSubtype()), false);
}

void TesselRAWDebayer::ProcessOldestSample(IMFSample* output) {
    const ComPtr<IMFSample> input = m_pending.front();
    m_pending.pop_front();

    const UINT32 curve = SampleCurveIndex(input.Get(), m_curveIndex);
    float matrix[12] = {};
    HRESULT read = S_OK;
    bool hasMatrix = ReadColorMatrix(input.Get(), matrix, read);
    if (!hasMatrix && read == MF_E_ATTRIBUTENOTFOUND)
        hasMatrix = ReadColorMatrix(m_attributes.Get(), matrix, read);

    // Buffer 0 starts with the frame info record.
    ComPtr<IMFMediaBuffer> recordBuffer;
    ThrowIfFailed(input->GetBufferByIndex(0, &recordBuffer));
    std::shared_ptr<MediaBuffer> recordView;
    ThrowIfFailed(MediaBuffer::Create(recordBuffer.Get(), recordView));
    const BYTE* recordBytes = recordView->data();
    const DWORD recordLength = recordView->CurrentLength();
    // A short or missing record is reported by the engine; the layout then defaults to bp16.
    const int recordSize =
        recordBytes ? static_cast<int>(recordLength < TSR_FRAME_INFO_RECORD_SIZE ? recordLength
                                                                                 : TSR_FRAME_INFO_RECORD_SIZE)
                    : 0;
    std::uint32_t layoutCode = TSR_LAYOUT_BP16;
    if (recordSize >= TSR_FRAME_INFO_RECORD_SIZE)
        std::memcpy(&layoutCode, recordBytes + offsetof(TsrFrameInfoRecord, layoutCode), sizeof layoutCode);
    const auto* record = reinterpret_cast<const TsrFrameInfoRecord*>(recordBytes);

    std::shared_ptr<CLImage> inImage;
    std::shared_ptr<MediaBuffer> inView;
    InputImage(input.Get(), layoutCode, inImage, inView);
    std::shared_ptr<CLImage> outImage;
    std::shared_ptr<MediaBuffer> outView;
    OutputImage(output, outImage, outView);

    DebayerFrame frame;
    frame.input = inImage.get();
    if (!inImage) {
        if (inView) {
            frame.host = inView->data();
            frame.hostBytes = inView->CurrentLength();
        } else if (recordBytes && recordLength >= TSR_FRAME_INFO_RECORD_SIZE) {
            frame.host = recordBytes + TSR_FRAME_INFO_RECORD_SIZE;
            frame.hostBytes = recordLength - TSR_FRAME_INFO_RECORD_SIZE;
        }
    }
    frame.record = record;
    frame.recordSize = recordSize;
    frame.colourOverride = hasMatrix ? matrix : nullptr;
    frame.curve = curve;
    const int status = m_engine->ProcessFrame(frame, *outImage);
    if (status != kStatusOk) {
        Trace(L"debayer process fail, tsr status: %d\n", status);
        TraceStatus(status);
        ThrowIfFailed(StatusHResult(status));
    }
    if (outView && outView->data()) outView->SetCurrentLength(outView->MaxLength());

    LONGLONG value = 0;
    if (SUCCEEDED(input->GetSampleDuration(&value))) output->SetSampleDuration(value);
    if (SUCCEEDED(input->GetSampleTime(&value))) output->SetSampleTime(value);
    CopyAttribute(input.Get(), output, MF_MT_FRAME_SIZE);
    CopyAttribute(input.Get(), output, MF_MT_FRAME_RATE);
}

} // namespace tsr
