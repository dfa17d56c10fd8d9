// chain: a minimal Media Foundation host for the Tessel RAW transforms.
//
//   chain FRAME_FILE OUTPUT.rgba
//
// Finds both transforms through the transform registry (MFTEnumEx by category, then
// CoCreateInstance by class id), negotiates decoder -> debayer, decodes and debayers one
// compressed frame and writes the picture as the debayer delivers it: rows of RGBA half floats
// (8 bytes per pixel), top row first, no header.
//
// The debayer first looks for a GPU of its own. Where it finds none (under Wine, or on a machine
// whose OpenCL offers only CPU devices), this host hands it an OpenCL command queue on the first
// device it finds through OpenCL.dll.
#include <windows.h>

#include <mfapi.h>
#include <mferror.h>
#include <mftransform.h>
#include <wrl/client.h>

#include <tesselraw/transforms.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

HRESULT Report(const char* what, HRESULT hr) {
    if (FAILED(hr)) std::fprintf(stderr, "chain: %s failed: 0x%08lx\n", what, static_cast<unsigned long>(hr));
    return hr;
}

// ---- One compressed frame --------------------------------------------------------------------

bool ReadFile(const wchar_t* path, std::vector<BYTE>& bytes) {
    FILE* file = _wfopen(path, L"rb");
    if (!file) return false;
    BYTE chunk[65536];
    size_t count = 0;
    while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + count);
    std::fclose(file);
    return true;
}

// The picture size of a frame: bytes 4..7 hold "tsrf", the frame header starts at byte 8 and
// holds the width and the height as big-endian 16-bit numbers at its offsets 8 and 10. A host
// usually learns the size from its container instead.
bool FrameSize(const std::vector<BYTE>& frame, UINT32& width, UINT32& height) {
    if (frame.size() < 20 || frame[4] != 't' || frame[5] != 's' || frame[6] != 'r' || frame[7] != 'f')
        return false;
    width = (UINT32{frame[16]} << 8) | frame[17];
    height = (UINT32{frame[18]} << 8) | frame[19];
    return width > 0 && height > 0;
}

// ---- Finding the transforms ------------------------------------------------------------------

// The transforms register no media types: enumerate the category and pick the class id.
HRESULT CreateRegistered(const GUID& category, const CLSID& clsid, ComPtr<IMFTransform>& transform) {
    IMFActivate** activates = nullptr;
    UINT32 count = 0;
    HRESULT hr = MFTEnumEx(category, MFT_ENUM_FLAG_ALL, nullptr, nullptr, &activates, &count);
    if (FAILED(hr)) return hr;
    bool listed = false;
    for (UINT32 i = 0; i < count; ++i) {
        GUID listedClass = GUID_NULL;
        if (SUCCEEDED(activates[i]->GetGUID(MFT_TRANSFORM_CLSID_Attribute, &listedClass)) &&
            IsEqualGUID(listedClass, clsid))
            listed = true;
        activates[i]->Release();
    }
    CoTaskMemFree(activates);
    if (!listed) return MF_E_TOPO_CODEC_NOT_FOUND; // not registered: run regsvr32 on the DLL
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&transform));
}

// ---- Negotiation -----------------------------------------------------------------------------

HRESULT Negotiate(IMFTransform* decoder, IMFTransform* debayer, UINT32 width, UINT32 height) {
    // Decoder input: the compressed subtype with the frame size (required).
    ComPtr<IMFMediaType> compressed;
    HRESULT hr = MFCreateMediaType(&compressed);
    if (SUCCEEDED(hr)) hr = compressed->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    if (SUCCEEDED(hr)) hr = compressed->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_tsrn);
    if (SUCCEEDED(hr)) hr = MFSetAttributeSize(compressed.Get(), MF_MT_FRAME_SIZE, width, height);
    if (SUCCEEDED(hr)) hr = Report("decoder SetInputType", decoder->SetInputType(0, compressed.Get(), 0));

    // Decoder output: the first offered type, bp16 at full size.
    ComPtr<IMFMediaType> bayer;
    if (SUCCEEDED(hr))
        hr = Report("decoder GetOutputAvailableType", decoder->GetOutputAvailableType(0, 0, &bayer));
    if (SUCCEEDED(hr)) hr = Report("decoder SetOutputType", decoder->SetOutputType(0, bayer.Get(), 0));

    // Debayer input: exactly the decoder's output type; output: the first offered type, RGBA
    // half floats, with the default curve (linear light in BT.2020 primaries).
    ComPtr<IMFMediaType> rgba;
    if (SUCCEEDED(hr)) hr = Report("debayer SetInputType", debayer->SetInputType(0, bayer.Get(), 0));
    if (SUCCEEDED(hr))
        hr = Report("debayer GetOutputAvailableType", debayer->GetOutputAvailableType(0, 0, &rgba));
    if (SUCCEEDED(hr)) hr = Report("debayer SetOutputType", debayer->SetOutputType(0, rgba.Get(), 0));
    return hr;
}

