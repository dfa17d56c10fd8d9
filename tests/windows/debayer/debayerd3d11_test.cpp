// Direct3D 11 sharing under Wine with the sharing test driver (sharingdriver/), which stands in for
// a GPU driver with cl_khr_d3d11_sharing: the binding's device and context search and its failure
// messages, and the transform on textures end to end, with the texture image cache.
#include "d3d11device.h"
#include "debayertransformtest.h"
#include "debugcapture.h"
#include "sharingstatistics.h"
#include "windows/d3d11/climagefromd3d11.h"
#include "windows/d3d11/opencld3d11khr.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace tsr;

namespace {

constexpr UINT32 kWidth = 64;
constexpr UINT32 kHeight = 48;

// Looked up before any OpenCL call: the driver then loads the system's opencl.dll, and the name
// "OpenCL.dll" no longer tells the two apart.
const GetSharingDriverStatistics g_driverStatistics = reinterpret_cast<GetSharingDriverStatistics>(
    reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"OpenCL.dll"), "TsrSharingDriverStatistics")));

SharingDriverStatistics DriverStatistics(bool reset = false) {
    SharingDriverStatistics statistics = {};
    if (g_driverStatistics) g_driverStatistics(&statistics, reset ? 1 : 0);
    return statistics;
}

bool AnyMessageContains(const DebugOutputCapture& capture, const std::string& text) {
    const std::vector<std::string> messages = capture.Messages();
    return std::any_of(messages.begin(), messages.end(),
                       [&](const std::string& message) { return message.find(text) != std::string::npos; });
}

// Sets a driver switch for the length of a scope.
class DriverSetting {
public:
    DriverSetting(const char* name, const char* value) : m_name(name) {
        SetEnvironmentVariableA(name, value);
    }
    ~DriverSetting() { SetEnvironmentVariableA(m_name, nullptr); }

private:
    const char* m_name;
};

class SharingTest : public DebayerTransformTest {
protected:
    void SetUp() override {
        DebayerTransformTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_NE(g_driverStatistics, nullptr) << "the sharing test driver is not the OpenCL.dll in use";
        m_device = CreateTestDevice();
        if (!m_device) GTEST_SKIP() << "no Direct3D 11 device (no display)";
        DriverStatistics(true);
    }

    void UseDeviceManager() {
        UINT token = 0;
        ASSERT_EQ(MFCreateDXGIDeviceManager(&token, &m_manager), S_OK);
        ASSERT_EQ(m_manager->ResetDevice(m_device.Get(), token), S_OK);
        ASSERT_EQ(m_transform->ProcessMessage(MFT_MESSAGE_SET_D3D_MANAGER,
                                              reinterpret_cast<ULONG_PTR>(m_manager.Get())),
                  S_OK);
    }

    ComPtr<ID3D11Texture2D> OutputTexture() {
        ComPtr<ID3D11Texture2D> texture;
        EXPECT_EQ(CreateTestTexture(m_device.Get(), kWidth, kHeight, texture), S_OK);
        return texture;
    }

    static ComPtr<IMFSample> TextureSample(ID3D11Texture2D* texture) {
        ComPtr<IMFMediaBuffer> buffer;
        EXPECT_EQ(MFCreateDXGISurfaceBuffer(IID_ID3D11Texture2D, texture, 0, FALSE, &buffer), S_OK);
        ComPtr<IMFSample> sample;
        MFCreateSample(&sample);
        sample->AddBuffer(buffer.Get());
        return sample;
    }

