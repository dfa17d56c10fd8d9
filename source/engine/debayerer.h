// The engine object through which the debayer transform and the tool use the GPU: it owns the
// OpenCL state, an optional host queue, the cache of images made from textures and the raw
// processor, hands out images for a frame and runs each frame (ProcessFrame) through the
// processor's two entry points under its lock.
//
// The class has a Windows half: the Direct3D 11 constructor and GetImageForTexture are defined in
// source/windows/d3d11/debayererd3d11.cpp, built only with the Windows transform.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "clapi.h"
#include "climage.h"
#include "hresult.h"
#include "openclstate.h"
#include "processor.h"
#include "status.h"
#include "textureimagecache.h"
#include "tsr/framerecords.h"

struct ID3D11Device;
struct ID3D11Texture2D;

namespace tsr {

class OpenCLD3D11KHR; // Direct3D 11 sharing binding, built with the Windows transform

// Owns the processor; the entry points take it as their handle.
struct ProcessorHolder {
    std::unique_ptr<PrivateProcessor<1>> processor;
};

// One frame as the engine takes it: the picture (an image, or bytes in host memory), its frame
// info record and how to render it.
struct DebayerFrame {
    CLImage* input = nullptr;   // the picture as an image; null: the host bytes below
    const void* host = nullptr; // the picture in host memory, used when there is no input image
    unsigned hostBytes = 0;
    const TsrFrameInfoRecord* record = nullptr; // need not be aligned
    int recordSize = 0;
    const float* colourOverride = nullptr; // null, or 12 floats: gains, 3x3 matrix, exposure
    unsigned curve = 0;
};

class Debayerer {
public:
    // The engine chooses its own GPU.
    explicit Debayerer(HRESULT* status);
    // Uses the context and device of a host-supplied queue. The queue is not installed as the
    // host queue: call SetCommandQueue for that. Without `tuningValue` the processor takes the
    // process's value of the environment variable "tsr772cup".
    Debayerer(cl_command_queue queue, HRESULT* status,
              std::optional<std::int32_t> tuningValue = std::nullopt);
    Debayerer(const Debayerer&) = delete;
    Debayerer& operator=(const Debayerer&) = delete;
    virtual ~Debayerer();

    // Drops the cached image of `texture`; null empties the cache. Takes no lock.
    virtual void ForgetTexture(ID3D11Texture2D* texture);

    // Replaces the host queue (retained); null removes it.
    HRESULT SetCommandQueue(cl_command_queue queue);

    // A new image over system memory on the state's context, transferring on the host queue when
    // one is held, else the state's. E_INVALIDARG when a transfer is asked for and the host range
    // does not hold the whole picture at the given pitch.
    HRESULT CreateImageFromMemory(HostRange host, FrameGeometry geometry, const cl_image_format& format,
                                  cl_mem_flags flags, std::shared_ptr<CLImage>& image);

    // A plain image holding its own reference to `image`.
    static HRESULT WrapImage(cl_mem image, std::shared_ptr<CLImage>& wrapped);

    // Runs one frame into `output` under the engine's lock: acquires the output image, then the
    // input image; calls ProcessImage (with an input image) or ProcessMemory (with the host bytes)
    // on the processor with the host queue; releases the input, then the output. Returns the
    // entry point's status (kStatusOk on success). Both images must be made before: the lock is
    // not recursive.
    int ProcessFrame(const DebayerFrame& frame, CLImage& output);

#ifdef _WIN32
    // The Windows half (source/windows/d3d11/debayererd3d11.cpp).
    // Shares a context with the Direct3D 11 device.
    Debayerer(ID3D11Device* device, HRESULT* status);
    // The cached image made from `texture`, created on first use. E_UNEXPECTED when no image can
    // be made from it.
    HRESULT GetImageForTexture(ID3D11Texture2D* texture, cl_mem_flags flags, std::shared_ptr<CLImage>& image);
#endif

    // The status of the processor when creating it failed (the construction status is then
    // E_FAIL); kStatusOk otherwise.
    int ProcessorStatus() const {
        return m_processorStatus;
    }

    // The pieces ProcessFrame uses, for callers that drive the entry points themselves.
    ProcessorHolder* Processor() const {
        return m_processor.get();
    }
    // The lock to hold around acquire, process and release of one frame.
    std::mutex& Mutex() {
        return m_mutex;
    }
    const std::shared_ptr<OpenCLState>& State() const {
        return m_state;
    }
    cl_command_queue HostQueue() const {
        return m_hostQueue;
    }

protected:
    Debayerer() = default;
    // Adopts `state` and creates the processor; the constructors (the Direct3D one included) end
    // here. Returns the construction status.
    HRESULT Initialize(std::shared_ptr<OpenCLState> state, std::optional<std::int32_t> tuningValue);
    HRESULT CreateProcessor(std::int32_t tuningValue);

    std::mutex m_mutex;
    std::shared_ptr<OpenCLState> m_state;
    std::shared_ptr<OpenCLD3D11KHR> m_binding;
    TextureImageCache m_textureImages;
    std::unique_ptr<ProcessorHolder> m_processor;
    cl_command_queue m_hostQueue = nullptr;
    int m_processorStatus = kStatusOk;
};

// Runs one frame from an OpenCL input image into `output`. `record` is the frame info record of
// `recordSize` bytes; `matrix` null or the 12-float colour override; `queue` the host queue or
// null for the state's (then the call waits for the GPU).
int ProcessImage(ProcessorHolder* handle, cl_mem input, const TsrFrameInfoRecord* record, int recordSize,
                 const float* matrix, unsigned curve, cl_command_queue queue, cl_mem output);

// Same from `byteCount` bytes of host memory, uploaded through the processor's cache.
int ProcessMemory(ProcessorHolder* handle, const void* host, unsigned byteCount,
                  const TsrFrameInfoRecord* record, int recordSize, const float* matrix, unsigned curve,
                  cl_command_queue queue, cl_mem output);

} // namespace tsr
