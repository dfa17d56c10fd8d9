#include "debayertransformtest.h"

#include "engine/debayerer.h"

#include "encoder/frameencoder.h"
#include "encoder/syntheticscene.h"
#include <tsr/framedecoder.h>

#include <cstring>

using namespace tsr;

Bytes MakeEncodedFrame(UINT32 width, UINT32 height) {
    SceneSettings scene;
    scene.width = static_cast<int>(width);
    scene.height = static_cast<int>(height);
    EncoderSettings settings;
    settings.bayerPattern = 2;
    settings.gain0 = 1.8f;
    settings.gain1 = 1.3f;
    settings.colorMatrix = {0.6f, 0.3f, 0.1f, 0.25f, 0.7f, 0.05f, 0.02f, 0.1f, 0.9f};
    const std::vector<uint16_t> mosaic = RenderSceneMosaic(scene, settings.bayerPattern, 0.5);
    return EncodeFrame(mosaic.data(), static_cast<int>(width), static_cast<int>(height), width, settings);
}

BayerFrame MakeDecodedFrame(UINT32 width, UINT32 height, UINT32 scale) {
    const Bytes compressed = MakeEncodedFrame(width, height);
    BayerFrame frame;
    frame.width = width >> scale;
    frame.height = height >> scale;
    const int pitch = frameDecoderMinRowPitch(static_cast<int>(width), static_cast<int>(scale));
    frame.record.assign(TSR_FRAME_INFO_RECORD_SIZE, 0);
    frame.picture.assign(static_cast<size_t>(pitch) * frame.height, 0);
    FrameDecoderHandle decoder = frameDecoderCreate(1);
    const int status =
        frameDecoderDecode(decoder, compressed.data(), static_cast<int>(compressed.size()),
                           frame.picture.data(), static_cast<int>(frame.picture.size()), pitch,
                           frame.record.data(), TSR_FRAME_INFO_RECORD_SIZE, static_cast<int>(scale));
    frameDecoderDestroy(decoder);
    EXPECT_EQ(status, 0);
    return frame;
}

ComPtr<IMFMediaType> VideoType(const GUID& subtype) {
    ComPtr<IMFMediaType> type;
    EXPECT_HRESULT_SUCCEEDED(MFCreateMediaType(&type));
    type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    type->SetGUID(MF_MT_SUBTYPE, subtype);
    return type;
}

ComPtr<IMFMediaType> VideoType(const GUID& subtype, UINT32 width, UINT32 height) {
    ComPtr<IMFMediaType> type = VideoType(subtype);
    MFSetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, width, height);
    return type;
}

ComPtr<IMFMediaBuffer> MemoryBuffer(const Bytes& bytes, DWORD maxLength) {
    ComPtr<IMFMediaBuffer> buffer;
    EXPECT_HRESULT_SUCCEEDED(MFCreateMemoryBuffer(maxLength, &buffer));
    BYTE* data = nullptr;
    buffer->Lock(&data, nullptr, nullptr);
    std::memset(data, 0, maxLength);
    std::memcpy(data, bytes.data(), bytes.size() < maxLength ? bytes.size() : maxLength);
    buffer->Unlock();
    buffer->SetCurrentLength(static_cast<DWORD>(bytes.size() < maxLength ? bytes.size() : maxLength));
    return buffer;
}

ComPtr<IMFSample> OneBufferSample(const BayerFrame& frame) {
    Bytes joined = frame.record;
    joined.insert(joined.end(), frame.picture.begin(), frame.picture.end());
    ComPtr<IMFSample> sample;
    EXPECT_HRESULT_SUCCEEDED(MFCreateSample(&sample));
    sample->AddBuffer(MemoryBuffer(joined, static_cast<DWORD>(joined.size())).Get());
    return sample;
}

ComPtr<IMFSample> TwoBufferSample(const BayerFrame& frame) {
    ComPtr<IMFSample> sample;
    EXPECT_HRESULT_SUCCEEDED(MFCreateSample(&sample));
    sample->AddBuffer(MemoryBuffer(frame.record, static_cast<DWORD>(frame.record.size())).Get());
    sample->AddBuffer(MemoryBuffer(frame.picture, static_cast<DWORD>(frame.picture.size())).Get());
    return sample;
}

