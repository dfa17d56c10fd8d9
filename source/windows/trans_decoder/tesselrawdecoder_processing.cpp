// TesselRAWDecoder: messages, the pending-input queue and decoding into output samples.
//
// Output sample layouts:
//   one buffer:  frame info record (116 bytes), then the picture at the row pitch;
//   two buffers: the record in buffer 0, the picture in buffer 1, whose rows may be spaced wider
//                than the row pitch when the buffer is larger.
// Samples the transform allocates itself use two buffers.
#include "tesselrawdecoder.h"

#include "common/trace.h"
#include "windows/common/comerror.h"
#include "windows/common/mediabuffer.h"
#include "windows/common/tesselrawguids.h"

#include <climits>
#include <memory>

namespace tsr {

using com::ComMethodEdge;
using com::MediaBuffer;
using com::ThrowIfFailed;
using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kRecordBytes = TSR_FRAME_INFO_RECORD_SIZE;

// The decoder takes byte counts as int; a larger room is offered only up to what it can address.
int DecoderByteCount(DWORD bytes) {
    return bytes > INT_MAX ? INT_MAX : static_cast<int>(bytes);
}

// time + duration, held at the largest time instead of wrapping around.
LONGLONG SaturatingAdd(LONGLONG time, LONGLONG duration) {
    if (duration > 0 && time > LLONG_MAX - duration) return LLONG_MAX;
    if (duration < 0 && time < LLONG_MIN - duration) return LLONG_MIN;
    return time + duration;
}

std::shared_ptr<MediaBuffer> LockBuffer(IMFSample* sample, DWORD index) {
    ComPtr<IMFMediaBuffer> buffer;
    ThrowIfFailed(sample->GetBufferByIndex(index, &buffer));
    std::shared_ptr<MediaBuffer> view;
    ThrowIfFailed(MediaBuffer::Create(buffer.Get(), view));
    return view;
}

} // namespace

STDMETHODIMP TesselRAWDecoder::ProcessMessage(MFT_MESSAGE_TYPE message, ULONG_PTR /*parameter*/) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    switch (message) {
    case MFT_MESSAGE_COMMAND_FLUSH:
        m_pending.clear();
        return S_OK;
    case MFT_MESSAGE_SET_D3D_MANAGER:
        return E_NOTIMPL; // system memory only
    default:
        return S_OK; // each ProcessOutput finishes its frame: nothing to drain, start or end
    }
}

STDMETHODIMP TesselRAWDecoder::ProcessInput(DWORD /*stream*/, IMFSample* sample, DWORD flags) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return ComMethodEdge([&]() -> HRESULT {
        const HRESULT accepted = CheckInputCall(sample, flags);
        if (FAILED(accepted)) return accepted;
        DWORD bufferCount = 0;
        ThrowIfFailed(sample->GetBufferCount(&bufferCount));
        if (bufferCount == 0) return E_INVALIDARG;
        if (bufferCount > 1) {
            // The decoder reads one contiguous frame.
            ComPtr<IMFMediaBuffer> contiguous;
            ThrowIfFailed(sample->ConvertToContiguousBuffer(&contiguous));
            sample->RemoveAllBuffers();
            sample->AddBuffer(contiguous.Get());
        }
        m_pending.emplace_back(sample);
        return S_OK;
    });
}

STDMETHODIMP TesselRAWDecoder::ProcessOutput(DWORD flags, DWORD bufferCount, MFT_OUTPUT_DATA_BUFFER* buffers,
                                             DWORD* /*status*/) {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return ComMethodEdge([&]() -> HRESULT {
        const HRESULT ready = CheckOutputCall(flags, bufferCount, buffers);
        if (FAILED(ready)) return ready;
        if (!buffers[0].pSample) buffers[0].pSample = CreateOutputSample().Detach(); // the caller owns it
        DecodeOldestSample(buffers[0].pSample);
        return S_OK;
    });
}