    // Texture contents through a staging copy, rows packed.
    Bytes TextureBytes(ID3D11Texture2D* texture) {
        D3D11_TEXTURE2D_DESC description = {};
        texture->GetDesc(&description);
        description.Usage = D3D11_USAGE_STAGING;
        description.BindFlags = 0;
        description.MiscFlags = 0;
        description.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
        ComPtr<ID3D11Texture2D> staging;
        EXPECT_EQ(m_device->CreateTexture2D(&description, nullptr, &staging), S_OK);
        ComPtr<ID3D11DeviceContext> immediate;
        m_device->GetImmediateContext(&immediate);
        immediate->CopyResource(staging.Get(), texture);
        D3D11_MAPPED_SUBRESOURCE mapped = {};
        Bytes bytes(size_t{description.Width} * description.Height * 8);
        if (SUCCEEDED(immediate->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &mapped))) {
            for (UINT y = 0; y < description.Height; ++y)
                std::memcpy(bytes.data() + size_t{y} * description.Width * 8,
                            static_cast<const uint8_t*>(mapped.pData) + size_t{y} * mapped.RowPitch,
                            size_t{description.Width} * 8);
            immediate->Unmap(staging.Get(), 0);
        }
        return bytes;
    }

    // Runs one frame into a host-supplied texture sample.
    HRESULT ProcessInto(const BayerFrame& frame, ID3D11Texture2D* texture) {
        const HRESULT queued = m_transform->ProcessInput(0, TwoBufferSample(frame).Get(), 0);
        if (FAILED(queued)) return queued;
        ComPtr<IMFSample> output = TextureSample(texture);
        MFT_OUTPUT_DATA_BUFFER buffer = {};
        buffer.pSample = output.Get();
        DWORD status = 0;
        return m_transform->ProcessOutput(0, 1, &buffer, &status);
    }

    ComPtr<ID3D11Device> m_device;
    ComPtr<IMFDXGIDeviceManager> m_manager;
};

TEST_F(SharingTest, BindingTriesThePreferredDevicesThenAllDevices) {
    struct Case {
        const char* preferred;
        long preferredQueries;
        long allQueries;
    } cases[] = {{"1", 1, 0}, {"0", 1, 1}};
    for (const Case& c : cases) {
        DriverSetting setting("TSR_SHARING_PREFERRED", c.preferred);
        DriverStatistics(true);
        DebugOutputCapture capture;
        HRESULT hr = E_FAIL;
        {
            OpenCLD3D11KHR binding(m_device.Get(), &hr);
            EXPECT_EQ(hr, S_OK) << c.preferred;
            EXPECT_NE(binding.m_context, nullptr);
            EXPECT_NE(binding.m_queue, nullptr);
            EXPECT_NE(binding.m_enqueueAcquire, nullptr);
        }
        const SharingDriverStatistics statistics = DriverStatistics();
        EXPECT_EQ(statistics.preferredDeviceQueries, c.preferredQueries) << c.preferred;
        EXPECT_EQ(statistics.allDeviceQueries, c.allQueries) << c.preferred;
        EXPECT_EQ(statistics.sharedContexts, 1);
        for (const std::string& message : capture.Messages()) ADD_FAILURE() << c.preferred << ": " << message;
    }
}

TEST_F(SharingTest, BindingPrefersTheKhrExtensionAndFailsCleanly) {
    struct Case {
        const char* extensions;
        const char* vendor; // null: the adapter's
        HRESULT expected;
        const char* message;
        long khrNames, nvNames;
    } cases[] = {
        {"both", nullptr, S_OK, nullptr, 4, 0},
        {"nv", nullptr, S_OK, nullptr, 0, 4},
        {"none", nullptr, E_UNEXPECTED, "fail to find d3d11 share extensions", 0, 0},
        {"khr", "1234", E_UNEXPECTED, "fail to find valid platform id for device with vendor id=", 0, 0},
    };
    for (const Case& c : cases) {
        DriverSetting extensions("TSR_SHARING_EXTENSIONS", c.extensions);
        DriverSetting vendor("TSR_SHARING_VENDOR", c.vendor);
        DriverStatistics(true);
        DebugOutputCapture capture;
        HRESULT hr = S_OK;
        OpenCLD3D11KHR binding(m_device.Get(), &hr);
        EXPECT_EQ(hr, c.expected) << c.extensions;
        if (c.message) {
            EXPECT_TRUE(AnyMessageContains(capture, c.message)) << c.extensions;
            EXPECT_EQ(binding.m_context, nullptr);
        }
        const SharingDriverStatistics statistics = DriverStatistics();
        EXPECT_EQ(statistics.khrNamesResolved, c.khrNames) << c.extensions;
        EXPECT_EQ(statistics.nvNamesResolved, c.nvNames) << c.extensions;
    }
    // Through the transform, the binding's failure is the engine's failure.
    DriverSetting extensions("TSR_SHARING_EXTENSIONS", "none");
    ASSERT_NO_FATAL_FAILURE(Negotiate(MakeDecodedFrame(kWidth, kHeight, 0), MFVideoFormat_A16B16G16R16F));
    ASSERT_NO_FATAL_FAILURE(UseDeviceManager());
    EXPECT_EQ(m_transform->ProcessMessage(MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, 0), E_UNEXPECTED);
}

