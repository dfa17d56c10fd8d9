// Every status the engine returns, in one table: code, name, where it comes from, the OpenCL
// error it stands for (when it is the translation of one) and the text a person reads.
//
// The codes are fixed: callers and saved logs compare the numbers. 0 is success; every failure
// is negative. A row's source says which step produces it:
//   Entry    the frame entry points' own checks
//   Chain    the raw-processing chain (also passed through by the entry points)
//   Program  clCreateProgramWith*: its OpenCL error, translated
//   Build    clBuildProgram: its OpenCL error, translated
//   Kernel   clCreateKernel: its OpenCL error, translated
//   Enqueue  clEnqueueNDRangeKernel: its OpenCL error, translated
//   Sharing  the Direct3D 11 sharing binding's context attempts (never a frame result)
// For each translated source, the row marked kAnyOtherCLError takes every OpenCL error that the
// source's other rows do not name; kNotOpenCL marks the rows that translate nothing.
#pragma once

#include <cstdint>

#include "hresult.h"

// clang-format off
#define TSR_ENGINE_STATUSES(X) \
    X(Ok,                      0,    None,    kNotOpenCL,                       "success") \
    X(Other,                   -1,   Entry,   kNotOpenCL,                       "the raw processor failed without a listed status") \
    X(NoSharingDevice,         -2,   Sharing, kNotOpenCL,                       "no OpenCL device shares the Direct3D 11 device") \
    X(BadRecord,               -3,   Entry,   kNotOpenCL,                       "no usable frame info record") \
    X(NoProcessor,             -4,   Entry,   kNotOpenCL,                       "no processor") \
    X(NoRawProcessing,         -5,   Chain,   kNotOpenCL,                       "the raw-processing program is not built") \
    X(NoCurveKernel,           -6,   Chain,   kNotOpenCL,                       "an output-curve node has no kernel") \
    X(BadHostMemory,           -7,   Entry,   kNotOpenCL,                       "the picture is smaller than its record says") \
    X(BadOutput,               -8,   Chain,   kNotOpenCL,                       "the output image does not suit the frame") \
    X(UploadFailed,            -9,   Entry,   kNotOpenCL,                       "the upload to the device failed") \
    X(ParameterBufferFailed,   -60,  Chain,   kNotOpenCL,                       "a kernel's parameter buffer cannot be made") \
    X(KernelArgumentFailed,    -61,  Chain,   kNotOpenCL,                       "a kernel argument cannot be set") \
    X(FinishFailed,            -62,  Chain,   kNotOpenCL,                       "waiting for the command queue failed") \
    X(FlushFailed,             -63,  Chain,   kNotOpenCL,                       "flushing the command queue failed") \
    X(IntermediateImageFailed, -64,  Chain,   kNotOpenCL,                       "an intermediate image cannot be made") \
    X(ProgramFailed,           -100, Program, kAnyOtherCLError,                 "creating the program failed") \
    X(ProgramInvalidContext,   -101, Program, CL_INVALID_CONTEXT,               "creating the program: invalid context") \
    X(ProgramInvalidValue,     -102, Program, CL_INVALID_VALUE,                 "creating the program: invalid value") \
    X(ProgramInvalidDevice,    -103, Program, CL_INVALID_DEVICE,                "creating the program: invalid device") \
    X(ProgramInvalidBinary,    -104, Program, CL_INVALID_BINARY,                "the device refuses the program binary") \
    X(ProgramOutOfHostMemory,  -105, Program, CL_OUT_OF_HOST_MEMORY,            "creating the program: out of host memory") \
    X(BuildFailed,             -120, Build,   kAnyOtherCLError,                 "building the program failed") \
    X(BuildInvalidProgram,     -121, Build,   CL_INVALID_PROGRAM,               "building the program: invalid program") \
    X(BuildInvalidValue,       -122, Build,   CL_INVALID_VALUE,                 "building the program: invalid value") \
    X(BuildInvalidDevice,      -123, Build,   CL_INVALID_DEVICE,                "building the program: invalid device") \
    X(BuildInvalidBinary,      -124, Build,   CL_INVALID_BINARY,                "building the program: invalid binary") \
    X(BuildInvalidOptions,     -125, Build,   CL_INVALID_BUILD_OPTIONS,         "building the program: invalid options") \
    X(BuildInvalidOperation,   -126, Build,   CL_INVALID_OPERATION,             "building the program: invalid operation") \
    X(BuildNoCompiler,         -127, Build,   CL_COMPILER_NOT_AVAILABLE,        "the device has no compiler") \
    X(BuildProgramFailure,     -128, Build,   CL_BUILD_PROGRAM_FAILURE,         "the device cannot build the kernels") \
    X(BuildOutOfHostMemory,    -129, Build,   CL_OUT_OF_HOST_MEMORY,            "building the program: out of host memory") \
    X(KernelFailed,            -140, Kernel,  kAnyOtherCLError,                 "creating a kernel failed") \
    X(KernelInvalidProgram,    -141, Kernel,  CL_INVALID_PROGRAM,               "creating a kernel: invalid program") \
    X(KernelNotBuilt,          -142, Kernel,  CL_INVALID_PROGRAM_EXECUTABLE,    "creating a kernel: program not built") \
    X(KernelInvalidName,       -143, Kernel,  CL_INVALID_KERNEL_NAME,           "the program lacks a kernel") \
    X(KernelInvalidDefinition, -144, Kernel,  CL_INVALID_KERNEL_DEFINITION,     "a kernel differs between devices") \
    X(KernelInvalidValue,      -145, Kernel,  CL_INVALID_VALUE,                 "creating a kernel: invalid value") \
    X(KernelOutOfHostMemory,   -146, Kernel,  CL_OUT_OF_HOST_MEMORY,            "creating a kernel: out of host memory") \
    X(EnqueueFailed,           -160, Enqueue, kAnyOtherCLError,                 "running a kernel failed") \
    X(EnqueueNotBuilt,         -161, Enqueue, CL_INVALID_PROGRAM_EXECUTABLE,    "running a kernel: program not built") \
    X(EnqueueInvalidQueue,     -162, Enqueue, CL_INVALID_COMMAND_QUEUE,         "running a kernel: invalid queue") \
    X(EnqueueInvalidKernel,    -163, Enqueue, CL_INVALID_KERNEL,                "running a kernel: invalid kernel") \
    X(EnqueueInvalidContext,   -164, Enqueue, CL_INVALID_CONTEXT,               "running a kernel: mixed contexts") \
    X(EnqueueInvalidArguments, -165, Enqueue, CL_INVALID_KERNEL_ARGS,           "running a kernel: invalid arguments") \
    X(EnqueueInvalidDimension, -166, Enqueue, CL_INVALID_WORK_DIMENSION,        "running a kernel: invalid dimension") \
    X(EnqueueInvalidGroupSize, -167, Enqueue, CL_INVALID_WORK_GROUP_SIZE,       "running a kernel: invalid group size") \
    X(EnqueueInvalidItemSize,  -168, Enqueue, CL_INVALID_WORK_ITEM_SIZE,        "running a kernel: invalid item size") \
    X(EnqueueInvalidOffset,    -169, Enqueue, CL_INVALID_GLOBAL_OFFSET,         "running a kernel: invalid offset") \
    X(EnqueueOutOfResources,   -170, Enqueue, CL_OUT_OF_RESOURCES,              "the device is out of resources") \
    X(EnqueueAllocationFailed, -171, Enqueue, CL_MEM_OBJECT_ALLOCATION_FAILURE, "the device is out of memory") \
    X(EnqueueInvalidWaitList,  -172, Enqueue, CL_INVALID_EVENT_WAIT_LIST,       "running a kernel: invalid wait list") \
    X(EnqueueOutOfHostMemory,  -173, Enqueue, CL_OUT_OF_HOST_MEMORY,            "running a kernel: out of host memory")
// clang-format on

namespace tsr {

enum EngineStatus : int {
#define TSR_STATUS_ENUMERATOR(name, code, source, clError, message) kStatus##name = code,
    TSR_ENGINE_STATUSES(TSR_STATUS_ENUMERATOR)
#undef TSR_STATUS_ENUMERATOR
};

enum class StatusSource { None, Entry, Chain, Program, Build, Kernel, Enqueue, Sharing };

// The table's row for `status`: its name ("BadRecord") and text; null for a code not in the table.
const char* StatusName(int status);
const char* StatusMessage(int status);

// What the raw processor may report as its own status or return from a frame: success and the
// rows of the chain and the program steps. Anything else becomes kStatusOther.
bool IsChainStatus(int status);
// What a frame entry point may return: the chain's statuses and the entry points' own.
bool IsEntryPointStatus(int status);

// The status a failed OpenCL call of the translated `source` stands for (`error` is its cl_int).
int StatusForCLError(StatusSource source, std::int32_t error);

// The HRESULT of an engine operation that ended with `status`: S_OK for success, else E_FAIL.
HRESULT StatusHResult(int status);

// Traces the table's name and text of a failed status (for the line after a numeric report).
void TraceStatus(int status);

} // namespace tsr
