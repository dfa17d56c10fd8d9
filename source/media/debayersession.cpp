#include "media/debayersession.h"

#include <cstdio>

namespace tsr::media {

std::string EngineStatusText(int status) {
    const char* message = StatusMessage(status);
    if (!message) return "engine status " + std::to_string(status);
    return std::string(message) + " (" + StatusName(status) + ", " + std::to_string(status) + ")";
}

MediaError EngineError(const std::string& prefix, int status) {
    const char* name = StatusName(status);
    return MediaError(prefix + EngineStatusText(status), MediaError::Kind::Engine, status, name ? name : "");
}

DebayerSession::DebayerSession(const OpenCLDevice& device, std::optional<std::int32_t> tuningValue)
    : m_device(device) {
    m_queue = std::make_unique<OpenCLQueue>(device);
    HRESULT status = S_OK;
    m_debayerer = std::make_unique<Debayerer>(m_queue->Queue(), &status, tuningValue);
    if (FAILED(status) || !m_debayerer->Processor()) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08x", static_cast<unsigned>(status));
        std::string reason = "its kernels do not build or run there";
        if (m_debayerer->ProcessorStatus() != kStatusOk)
            reason += ": " + EngineStatusText(m_debayerer->ProcessorStatus());
        throw MediaError(
            "the GPU engine cannot start on " + device.deviceName + " (" + code + "): " + reason,
            MediaError::Kind::Engine, m_debayerer->ProcessorStatus(),
            StatusName(m_debayerer->ProcessorStatus()) ? StatusName(m_debayerer->ProcessorStatus()) : "");
    }
    if (FAILED(m_debayerer->SetCommandQueue(m_queue->Queue())))
        throw MediaError("the GPU engine refused the command queue", MediaError::Kind::Engine);
}

std::string DebayerSession::Description() const {
    return "OpenCL on " + m_device.deviceName + " (" + m_device.platformName + ")";
}

DebayerSession::~DebayerSession() {
    m_output.reset();
    m_debayerer.reset();
}

cl_mem DebayerSession::OutputImage(int width, int height, bool isFloat) {
    if (!m_output || width != m_outputWidth || height != m_outputHeight || isFloat != m_outputFloat) {
        m_output.reset();
        const cl_image_format format = {CL_RGBA,
                                        static_cast<cl_channel_type>(isFloat ? CL_FLOAT : CL_HALF_FLOAT)};
        // No host transfers through the image: the result is read back here, where a failure
        // can be reported.
        const FrameGeometry geometry = {static_cast<uint32_t>(width), static_cast<uint32_t>(height), 0, false,
                                        false};
        std::shared_ptr<CLImage> image;
        const HRESULT created =
            m_debayerer->CreateImageFromMemory({nullptr, 0}, geometry, format, CL_MEM_WRITE_ONLY, image);
        if (FAILED(created) || !image)
            throw MediaError("cannot create a " + std::to_string(width) + "x" + std::to_string(height) +
                             " output image on the device");
        m_output = std::move(image);
        m_outputWidth = width;
        m_outputHeight = height;
        m_outputFloat = isFloat;
    }
    return m_output->Image();
}

void DebayerSession::Process(const DecodedPicture& picture, const DebayerSettings& settings,
                             RgbaFrame& frame) {
    const int width = picture.OutputWidth(), height = picture.OutputHeight();
    frame.width = width;
    frame.height = height;
    frame.isFloat = settings.floatOutput;
    frame.curve = settings.curve;
    // The device's image first: it refuses sizes it cannot hold before host memory is spent.
    cl_mem output = OutputImage(width, height, settings.floatOutput);
    frame.bytes.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * frame.BytesPerPixel());

    DebayerFrame input;
    input.host = picture.Picture();
    input.hostBytes = static_cast<unsigned>(picture.PictureSize());
    input.record = picture.Record();
    input.recordSize = TSR_FRAME_INFO_RECORD_SIZE;
    input.colourOverride = settings.hasColour ? settings.colour.data() : nullptr;
    input.curve = settings.curve;
    const int status = m_debayerer->ProcessFrame(input, *m_output);
    if (status != kStatusOk) {
        clFinish(m_queue->Queue()); // an upload may still read the picture
        throw EngineError("frame " + std::to_string(frame.index) + ": debayer failed: ", status);
    }
    const size_t origin[3] = {0, 0, 0};
    const size_t region[3] = {static_cast<size_t>(width), static_cast<size_t>(height), 1};
    const cl_int read = clEnqueueReadImage(m_queue->Queue(), output, CL_TRUE, origin, region, 0, 0,
                                           frame.bytes.data(), 0, nullptr, nullptr);
    if (read != CL_SUCCESS)
        throw MediaError("frame " + std::to_string(frame.index) +
                         ": reading the result from the device failed (error " + std::to_string(read) + ")");
}

} // namespace tsr::media
