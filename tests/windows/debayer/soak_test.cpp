// Long run (label soak, not part of the default run; scripts/soak.sh runs it): 10 000 frames
// through the decoder transform and the debayer transform on a host OpenCL queue. After warm-up
// the process's private memory, its handles and the references OpenCL counts on the host's
// context and queue (every image or buffer the engine keeps holds one) may not grow.
#include "debayertransformtest.h"

#include <psapi.h>
#include <windows.h>

#include <cstdlib>
#include <string>

using namespace tsr;

namespace {

constexpr UINT32 kWidth = 64, kHeight = 32;

struct Usage {
    SIZE_T privateBytes = 0;
    DWORD handles = 0;
    cl_uint contextReferences = 0, queueReferences = 0;
};

class SoakTest : public DecoderAndDebayerTest {
protected:
    Usage CurrentUsage() const {
        Usage now;
        PROCESS_MEMORY_COUNTERS_EX counters = {};
        counters.cb = sizeof counters;
        GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters);
        now.privateBytes = counters.WorkingSetSize;
        GetProcessHandleCount(GetCurrentProcess(), &now.handles);
        clFinish(m_host.Queue()); // commands in flight hold references of their own
        clGetContextInfo(m_host.Context(), CL_CONTEXT_REFERENCE_COUNT, sizeof(cl_uint),
                         &now.contextReferences, nullptr);
        clGetCommandQueueInfo(m_host.Queue(), CL_QUEUE_REFERENCE_COUNT, sizeof(cl_uint), &now.queueReferences,
                              nullptr);
        return now;
    }
};

TEST_F(SoakTest, DISABLED_TenThousandFramesThroughBothTransformsWithoutGrowth) {
    const char* setting = std::getenv("TSR_SOAK_FRAMES");
    const int frames = setting ? std::atoi(setting) : 10000;
    ASSERT_EQ(m_decoder->SetInputType(0, VideoType(MFVideoFormat_tsrn, kWidth, kHeight).Get(), 0), S_OK);
    ASSERT_EQ(m_decoder->SetOutputType(0, VideoType(MFVideoFormat_bp16, kWidth, kHeight).Get(), 0), S_OK);
    ComPtr<IMFMediaType> bayerType;
    ASSERT_EQ(m_decoder->GetOutputCurrentType(0, &bayerType), S_OK);
    ASSERT_EQ(m_transform->SetInputType(0, bayerType.Get(), 0), S_OK);
    ASSERT_EQ(m_transform->SetOutputType(0, VideoType(MFVideoFormat_A16B16G16R16F).Get(), 0), S_OK);
    const Bytes compressed = MakeEncodedFrame(kWidth, kHeight);

    Usage warm;
    for (int i = 0; i < frames; ++i) {
        if (i == frames / 10) warm = CurrentUsage();
        if (std::getenv("TSR_SOAK_TRACE") && i % 100 == 0) {
            const Usage u = CurrentUsage();
            std::printf("%d: ws %zu handles %lu ctx %u queue %u\n", i, u.privateBytes, u.handles,
                        u.contextReferences, u.queueReferences);
        }
        ComPtr<IMFSample> input;
        MFCreateSample(&input);
        input->AddBuffer(MemoryBuffer(compressed, static_cast<DWORD>(compressed.size())).Get());
        input->SetSampleTime(i * 400000LL);
        ASSERT_EQ(m_decoder->ProcessInput(0, input.Get(), 0), S_OK);
        MFT_OUTPUT_DATA_BUFFER decoded = {};
        DWORD status = 0;
        ASSERT_EQ(m_decoder->ProcessOutput(0, 1, &decoded, &status), S_OK) << "frame " << i;
        ComPtr<IMFSample> bayer;
        *bayer.ReleaseAndGetAddressOf() = decoded.pSample; // not Attach: MinGW's adds a reference
        ComPtr<IMFSample> rgba;
        ASSERT_EQ(Process(bayer.Get(), rgba), S_OK) << "frame " << i;
    }
    const Usage end = CurrentUsage();
    std::printf("private bytes %zu -> %zu, handles %lu -> %lu, context references %u -> %u\n",
                warm.privateBytes, end.privateBytes, warm.handles, end.handles, warm.contextReferences,
                end.contextReferences);
    EXPECT_LT(end.privateBytes, warm.privateBytes + (4u << 20));
    EXPECT_LE(end.handles, warm.handles); // Wine counts none: then only memory and OpenCL speak
    EXPECT_LE(end.contextReferences, warm.contextReferences);
    EXPECT_LE(end.queueReferences, warm.queueReferences);
}

} // namespace
