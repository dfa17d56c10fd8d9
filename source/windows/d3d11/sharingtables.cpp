#include "sharingtables.h"

namespace tsr {
namespace {

// Built when the library loads and never changed.
const std::map<std::string, SharingFunctionNames> kSharingTables = {
    {"cl_khr_d3d11_sharing",
     {"clGetDeviceIDsFromD3D11KHR", "clCreateFromD3D11Texture2DKHR", "clEnqueueAcquireD3D11ObjectsKHR",
      "clEnqueueReleaseD3D11ObjectsKHR"}},
    {"cl_nv_d3d11_sharing",
     {"clGetDeviceIDsFromD3D11NV", "clCreateFromD3D11Texture2DNV", "clEnqueueAcquireD3D11ObjectsNV",
      "clEnqueueReleaseD3D11ObjectsNV"}},
};

} // namespace

const std::map<std::string, SharingFunctionNames>& SharingTables() {
    return kSharingTables;
}

} // namespace tsr