// ---- A host OpenCL queue, through OpenCL.dll loaded at run time ---------------------------------

// The few OpenCL 1.2 declarations this host needs (CL/cl.h has them all).
using cl_int = std::int32_t;
using cl_uint = std::uint32_t;
using cl_platform_id = struct _cl_platform_id*;
using cl_device_id = struct _cl_device_id*;
using cl_context = struct _cl_context*;
using cl_command_queue = struct _cl_command_queue*;
constexpr std::uint64_t kDeviceTypeAll = 0xFFFFFFFF;

class HostQueue {
public:
    HostQueue() = default;
    HostQueue(const HostQueue&) = delete;
    HostQueue& operator=(const HostQueue&) = delete;
    ~HostQueue() {
        if (m_queue) m_releaseQueue(m_queue);
        if (m_context) m_releaseContext(m_context);
        if (m_library) FreeLibrary(m_library);
    }

    // A queue on the first device of the first platform; null when there is none.
    cl_command_queue Create() {
        m_library = LoadLibraryW(L"OpenCL.dll");
        if (!m_library) return nullptr;
        const auto getPlatforms =
            Entry<cl_int(WINAPI*)(cl_uint, cl_platform_id*, cl_uint*)>("clGetPlatformIDs");
        const auto getDevices =
            Entry<cl_int(WINAPI*)(cl_platform_id, std::uint64_t, cl_uint, cl_device_id*, cl_uint*)>(
                "clGetDeviceIDs");
        const auto createContext =
            Entry<cl_context(WINAPI*)(const intptr_t*, cl_uint, const cl_device_id*, void*, void*, cl_int*)>(
                "clCreateContext");
        const auto createQueue =
            Entry<cl_command_queue(WINAPI*)(cl_context, cl_device_id, std::uint64_t, cl_int*)>(
                "clCreateCommandQueue");
        m_releaseQueue = Entry<cl_int(WINAPI*)(cl_command_queue)>("clReleaseCommandQueue");
        m_releaseContext = Entry<cl_int(WINAPI*)(cl_context)>("clReleaseContext");
        if (!getPlatforms || !getDevices || !createContext || !createQueue || !m_releaseQueue ||
            !m_releaseContext)
            return nullptr;

        cl_platform_id platform = nullptr;
        cl_device_id device = nullptr;
        cl_uint count = 0;
        if (getPlatforms(1, &platform, &count) != 0 || count == 0) return nullptr;
        if (getDevices(platform, kDeviceTypeAll, 1, &device, &count) != 0 || count == 0) return nullptr;
        m_context = createContext(nullptr, 1, &device, nullptr, nullptr, nullptr);
        if (m_context) m_queue = createQueue(m_context, device, 0, nullptr);
        return m_queue;
    }

private:
    template <typename Function> Function Entry(const char* name) const {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(m_library, name)));
    }

    HMODULE m_library = nullptr;
    cl_context m_context = nullptr;
    cl_command_queue m_queue = nullptr;
    cl_int(WINAPI* m_releaseQueue)(cl_command_queue) = nullptr;
    cl_int(WINAPI* m_releaseContext)(cl_context) = nullptr;
};

// Starts the debayer on its own GPU or, failing that, on a queue of this host.
HRESULT StartDebayer(IMFTransform* debayer, HostQueue& hostQueue) {
    if (SUCCEEDED(debayer->ProcessMessage(MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, 0))) return S_OK;
    const cl_command_queue queue = hostQueue.Create();
    if (!queue) return Report("finding an OpenCL device", E_FAIL);
    std::printf("chain: the debayer found no GPU of its own; handing it an OpenCL queue\n");
    ComPtr<IMFAttributes> attributes;
    HRESULT hr = debayer->GetAttributes(&attributes);
    if (SUCCEEDED(hr))
        hr = attributes->SetUINT64(MF_DEBAYER_CL_COMMAND_QUEUE, reinterpret_cast<UINT64>(queue));
    if (SUCCEEDED(hr)) hr = debayer->ProcessMessage(MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, 0);
    return Report("starting the debayer", hr);
}

// ---- Processing ------------------------------------------------------------------------------

