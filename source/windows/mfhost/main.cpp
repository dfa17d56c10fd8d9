// tsrmfhost: a minimal Media Foundation host for the two transform DLLs. It registers nothing:
// it loads TsrRawDecoder.dll and TsrRawDebayer.dll by path, chains decoder -> debayer, feeds them
// compressed frames (files, or the encoder's moving scene) and writes every RGBA frame to a file.
//
//   tsrmfhost [options] [frame files...]
//     --out DIR          folder for the RGBA frames (default: the current folder)
//     --dlls DIR         folder of the two DLLs (default: this program's folder)
//     --frames N         frames of the moving scene when no files are given (default 3)
//     --size WxH         size of the moving scene (default 320x180)
//     --scale S          decode at 1/2^S of the size, 0..3 (default 0)
//     --float            32-bit float output instead of half floats
//     --curve C          curve index 0..8 (default: the transform's default)
//     --host-queue       give the debayer an OpenCL queue on the first device at once, instead of
//                        trying its own GPU first
#include "transformlibrary.h"

#include "windows/common/tesselrawguids.h"
#include "windows/trans_debayer/debayerattributes.h"

#include "encoder/frameencoder.h"
#include "encoder/syntheticscene.h"

#define CL_TARGET_OPENCL_VERSION 120
#include <CL/cl.h>
#include <mfapi.h>
#include <mferror.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;
using Bytes = std::vector<uint8_t>;

namespace {

struct Options {
    std::wstring outputFolder = L".";
    std::wstring dllFolder;
    std::vector<std::wstring> files;
    int frames = 3;
    UINT32 width = 320;
    UINT32 height = 180;
    UINT32 scale = 0;
    bool floatOutput = false;
    int curve = -1;
    bool hostQueue = false;
};

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == L"--out" && hasValue)
            options.outputFolder = argv[++i];
        else if (arg == L"--dlls" && hasValue)
            options.dllFolder = argv[++i];
        else if (arg == L"--frames" && hasValue)
            options.frames = _wtoi(argv[++i]);
        else if (arg == L"--scale" && hasValue)
            options.scale = static_cast<UINT32>(_wtoi(argv[++i]));
        else if (arg == L"--curve" && hasValue)
            options.curve = _wtoi(argv[++i]);
        else if (arg == L"--size" && hasValue) {
            if (swscanf(argv[++i], L"%ux%u", &options.width, &options.height) != 2) return false;
        } else if (arg == L"--float")
            options.floatOutput = true;
        else if (arg == L"--host-queue")
            options.hostQueue = true;
        else if (arg.rfind(L"--", 0) == 0)
            return false;
        else
            options.files.push_back(arg);
    }
    if (options.dllFolder.empty()) options.dllFolder = ProgramFolder();
    if (!options.dllFolder.empty() && options.dllFolder.back() != L'\\' && options.dllFolder.back() != L'/')
        options.dllFolder += L'\\';
    return options.scale <= 3 && options.frames > 0 && options.width >= 16 && options.height >= 16;
}

bool ReadWholeFile(const std::wstring& path, Bytes& bytes) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return false;
    bytes.clear();
    uint8_t chunk[65536];
    size_t count = 0;
    while ((count = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + count);
    fclose(file);
    return !bytes.empty();
}

// The compressed frames to play: the files given, or the encoder's moving scene.
std::vector<Bytes> CompressedFrames(const Options& options) {
    std::vector<Bytes> frames;
    for (const std::wstring& path : options.files) {
        Bytes bytes;
        if (!ReadWholeFile(path, bytes)) {
            fwprintf(stderr, L"cannot read %ls\n", path.c_str());
            return {};
        }
        frames.push_back(std::move(bytes));
    }
    if (!frames.empty()) return frames;
    tsr::SceneSettings scene;
    scene.width = static_cast<int>(options.width);
    scene.height = static_cast<int>(options.height);
    tsr::EncoderSettings settings;
    for (int i = 0; i < options.frames; ++i) {
        const std::vector<uint16_t> mosaic = tsr::RenderSceneMosaic(scene, settings.bayerPattern, i / 30.0);
        frames.push_back(tsr::EncodeFrame(mosaic.data(), scene.width, scene.height, scene.width, settings));
    }
    return frames;
}

// Picture size from the frame header, which starts at byte 8: big-endian 16-bit width and height
// at its offsets 8 and 10.
bool FrameSize(const Bytes& frame, UINT32& width, UINT32& height) {
    if (frame.size() < 20) return false;
    width = (UINT32{frame[16]} << 8) | frame[17];
    height = (UINT32{frame[18]} << 8) | frame[19];
    return width > 0 && height > 0;
}

ComPtr<IMFMediaType> VideoType(const GUID& subtype, UINT32 width, UINT32 height) {
    ComPtr<IMFMediaType> type;
    if (FAILED(MFCreateMediaType(&type))) return nullptr;
    type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    type->SetGUID(MF_MT_SUBTYPE, subtype);
    if (width) MFSetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, width, height);
    return type;
}

