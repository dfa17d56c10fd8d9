// OpenCL through the ICD loader found at run time rather than at link time: every OpenCL entry
// point the engine, the tool and their tests call forwards to libOpenCL.so.1 when the process first
// needs it. Without a loader each call fails as an empty system would (no platform), so programs
// that can work without OpenCL, such as the tool with the CPU engine, start and run anyway.
#include <dlfcn.h>

#include <type_traits>

#include "clapi.h"

#include <CL/cl_ext.h>

namespace {

void* Library() {
    static void* const library = [] {
        void* handle = dlopen("libOpenCL.so.1", RTLD_NOW | RTLD_LOCAL);
        return handle ? handle : dlopen("libOpenCL.so", RTLD_NOW | RTLD_LOCAL);
    }();
    return library;
}

// Calls the loader's `Function` (looked up once by `name`), or returns `fallback` without one.
// Deprecated entry points are forwarded too: clang reports their use where Forward names their type.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
template <auto Function, class... Arguments>
auto Forward(const char* name, std::invoke_result_t<decltype(Function), Arguments...> fallback,
             Arguments... arguments) {
    using Pointer = decltype(Function);
    static const Pointer target = Library() ? reinterpret_cast<Pointer>(dlsym(Library(), name)) : nullptr;
    return target ? target(arguments...) : fallback;
}
#pragma GCC diagnostic pop

} // namespace

