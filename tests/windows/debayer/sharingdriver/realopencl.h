// The real OpenCL (Wine's opencl.dll in the system folder) behind the sharing test driver.
#pragma once

#ifndef CL_TARGET_OPENCL_VERSION
#define CL_TARGET_OPENCL_VERSION 120
#endif
#include <CL/cl.h>
#include <windows.h>

// The system's OpenCL library, loaded once by its full path so that it is not this driver.
HMODULE RealOpenCl();

template <typename Function> Function RealEntry(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(RealOpenCl(), name)));
}