TEST_F(SharingTest, TexturesTheTransformProvidesHoldTheEngineOutput) {
    const BayerFrame frame = MakeDecodedFrame(kWidth, kHeight, 0);
    ASSERT_NO_FATAL_FAILURE(Negotiate(frame, MFVideoFormat_A16B16G16R16F));
    ASSERT_NO_FATAL_FAILURE(UseDeviceManager());
    const Bytes expected = EngineOutput(frame, MFVideoFormat_A16B16G16R16F, nullptr, 1);
    for (int i = 0; i < 2; ++i) {
        ComPtr<IMFSample> output;
        ASSERT_EQ(Process(TwoBufferSample(frame).Get(), output), S_OK);
        ComPtr<IMFMediaBuffer> buffer;
        ASSERT_EQ(output->GetBufferByIndex(0, &buffer), S_OK);
        ComPtr<IMFDXGIBuffer> dxgi;
        ASSERT_EQ(buffer.As(&dxgi), S_OK);
        ComPtr<ID3D11Texture2D> texture;
        ASSERT_EQ(dxgi->GetResource(IID_PPV_ARGS(&texture)), S_OK);
        D3D11_TEXTURE2D_DESC description = {};
        texture->GetDesc(&description);
        EXPECT_EQ(description.MiscFlags, static_cast<UINT>(D3D11_RESOURCE_MISC_SHARED));
        EXPECT_EQ(description.BindFlags, static_cast<UINT>(D3D11_BIND_SHADER_RESOURCE));
        EXPECT_TRUE(TextureBytes(texture.Get()) == expected) << "frame " << i;
    }
    const SharingDriverStatistics statistics = DriverStatistics();
    EXPECT_EQ(statistics.acquires, 2);
    EXPECT_EQ(statistics.releases, 2);
    EXPECT_EQ(statistics.pairingErrors, 0);
    EXPECT_EQ(statistics.imagesFromTextures, 2); // a new texture for each provided sample

    // Without the device manager the next frame goes to memory, on the engine's own GPU (the
    // driver's devices count as GPUs).
    ASSERT_EQ(m_transform->ProcessMessage(MFT_MESSAGE_SET_D3D_MANAGER, 0), S_OK);
    ComPtr<IMFSample> output;
    ASSERT_EQ(Process(TwoBufferSample(frame).Get(), output), S_OK);
    ComPtr<IMFMediaBuffer> buffer;
    ASSERT_EQ(output->GetBufferByIndex(0, &buffer), S_OK);
    ComPtr<IMFDXGIBuffer> dxgi;
    EXPECT_EQ(buffer.As(&dxgi), E_NOINTERFACE);
    EXPECT_TRUE(BufferBytes(output.Get()) == expected);
}

// Wine's Media Foundation makes no surface buffer over 32-bit float textures.
TEST_F(SharingTest, FloatTextureOutputFailsWithACleanResult) {
    const BayerFrame frame = MakeDecodedFrame(kWidth, kHeight, 0);
    ASSERT_NO_FATAL_FAILURE(Negotiate(frame, MFVideoFormat_RGBA128F));
    ASSERT_NO_FATAL_FAILURE(UseDeviceManager());
    ComPtr<IMFSample> output;
    const HRESULT hr = Process(TwoBufferSample(frame).Get(), output);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(output.Get(), nullptr);
    // No output was made, so the frame is still queued until a flush.
    DWORD status = 0;
    ASSERT_EQ(m_transform->GetOutputStatus(&status), S_OK);
    EXPECT_EQ(status, static_cast<DWORD>(MFT_OUTPUT_STATUS_SAMPLE_READY));
    ASSERT_EQ(m_transform->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0), S_OK);
}

