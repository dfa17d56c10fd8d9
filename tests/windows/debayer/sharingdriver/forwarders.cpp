// Plain forwarders to the real OpenCL for every entry point the sharing driver does not change.
#include "realopencl.h"

extern "C" {

CL_API_ENTRY cl_int CL_API_CALL clBuildProgram(cl_program a, cl_uint b, const cl_device_id* c, const char* d,
                                               void(CL_CALLBACK* e)(cl_program, void*), void* f) {
    static const auto real = RealEntry<decltype(&clBuildProgram)>("clBuildProgram");
    return real(a, b, c, d, e, f);
}

CL_API_ENTRY cl_mem CL_API_CALL clCreateBuffer(cl_context a, cl_mem_flags b, size_t c, void* d, cl_int* e) {
    static const auto real = RealEntry<decltype(&clCreateBuffer)>("clCreateBuffer");
    return real(a, b, c, d, e);
}

CL_API_ENTRY cl_command_queue CL_API_CALL clCreateCommandQueue(cl_context a, cl_device_id b,
                                                               cl_command_queue_properties c, cl_int* d) {
    static const auto real = RealEntry<decltype(&clCreateCommandQueue)>("clCreateCommandQueue");
    return real(a, b, c, d);
}

CL_API_ENTRY cl_mem CL_API_CALL clCreateImage(cl_context a, cl_mem_flags b, const cl_image_format* c,
                                              const cl_image_desc* d, void* e, cl_int* f) {
    static const auto real = RealEntry<decltype(&clCreateImage)>("clCreateImage");
    return real(a, b, c, d, e, f);
}

CL_API_ENTRY cl_kernel CL_API_CALL clCreateKernel(cl_program a, const char* b, cl_int* c) {
    static const auto real = RealEntry<decltype(&clCreateKernel)>("clCreateKernel");
    return real(a, b, c);
}

CL_API_ENTRY cl_program CL_API_CALL clCreateProgramWithBinary(cl_context a, cl_uint b, const cl_device_id* c,
                                                              const size_t* d, const unsigned char** e,
                                                              cl_int* f, cl_int* g) {
    static const auto real = RealEntry<decltype(&clCreateProgramWithBinary)>("clCreateProgramWithBinary");
    return real(a, b, c, d, e, f, g);
}

CL_API_ENTRY cl_program CL_API_CALL clCreateProgramWithSource(cl_context a, cl_uint b, const char** c,
                                                              const size_t* d, cl_int* e) {
    static const auto real = RealEntry<decltype(&clCreateProgramWithSource)>("clCreateProgramWithSource");
    return real(a, b, c, d, e);
}

CL_API_ENTRY cl_int CL_API_CALL clEnqueueNDRangeKernel(cl_command_queue a, cl_kernel b, cl_uint c,
                                                       const size_t* d, const size_t* e, const size_t* f,
                                                       cl_uint g, const cl_event* h, cl_event* i) {
    static const auto real = RealEntry<decltype(&clEnqueueNDRangeKernel)>("clEnqueueNDRangeKernel");
    return real(a, b, c, d, e, f, g, h, i);
}

CL_API_ENTRY cl_int CL_API_CALL clEnqueueReadImage(cl_command_queue a, cl_mem b, cl_bool c, const size_t* d,
                                                   const size_t* e, size_t f, size_t g, void* h, cl_uint i,
                                                   const cl_event* j, cl_event* k) {
    static const auto real = RealEntry<decltype(&clEnqueueReadImage)>("clEnqueueReadImage");
    return real(a, b, c, d, e, f, g, h, i, j, k);
}

CL_API_ENTRY cl_int CL_API_CALL clEnqueueWriteImage(cl_command_queue a, cl_mem b, cl_bool c, const size_t* d,
                                                    const size_t* e, size_t f, size_t g, const void* h,
                                                    cl_uint i, const cl_event* j, cl_event* k) {
    static const auto real = RealEntry<decltype(&clEnqueueWriteImage)>("clEnqueueWriteImage");
    return real(a, b, c, d, e, f, g, h, i, j, k);
}

CL_API_ENTRY cl_int CL_API_CALL clFinish(cl_command_queue a) {
    static const auto real = RealEntry<decltype(&clFinish)>("clFinish");
    return real(a);
}

CL_API_ENTRY cl_int CL_API_CALL clFlush(cl_command_queue a) {
    static const auto real = RealEntry<decltype(&clFlush)>("clFlush");
    return real(a);
}

CL_API_ENTRY cl_int CL_API_CALL clGetCommandQueueInfo(cl_command_queue a, cl_command_queue_info b, size_t c,
                                                      void* d, size_t* e) {
    static const auto real = RealEntry<decltype(&clGetCommandQueueInfo)>("clGetCommandQueueInfo");
    return real(a, b, c, d, e);
}

CL_API_ENTRY cl_int CL_API_CALL clGetContextInfo(cl_context a, cl_context_info b, size_t c, void* d,
                                                 size_t* e) {
    static const auto real = RealEntry<decltype(&clGetContextInfo)>("clGetContextInfo");
    return real(a, b, c, d, e);
}

CL_API_ENTRY cl_int CL_API_CALL clGetImageInfo(cl_mem a, cl_image_info b, size_t c, void* d, size_t* e) {
    static const auto real = RealEntry<decltype(&clGetImageInfo)>("clGetImageInfo");
    return real(a, b, c, d, e);
}

CL_API_ENTRY cl_int CL_API_CALL clGetMemObjectInfo(cl_mem a, cl_mem_info b, size_t c, void* d, size_t* e) {
    static const auto real = RealEntry<decltype(&clGetMemObjectInfo)>("clGetMemObjectInfo");
    return real(a, b, c, d, e);
}

CL_API_ENTRY cl_int CL_API_CALL clGetPlatformIDs(cl_uint a, cl_platform_id* b, cl_uint* c) {
    static const auto real = RealEntry<decltype(&clGetPlatformIDs)>("clGetPlatformIDs");
    return real(a, b, c);
}

CL_API_ENTRY cl_int CL_API_CALL clGetSupportedImageFormats(cl_context a, cl_mem_flags b, cl_mem_object_type c,
                                                           cl_uint d, cl_image_format* e, cl_uint* f) {
    static const auto real = RealEntry<decltype(&clGetSupportedImageFormats)>("clGetSupportedImageFormats");
    return real(a, b, c, d, e, f);
}

CL_API_ENTRY cl_int CL_API_CALL clGetProgramBuildInfo(cl_program a, cl_device_id b, cl_program_build_info c,
                                                      size_t d, void* e, size_t* f) {
    static const auto real = RealEntry<decltype(&clGetProgramBuildInfo)>("clGetProgramBuildInfo");
    return real(a, b, c, d, e, f);
}

CL_API_ENTRY cl_int CL_API_CALL clGetProgramInfo(cl_program a, cl_program_info b, size_t c, void* d,
                                                 size_t* e) {
    static const auto real = RealEntry<decltype(&clGetProgramInfo)>("clGetProgramInfo");
    return real(a, b, c, d, e);
}

CL_API_ENTRY cl_int CL_API_CALL clGetKernelInfo(cl_kernel a, cl_kernel_info b, size_t c, void* d, size_t* e) {
    static const auto real = RealEntry<decltype(&clGetKernelInfo)>("clGetKernelInfo");
    return real(a, b, c, d, e);
}

CL_API_ENTRY cl_int CL_API_CALL clGetKernelArgInfo(cl_kernel a, cl_uint b, cl_kernel_arg_info c, size_t d,
                                                   void* e, size_t* f) {
    static const auto real = RealEntry<decltype(&clGetKernelArgInfo)>("clGetKernelArgInfo");
    return real(a, b, c, d, e, f);
}

CL_API_ENTRY cl_int CL_API_CALL clReleaseCommandQueue(cl_command_queue a) {
    static const auto real = RealEntry<decltype(&clReleaseCommandQueue)>("clReleaseCommandQueue");
    return real(a);
}

CL_API_ENTRY cl_int CL_API_CALL clReleaseContext(cl_context a) {
    static const auto real = RealEntry<decltype(&clReleaseContext)>("clReleaseContext");
    return real(a);
}

CL_API_ENTRY cl_int CL_API_CALL clReleaseDevice(cl_device_id a) {
    static const auto real = RealEntry<decltype(&clReleaseDevice)>("clReleaseDevice");
    return real(a);
}

CL_API_ENTRY cl_int CL_API_CALL clReleaseKernel(cl_kernel a) {
    static const auto real = RealEntry<decltype(&clReleaseKernel)>("clReleaseKernel");
    return real(a);
}

CL_API_ENTRY cl_int CL_API_CALL clReleaseProgram(cl_program a) {
    static const auto real = RealEntry<decltype(&clReleaseProgram)>("clReleaseProgram");
    return real(a);
}

CL_API_ENTRY cl_int CL_API_CALL clRetainCommandQueue(cl_command_queue a) {
    static const auto real = RealEntry<decltype(&clRetainCommandQueue)>("clRetainCommandQueue");
    return real(a);
}

CL_API_ENTRY cl_int CL_API_CALL clRetainContext(cl_context a) {
    static const auto real = RealEntry<decltype(&clRetainContext)>("clRetainContext");
    return real(a);
}

CL_API_ENTRY cl_int CL_API_CALL clRetainDevice(cl_device_id a) {
    static const auto real = RealEntry<decltype(&clRetainDevice)>("clRetainDevice");
    return real(a);
}

CL_API_ENTRY cl_int CL_API_CALL clRetainMemObject(cl_mem a) {
    static const auto real = RealEntry<decltype(&clRetainMemObject)>("clRetainMemObject");
    return real(a);
}

CL_API_ENTRY cl_int CL_API_CALL clSetKernelArg(cl_kernel a, cl_uint b, size_t c, const void* d) {
    static const auto real = RealEntry<decltype(&clSetKernelArg)>("clSetKernelArg");
    return real(a, b, c, d);
}

} // extern "C"
