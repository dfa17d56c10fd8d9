// Runs one kernel of the test programs on the shared context and reads the result back.
#pragma once

#include <cstddef>

#include "kernelmodels.h"
#include "testsupport.h"

namespace tsr::test {

// Runs `kernelName` of `program` with `block` over `output`'s size; `input` may be null.
// Returns the EnqueueKernel status after the queue has finished.
int RunKernel(cl_program program, const char* kernelName, const void* block, size_t blockSize, cl_mem input,
              cl_mem output);

} // namespace tsr::test