TEST_F(SharingTest, TextureImageCacheKeepsTenAndEvictsTheLeastRecentlyUsed) {
    const BayerFrame frame = MakeDecodedFrame(kWidth, kHeight, 0);
    ASSERT_NO_FATAL_FAILURE(Negotiate(frame, MFVideoFormat_A16B16G16R16F));
    ASSERT_NO_FATAL_FAILURE(UseDeviceManager());
    const Bytes expected = EngineOutput(frame, MFVideoFormat_A16B16G16R16F, nullptr, 1);
    std::vector<ComPtr<ID3D11Texture2D>> textures;
    for (int i = 0; i < 11; ++i) textures.push_back(OutputTexture());
    DriverStatistics(true);

    struct Step {
        int texture;
        long imagesMadeSoFar;
        long liveImages;
    } steps[] = {
        {0, 1, 1},
        {1, 2, 2},
        {2, 3, 3},
        {3, 4, 4},
        {4, 5, 5},
        {5, 6, 6},
        {6, 7, 7},
        {7, 8, 8},
        {8, 9, 9},
        {9, 10, 10},
        {0, 10, 10},  // hit: texture 0 becomes the most
                      // recent, texture 1 the least
        {10, 11, 10}, // the eleventh evicts texture 1
        {0, 11, 10},  // still cached
        {1, 12, 10},  // made again
    };
    for (const Step& step : steps) {
        ASSERT_EQ(ProcessInto(frame, textures[step.texture].Get()), S_OK) << step.texture;
        const SharingDriverStatistics statistics = DriverStatistics();
        EXPECT_EQ(statistics.imagesFromTextures, step.imagesMadeSoFar) << "texture " << step.texture;
        EXPECT_EQ(statistics.liveImagesFromTextures, step.liveImages) << "texture " << step.texture;
    }
    EXPECT_TRUE(TextureBytes(textures[10].Get()) == expected);

    // A flush naming one texture forgets its image alone; a flush with 0 forgets them all.
    ASSERT_EQ(m_transform->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH,
                                          reinterpret_cast<ULONG_PTR>(textures[0].Get())),
              S_OK);
    EXPECT_EQ(DriverStatistics().liveImagesFromTextures, 9);
    ASSERT_EQ(ProcessInto(frame, textures[0].Get()), S_OK);
    EXPECT_EQ(DriverStatistics().imagesFromTextures, 13);
    ASSERT_EQ(ProcessInto(frame, textures[10].Get()), S_OK);
    EXPECT_EQ(DriverStatistics().imagesFromTextures, 13);
    ASSERT_EQ(m_transform->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0), S_OK);
    EXPECT_EQ(DriverStatistics().liveImagesFromTextures, 0);
    ASSERT_EQ(ProcessInto(frame, textures[10].Get()), S_OK);
    EXPECT_EQ(DriverStatistics().imagesFromTextures, 14);

    const SharingDriverStatistics statistics = DriverStatistics();
    EXPECT_EQ(statistics.acquires, statistics.releases);
    EXPECT_EQ(statistics.pairingErrors, 0);
    // Dropping the device manager drops the engine and its cache.
    ASSERT_EQ(m_transform->ProcessMessage(MFT_MESSAGE_SET_D3D_MANAGER, 0), S_OK);
    EXPECT_EQ(DriverStatistics().liveImagesFromTextures, 0);
}

TEST_F(SharingTest, ImageReleaseWithoutAcquireEnqueuesNothing) {
    HRESULT hr = E_FAIL;
    auto binding = std::make_shared<OpenCLD3D11KHR>(m_device.Get(), &hr);
    ASSERT_EQ(hr, S_OK);
    ComPtr<ID3D11Texture2D> texture = OutputTexture();
    DriverStatistics(true);
    {
        CLImageFromD3D11 image(binding, nullptr);
        ASSERT_EQ(image.CreateFromTexture(texture.Get(), CL_MEM_WRITE_ONLY), CL_SUCCESS);
        image.Release();
        EXPECT_NE(image.Acquire(), nullptr);
        EXPECT_TRUE(image.Acquired());
        image.Release();
        EXPECT_FALSE(image.Acquired());
        image.Release();
    }
    const SharingDriverStatistics statistics = DriverStatistics();
    EXPECT_EQ(statistics.acquires, 1);
    EXPECT_EQ(statistics.releases, 1);
    EXPECT_EQ(statistics.pairingErrors, 0);
    EXPECT_EQ(statistics.liveImagesFromTextures, 0);
}

} // namespace