// An OpenCL queue on the first device of the first platform, for a debayer without its own GPU.
class HostQueue {
public:
    HostQueue() {
        cl_platform_id platform = nullptr;
        cl_device_id device = nullptr;
        cl_uint count = 0;
        if (clGetPlatformIDs(1, &platform, &count) != CL_SUCCESS || count == 0) return;
        if (clGetDeviceIDs(platform, CL_DEVICE_TYPE_ALL, 1, &device, &count) != CL_SUCCESS || count == 0)
            return;
        m_context = clCreateContext(nullptr, 1, &device, nullptr, nullptr, nullptr);
        if (m_context) m_queue = clCreateCommandQueue(m_context, device, 0, nullptr);
    }
    ~HostQueue() {
        if (m_queue) clReleaseCommandQueue(m_queue);
        if (m_context) clReleaseContext(m_context);
    }
    cl_command_queue Queue() const { return m_queue; }

private:
    cl_context m_context = nullptr;
    cl_command_queue m_queue = nullptr;
};

double Milliseconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

HRESULT Fail(const wchar_t* what, HRESULT hr) {
    fwprintf(stderr, L"%ls failed: 0x%08lx\n", what, static_cast<unsigned long>(hr));
    return hr;
}

HRESULT Pull(IMFTransform* transform, ComPtr<IMFSample>& sample) {
    MFT_OUTPUT_DATA_BUFFER buffer = {};
    DWORD status = 0;
    const HRESULT hr = transform->ProcessOutput(0, 1, &buffer, &status);
    *sample.ReleaseAndGetAddressOf() = buffer.pSample; // MinGW's ComPtr::Attach adds a reference
    if (buffer.pEvents) buffer.pEvents->Release();
    return hr;
}

bool WriteFrame(const Options& options, int index, UINT32 width, UINT32 height, IMFSample* sample) {
    ComPtr<IMFMediaBuffer> buffer;
    if (FAILED(sample->ConvertToContiguousBuffer(&buffer))) return false;
    BYTE* data = nullptr;
    DWORD length = 0;
    if (FAILED(buffer->Lock(&data, nullptr, &length))) return false;
    wchar_t name[64];
    swprintf(name, 64, L"frame%04d_%ux%u_%ls.raw", index, width, height,
             options.floatOutput ? L"rgba32f" : L"rgba16f");
    const std::wstring path = options.outputFolder + L"\\" + name;
    FILE* file = _wfopen(path.c_str(), L"wb");
    bool written = false;
    if (file) {
        written = fwrite(data, 1, length, file) == length;
        written = fclose(file) == 0 && written;
    }
    buffer->Unlock();
    if (written) wprintf(L"%ls (%lu bytes)\n", path.c_str(), static_cast<unsigned long>(length));
    return written;
}

// Decoder: compressed in, Bayer out at the chosen scale; its output type is the debayer's input.
HRESULT NegotiateTypes(const Options& options, UINT32 width, UINT32 height, IMFTransform* decoder,
                       IMFTransform* debayer) {
    const UINT32 outWidth = width >> options.scale, outHeight = height >> options.scale;
    HRESULT hr = decoder->SetInputType(0, VideoType(tsr::MFVideoFormat_tsrn, width, height).Get(), 0);
    if (SUCCEEDED(hr))
        hr = decoder->SetOutputType(
            0,
            VideoType(options.scale ? tsr::MFVideoFormat_bp64 : tsr::MFVideoFormat_bp16, outWidth, outHeight)
                .Get(),
            0);
    ComPtr<IMFMediaType> bayerType;
    if (SUCCEEDED(hr)) hr = decoder->GetOutputCurrentType(0, &bayerType);
    if (SUCCEEDED(hr)) hr = debayer->SetInputType(0, bayerType.Get(), 0);
    ComPtr<IMFMediaType> rgbaType =
        VideoType(options.floatOutput ? tsr::MFVideoFormat_RGBA128F : MFVideoFormat_A16B16G16R16F, 0, 0);
    if (options.curve >= 0)
        rgbaType->SetUINT32(tsr::MF_DEBAYER_OUTPUT_CURVE, static_cast<UINT32>(options.curve));
    if (SUCCEEDED(hr)) hr = debayer->SetOutputType(0, rgbaType.Get(), 0);
    return hr;
}

// The debayer looks for a GPU of its own; without one, it runs on a queue the host supplies.
bool StartDebayer(const Options& options, IMFTransform* debayer, const HostQueue& hostQueue) {
    ComPtr<IMFAttributes> attributes;
    debayer->GetAttributes(&attributes);
    HRESULT hr = S_OK;
    if (!options.hostQueue) hr = debayer->ProcessMessage(MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, 0);
    if (options.hostQueue || FAILED(hr)) {
        if (!hostQueue.Queue()) return Fail(L"finding an OpenCL device", E_FAIL), false;
        if (!options.hostQueue) wprintf(L"no GPU of its own for the debayer: using a host OpenCL queue\n");
        attributes->SetUINT64(tsr::MF_DEBAYER_CL_COMMAND_QUEUE, reinterpret_cast<UINT64>(hostQueue.Queue()));
        hr = debayer->ProcessMessage(MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, 0);
        if (FAILED(hr)) return Fail(L"starting the debayer", hr), false;
    }
    return true;
}

