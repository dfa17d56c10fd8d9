// Control interface of the test OpenCL driver (loaded through the ICD loader).
//
// The driver stands in where PoCL cannot: several platforms, GPUs of chosen vendors, discrete and
// integrated devices, programs that fail to build or lack a kernel. It runs no kernels; it counts
// every OpenCL object it hands out so that tests can prove each retain is released.
//
// Program texts and binaries given to it are read as scripts:
//   "form <name> [create=<error>] [build=<error>] [kernels=<name>,<name>,...]"
// A script without kernels= has the five raw-processing kernels. LLVM bitcode (the embedded SPIR
// forms) and OpenCL C text (anything with "__kernel") build when the driver is told so.
#ifndef TSR_TESTDRIVER_H
#define TSR_TESTDRIVER_H

#include <CL/cl.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TSR_DRIVER_PLATFORMS 3
#define TSR_DRIVER_DEVICES 4

typedef struct TsrDriverDevice {
    cl_device_type type;
    cl_uint vendor;
    cl_bool unifiedMemory; /* CL_FALSE: discrete */
    cl_uint addressBits;
    int failVendorQuery;
    int failAddressQuery;
    int failTypeQuery;
} TsrDriverDevice;

typedef struct TsrDriverCounts {
    long liveObjects;   /* contexts, queues, programs, kernels, memory objects not yet freed */
    long imagesCreated; /* clCreateImage calls that succeeded */
    long buffersCreated;
    long deviceRetains; /* clRetainDevice minus clReleaseDevice */
    long kernelsEnqueued;
} TsrDriverCounts;

typedef void (*TsrDriverReset)(void);
/* Gives platform `platform` (0..2) `count` devices (0: none of any type). */
typedef void (*TsrDriverSetDevices)(int platform, int count, const TsrDriverDevice* devices);
/* Outcome of building LLVM bitcode and OpenCL C text: 0 builds, else the clBuildProgram error. */
typedef void (*TsrDriverSetBuiltinForms)(cl_int bitcodeBuild, cl_int sourceBuild);
typedef void (*TsrDriverSetFailures)(int contextDevicesQuery, int twoChannelImages);
typedef TsrDriverCounts (*TsrDriverGetCounts)(void);
/* Names of the programs created so far, space-separated ("bitcode", "source" or a form's name). */
typedef const char* (*TsrDriverProgramLog)(void);

#ifdef __cplusplus
}
#endif

#endif
