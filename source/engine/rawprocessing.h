// The raw-processing kernels of one program form and the chain that runs them per frame.
#pragma once

#include <cstddef>
#include <cstdint>

#include "clapi.h"
#include "curves.h"
#include "parameters.h"
#include "status.h"

namespace tsr {

// One form of the raw-processing program: a binary for clCreateProgramWithBinary, or OpenCL C
// text. An empty form (no data) is never tried.
struct ProgramForm {
    const unsigned char* data;
    std::size_t length;
    bool isSource;
};

// Runs `kernel` over a `globalSize` grid with a fresh read-only copy of `block` as argument 0,
// then `input` (when given) and `output`. Returns kStatusOk or a chain status.
int EnqueueKernel(cl_context context, cl_kernel kernel, const void* block, std::size_t blockSize,
                  cl_mem input, cl_mem output, const std::size_t globalSize[2], cl_command_queue queue);

class OpenCLRawProcessing {
public:
    static constexpr int kIntermediateCount = 3;

    // Builds the program from `form` and creates the five kernels; Status() tells the outcome.
    OpenCLRawProcessing(cl_context context, cl_device_id device, const ProgramForm& form);
    OpenCLRawProcessing(const OpenCLRawProcessing&) = delete;
    OpenCLRawProcessing& operator=(const OpenCLRawProcessing&) = delete;
    virtual ~OpenCLRawProcessing();

    int Status() const { return m_status; }

    // Runs demosaic or four-sample conversion, the optional test chart and the curve nodes from
    // `input` into `output`; finishes the queue when `finish` is set, else flushes it.
    int Process(cl_mem input, const RawProcessingParameters& parameters, std::int32_t tuningValue,
                const CurveNodeList& nodes, bool finish, cl_command_queue queue, cl_mem output);

    cl_mem IntermediateImage(int index) const { return m_images[index]; }

private:
    void CreateProgram(const ProgramForm& form);
    // Makes image `index` exist with the output's size and channel type, or drops it when not
    // needed. Returns false when it cannot be created.
    bool PrepareIntermediate(int index, bool needed, cl_channel_order order, cl_channel_type type,
                             size_t width, size_t height);
    bool SupportsTwoChannels(cl_channel_type type);

    cl_context m_context = nullptr;
    cl_device_id m_device = nullptr;
    cl_kernel m_demosaic[3] = {nullptr, nullptr, nullptr}; // RPS_0000, RPS_0001, RPS_0002
    cl_kernel m_fourSample = nullptr;                      // RTSRD
    cl_kernel m_testChart = nullptr;                       // TSRD
    cl_mem m_images[kIntermediateCount] = {nullptr, nullptr, nullptr};
    int m_status = kStatusNoRawProcessing;
    // Two-channel image support per output channel type: 0 not asked yet, 1 yes, -1 no.
    int m_twoChannelHalf = 0;
    int m_twoChannelFloat = 0;
};

} // namespace tsr
