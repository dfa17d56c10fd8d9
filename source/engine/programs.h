// The forms of the raw-processing program the library carries, and the choice among them for a
// device.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "clapi.h"
#include "rawprocessing.h"

namespace tsr {

constexpr cl_uint kVendorNvidia = 0x10DE;
constexpr cl_uint kVendorAmd = 0x1002;

struct ProgramCatalog {
    // Device vendor id -> forms tried in order.
    std::map<cl_uint, std::vector<ProgramForm>> vendorForms;
    ProgramForm cpu;    // tried first on CPU devices (none embedded)
    ProgramForm spir64; // fallback on 64-bit devices
    ProgramForm spir32; // fallback on 32-bit devices
    ProgramForm source; // last resort for drivers without a SPIR consumer
};

// The forms embedded in the library. Vendor lists exist for NVIDIA and AMD but hold no forms, and
// there is no CPU form: such devices reach the SPIR and source forms.
const ProgramCatalog& EmbeddedProgramCatalog();

// Picks and builds the raw-processing program for `device`: the CPU form on CPU devices, else the
// vendor's forms, then SPIR for the device's address width, then the OpenCL C text. The first
// object whose status is 0 is returned; when all fail, the SPIR attempt (with its status).
// Null only when memory runs out.
std::unique_ptr<OpenCLRawProcessing> SelectRawProcessing(cl_context context, cl_device_id device,
                                                         bool is32Bit, const ProgramCatalog& catalog);

// Builds the output-curve program from OpenCL C text; null on any failure.
cl_program BuildImageProcessingProgram(cl_context context, cl_device_id device, const char* text,
                                       size_t length);

} // namespace tsr
