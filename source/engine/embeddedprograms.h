// Program texts and binaries embedded at build time (generated from kernels/).
#pragma once

#include <cstddef>

namespace tsr {

// Raw-processing program (RPS_0000, RPS_0001, RPS_0002, RTSRD, TSRD) as SPIR bitcode for 64-bit
// and 32-bit devices, and as OpenCL C text.
extern const unsigned char kRawProcessingSpir64[];
extern const std::size_t kRawProcessingSpir64Length;
extern const unsigned char kRawProcessingSpir32[];
extern const std::size_t kRawProcessingSpir32Length;
extern const unsigned char kRawProcessingSource[];
extern const std::size_t kRawProcessingSourceLength;

// Output-curve program, OpenCL C text.
extern const unsigned char kImageProcessingSource[];
extern const std::size_t kImageProcessingSourceLength;

} // namespace tsr
