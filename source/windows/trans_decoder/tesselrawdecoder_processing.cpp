// TesselRAWDecoder: messages, the pending-input queue and decoding into output samples.
//
// Output sample layouts:
//   one buffer:  frame info record (116 bytes), then the picture at the row pitch;
//   two buffers: the record in buffer 0, the picture in buffer 1, whose rows may be spaced wider
//                than the row pitch when the buffer is larger.
// Samples the transform allocates itself use two buffers.
#include "tesselrawdecoder.h"

#include "comerror.h"
#include "mediabuffer.h"
#include "tesselrawguids.h"
#include "trace.h"

#include <climits>
#include <memory>

namespace tsr {

using com::comMethodEdge;
using com::MediaBuffer;
using com::throwIfFailed;
using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kRecordBytes = TSR_FRAME_INFO_RECORD_SIZE;

// The decoder takes byte counts as int; a larger room is offered only up to what it can address.
int decoderByteCount(DWORD bytes) {
    return bytes > INT_MAX ? INT_MAX : static_cast<int>(bytes);
}

// time + duration, held at the largest time instead of wrapping around.
LONGLONG saturatingAdd(LONGLONG time, LONGLONG duration) {
    if (duration > 0 && time > LLONG_MAX - duration) return LLONG_MAX;
    if (duration < 0 && time < LLONG_MIN - duration) return LLONG_MIN;
    return time + duration;
}

std::shared_ptr<MediaBuffer> lockBuffer(IMFSample* sample, DWORD index) {
    ComPtr<IMFMediaBuffer> buffer;
    throwIfFailed(sample->GetBufferByIndex(index, &buffer));
    std::shared_ptr<MediaBuffer> view;
    throwIfFailed(MediaBuffer::create(buffer.Get(), view));
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
    return comMethodEdge([&]() -> HRESULT {
        const HRESULT accepted = checkInputCall(sample, flags);
        if (FAILED(accepted)) return accepted;
        DWORD bufferCount = 0;
        throwIfFailed(sample->GetBufferCount(&bufferCount));
        if (bufferCount == 0) return E_INVALIDARG;
        if (bufferCount > 1) {
            // The decoder reads one contiguous frame.
            ComPtr<IMFMediaBuffer> contiguous;
            throwIfFailed(sample->ConvertToContiguousBuffer(&contiguous));
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
    return comMethodEdge([&]() -> HRESULT {
        const HRESULT ready = checkOutputCall(flags, bufferCount, buffers);
        if (FAILED(ready)) return ready;
        if (!buffers[0].pSample) buffers[0].pSample = createOutputSample().Detach(); // the caller owns it
        decodeOldestSample(buffers[0].pSample);
        return S_OK;
    });
}

ComPtr<IMFSample> TesselRAWDecoder::createOutputSample() const {
    if (pictureBytes() > INT_MAX) throwIfFailed(E_OUTOFMEMORY);
    ComPtr<IMFMediaBuffer> record;
    throwIfFailed(MFCreateMemoryBuffer(kRecordBytes, &record));
    ComPtr<IMFMediaBuffer> picture;
    throwIfFailed(MFCreateMemoryBuffer(static_cast<DWORD>(pictureBytes()), &picture));
    ComPtr<IMFSample> sample;
    throwIfFailed(MFCreateSample(&sample));
    throwIfFailed(sample->AddBuffer(record.Get()));
    throwIfFailed(sample->AddBuffer(picture.Get()));
    return sample;
}

void TesselRAWDecoder::decodeOldestSample(IMFSample* output) {
    // From here on the input is consumed, whatever happens: a frame that fails is dropped.
    const ComPtr<IMFSample> input = std::move(m_pending.front());
    m_pending.pop_front();

    const std::shared_ptr<MediaBuffer> inputView = lockBuffer(input.Get(), 0);

    DWORD outputBufferCount = 0;
    throwIfFailed(output->GetBufferCount(&outputBufferCount));
    std::shared_ptr<MediaBuffer> recordView;
    std::shared_ptr<MediaBuffer> pictureView;
    BYTE* record = nullptr;
    DWORD recordRoom = 0;
    BYTE* picture = nullptr;
    DWORD pictureRoom = 0;
    if (outputBufferCount == 1) {
        recordView = lockBuffer(output, 0);
        // The picture room follows from the negotiated size here, so the buffer must hold it all.
        if (!recordView->data() || recordView->maxLength() < outputSampleBytes())
            throwIfFailed(MF_E_BUFFERTOOSMALL);
        record = recordView->data();
        recordRoom = kRecordBytes;
        picture = record + kRecordBytes;
        pictureRoom = static_cast<DWORD>(pictureBytes());
    } else if (outputBufferCount == 2) {
        recordView = lockBuffer(output, 0);
        pictureView = lockBuffer(output, 1);
        if (recordView->data()) {
            record = recordView->data();
            recordRoom = recordView->maxLength();
        }
        if (pictureView->data()) {
            picture = pictureView->data();
            pictureRoom = pictureView->maxLength();
        }
    }

    const int decoderPictureRoom = decoderByteCount(pictureRoom);
    const DWORD effectivePitch = m_outputHeight ? static_cast<DWORD>(decoderPictureRoom) / m_outputHeight : 0;
    if (recordRoom < kRecordBytes || effectivePitch < m_rowPitch || !picture)
        throwIfFailed(MF_E_BUFFERTOOSMALL);

    const int inputLength = decoderByteCount(inputView->currentLength());
    const int decoded = frameDecoderDecode(m_frameDecoder, inputView->data(), inputLength, picture,
                                           decoderPictureRoom, static_cast<int>(effectivePitch), record,
                                           decoderByteCount(recordRoom), static_cast<int>(m_scaleIndex));
    if (decoded != FRAME_DECODER_OK) {
        trace(L"decode failed, status: %d\n", decoded);
        throwIfFailed(E_FAIL);
    }

    TsrFrameMetadataRecord metadata = {};
    const int extracted = frameDecoderGetMetadata(inputView->data(), inputLength, &metadata);
    if (extracted != 0) {
        trace(L"get frame metadata failed, status: %d\n", extracted);
        throwIfFailed(E_FAIL);
    }

    if (pictureView) {
        recordView->setCurrentLength(recordRoom);
        pictureView->setCurrentLength(pictureRoom);
    } else {
        recordView->setCurrentLength(kRecordBytes + pictureRoom);
    }

    output->SetBlob(MF_RAW_FRAME_METADATA, reinterpret_cast<const UINT8*>(&metadata), sizeof(metadata));
    LONGLONG duration = 0;
    if (FAILED(input->GetSampleDuration(&duration))) duration = m_averageFrameDuration;
    output->SetSampleDuration(duration);
    LONGLONG time = 0;
    if (FAILED(input->GetSampleTime(&time))) time = m_nextSampleTime;
    output->SetSampleTime(time);
    m_nextSampleTime = saturatingAdd(time, m_averageFrameDuration);
    MFSetAttributeSize(output, MF_MT_FRAME_SIZE, m_outputWidth, m_outputHeight);
}

} // namespace tsr
