#include "processor.h"

#include <new>

#include "status.h"
#include "tuning.h"

namespace tsr {

PrivateProcessor<1>::PrivateProcessor(std::int32_t tuningValue) : m_tuningValue(tuningValue) {
    if (tuningValue == kTuningFrameTimer) m_timer.reset(new FrameTimer());
}

PrivateProcessor<1>::~PrivateProcessor() = default;

PrivateOpenCLProcessor::PrivateOpenCLProcessor(cl_context context, cl_command_queue queue,
                                               std::int32_t tuningValue, const ProgramCatalog* catalog)
    : PrivateProcessor<1>(tuningValue) {
    if (context)
        m_state.reset(new OpenCLState(context, queue));
    else
        m_state.reset(new OpenCLState(CL_DEVICE_TYPE_GPU, -1));
    // Locking off: the Debayerer serialises frames.
    m_cache.reset(new OpenCLTextureCache(m_state->m_context, false, 1));

    cl_device_id device = m_state->m_device;
    cl_uint bits = 0;
    m_addressBits32 =
        device &&
        clGetDeviceInfo(device, CL_DEVICE_ADDRESS_BITS, sizeof bits, &bits, nullptr) == CL_SUCCESS &&
        bits == 32;
    m_imageProcessingProgram = BuildImageProcessingProgram(
        m_state->m_context, device, ImageProcessingSource(), ImageProcessingSourceLength());
    if (m_state->m_context && device)
        m_rawProcessing = SelectRawProcessing(m_state->m_context, device, m_addressBits32,
                                              catalog ? *catalog : EmbeddedProgramCatalog());
}

PrivateOpenCLProcessor::~PrivateOpenCLProcessor() {
    m_state.reset();
    m_cache.reset();
    m_rawProcessing.reset();
    if (m_imageProcessingProgram) clReleaseProgram(m_imageProcessingProgram);
}

int PrivateOpenCLProcessor::Status() const {
    if (!m_state || !m_cache) return kStatusOther;
    if (!m_rawProcessing) return kStatusNoRawProcessing;
    const int status = m_rawProcessing->Status();
    return IsChainStatus(status) ? status : kStatusOther;
}

bool PrivateOpenCLProcessor::CheckOutput(cl_mem image, std::int32_t width, std::int32_t height) const {
    cl_image_format format = {};
    if (!image || clGetImageInfo(image, CL_IMAGE_FORMAT, sizeof format, &format, nullptr) != CL_SUCCESS)
        return false;
    const bool suitable =
        format.image_channel_order == CL_RGBA &&
        (format.image_channel_data_type == CL_HALF_FLOAT || format.image_channel_data_type == CL_FLOAT);
    if (!suitable) return false;
    size_t imageWidth = 0, imageHeight = 0;
    if (clGetImageInfo(image, CL_IMAGE_WIDTH, sizeof imageWidth, &imageWidth, nullptr) != CL_SUCCESS ||
        clGetImageInfo(image, CL_IMAGE_HEIGHT, sizeof imageHeight, &imageHeight, nullptr) != CL_SUCCESS)
        return false;
    return static_cast<std::uint32_t>(imageWidth) == static_cast<std::uint32_t>(width) &&
           static_cast<std::uint32_t>(imageHeight) == static_cast<std::uint32_t>(height);
}

cl_mem PrivateOpenCLProcessor::Upload(const void* host, std::uint32_t layoutCode, std::int32_t width,
                                      std::int32_t height, std::int32_t rowPitch, cl_command_queue queue) {
    if (width <= 0 || height <= 0 || rowPitch < 0) return nullptr;
    const cl_image_format format = layoutCode == TSR_LAYOUT_BP16 ? cl_image_format{CL_R, CL_UNSIGNED_INT16}
                                                                 : cl_image_format{CL_RGBA, CL_UNORM_INT16};
    cl_mem image =
        m_cache->AcquireImage(format, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
    if (!image) return nullptr;
    const size_t origin[3] = {0, 0, 0};
    const size_t region[3] = {static_cast<size_t>(width), static_cast<size_t>(height), 1};
    const cl_int status =
        clEnqueueWriteImage(queue ? queue : m_state->m_queue, image, CL_FALSE, origin, region,
                            static_cast<size_t>(rowPitch), 0, host, 0, nullptr, nullptr);
    if (status != CL_SUCCESS) {
        ReturnImage(image);
        return nullptr;
    }
    return image;
}

int PrivateOpenCLProcessor::Run(cl_mem input, const RawProcessingParameters& parameters,
                                const CurveNodeList& nodes, cl_command_queue queue, cl_mem output) {
    for (const auto& node : nodes) node->CreateKernel(m_imageProcessingProgram);
    const bool finish = queue == nullptr;
    if (!queue) queue = m_state->m_queue;
    if (!m_rawProcessing) return kStatusNoRawProcessing;
    return m_rawProcessing->Process(input, parameters, TuningValue(), nodes, finish, queue, output);
}

void PrivateOpenCLProcessor::ReturnImage(cl_mem image) {
    m_cache->ReleaseImage(image);
}

} // namespace tsr
