#include "kernelrunner.h"

#include "engine/rawprocessing.h"

namespace tsr::test {

int RunKernel(cl_program program, const char* kernelName, const void* block, size_t blockSize, cl_mem input,
              cl_mem output) {
    const SharedOpenCL& cl = TestOpenCL();
    cl_kernel kernel = clCreateKernel(program, kernelName, nullptr);
    if (!kernel) return -1000;
    size_t size[2] = {0, 0};
    clGetImageInfo(output, CL_IMAGE_WIDTH, sizeof size[0], &size[0], nullptr);
    clGetImageInfo(output, CL_IMAGE_HEIGHT, sizeof size[1], &size[1], nullptr);
    const int status = EnqueueKernel(cl.context, kernel, block, blockSize, input, output, size, cl.queue);
    clFinish(cl.queue);
    clReleaseKernel(kernel);
    return status;
}

} // namespace tsr::test
