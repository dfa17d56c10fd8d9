// Names of the Direct3D 11 sharing entry points under each OpenCL extension that offers them.
#pragma once

#include <array>
#include <map>
#include <string>

namespace tsr {

enum SharingFunction : int {
    kGetDeviceIDsFromD3D11 = 0,
    kCreateFromD3D11Texture2D = 1,
    kEnqueueAcquireD3D11Objects = 2,
    kEnqueueReleaseD3D11Objects = 3,
};

using SharingFunctionNames = std::array<const char*, 4>;

// Extension name -> entry-point names, walked in byte-wise name order ("cl_khr_..." first).
const std::map<std::string, SharingFunctionNames>& SharingTables();

} // namespace tsr
