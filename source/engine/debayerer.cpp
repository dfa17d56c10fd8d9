#include "debayerer.h"

#include <cstring>
#include <new>

#include "common/trace.h"
#include "tuning.h"

namespace tsr {

Debayerer::Debayerer(HRESULT* status) {
    *status = S_OK;
    try {
        *status = Initialize(std::make_shared<OpenCLState>(CL_DEVICE_TYPE_GPU, 0), std::nullopt);
    } catch (const std::bad_alloc&) {
        *status = E_OUTOFMEMORY;
    }
}

Debayerer::Debayerer(cl_command_queue queue, HRESULT* status, std::optional<std::int32_t> tuningValue) {
    *status = S_OK;
    cl_context context = nullptr;
    const cl_int error = clGetCommandQueueInfo(queue, CL_QUEUE_CONTEXT, sizeof context, &context, nullptr);
    if (error != CL_SUCCESS) {
        Trace(L"fail to get context from command queue, error=%d\n", error);
        *status = E_INVALIDARG;
        return;
    }
    try {
        *status = Initialize(std::make_shared<OpenCLState>(context, queue), tuningValue);
    } catch (const std::bad_alloc&) {
        *status = E_OUTOFMEMORY;
    }
}

Debayerer::~Debayerer() {
    m_processor.reset();
    m_textureImages.Clear();
    m_binding.reset();
    m_state.reset();
    if (m_hostQueue) clReleaseCommandQueue(m_hostQueue);
}

HRESULT Debayerer::Initialize(std::shared_ptr<OpenCLState> state, std::optional<std::int32_t> tuningValue) {
    m_state = std::move(state);
    return CreateProcessor(tuningValue ? *tuningValue : ProcessTuningValue());
}

HRESULT Debayerer::CreateProcessor(std::int32_t tuningValue) {
    std::unique_ptr<ProcessorHolder> holder(new ProcessorHolder());
    holder->processor.reset(new PrivateOpenCLProcessor(m_state->m_context, m_state->m_queue, tuningValue));
    m_processorStatus = holder->processor->Status();
    if (m_processorStatus != kStatusOk) {
        Trace(L"fail to create opencl processor, status=0x%08x\n", static_cast<unsigned>(m_processorStatus));
        return StatusHResult(m_processorStatus);
    }
    m_processor = std::move(holder);
    return S_OK;
}

void Debayerer::ForgetTexture(ID3D11Texture2D* texture) {
    if (texture)
        m_textureImages.Forget(texture);
    else
        m_textureImages.Clear();
}

HRESULT Debayerer::SetCommandQueue(cl_command_queue queue) {
    std::lock_guard<std::mutex> hold(m_mutex);
    if (m_hostQueue) {
        const cl_int error = clReleaseCommandQueue(m_hostQueue);
        if (error != CL_SUCCESS) Trace(L"failed to release cl command queue, errors=%d\n", error);
        m_hostQueue = nullptr;
    }
    if (queue) {
        const cl_int error = clRetainCommandQueue(queue);
        if (error != CL_SUCCESS) {
            Trace(L"failed to retain cl command queue, errors=%d\n", error);
            return E_INVALIDARG;
        }
        m_hostQueue = queue;
    }
    return S_OK;
}

HRESULT Debayerer::CreateImageFromMemory(HostRange host, FrameGeometry geometry,
                                         const cl_image_format& format, cl_mem_flags flags,
                                         std::shared_ptr<CLImage>& image) {
    image.reset();
    if ((geometry.upload || geometry.readBack) && !HostRangeCoversFrame(host, geometry, format))
        return E_INVALIDARG;
    std::lock_guard<std::mutex> hold(m_mutex);
    try {
        const cl_command_queue queue = m_hostQueue ? m_hostQueue : (m_state ? m_state->m_queue : nullptr);
        auto created = std::make_shared<CLImageFromMemory>(m_state ? m_state->m_context : nullptr, queue,
                                                           host, geometry, format, flags);
        if (!created->Created()) return E_UNEXPECTED;
        image = std::move(created);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT Debayerer::WrapImage(cl_mem image, std::shared_ptr<CLImage>& wrapped) {
    try {
        wrapped = std::make_shared<CLImage>(image);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

int Debayerer::ProcessFrame(const DebayerFrame& frame, CLImage& output) {
    std::lock_guard<std::mutex> hold(m_mutex);
    ProcessorHolder* processor = m_processor.get();
    const cl_mem outputImage = output.Acquire();
    int status;
    if (frame.input) {
        const cl_mem inputImage = frame.input->Acquire();
        status = ProcessImage(processor, inputImage, frame.record, frame.recordSize, frame.colourOverride,
                              frame.curve, m_hostQueue, outputImage);
        frame.input->Release();
    } else {
        status = ProcessMemory(processor, frame.host, frame.hostBytes, frame.record, frame.recordSize,
                               frame.colourOverride, frame.curve, m_hostQueue, outputImage);
    }
    output.Release();
    return status;
}

namespace {

std::int64_t BytesPerUploadPixel(std::uint32_t layoutCode) {
    return layoutCode == TSR_LAYOUT_BP16 ? 2 : 8;
}

int TimedFrame(PrivateProcessor<1>& processor, cl_mem input, const void* host,
               const TsrFrameInfoRecord& record, const RawProcessingParameters& parameters,
               const CurveNodeList& nodes, cl_command_queue queue, cl_mem output) {
    const int status = processor.Status();
    if (status != kStatusOk) return status;
    if (!output || !processor.CheckOutput(output, record.width, record.height)) return kStatusBadOutput;

    FrameTimer* timer = processor.Timer();
    if (timer) {
        timer->Reset();
        timer->Start();
    }
    cl_mem uploaded = nullptr;
    if (!input) {
        uploaded =
            processor.Upload(host, record.layoutCode, record.width, record.height, record.rowPitch, queue);
        if (timer) Console(ConsoleStream::Output, "GPU upload and ");
        if (!uploaded) return kStatusUploadFailed;
        input = uploaded;
    }
    const int result = processor.Run(input, parameters, nodes, queue, output);
    if (timer) {
        timer->Stop();
        Console(ConsoleStream::Output, "raw conversion: %6.3f ms\n", timer->AccumulatedSeconds() * 1000.0);
    }
    if (uploaded) processor.ReturnImage(uploaded);
    return IsEntryPointStatus(result) ? result : kStatusOther;
}

int RunEntryPoint(ProcessorHolder* handle, cl_mem input, const void* host, unsigned byteCount,
                  const TsrFrameInfoRecord* recordPointer, int recordSize, const float* matrix,
                  unsigned curve, cl_command_queue queue, cl_mem output) {
    if (!handle || !handle->processor) return kStatusNoProcessor;
    if (!recordPointer || recordSize < TSR_FRAME_INFO_RECORD_SIZE) return kStatusBadRecord;
    // The record heads a media buffer and need not be aligned.
    TsrFrameInfoRecord record;
    std::memcpy(&record, recordPointer, sizeof record);

    if (!input) {
        // Products in 64 bits: height times pitch can exceed 32 bits for a bad record.
        const std::int64_t needed = static_cast<std::int64_t>(record.height) * record.rowPitch;
        const std::int64_t rowBytes =
            static_cast<std::int64_t>(record.width) * BytesPerUploadPixel(record.layoutCode);
        if (!host || static_cast<std::int64_t>(byteCount) < needed || record.rowPitch < rowBytes)
            return kStatusBadHostMemory;
    }

    const RawProcessingParameters parameters = RawProcessingSetup(record, matrix, curve);
    try {
        CurveNodeList nodes;
        AppendOutputCurveNodes(curve, nodes);
        return TimedFrame(*handle->processor, input, host, record, parameters, nodes, queue, output);
    } catch (const std::bad_alloc&) {
        return kStatusOther; // nothing throws across the entry points
    }
}

} // namespace

int ProcessImage(ProcessorHolder* handle, cl_mem input, const TsrFrameInfoRecord* record, int recordSize,
                 const float* matrix, unsigned curve, cl_command_queue queue, cl_mem output) {
    return RunEntryPoint(handle, input, nullptr, 0, record, recordSize, matrix, curve, queue, output);
}

int ProcessMemory(ProcessorHolder* handle, const void* host, unsigned byteCount,
                  const TsrFrameInfoRecord* record, int recordSize, const float* matrix, unsigned curve,
                  cl_command_queue queue, cl_mem output) {
    return RunEntryPoint(handle, nullptr, host, byteCount, record, recordSize, matrix, curve, queue, output);
}

} // namespace tsr
