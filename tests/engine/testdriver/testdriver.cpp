// A small OpenCL driver for the ICD loader, for device-selection and program-failure cases and
// for counting OpenCL objects. See testdriver.h. Not thread-safe: the engine tests call it from
// one thread.
#define CL_TARGET_OPENCL_VERSION 120
#include <CL/cl_icd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "testdriver.h"

namespace {

_cl_icd_dispatch g_dispatch;

} // namespace

// Every object starts with the loader's dispatch pointer, as the ICD loader requires.

struct _cl_platform_id {
    const _cl_icd_dispatch* dispatch;
    int index;
};
struct _cl_device_id {
    const _cl_icd_dispatch* dispatch;
    TsrDriverDevice description;
    cl_platform_id platform;
};
struct _cl_context {
    const _cl_icd_dispatch* dispatch;
    int references = 1;
    std::vector<cl_device_id> devices;
};
struct _cl_command_queue {
    const _cl_icd_dispatch* dispatch;
    int references = 1;
    cl_context context;
    cl_device_id device;
};
struct _cl_mem {
    const _cl_icd_dispatch* dispatch;
    int references = 1;
    cl_context context;
    bool image;
    cl_image_format format;
    size_t width, height, size;
};
struct _cl_program {
    const _cl_icd_dispatch* dispatch;
    int references = 1;
    cl_context context;
    std::string name;
    cl_int buildError;
    std::vector<std::string> kernels;
    bool built = false;
};
struct _cl_kernel {
    const _cl_icd_dispatch* dispatch;
    int references = 1;
    cl_program program;
    std::string name;
    cl_uint arguments;
};