Bytes BufferBytes(IMFSample* sample) {
    ComPtr<IMFMediaBuffer> buffer;
    if (FAILED(sample->GetBufferByIndex(0, &buffer))) return {};
    BYTE* data = nullptr;
    DWORD length = 0;
    if (FAILED(buffer->Lock(&data, nullptr, &length))) return {};
    Bytes bytes(data, data + length);
    buffer->Unlock();
    return bytes;
}

UINT32 OutputPixelBytes(const GUID& subtype) {
    return IsEqualGUID(subtype, MFVideoFormat_RGBA128F) ? 16 : 8;
}

void DebayerTransformTest::SetUp() {
    MediaFoundationTest::SetUp();
    ASSERT_TRUE(m_library.Loaded());
    ASSERT_EQ(m_library.CreateInstance(CLSID_TesselRAWDebayer, m_transform), S_OK);
}

void DebayerTransformTest::TearDown() {
    if (m_transform) {
        EXPECT_EQ(m_transform.Detach()->Release(), 0u);
    }
    EXPECT_EQ(m_library.CanUnloadNow(), S_OK);
    MediaFoundationTest::TearDown();
}

void DebayerTransformTest::Negotiate(const BayerFrame& frame, const GUID& outputSubtype,
                                     IMFMediaType* outputType) {
    TsrFrameInfoRecord record;
    std::memcpy(&record, frame.record.data(), sizeof record);
    const GUID& inputSubtype = record.layoutCode == TSR_LAYOUT_BP64 ? MFVideoFormat_bp64 : MFVideoFormat_bp16;
    ASSERT_EQ(m_transform->SetInputType(0, VideoType(inputSubtype, frame.width, frame.height).Get(), 0),
              S_OK);
    ComPtr<IMFMediaType> output = outputType ? outputType : VideoType(outputSubtype).Get();
    if (outputType) output->SetGUID(MF_MT_SUBTYPE, outputSubtype);
    ASSERT_EQ(m_transform->SetOutputType(0, output.Get(), 0), S_OK);
}

void DebayerTransformTest::UseHostQueue() {
    ASSERT_TRUE(m_host.Valid());
    ComPtr<IMFAttributes> attributes;
    ASSERT_EQ(m_transform->GetAttributes(&attributes), S_OK);
    ASSERT_EQ(attributes->SetUINT64(MF_DEBAYER_CL_COMMAND_QUEUE, reinterpret_cast<UINT64>(m_host.Queue())),
              S_OK);
}

HRESULT DebayerTransformTest::Process(IMFSample* input, ComPtr<IMFSample>& output) {
    const HRESULT queued = m_transform->ProcessInput(0, input, 0);
    if (FAILED(queued)) return queued;
    MFT_OUTPUT_DATA_BUFFER buffer = {};
    DWORD status = 0;
    const HRESULT hr = m_transform->ProcessOutput(0, 1, &buffer, &status);
    *output.ReleaseAndGetAddressOf() = buffer.pSample; // MinGW's ComPtr::Attach adds a reference
    return hr;
}

Bytes DebayerTransformTest::EngineOutput(const BayerFrame& frame, const GUID& outputSubtype,
                                         const float* matrix, unsigned curve) {
    HRESULT hr = S_OK;
    Debayerer engine(m_host.Queue(), &hr);
    EXPECT_EQ(hr, S_OK);
    const bool wide = IsEqualGUID(outputSubtype, MFVideoFormat_RGBA128F);
    const cl_image_format format = {CL_RGBA, static_cast<cl_channel_type>(wide ? CL_FLOAT : CL_HALF_FLOAT)};
    cl_mem output = m_host.CreateImage(format, frame.width, frame.height, CL_MEM_READ_WRITE);
    EXPECT_NE(output, nullptr);
    const auto* record = reinterpret_cast<const TsrFrameInfoRecord*>(frame.record.data());
    const int status =
        ProcessMemory(engine.Processor(), frame.picture.data(), static_cast<unsigned>(frame.picture.size()),
                      record, TSR_FRAME_INFO_RECORD_SIZE, matrix, curve, m_host.Queue(), output);
    EXPECT_EQ(status, 0);
    Bytes bytes = m_host.ReadImage(output, frame.width, frame.height, OutputPixelBytes(outputSubtype));
    clReleaseMemObject(output);
    return bytes;
}