// A sample holding a copy of the frame's bytes, at the frame's time in a 29.97 frames/s stream.
HRESULT CompressedSample(const Bytes& frame, size_t index, ComPtr<IMFSample>& sample) {
    ComPtr<IMFMediaBuffer> buffer;
    HRESULT hr = MFCreateMemoryBuffer(static_cast<DWORD>(frame.size()), &buffer);
    BYTE* data = nullptr;
    if (SUCCEEDED(hr)) hr = buffer->Lock(&data, nullptr, nullptr);
    if (SUCCEEDED(hr)) {
        memcpy(data, frame.data(), frame.size());
        buffer->Unlock();
        buffer->SetCurrentLength(static_cast<DWORD>(frame.size()));
        hr = MFCreateSample(&sample);
    }
    if (SUCCEEDED(hr)) hr = sample->AddBuffer(buffer.Get());
    if (SUCCEEDED(hr)) hr = sample->SetSampleTime(static_cast<LONGLONG>(index) * 333667);
    return hr;
}

// One frame through both transforms; prints the time each took.
HRESULT PlayFrame(IMFTransform* decoder, IMFTransform* debayer, const Bytes& frame, size_t index,
                  ComPtr<IMFSample>& rgba) {
    ComPtr<IMFSample> compressed, bayer;
    HRESULT hr = CompressedSample(frame, index, compressed);
    if (SUCCEEDED(hr)) hr = decoder->ProcessInput(0, compressed.Get(), 0);
    const double start = Milliseconds();
    if (SUCCEEDED(hr)) hr = Pull(decoder, bayer);
    const double decoded = Milliseconds();
    if (SUCCEEDED(hr)) hr = debayer->ProcessInput(0, bayer.Get(), 0);
    if (SUCCEEDED(hr)) hr = Pull(debayer, rgba);
    const double debayered = Milliseconds();
    if (SUCCEEDED(hr))
        wprintf(L"frame %d: decode %.1f ms, debayer %.1f ms\n", static_cast<int>(index), decoded - start,
                debayered - decoded);
    return hr;
}

int Run(const Options& options) {
    const std::vector<Bytes> frames = CompressedFrames(options);
    UINT32 width = 0, height = 0;
    if (frames.empty() || !FrameSize(frames[0], width, height)) {
        fwprintf(stderr, L"no frames to play\n");
        return 1;
    }
    TransformLibrary decoderLibrary(options.dllFolder + L"TsrRawDecoder.dll");
    TransformLibrary debayerLibrary(options.dllFolder + L"TsrRawDebayer.dll");
    ComPtr<IMFTransform> decoder, debayer;
    HRESULT hr = decoderLibrary.Create(tsr::CLSID_TesselRAWDecoder, decoder);
    if (FAILED(hr)) return Fail(L"creating the decoder transform", hr), 1;
    hr = debayerLibrary.Create(tsr::CLSID_TesselRAWDebayer, debayer);
    if (FAILED(hr)) return Fail(L"creating the debayer transform", hr), 1;
    hr = NegotiateTypes(options, width, height, decoder.Get(), debayer.Get());
    if (FAILED(hr)) return Fail(L"negotiating the media types", hr), 1;
    HostQueue hostQueue;
    if (!StartDebayer(options, debayer.Get(), hostQueue)) return 1;

    CreateDirectoryW(options.outputFolder.c_str(), nullptr); // may exist already
    int written = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        ComPtr<IMFSample> rgba;
        hr = PlayFrame(decoder.Get(), debayer.Get(), frames[i], i, rgba);
        if (FAILED(hr)) {
            Fail(L"processing a frame", hr);
            continue;
        }
        if (WriteFrame(options, static_cast<int>(i), width >> options.scale, height >> options.scale,
                       rgba.Get()))
            ++written;
        else
            fwprintf(stderr, L"cannot write frame %d to %ls\n", static_cast<int>(i),
                     options.outputFolder.c_str());
    }
    debayer->ProcessMessage(MFT_MESSAGE_NOTIFY_END_STREAMING, 0);
    wprintf(L"wrote %d of %d frames\n", written, static_cast<int>(frames.size()));
    return written == static_cast<int>(frames.size()) ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        fwprintf(stderr,
                 L"usage: tsrmfhost [--out DIR] [--dlls DIR] [--frames N] [--size WxH] [--scale 0..3] "
                 L"[--float] [--curve 0..8] [--host-queue] [frame files...]\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) ||
        FAILED(MFStartup(MF_VERSION, MFSTARTUP_FULL))) {
        fwprintf(stderr, L"cannot start Media Foundation\n");
        return 1;
    }
    const int result = Run(options);
    MFShutdown();
    CoUninitialize();
    return result;
}