extern "C" {

cl_int CL_API_CALL clBuildProgram(cl_program program, cl_uint numDevices, const cl_device_id* deviceList,
                                  const char* options,
                                  void(CL_CALLBACK* pfnNotify)(cl_program program, void* userData),
                                  void* userData) {
    return Forward<&clBuildProgram>("clBuildProgram", CL_PLATFORM_NOT_FOUND_KHR, program, numDevices,
                                    deviceList, options, pfnNotify, userData);
}

cl_mem CL_API_CALL clCreateBuffer(cl_context context, cl_mem_flags flags, size_t size, void* hostPtr,
                                  cl_int* errcodeRet) {
    if (!Library() && errcodeRet) *errcodeRet = CL_PLATFORM_NOT_FOUND_KHR;
    return Forward<&clCreateBuffer>("clCreateBuffer", nullptr, context, flags, size, hostPtr, errcodeRet);
}

cl_command_queue CL_API_CALL clCreateCommandQueue(cl_context context, cl_device_id device,
                                                  cl_command_queue_properties properties,
                                                  cl_int* errcodeRet) {
    if (!Library() && errcodeRet) *errcodeRet = CL_PLATFORM_NOT_FOUND_KHR;
    return Forward<&clCreateCommandQueue>("clCreateCommandQueue", nullptr, context, device, properties,
                                          errcodeRet);
}

cl_context CL_API_CALL clCreateContext(
    const cl_context_properties* properties, cl_uint numDevices, const cl_device_id* devices,
    void(CL_CALLBACK* pfnNotify)(const char* errinfo, const void* privateInfo, size_t cb, void* userData),
    void* userData, cl_int* errcodeRet) {
    if (!Library() && errcodeRet) *errcodeRet = CL_PLATFORM_NOT_FOUND_KHR;
    return Forward<&clCreateContext>("clCreateContext", nullptr, properties, numDevices, devices, pfnNotify,
                                     userData, errcodeRet);
}

cl_mem CL_API_CALL clCreateImage(cl_context context, cl_mem_flags flags, const cl_image_format* imageFormat,
                                 const cl_image_desc* imageDesc, void* hostPtr, cl_int* errcodeRet) {
    if (!Library() && errcodeRet) *errcodeRet = CL_PLATFORM_NOT_FOUND_KHR;
    return Forward<&clCreateImage>("clCreateImage", nullptr, context, flags, imageFormat, imageDesc, hostPtr,
                                   errcodeRet);
}

cl_kernel CL_API_CALL clCreateKernel(cl_program program, const char* kernelName, cl_int* errcodeRet) {
    if (!Library() && errcodeRet) *errcodeRet = CL_PLATFORM_NOT_FOUND_KHR;
    return Forward<&clCreateKernel>("clCreateKernel", nullptr, program, kernelName, errcodeRet);
}

cl_program CL_API_CALL clCreateProgramWithBinary(cl_context context, cl_uint numDevices,
                                                 const cl_device_id* deviceList, const size_t* lengths,
                                                 const unsigned char** binaries, cl_int* binaryStatus,
                                                 cl_int* errcodeRet) {
    if (!Library() && errcodeRet) *errcodeRet = CL_PLATFORM_NOT_FOUND_KHR;
    return Forward<&clCreateProgramWithBinary>("clCreateProgramWithBinary", nullptr, context, numDevices,
                                               deviceList, lengths, binaries, binaryStatus, errcodeRet);
}

cl_program CL_API_CALL clCreateProgramWithSource(cl_context context, cl_uint count, const char** strings,
                                                 const size_t* lengths, cl_int* errcodeRet) {
    if (!Library() && errcodeRet) *errcodeRet = CL_PLATFORM_NOT_FOUND_KHR;
    return Forward<&clCreateProgramWithSource>("clCreateProgramWithSource", nullptr, context, count, strings,
                                               lengths, errcodeRet);
}

cl_int CL_API_CALL clEnqueueNDRangeKernel(cl_command_queue commandQueue, cl_kernel kernel, cl_uint workDim,
                                          const size_t* globalWorkOffset, const size_t* globalWorkSize,
                                          const size_t* localWorkSize, cl_uint numEventsInWaitList,
                                          const cl_event* eventWaitList, cl_event* event) {
    return Forward<&clEnqueueNDRangeKernel>("clEnqueueNDRangeKernel", CL_PLATFORM_NOT_FOUND_KHR, commandQueue,
                                            kernel, workDim, globalWorkOffset, globalWorkSize, localWorkSize,
                                            numEventsInWaitList, eventWaitList, event);
}

cl_int CL_API_CALL clEnqueueReadImage(cl_command_queue commandQueue, cl_mem image, cl_bool blockingRead,
                                      const size_t* origin, const size_t* region, size_t rowPitch,
                                      size_t slicePitch, void* ptr, cl_uint numEventsInWaitList,
                                      const cl_event* eventWaitList, cl_event* event) {
    return Forward<&clEnqueueReadImage>("clEnqueueReadImage", CL_PLATFORM_NOT_FOUND_KHR, commandQueue, image,
                                        blockingRead, origin, region, rowPitch, slicePitch, ptr,
                                        numEventsInWaitList, eventWaitList, event);
}

cl_int CL_API_CALL clEnqueueWriteImage(cl_command_queue commandQueue, cl_mem image, cl_bool blockingWrite,
                                       const size_t* origin, const size_t* region, size_t inputRowPitch,
                                       size_t inputSlicePitch, const void* ptr, cl_uint numEventsInWaitList,
                                       const cl_event* eventWaitList, cl_event* event) {
    return Forward<&clEnqueueWriteImage>("clEnqueueWriteImage", CL_PLATFORM_NOT_FOUND_KHR, commandQueue,
                                         image, blockingWrite, origin, region, inputRowPitch, inputSlicePitch,
                                         ptr, numEventsInWaitList, eventWaitList, event);
}

cl_int CL_API_CALL clFinish(cl_command_queue commandQueue) {
    return Forward<&clFinish>("clFinish", CL_PLATFORM_NOT_FOUND_KHR, commandQueue);
}

cl_int CL_API_CALL clFlush(cl_command_queue commandQueue) {
    return Forward<&clFlush>("clFlush", CL_PLATFORM_NOT_FOUND_KHR, commandQueue);
}

cl_int CL_API_CALL clGetCommandQueueInfo(cl_command_queue commandQueue, cl_command_queue_info paramName,
                                         size_t paramValueSize, void* paramValue, size_t* paramValueSizeRet) {
    return Forward<&clGetCommandQueueInfo>("clGetCommandQueueInfo", CL_PLATFORM_NOT_FOUND_KHR, commandQueue,
                                           paramName, paramValueSize, paramValue, paramValueSizeRet);
}

cl_int CL_API_CALL clGetContextInfo(cl_context context, cl_context_info paramName, size_t paramValueSize,
                                    void* paramValue, size_t* paramValueSizeRet) {
    return Forward<&clGetContextInfo>("clGetContextInfo", CL_PLATFORM_NOT_FOUND_KHR, context, paramName,
                                      paramValueSize, paramValue, paramValueSizeRet);
}

cl_int CL_API_CALL clGetDeviceIDs(cl_platform_id platform, cl_device_type deviceType, cl_uint numEntries,
                                  cl_device_id* devices, cl_uint* numDevices) {
    return Forward<&clGetDeviceIDs>("clGetDeviceIDs", CL_PLATFORM_NOT_FOUND_KHR, platform, deviceType,
                                    numEntries, devices, numDevices);
}

cl_int CL_API_CALL clGetDeviceInfo(cl_device_id device, cl_device_info paramName, size_t paramValueSize,
                                   void* paramValue, size_t* paramValueSizeRet) {
    return Forward<&clGetDeviceInfo>("clGetDeviceInfo", CL_PLATFORM_NOT_FOUND_KHR, device, paramName,
                                     paramValueSize, paramValue, paramValueSizeRet);
}

// Deprecated since OpenCL 1.2, still forwarded for callers that use it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
void* CL_API_CALL clGetExtensionFunctionAddress(const char* funcName) {
    return Forward<&clGetExtensionFunctionAddress>("clGetExtensionFunctionAddress", nullptr, funcName);
}
#pragma GCC diagnostic pop

void* CL_API_CALL clGetExtensionFunctionAddressForPlatform(cl_platform_id platform, const char* funcName) {
    return Forward<&clGetExtensionFunctionAddressForPlatform>("clGetExtensionFunctionAddressForPlatform",
                                                              nullptr, platform, funcName);
}

cl_int CL_API_CALL clGetImageInfo(cl_mem image, cl_image_info paramName, size_t paramValueSize,
                                  void* paramValue, size_t* paramValueSizeRet) {
    return Forward<&clGetImageInfo>("clGetImageInfo", CL_PLATFORM_NOT_FOUND_KHR, image, paramName,
                                    paramValueSize, paramValue, paramValueSizeRet);
}

cl_int CL_API_CALL clGetKernelArgInfo(cl_kernel kernel, cl_uint argIndx, cl_kernel_arg_info paramName,
                                      size_t paramValueSize, void* paramValue, size_t* paramValueSizeRet) {
    return Forward<&clGetKernelArgInfo>("clGetKernelArgInfo", CL_PLATFORM_NOT_FOUND_KHR, kernel, argIndx,
                                        paramName, paramValueSize, paramValue, paramValueSizeRet);
}

cl_int CL_API_CALL clGetKernelInfo(cl_kernel kernel, cl_kernel_info paramName, size_t paramValueSize,
                                   void* paramValue, size_t* paramValueSizeRet) {
    return Forward<&clGetKernelInfo>("clGetKernelInfo", CL_PLATFORM_NOT_FOUND_KHR, kernel, paramName,
                                     paramValueSize, paramValue, paramValueSizeRet);
}

cl_int CL_API_CALL clGetMemObjectInfo(cl_mem memobj, cl_mem_info paramName, size_t paramValueSize,
                                      void* paramValue, size_t* paramValueSizeRet) {
    return Forward<&clGetMemObjectInfo>("clGetMemObjectInfo", CL_PLATFORM_NOT_FOUND_KHR, memobj, paramName,
                                        paramValueSize, paramValue, paramValueSizeRet);
}

cl_int CL_API_CALL clGetPlatformIDs(cl_uint numEntries, cl_platform_id* platforms, cl_uint* numPlatforms) {
    if (!Library() && numPlatforms) *numPlatforms = 0;
    return Forward<&clGetPlatformIDs>("clGetPlatformIDs", CL_PLATFORM_NOT_FOUND_KHR, numEntries, platforms,
                                      numPlatforms);
}

cl_int CL_API_CALL clGetPlatformInfo(cl_platform_id platform, cl_platform_info paramName,
                                     size_t paramValueSize, void* paramValue, size_t* paramValueSizeRet) {
    return Forward<&clGetPlatformInfo>("clGetPlatformInfo", CL_PLATFORM_NOT_FOUND_KHR, platform, paramName,
                                       paramValueSize, paramValue, paramValueSizeRet);
}

cl_int CL_API_CALL clGetProgramBuildInfo(cl_program program, cl_device_id device,
                                         cl_program_build_info paramName, size_t paramValueSize,
                                         void* paramValue, size_t* paramValueSizeRet) {
    return Forward<&clGetProgramBuildInfo>("clGetProgramBuildInfo", CL_PLATFORM_NOT_FOUND_KHR, program,
                                           device, paramName, paramValueSize, paramValue, paramValueSizeRet);
}

cl_int CL_API_CALL clGetProgramInfo(cl_program program, cl_program_info paramName, size_t paramValueSize,
                                    void* paramValue, size_t* paramValueSizeRet) {
    return Forward<&clGetProgramInfo>("clGetProgramInfo", CL_PLATFORM_NOT_FOUND_KHR, program, paramName,
                                      paramValueSize, paramValue, paramValueSizeRet);
}

cl_int CL_API_CALL clGetSupportedImageFormats(cl_context context, cl_mem_flags flags,
                                              cl_mem_object_type imageType, cl_uint numEntries,
                                              cl_image_format* imageFormats, cl_uint* numImageFormats) {
    return Forward<&clGetSupportedImageFormats>("clGetSupportedImageFormats", CL_PLATFORM_NOT_FOUND_KHR,
                                                context, flags, imageType, numEntries, imageFormats,
                                                numImageFormats);
}

cl_int CL_API_CALL clReleaseCommandQueue(cl_command_queue commandQueue) {
    return Forward<&clReleaseCommandQueue>("clReleaseCommandQueue", CL_PLATFORM_NOT_FOUND_KHR, commandQueue);
}

cl_int CL_API_CALL clReleaseContext(cl_context context) {
    return Forward<&clReleaseContext>("clReleaseContext", CL_PLATFORM_NOT_FOUND_KHR, context);
}

cl_int CL_API_CALL clReleaseDevice(cl_device_id device) {
    return Forward<&clReleaseDevice>("clReleaseDevice", CL_PLATFORM_NOT_FOUND_KHR, device);
}

cl_int CL_API_CALL clReleaseKernel(cl_kernel kernel) {
    return Forward<&clReleaseKernel>("clReleaseKernel", CL_PLATFORM_NOT_FOUND_KHR, kernel);
}

cl_int CL_API_CALL clReleaseMemObject(cl_mem memobj) {
    return Forward<&clReleaseMemObject>("clReleaseMemObject", CL_PLATFORM_NOT_FOUND_KHR, memobj);
}

cl_int CL_API_CALL clReleaseProgram(cl_program program) {
    return Forward<&clReleaseProgram>("clReleaseProgram", CL_PLATFORM_NOT_FOUND_KHR, program);
}

cl_int CL_API_CALL clRetainCommandQueue(cl_command_queue commandQueue) {
    return Forward<&clRetainCommandQueue>("clRetainCommandQueue", CL_PLATFORM_NOT_FOUND_KHR, commandQueue);
}

cl_int CL_API_CALL clRetainContext(cl_context context) {
    return Forward<&clRetainContext>("clRetainContext", CL_PLATFORM_NOT_FOUND_KHR, context);
}

cl_int CL_API_CALL clRetainDevice(cl_device_id device) {
    return Forward<&clRetainDevice>("clRetainDevice", CL_PLATFORM_NOT_FOUND_KHR, device);
}

cl_int CL_API_CALL clRetainMemObject(cl_mem memobj) {
    return Forward<&clRetainMemObject>("clRetainMemObject", CL_PLATFORM_NOT_FOUND_KHR, memobj);
}

cl_int CL_API_CALL clSetKernelArg(cl_kernel kernel, cl_uint argIndex, size_t argSize, const void* argValue) {
    return Forward<&clSetKernelArg>("clSetKernelArg", CL_PLATFORM_NOT_FOUND_KHR, kernel, argIndex, argSize,
                                    argValue);
}

} // extern "C"