ComPtr<IMFSample> TesselRAWDecoder::CreateOutputSample() const {
    if (PictureBytes() > INT_MAX) ThrowIfFailed(E_OUTOFMEMORY);
    ComPtr<IMFMediaBuffer> record;
    ThrowIfFailed(MFCreateMemoryBuffer(kRecordBytes, &record));
    ComPtr<IMFMediaBuffer> picture;
    ThrowIfFailed(MFCreateMemoryBuffer(static_cast<DWORD>(PictureBytes()), &picture));
    ComPtr<IMFSample> sample;
    ThrowIfFailed(MFCreateSample(&sample));
    ThrowIfFailed(sample->AddBuffer(record.Get()));
    ThrowIfFailed(sample->AddBuffer(picture.Get()));
    return sample;
}

void TesselRAWDecoder::DecodeOldestSample(IMFSample* output) {
    // From here on the input is consumed, whatever happens: a frame that fails is dropped.
    const ComPtr<IMFSample> input = std::move(m_pending.front());
    m_pending.pop_front();

    const std::shared_ptr<MediaBuffer> inputView = LockBuffer(input.Get(), 0);

    DWORD outputBufferCount = 0;
    ThrowIfFailed(output->GetBufferCount(&outputBufferCount));
    std::shared_ptr<MediaBuffer> recordView;
    std::shared_ptr<MediaBuffer> pictureView;
    BYTE* record = nullptr;
    DWORD recordRoom = 0;
    BYTE* picture = nullptr;
    DWORD pictureRoom = 0;
    if (outputBufferCount == 1) {
        recordView = LockBuffer(output, 0);
        // The picture room follows from the negotiated size here, so the buffer must hold it all.
        if (!recordView->data() || recordView->MaxLength() < OutputSampleBytes())
            ThrowIfFailed(MF_E_BUFFERTOOSMALL);
        record = recordView->data();
        recordRoom = kRecordBytes;
        picture = record + kRecordBytes;
        pictureRoom = static_cast<DWORD>(PictureBytes());
    } else if (outputBufferCount == 2) {
        recordView = LockBuffer(output, 0);
        pictureView = LockBuffer(output, 1);
        if (recordView->data()) {
            record = recordView->data();
            recordRoom = recordView->MaxLength();
        }
        if (pictureView->data()) {
            picture = pictureView->data();
            pictureRoom = pictureView->MaxLength();
        }
    }

    const int decoderPictureRoom = DecoderByteCount(pictureRoom);
    const DWORD effectivePitch = m_outputHeight ? static_cast<DWORD>(decoderPictureRoom) / m_outputHeight : 0;
    if (recordRoom < kRecordBytes || effectivePitch < m_rowPitch || !picture)
        ThrowIfFailed(MF_E_BUFFERTOOSMALL);

    const int inputLength = DecoderByteCount(inputView->CurrentLength());
    const int decoded = frameDecoderDecode(m_frameDecoder, inputView->data(), inputLength, picture,
                                           decoderPictureRoom, static_cast<int>(effectivePitch), record,
                                           DecoderByteCount(recordRoom), static_cast<int>(m_scaleIndex));
    if (decoded != FRAME_DECODER_OK) {
        Trace(L"decode failed, status: %d\n", decoded);
        ThrowIfFailed(E_FAIL);
    }

    TsrFrameMetadataRecord metadata = {};
    const int extracted = frameDecoderGetMetadata(inputView->data(), inputLength, &metadata);
    if (extracted != 0) {
        Trace(L"get frame metadata failed, status: %d\n", extracted);
        ThrowIfFailed(E_FAIL);
    }

    if (pictureView) {
        recordView->SetCurrentLength(recordRoom);
        pictureView->SetCurrentLength(pictureRoom);
    } else {
        recordView->SetCurrentLength(kRecordBytes + pictureRoom);
    }

    output->SetBlob(MF_RAW_FRAME_METADATA, reinterpret_cast<const UINT8*>(&metadata), sizeof(metadata));
    LONGLONG duration = 0;
    if (FAILED(input->GetSampleDuration(&duration))) duration = m_averageFrameDuration;
    output->SetSampleDuration(duration);
    LONGLONG time = 0;
    if (FAILED(input->GetSampleTime(&time))) time = m_nextSampleTime;
    output->SetSampleTime(time);
    m_nextSampleTime = SaturatingAdd(time, m_averageFrameDuration);
    MFSetAttributeSize(output, MF_MT_FRAME_SIZE, m_outputWidth, m_outputHeight);
}

} // namespace tsr
