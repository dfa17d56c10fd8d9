#include "rawprocessing.h"

#include <vector>

#include "status.h"

namespace tsr {

namespace {

bool ImageFormat(cl_mem image, cl_image_format& format) {
    return image && clGetImageInfo(image, CL_IMAGE_FORMAT, sizeof format, &format, nullptr) == CL_SUCCESS;
}

size_t ImageDimension(cl_mem image, cl_image_info which) {
    size_t value = 0;
    if (!image || clGetImageInfo(image, which, sizeof value, &value, nullptr) != CL_SUCCESS) return 0;
    return value;
}

} // namespace

int EnqueueKernel(cl_context context, cl_kernel kernel, const void* block, std::size_t blockSize,
                  cl_mem input, cl_mem output, const std::size_t globalSize[2], cl_command_queue queue) {
    cl_mem buffer = clCreateBuffer(context, CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR, blockSize,
                                   const_cast<void*>(block), nullptr);
    if (!buffer) return kStatusParameterBufferFailed;
    cl_int status = clSetKernelArg(kernel, 0, sizeof buffer, &buffer);
    if (status == CL_SUCCESS) {
        if (input) {
            status = clSetKernelArg(kernel, 1, sizeof input, &input);
            if (status == CL_SUCCESS) status = clSetKernelArg(kernel, 2, sizeof output, &output);
        } else {
            status = clSetKernelArg(kernel, 1, sizeof output, &output);
        }
    }
    if (status != CL_SUCCESS) {
        clReleaseMemObject(buffer);
        return kStatusKernelArgumentFailed;
    }
    status = clEnqueueNDRangeKernel(queue, kernel, 2, nullptr, globalSize, nullptr, 0, nullptr, nullptr);
    clReleaseMemObject(buffer);
    return status == CL_SUCCESS ? kStatusOk : StatusForCLError(StatusSource::Enqueue, status);
}

OpenCLRawProcessing::OpenCLRawProcessing(cl_context context, cl_device_id device, const ProgramForm& form)
    : m_context(context), m_device(device) {
    if (m_context) clRetainContext(m_context);
    if (m_device) clRetainDevice(m_device);
    CreateProgram(form);
}

OpenCLRawProcessing::~OpenCLRawProcessing() {
    if (m_context) clReleaseContext(m_context);
    if (m_device) clReleaseDevice(m_device);
    for (cl_kernel kernel : {m_demosaic[0], m_demosaic[1], m_demosaic[2], m_fourSample, m_testChart}) {
        if (kernel) clReleaseKernel(kernel);
    }
    for (cl_mem image : m_images) {
        if (image) clReleaseMemObject(image);
    }
}

void OpenCLRawProcessing::CreateProgram(const ProgramForm& form) {
    cl_int error = CL_SUCCESS;
    cl_program program = nullptr;
    if (form.isSource) {
        const char* text = reinterpret_cast<const char*>(form.data);
        program = clCreateProgramWithSource(m_context, 1, &text, &form.length, &error);
    } else {
        const unsigned char* binary = form.data;
        program = clCreateProgramWithBinary(m_context, 1, &m_device, &form.length, &binary, nullptr, &error);
    }
    if (!program || error != CL_SUCCESS) {
        if (program) clReleaseProgram(program);
        m_status = StatusForCLError(StatusSource::Program, error);
        return;
    }
    error = clBuildProgram(program, 1, &m_device, nullptr, nullptr, nullptr);
    if (error != CL_SUCCESS) {
        clReleaseProgram(program);
        m_status = StatusForCLError(StatusSource::Build, error);
        return;
    }
    struct {
        const char* name;
        cl_kernel* field;
    } const kernels[] = {{"RTSRD", &m_fourSample},
                         {"TSRD", &m_testChart},
                         {"RPS_0000", &m_demosaic[0]},
                         {"RPS_0001", &m_demosaic[1]},
                         {"RPS_0002", &m_demosaic[2]}};
    for (const auto& k : kernels) {
        *k.field = clCreateKernel(program, k.name, &error);
        if (!*k.field || error != CL_SUCCESS) break;
    }
    clReleaseProgram(program);
    if (m_fourSample && m_testChart && m_demosaic[0] && m_demosaic[1] && m_demosaic[2])
        m_status = kStatusOk;
    else
        m_status = StatusForCLError(StatusSource::Kernel, error);
}

bool OpenCLRawProcessing::SupportsTwoChannels(cl_channel_type type) {
    int& known = type == CL_FLOAT ? m_twoChannelFloat : m_twoChannelHalf;
    if (known != 0) return known > 0;
    known = -1;
    cl_uint count = 0;
    if (clGetSupportedImageFormats(m_context, CL_MEM_READ_WRITE, CL_MEM_OBJECT_IMAGE2D, 0, nullptr, &count) !=
            CL_SUCCESS ||
        count == 0)
        return false;
    std::vector<cl_image_format> formats(count);
    if (clGetSupportedImageFormats(m_context, CL_MEM_READ_WRITE, CL_MEM_OBJECT_IMAGE2D, count, formats.data(),
                                   nullptr) != CL_SUCCESS)
        return false;
    for (const cl_image_format& format : formats) {
        if (format.image_channel_order == CL_RG && format.image_channel_data_type == type) {
            known = 1;
            break;
        }
    }
    return known > 0;
}

bool OpenCLRawProcessing::PrepareIntermediate(int index, bool needed, cl_channel_order order,
                                              cl_channel_type type, size_t width, size_t height) {
    cl_mem& image = m_images[index];
    if (!needed) {
        if (image) {
            clReleaseMemObject(image);
            image = nullptr;
        }
        return true;
    }
    if (image) {
        cl_image_format format = {};
        const bool current = ImageFormat(image, format) && format.image_channel_data_type == type &&
                             ImageDimension(image, CL_IMAGE_WIDTH) == width &&
                             ImageDimension(image, CL_IMAGE_HEIGHT) == height;
        if (current) return true;
        clReleaseMemObject(image);
        image = nullptr;
    }
    const cl_image_format format = {order, type};
    cl_image_desc descriptor = {};
    descriptor.image_type = CL_MEM_OBJECT_IMAGE2D;
    descriptor.image_width = width;
    descriptor.image_height = height;
    image = clCreateImage(m_context, CL_MEM_READ_WRITE, &format, &descriptor, nullptr, nullptr);
    return image != nullptr;
}

int OpenCLRawProcessing::Process(cl_mem input, const RawProcessingParameters& parameters,
                                 std::int32_t tuningValue, const CurveNodeList& nodes, bool finish,
                                 cl_command_queue queue, cl_mem output) {
    if (m_status != kStatusOk) return m_status;

    cl_image_format inputFormat = {};
    if (!ImageFormat(input, inputFormat)) return kStatusBadOutput;
    bool bayer;
    if (inputFormat.image_channel_order == CL_R && inputFormat.image_channel_data_type == CL_UNSIGNED_INT16)
        bayer = true;
    else if (inputFormat.image_channel_order == CL_RGBA &&
             inputFormat.image_channel_data_type == CL_UNORM_INT16)
        bayer = false;
    else
        return kStatusBadOutput;

    const size_t width = ImageDimension(output, CL_IMAGE_WIDTH);
    const size_t height = ImageDimension(output, CL_IMAGE_HEIGHT);
    if (width == 0 || height == 0 || ImageDimension(input, CL_IMAGE_WIDTH) != width ||
        ImageDimension(input, CL_IMAGE_HEIGHT) != height)
        return kStatusBadOutput;
    cl_image_format outputFormat = {};
    ImageFormat(output, outputFormat);
    const cl_channel_type type = outputFormat.image_channel_data_type;

    const size_t nodeCount = nodes.size();
    // Two-channel images are optional in OpenCL; a four-channel image stands in where they are
    // missing (the kernels only use its first two channels).
    const cl_channel_order greenOrder = SupportsTwoChannels(type) ? CL_RG : CL_RGBA;
    if (!PrepareIntermediate(0, bayer, greenOrder, type, width, height) ||
        !PrepareIntermediate(1, bayer || nodeCount > 1, CL_RGBA, type, width, height) ||
        !PrepareIntermediate(2, nodeCount > 0, CL_RGBA, type, width, height))
        return kStatusIntermediateImageFailed;

    const size_t globalSize[2] = {width, height};
    const FrameQuantities frame = DeriveFrameQuantities(parameters);
    const cl_mem rawDestination = nodeCount > 0 ? m_images[2] : output;

    int result;
    if (bayer) {
        const CLRPPS0 green = MakeDemosaicGreenBlock(parameters, frame);
        result = EnqueueKernel(m_context, m_demosaic[0], &green, sizeof green, input, m_images[0], globalSize,
                               queue);
        if (result == kStatusOk) {
            const CLRPPS1 colour = MakeDemosaicColourBlock(parameters, frame);
            result = EnqueueKernel(m_context, m_demosaic[1], &colour, sizeof colour, m_images[0], m_images[1],
                                   globalSize, queue);
        }
        if (result == kStatusOk) {
            const CLRPPS2 conversion = MakeConversionBlock(parameters, frame);
            result = EnqueueKernel(m_context, m_demosaic[2], &conversion, sizeof conversion, m_images[1],
                                   rawDestination, globalSize, queue);
        }
    } else {
        const CLRPTSRD fourSample = MakeFourSampleBlock(parameters, frame);
        result = EnqueueKernel(m_context, m_fourSample, &fourSample, sizeof fourSample, input, rawDestination,
                               globalSize, queue);
    }
    if (result == kStatusOk && DrawsTestChart(tuningValue)) {
        const CLRPPD chart = MakeTestChartBlock(parameters, static_cast<std::uint32_t>(width),
                                                static_cast<std::uint32_t>(height), tuningValue);
        result = EnqueueKernel(m_context, m_testChart, &chart, sizeof chart, nullptr, rawDestination,
                               globalSize, queue);
    }
    if (result != kStatusOk) return result;

    for (size_t i = 0; i < nodeCount; ++i) {
        const ImageProcessingNode<1>& node = *nodes[i];
        if (!node.Kernel()) return kStatusNoCurveKernel;
        const cl_mem source = i % 2 == 0 ? m_images[2] : m_images[1];
        const cl_mem destination = i + 1 == nodeCount ? output : (i % 2 == 0 ? m_images[1] : m_images[2]);
        result = EnqueueKernel(m_context, node.Kernel(), node.ParameterBlock(), node.ParameterBlockSize(),
                               source, destination, globalSize, queue);
        if (result != kStatusOk) return result;
    }

    if (finish) return clFinish(queue) == CL_SUCCESS ? kStatusOk : kStatusFinishFailed;
    return clFlush(queue) == CL_SUCCESS ? kStatusOk : kStatusFlushFailed;
}

} // namespace tsr