namespace {

_cl_platform_id g_platforms[TSR_DRIVER_PLATFORMS];
_cl_device_id g_devices[TSR_DRIVER_PLATFORMS][TSR_DRIVER_DEVICES];
int g_deviceCounts[TSR_DRIVER_PLATFORMS];
cl_int g_bitcodeBuild = CL_SUCCESS;
cl_int g_sourceBuild = CL_SUCCESS;
int g_failContextDevices = 0;
int g_twoChannelImages = 0;
TsrDriverCounts g_counts;
std::string g_programLog;

template <typename T> T* Make() {
    T* object = new T();
    object->dispatch = &g_dispatch;
    ++g_counts.liveObjects;
    return object;
}

template <typename T> bool Free(T* object) {
    if (--object->references > 0) return false;
    --g_counts.liveObjects;
    delete object;
    return true;
}

template <typename T> cl_int Answer(const T& value, size_t size, void* out, size_t* sizeOut) {
    if (sizeOut) *sizeOut = sizeof value;
    if (out) {
        if (size < sizeof value) return CL_INVALID_VALUE;
        std::memcpy(out, &value, sizeof value);
    }
    return CL_SUCCESS;
}

cl_int AnswerText(const char* text, size_t size, void* out, size_t* sizeOut) {
    const size_t length = std::strlen(text) + 1;
    if (sizeOut) *sizeOut = length;
    if (out) {
        if (size < length) return CL_INVALID_VALUE;
        std::memcpy(out, text, length);
    }
    return CL_SUCCESS;
}

// --- platforms and devices

cl_int CL_API_CALL GetPlatformInfo(cl_platform_id platform, cl_platform_info name, size_t size, void* out,
                                   size_t* sizeOut) {
    if (!platform) return CL_INVALID_PLATFORM;
    switch (name) {
    case CL_PLATFORM_ICD_SUFFIX_KHR:
        return AnswerText("TSRTEST", size, out, sizeOut);
    case CL_PLATFORM_NAME:
        return AnswerText("Tessel test driver", size, out, sizeOut);
    case CL_PLATFORM_VENDOR:
        return AnswerText("Tessel", size, out, sizeOut);
    case CL_PLATFORM_VERSION:
        return AnswerText("OpenCL 1.2 test", size, out, sizeOut);
    case CL_PLATFORM_PROFILE:
        return AnswerText("FULL_PROFILE", size, out, sizeOut);
    case CL_PLATFORM_EXTENSIONS:
        return AnswerText("cl_khr_icd", size, out, sizeOut);
    default:
        return CL_INVALID_VALUE;
    }
}

cl_int CL_API_CALL GetDeviceIDs(cl_platform_id platform, cl_device_type type, cl_uint entries,
                                cl_device_id* devices, cl_uint* count) {
    if (!platform) return CL_INVALID_PLATFORM;
    const int p = platform->index;
    cl_uint found = 0;
    for (int i = 0; i < g_deviceCounts[p]; ++i) {
        if ((g_devices[p][i].description.type & type) == 0) continue;
        if (devices && found < entries) devices[found] = &g_devices[p][i];
        ++found;
    }
    if (count) *count = found;
    return found == 0 ? CL_DEVICE_NOT_FOUND : CL_SUCCESS;
}

cl_int CL_API_CALL GetDeviceInfo(cl_device_id device, cl_device_info name, size_t size, void* out,
                                 size_t* sizeOut) {
    if (!device) return CL_INVALID_DEVICE;
    const TsrDriverDevice& description = device->description;
    switch (name) {
    case CL_DEVICE_TYPE:
        return description.failTypeQuery ? CL_INVALID_VALUE : Answer(description.type, size, out, sizeOut);
    case CL_DEVICE_VENDOR_ID:
        return description.failVendorQuery ? CL_INVALID_VALUE
                                           : Answer(description.vendor, size, out, sizeOut);
    case CL_DEVICE_AVAILABLE:
        return Answer(cl_bool(CL_TRUE), size, out, sizeOut);
    case CL_DEVICE_HOST_UNIFIED_MEMORY:
        return Answer(description.unifiedMemory, size, out, sizeOut);
    case CL_DEVICE_ADDRESS_BITS:
        return description.failAddressQuery ? CL_INVALID_VALUE
                                            : Answer(description.addressBits, size, out, sizeOut);
    case CL_DEVICE_PLATFORM:
        return Answer(device->platform, size, out, sizeOut);
    default:
        return CL_INVALID_VALUE;
    }
}

cl_int CL_API_CALL RetainDevice(cl_device_id) {
    ++g_counts.deviceRetains;
    return CL_SUCCESS;
}

cl_int CL_API_CALL ReleaseDevice(cl_device_id) {
    --g_counts.deviceRetains;
    return CL_SUCCESS;
}

// --- contexts and queues

cl_context CL_API_CALL CreateContext(const cl_context_properties*, cl_uint count, const cl_device_id* devices,
                                     void(CL_CALLBACK*)(const char*, const void*, size_t, void*), void*,
                                     cl_int* error) {
    if (!devices || count == 0) {
        if (error) *error = CL_INVALID_VALUE;
        return nullptr;
    }
    cl_context context = Make<_cl_context>();
    context->devices.assign(devices, devices + count);
    if (error) *error = CL_SUCCESS;
    return context;
}

cl_int CL_API_CALL RetainContext(cl_context context) {
    if (!context) return CL_INVALID_CONTEXT;
    ++context->references;
    return CL_SUCCESS;
}

cl_int CL_API_CALL ReleaseContext(cl_context context) {
    if (!context) return CL_INVALID_CONTEXT;
    Free(context);
    return CL_SUCCESS;
}

cl_int CL_API_CALL GetContextInfo(cl_context context, cl_context_info name, size_t size, void* out,
                                  size_t* sizeOut) {
    if (!context) return CL_INVALID_CONTEXT;
    if (name == CL_CONTEXT_DEVICES) {
        if (g_failContextDevices) return CL_OUT_OF_RESOURCES;
        const size_t bytes = context->devices.size() * sizeof(cl_device_id);
        if (sizeOut) *sizeOut = bytes;
        if (out) {
            if (size < bytes) return CL_INVALID_VALUE;
            std::memcpy(out, context->devices.data(), bytes);
        }
        return CL_SUCCESS;
    }
    if (name == CL_CONTEXT_REFERENCE_COUNT) return Answer(cl_uint(context->references), size, out, sizeOut);
    return CL_INVALID_VALUE;
}

cl_command_queue CL_API_CALL CreateCommandQueue(cl_context context, cl_device_id device,
                                                cl_command_queue_properties, cl_int* error) {
    if (!context || !device) {
        if (error) *error = context ? CL_INVALID_DEVICE : CL_INVALID_CONTEXT;
        return nullptr;
    }
    cl_command_queue queue = Make<_cl_command_queue>();
    queue->context = context;
    queue->device = device;
    ++context->references;
    if (error) *error = CL_SUCCESS;
    return queue;
}

cl_int CL_API_CALL RetainCommandQueue(cl_command_queue queue) {
    if (!queue) return CL_INVALID_COMMAND_QUEUE;
    ++queue->references;
    return CL_SUCCESS;
}

cl_int CL_API_CALL ReleaseCommandQueue(cl_command_queue queue) {
    if (!queue) return CL_INVALID_COMMAND_QUEUE;
    cl_context context = queue->context;
    if (Free(queue)) Free(context);
    return CL_SUCCESS;
}

cl_int CL_API_CALL GetCommandQueueInfo(cl_command_queue queue, cl_command_queue_info name, size_t size,
                                       void* out, size_t* sizeOut) {
    if (!queue) return CL_INVALID_COMMAND_QUEUE;
    switch (name) {
    case CL_QUEUE_CONTEXT:
        return Answer(queue->context, size, out, sizeOut);
    case CL_QUEUE_DEVICE:
        return Answer(queue->device, size, out, sizeOut);
    case CL_QUEUE_REFERENCE_COUNT:
        return Answer(cl_uint(queue->references), size, out, sizeOut);
    default:
        return CL_INVALID_VALUE;
    }
}

cl_int CL_API_CALL FinishOrFlush(cl_command_queue queue) {
    return queue ? CL_SUCCESS : CL_INVALID_COMMAND_QUEUE;
}

// --- memory objects

cl_mem MakeMemory(cl_context context, bool image, size_t size) {
    cl_mem memory = Make<_cl_mem>();
    memory->context = context;
    memory->image = image;
    memory->size = size;
    ++context->references;
    return memory;
}

cl_mem CL_API_CALL CreateBuffer(cl_context context, cl_mem_flags, size_t size, void*, cl_int* error) {
    cl_int status = !context ? CL_INVALID_CONTEXT : (size == 0 ? CL_INVALID_BUFFER_SIZE : CL_SUCCESS);
    if (error) *error = status;
    if (status != CL_SUCCESS) return nullptr;
    ++g_counts.buffersCreated;
    return MakeMemory(context, false, size);
}

bool SupportedFormat(const cl_image_format& f) {
    const bool rg = f.image_channel_order == CL_RG &&
                    (f.image_channel_data_type == CL_HALF_FLOAT || f.image_channel_data_type == CL_FLOAT);
    return (f.image_channel_order == CL_R && f.image_channel_data_type == CL_UNSIGNED_INT16) ||
           (f.image_channel_order == CL_RGBA &&
            (f.image_channel_data_type == CL_UNORM_INT16 || f.image_channel_data_type == CL_HALF_FLOAT ||
             f.image_channel_data_type == CL_FLOAT)) ||
           (rg && g_twoChannelImages);
}

cl_mem CL_API_CALL CreateImage(cl_context context, cl_mem_flags, const cl_image_format* format,
                               const cl_image_desc* descriptor, void*, cl_int* error) {
    cl_int status = CL_SUCCESS;
    if (!context)
        status = CL_INVALID_CONTEXT;
    else if (!format || !SupportedFormat(*format))
        status = CL_IMAGE_FORMAT_NOT_SUPPORTED;
    else if (!descriptor || descriptor->image_width == 0 || descriptor->image_height == 0 ||
             descriptor->image_width > 16384 || descriptor->image_height > 16384)
        status = CL_INVALID_IMAGE_SIZE;
    if (error) *error = status;
    if (status != CL_SUCCESS) return nullptr;
    ++g_counts.imagesCreated;
    cl_mem image = MakeMemory(context, true, 0);
    image->format = *format;
    image->width = descriptor->image_width;
    image->height = descriptor->image_height;
    return image;
}

cl_int CL_API_CALL RetainMemObject(cl_mem memory) {
    if (!memory) return CL_INVALID_MEM_OBJECT;
    ++memory->references;
    return CL_SUCCESS;
}

cl_int CL_API_CALL ReleaseMemObject(cl_mem memory) {
    if (!memory) return CL_INVALID_MEM_OBJECT;
    cl_context context = memory->context;
    if (Free(memory)) Free(context);
    return CL_SUCCESS;
}

cl_int CL_API_CALL GetSupportedImageFormats(cl_context context, cl_mem_flags, cl_mem_object_type,
                                            cl_uint entries, cl_image_format* formats, cl_uint* count) {
    if (!context) return CL_INVALID_CONTEXT;
    const cl_image_format all[] = {{CL_R, CL_UNSIGNED_INT16}, {CL_RGBA, CL_UNORM_INT16},
                                   {CL_RGBA, CL_HALF_FLOAT},  {CL_RGBA, CL_FLOAT},
                                   {CL_RG, CL_HALF_FLOAT},    {CL_RG, CL_FLOAT}};
    cl_uint found = 0;
    for (const cl_image_format& f : all) {
        if (!SupportedFormat(f)) continue;
        if (formats && found < entries) formats[found] = f;
        ++found;
    }
    if (count) *count = found;
    return CL_SUCCESS;
}

cl_int CL_API_CALL GetImageInfo(cl_mem image, cl_image_info name, size_t size, void* out, size_t* sizeOut) {
    if (!image || !image->image) return CL_INVALID_MEM_OBJECT;
    switch (name) {
    case CL_IMAGE_FORMAT:
        return Answer(image->format, size, out, sizeOut);
    case CL_IMAGE_WIDTH:
        return Answer(image->width, size, out, sizeOut);
    case CL_IMAGE_HEIGHT:
        return Answer(image->height, size, out, sizeOut);
    default:
        return CL_INVALID_VALUE;
    }
}

cl_int CL_API_CALL GetMemObjectInfo(cl_mem memory, cl_mem_info name, size_t size, void* out,
                                    size_t* sizeOut) {
    if (!memory) return CL_INVALID_MEM_OBJECT;
    if (name == CL_MEM_REFERENCE_COUNT) return Answer(cl_uint(memory->references), size, out, sizeOut);
    return CL_INVALID_VALUE;
}

cl_int CL_API_CALL EnqueueImageTransfer(cl_command_queue queue, cl_mem image, cl_bool, const size_t*,
                                        const size_t*, size_t, size_t, const void*, cl_uint, const cl_event*,
                                        cl_event*) {
    if (!queue) return CL_INVALID_COMMAND_QUEUE;
    if (!image || !image->image) return CL_INVALID_MEM_OBJECT;
    return image->context == queue->context ? CL_SUCCESS : CL_INVALID_CONTEXT;
}

cl_int CL_API_CALL EnqueueReadImage(cl_command_queue queue, cl_mem image, cl_bool blocking,
                                    const size_t* origin, const size_t* region, size_t rowPitch,
                                    size_t slicePitch, void* host, cl_uint waits, const cl_event* waitList,
                                    cl_event* event) {
    return EnqueueImageTransfer(queue, image, blocking, origin, region, rowPitch, slicePitch, host, waits,
                                waitList, event);
}

// --- programs and kernels

const char* const kRawKernels[] = {"RTSRD", "TSRD", "RPS_0000", "RPS_0001", "RPS_0002"};

cl_program MakeProgram(cl_context context, const std::string& content, cl_int* error) {
    cl_program program = nullptr;
    cl_int status = CL_SUCCESS;
    std::string name;
    cl_int buildError = CL_SUCCESS;
    std::vector<std::string> kernels(std::begin(kRawKernels), std::end(kRawKernels));
    if (content.compare(0, 4, "BC\xC0\xDE") == 0) {
        name = "bitcode";
        buildError = g_bitcodeBuild;
    } else if (content.compare(0, 5, "form ") == 0) {
        size_t position = 5;
        const size_t end = content.find(' ', position);
        name = content.substr(position, end == std::string::npos ? std::string::npos : end - position);
        for (size_t at = end; at != std::string::npos && at < content.size();) {
            const size_t next = content.find(' ', at + 1);
            const std::string token =
                content.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
            at = next;
            if (token.compare(0, 7, "create=") == 0)
                status = std::stoi(token.substr(7));
            else if (token.compare(0, 6, "build=") == 0)
                buildError = std::stoi(token.substr(6));
            else if (token.compare(0, 8, "kernels=") == 0) {
                kernels.clear();
                std::string list = token.substr(8);
                for (size_t start = 0; start <= list.size();) {
                    const size_t comma = list.find(',', start);
                    const std::string kernel =
                        list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
                    if (!kernel.empty()) kernels.push_back(kernel);
                    if (comma == std::string::npos) break;
                    start = comma + 1;
                }
            }
        }
    } else if (content.find("__kernel") != std::string::npos) {
        name = "source";
        buildError = g_sourceBuild;
        kernels.clear();
        // Kernel names of the text: each word after "__kernel void".
        for (size_t at = content.find("__kernel void "); at != std::string::npos;
             at = content.find("__kernel void ", at + 1)) {
            const size_t start = at + 14;
            const size_t end = content.find('(', start);
            kernels.push_back(content.substr(start, end - start));
        }
    } else {
        name = "unknown";
        status = CL_INVALID_BINARY;
    }
    g_programLog += (g_programLog.empty() ? "" : " ") + name;
    if (status == CL_SUCCESS) {
        program = Make<_cl_program>();
        program->context = context;
        program->name = name;
        program->buildError = buildError;
        program->kernels = kernels;
        ++context->references;
    }
    if (error) *error = status;
    return program;
}

cl_program CL_API_CALL CreateProgramWithSource(cl_context context, cl_uint count, const char** strings,
                                               const size_t* lengths, cl_int* error) {
    if (!context || count != 1 || !strings) {
        if (error) *error = context ? CL_INVALID_VALUE : CL_INVALID_CONTEXT;
        return nullptr;
    }
    const std::string content =
        lengths && lengths[0] ? std::string(strings[0], lengths[0]) : std::string(strings[0]);
    return MakeProgram(context, content, error);
}

cl_program CL_API_CALL CreateProgramWithBinary(cl_context context, cl_uint count, const cl_device_id*,
                                               const size_t* lengths, const unsigned char** binaries, cl_int*,
                                               cl_int* error) {
    if (!context || count != 1 || !binaries || !lengths || lengths[0] == 0) {
        if (error) *error = context ? CL_INVALID_VALUE : CL_INVALID_CONTEXT;
        return nullptr;
    }
    return MakeProgram(context, std::string(reinterpret_cast<const char*>(binaries[0]), lengths[0]), error);
}

cl_int CL_API_CALL RetainProgram(cl_program program) {
    if (!program) return CL_INVALID_PROGRAM;
    ++program->references;
    return CL_SUCCESS;
}

cl_int CL_API_CALL ReleaseProgram(cl_program program) {
    if (!program) return CL_INVALID_PROGRAM;
    cl_context context = program->context;
    if (Free(program)) Free(context);
    return CL_SUCCESS;
}

cl_int CL_API_CALL BuildProgram(cl_program program, cl_uint, const cl_device_id*, const char*,
                                void(CL_CALLBACK*)(cl_program, void*), void*) {
    if (!program) return CL_INVALID_PROGRAM;
    if (program->buildError != CL_SUCCESS) return program->buildError;
    program->built = true;
    return CL_SUCCESS;
}

cl_kernel CL_API_CALL CreateKernel(cl_program program, const char* name, cl_int* error) {
    cl_int status = CL_SUCCESS;
    if (!program)
        status = CL_INVALID_PROGRAM;
    else if (!program->built)
        status = CL_INVALID_PROGRAM_EXECUTABLE;
    else if (!name)
        status = CL_INVALID_VALUE;
    else if (std::find(program->kernels.begin(), program->kernels.end(), name) == program->kernels.end())
        status = CL_INVALID_KERNEL_NAME;
    if (error) *error = status;
    if (status != CL_SUCCESS) return nullptr;
    cl_kernel kernel = Make<_cl_kernel>();
    kernel->program = program;
    kernel->name = name;
    kernel->arguments = std::strcmp(name, "TSRD") == 0 ? 2 : 3;
    ++program->references;
    return kernel;
}

cl_int CL_API_CALL RetainKernel(cl_kernel kernel) {
    if (!kernel) return CL_INVALID_KERNEL;
    ++kernel->references;
    return CL_SUCCESS;
}

cl_int CL_API_CALL ReleaseKernel(cl_kernel kernel) {
    if (!kernel) return CL_INVALID_KERNEL;
    cl_program program = kernel->program;
    if (Free(kernel)) ReleaseProgram(program);
    return CL_SUCCESS;
}

cl_int CL_API_CALL SetKernelArg(cl_kernel kernel, cl_uint index, size_t size, const void* value) {
    if (!kernel) return CL_INVALID_KERNEL;
    if (index >= kernel->arguments) return CL_INVALID_ARG_INDEX;
    if (size != sizeof(cl_mem) || !value) return CL_INVALID_ARG_SIZE;
    return CL_SUCCESS;
}

cl_int CL_API_CALL EnqueueNDRangeKernel(cl_command_queue queue, cl_kernel kernel, cl_uint dimensions,
                                        const size_t*, const size_t* global, const size_t*, cl_uint,
                                        const cl_event*, cl_event*) {
    if (!queue) return CL_INVALID_COMMAND_QUEUE;
    if (!kernel) return CL_INVALID_KERNEL;
    if (dimensions != 2 || !global) return CL_INVALID_WORK_DIMENSION;
    ++g_counts.kernelsEnqueued;
    return CL_SUCCESS;
}

void* CL_API_CALL GetExtensionFunctionAddressForPlatform(cl_platform_id, const char*) {
    return nullptr;
}

void FillDispatch() {
    _cl_icd_dispatch& d = g_dispatch;
    d.clGetPlatformInfo = GetPlatformInfo;
    d.clGetDeviceIDs = GetDeviceIDs;
    d.clGetDeviceInfo = GetDeviceInfo;
    d.clRetainDevice = RetainDevice;
    d.clReleaseDevice = ReleaseDevice;
    d.clCreateContext = CreateContext;
    d.clRetainContext = RetainContext;
    d.clReleaseContext = ReleaseContext;
    d.clGetContextInfo = GetContextInfo;
    d.clCreateCommandQueue = CreateCommandQueue;
    d.clRetainCommandQueue = RetainCommandQueue;
    d.clReleaseCommandQueue = ReleaseCommandQueue;
    d.clGetCommandQueueInfo = GetCommandQueueInfo;
    d.clFinish = FinishOrFlush;
    d.clFlush = FinishOrFlush;
    d.clCreateBuffer = CreateBuffer;
    d.clCreateImage = CreateImage;
    d.clRetainMemObject = RetainMemObject;
    d.clReleaseMemObject = ReleaseMemObject;
    d.clGetSupportedImageFormats = GetSupportedImageFormats;
    d.clGetImageInfo = GetImageInfo;
    d.clGetMemObjectInfo = GetMemObjectInfo;
    d.clEnqueueWriteImage = EnqueueImageTransfer;
    d.clEnqueueReadImage = EnqueueReadImage;
    d.clCreateProgramWithSource = CreateProgramWithSource;
    d.clCreateProgramWithBinary = CreateProgramWithBinary;
    d.clRetainProgram = RetainProgram;
    d.clReleaseProgram = ReleaseProgram;
    d.clBuildProgram = BuildProgram;
    d.clCreateKernel = CreateKernel;
    d.clRetainKernel = RetainKernel;
    d.clReleaseKernel = ReleaseKernel;
    d.clSetKernelArg = SetKernelArg;
    d.clEnqueueNDRangeKernel = EnqueueNDRangeKernel;
    d.clGetExtensionFunctionAddressForPlatform = GetExtensionFunctionAddressForPlatform;
}

void Initialise() {
    static bool done = false;
    if (done) return;
    done = true;
    FillDispatch();
    for (int p = 0; p < TSR_DRIVER_PLATFORMS; ++p) {
        g_platforms[p] = {&g_dispatch, p};
        for (int i = 0; i < TSR_DRIVER_DEVICES; ++i)
            g_devices[p][i] = {&g_dispatch, TsrDriverDevice{}, &g_platforms[p]};
    }
}

cl_int CL_API_CALL IcdGetPlatformIDs(cl_uint entries, cl_platform_id* platforms, cl_uint* count) {
    Initialise();
    if (count) *count = TSR_DRIVER_PLATFORMS;
    for (cl_uint i = 0; platforms && i < entries && i < TSR_DRIVER_PLATFORMS; ++i)
        platforms[i] = &g_platforms[i];
    return CL_SUCCESS;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) void* clGetExtensionFunctionAddress(const char* name) {
    if (!name) return nullptr;
    if (std::strcmp(name, "clIcdGetPlatformIDsKHR") == 0) return reinterpret_cast<void*>(&IcdGetPlatformIDs);
    // The loader asks for this one to read each platform's function suffix.
    if (std::strcmp(name, "clGetPlatformInfo") == 0) return reinterpret_cast<void*>(&GetPlatformInfo);
    return nullptr;
}

__attribute__((visibility("default"))) cl_int
clIcdGetPlatformIDsKHR(cl_uint entries, cl_platform_id* platforms, cl_uint* count) {
    return IcdGetPlatformIDs(entries, platforms, count);
}

__attribute__((visibility("default"))) void tsrDriverReset(void) {
    Initialise();
    std::fill(std::begin(g_deviceCounts), std::end(g_deviceCounts), 0);
    g_bitcodeBuild = CL_SUCCESS;
    g_sourceBuild = CL_SUCCESS;
    g_failContextDevices = 0;
    g_twoChannelImages = 0;
    g_programLog.clear();
    const long live = g_counts.liveObjects;
    const long retains = g_counts.deviceRetains;
    g_counts = TsrDriverCounts{};
    g_counts.liveObjects = live; // objects outlive a reset; tests compare before and after
    g_counts.deviceRetains = retains;
}

__attribute__((visibility("default"))) void tsrDriverSetDevices(int platform, int count,
                                                                const TsrDriverDevice* devices) {
    Initialise();
    if (platform < 0 || platform >= TSR_DRIVER_PLATFORMS) return;
    count = std::max(0, std::min(count, TSR_DRIVER_DEVICES));
    g_deviceCounts[platform] = count;
    for (int i = 0; i < count; ++i) g_devices[platform][i].description = devices[i];
}

__attribute__((visibility("default"))) void tsrDriverSetBuiltinForms(cl_int bitcodeBuild,
                                                                     cl_int sourceBuild) {
    g_bitcodeBuild = bitcodeBuild;
    g_sourceBuild = sourceBuild;
}

__attribute__((visibility("default"))) void tsrDriverSetFailures(int contextDevicesQuery,
                                                                 int twoChannelImages) {
    g_failContextDevices = contextDevicesQuery;
    g_twoChannelImages = twoChannelImages;
}

__attribute__((visibility("default"))) TsrDriverCounts tsrDriverGetCounts(void) {
    return g_counts;
}

__attribute__((visibility("default"))) const char* tsrDriverProgramLog(void) {
    return g_programLog.c_str();
}

} // extern "C"