// Feeds one sample and takes the one it yields, in a sample the transform allocates.
HRESULT Process(IMFTransform* transform, IMFSample* input, ComPtr<IMFSample>& output) {
    HRESULT hr = transform->ProcessInput(0, input, 0);
    if (FAILED(hr)) return hr;
    MFT_OUTPUT_DATA_BUFFER buffer = {};
    DWORD status = 0;
    hr = transform->ProcessOutput(0, 1, &buffer, &status);
    output.Attach(buffer.pSample);
    if (buffer.pEvents) buffer.pEvents->Release();
    return hr;
}

HRESULT CompressedSample(const std::vector<BYTE>& frame, ComPtr<IMFSample>& sample) {
    ComPtr<IMFMediaBuffer> buffer;
    HRESULT hr = MFCreateMemoryBuffer(static_cast<DWORD>(frame.size()), &buffer);
    BYTE* data = nullptr;
    if (SUCCEEDED(hr)) hr = buffer->Lock(&data, nullptr, nullptr);
    if (FAILED(hr)) return hr;
    std::memcpy(data, frame.data(), frame.size());
    buffer->Unlock();
    hr = buffer->SetCurrentLength(static_cast<DWORD>(frame.size()));
    if (SUCCEEDED(hr)) hr = MFCreateSample(&sample);
    if (SUCCEEDED(hr)) hr = sample->AddBuffer(buffer.Get());
    if (SUCCEEDED(hr)) hr = sample->SetSampleTime(0);
    return hr;
}

HRESULT WritePicture(IMFSample* sample, const wchar_t* path) {
    ComPtr<IMFMediaBuffer> buffer;
    HRESULT hr = sample->ConvertToContiguousBuffer(&buffer);
    BYTE* data = nullptr;
    DWORD length = 0;
    if (SUCCEEDED(hr)) hr = buffer->Lock(&data, nullptr, &length);
    if (FAILED(hr)) return hr;
    FILE* file = _wfopen(path, L"wb");
    bool written = file && std::fwrite(data, 1, length, file) == length;
    if (file) written = std::fclose(file) == 0 && written;
    buffer->Unlock();
    if (!written) return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    std::printf("chain: wrote %lu bytes\n", static_cast<unsigned long>(length));
    return S_OK;
}

int Run(const wchar_t* framePath, const wchar_t* outputPath) {
    std::vector<BYTE> frame;
    UINT32 width = 0, height = 0;
    if (!ReadFile(framePath, frame) || !FrameSize(frame, width, height)) {
        std::fprintf(stderr, "chain: %ls is not a Tessel RAW frame\n", framePath);
        return 1;
    }
    HostQueue hostQueue; // declared first: it outlives the transforms
    ComPtr<IMFTransform> decoder, debayer;
    if (FAILED(Report("finding TesselRAW decode filter",
                      CreateRegistered(MFT_CATEGORY_VIDEO_DECODER, CLSID_TesselRAWDecoder, decoder))) ||
        FAILED(Report("finding TesselRAW debayer filter",
                      CreateRegistered(MFT_CATEGORY_VIDEO_PROCESSOR, CLSID_TesselRAWDebayer, debayer))))
        return 1;
    if (FAILED(Negotiate(decoder.Get(), debayer.Get(), width, height))) return 1;

    if (FAILED(StartDebayer(debayer.Get(), hostQueue))) return 1;

    ComPtr<IMFSample> compressed, bayer, rgba;
    HRESULT hr = Report("making the input sample", CompressedSample(frame, compressed));
    if (SUCCEEDED(hr)) hr = Report("decoding", Process(decoder.Get(), compressed.Get(), bayer));
    if (SUCCEEDED(hr)) hr = Report("debayering", Process(debayer.Get(), bayer.Get(), rgba));
    if (SUCCEEDED(hr)) hr = Report("writing the picture", WritePicture(rgba.Get(), outputPath));
    debayer->ProcessMessage(MFT_MESSAGE_NOTIFY_END_STREAMING, 0);
    return SUCCEEDED(hr) ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: chain FRAME_FILE OUTPUT.rgba\n");
        return 2;
    }
    if (FAILED(Report("CoInitializeEx", CoInitializeEx(nullptr, COINIT_MULTITHREADED)))) return 1;
    int result = 1;
    if (SUCCEEDED(Report("MFStartup", MFStartup(MF_VERSION, MFSTARTUP_FULL)))) {
        result = Run(argv[1], argv[2]);
        MFShutdown();
    }
    CoUninitialize();
    return result;
}
