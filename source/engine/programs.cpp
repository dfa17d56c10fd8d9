#include "programs.h"

#include <new>

#include "embeddedprograms.h"

namespace tsr {

namespace {

ProgramCatalog MakeEmbeddedCatalog() {
    ProgramCatalog catalog;
    catalog.vendorForms[kVendorNvidia] = {};
    catalog.vendorForms[kVendorAmd] = {};
    catalog.cpu = ProgramForm{nullptr, 0, false};
    catalog.spir64 = ProgramForm{kRawProcessingSpir64, kRawProcessingSpir64Length, false};
    catalog.spir32 = ProgramForm{kRawProcessingSpir32, kRawProcessingSpir32Length, false};
    catalog.source = ProgramForm{kRawProcessingSource, kRawProcessingSourceLength, true};
    return catalog;
}

std::unique_ptr<OpenCLRawProcessing> Attempt(cl_context context, cl_device_id device,
                                             const ProgramForm& form) {
    return std::unique_ptr<OpenCLRawProcessing>(new (std::nothrow)
                                                    OpenCLRawProcessing(context, device, form));
}

bool Usable(const std::unique_ptr<OpenCLRawProcessing>& processing) {
    return processing && processing->Status() == kStatusOk;
}

} // namespace

const ProgramCatalog& EmbeddedProgramCatalog() {
    static const ProgramCatalog catalog = MakeEmbeddedCatalog();
    return catalog;
}

std::unique_ptr<OpenCLRawProcessing> SelectRawProcessing(cl_context context, cl_device_id device,
                                                         bool is32Bit, const ProgramCatalog& catalog) {
    cl_device_type type = 0;
    if (clGetDeviceInfo(device, CL_DEVICE_TYPE, sizeof type, &type, nullptr) == CL_SUCCESS &&
        type == CL_DEVICE_TYPE_CPU) {
        if (catalog.cpu.data) {
            auto processing = Attempt(context, device, catalog.cpu);
            if (Usable(processing)) return processing;
        }
    } else {
        cl_uint vendor = 0;
        if (clGetDeviceInfo(device, CL_DEVICE_VENDOR_ID, sizeof vendor, &vendor, nullptr) != CL_SUCCESS)
            vendor = 0;
        const auto entry = catalog.vendorForms.find(vendor);
        if (entry != catalog.vendorForms.end()) {
            for (const ProgramForm& form : entry->second) {
                auto processing = Attempt(context, device, form);
                if (Usable(processing)) return processing;
            }
        }
    }

    auto spir = Attempt(context, device, is32Bit ? catalog.spir32 : catalog.spir64);
    if (Usable(spir) || !catalog.source.data) return spir;
    auto fromSource = Attempt(context, device, catalog.source);
    if (Usable(fromSource)) return fromSource;
    return spir;
}

cl_program BuildImageProcessingProgram(cl_context context, cl_device_id device, const char* text,
                                       size_t length) {
    if (!context || !device) return nullptr;
    cl_int error = CL_SUCCESS;
    cl_program program = clCreateProgramWithSource(context, 1, &text, &length, &error);
    if (error != CL_SUCCESS) {
        if (program) clReleaseProgram(program);
        return nullptr;
    }
    if (clBuildProgram(program, 1, &device, nullptr, nullptr, nullptr) != CL_SUCCESS) {
        clReleaseProgram(program);
        return nullptr;
    }
    return program;
}

} // namespace tsr
