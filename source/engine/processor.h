// The raw processor: owns the engine's OpenCL state, the upload cache, the output-curve program
// and the raw-processing kernels, and runs one frame at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "clapi.h"
#include "curves.h"
#include "frametimer.h"
#include "openclstate.h"
#include "parameters.h"
#include "programs.h"
#include "rawprocessing.h"
#include "texturecache.h"

namespace tsr {

template <int Channels> class PrivateProcessor;

template <> class PrivateProcessor<1> {
public:
    explicit PrivateProcessor(std::int32_t tuningValue);
    PrivateProcessor(const PrivateProcessor&) = delete;
    PrivateProcessor& operator=(const PrivateProcessor&) = delete;
    virtual ~PrivateProcessor();

    virtual int Status() const = 0;
    virtual bool CheckOutput(cl_mem image, std::int32_t width, std::int32_t height) const = 0;
    virtual cl_mem Upload(const void* host, std::uint32_t layoutCode, std::int32_t width, std::int32_t height,
                          std::int32_t rowPitch, cl_command_queue queue) = 0;
    virtual int Run(cl_mem input, const RawProcessingParameters& parameters, const CurveNodeList& nodes,
                    cl_command_queue queue, cl_mem output) = 0;
    virtual void ReturnImage(cl_mem image) = 0;

    std::int32_t TuningValue() const { return m_tuningValue; }
    FrameTimer* Timer() const { return m_timer.get(); }

private:
    std::int32_t m_tuningValue;
    std::unique_ptr<FrameTimer> m_timer; // only for the frame-timer tuning value
};

class PrivateOpenCLProcessor : public PrivateProcessor<1> {
public:
    // Without a context the processor picks a GPU itself (a discrete one if any). `catalog`
    // defaults to the forms embedded in the library.
    PrivateOpenCLProcessor(cl_context context, cl_command_queue queue, std::int32_t tuningValue,
                           const ProgramCatalog* catalog = nullptr);
    ~PrivateOpenCLProcessor() override;

    int Status() const override;
    bool CheckOutput(cl_mem image, std::int32_t width, std::int32_t height) const override;
    cl_mem Upload(const void* host, std::uint32_t layoutCode, std::int32_t width, std::int32_t height,
                  std::int32_t rowPitch, cl_command_queue queue) override;
    int Run(cl_mem input, const RawProcessingParameters& parameters, const CurveNodeList& nodes,
            cl_command_queue queue, cl_mem output) override;
    void ReturnImage(cl_mem image) override;

    const OpenCLState* State() const { return m_state.get(); }
    const OpenCLRawProcessing* RawProcessing() const { return m_rawProcessing.get(); }
    const OpenCLTextureCache* Cache() const { return m_cache.get(); }
    cl_program ImageProcessingProgram() const { return m_imageProcessingProgram; }

private:
    std::unique_ptr<OpenCLState> m_state;
    std::unique_ptr<OpenCLTextureCache> m_cache;
    bool m_addressBits32 = false;
    std::unique_ptr<OpenCLRawProcessing> m_rawProcessing;
    cl_program m_imageProcessingProgram = nullptr;
};

} // namespace tsr
