// Device selection, program selection and OpenCL object accounting against the test driver,
// which the ICD loader loads in place of any real OpenCL (see testdriver.h).
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/trace.h"
#include "engine/debayerer.h"
#include "engine/openclstate.h"
#include "engine/processor.h"
#include "testdriver.h"

namespace tsr::test {
namespace {

struct Driver {
    TsrDriverReset reset;
    TsrDriverSetDevices setDevices;
    TsrDriverSetBuiltinForms setBuiltinForms;
    TsrDriverSetFailures setFailures;
    TsrDriverGetCounts counts;
    TsrDriverProgramLog programLog;
};

const Driver& TheDriver() {
    static const Driver driver = [] {
        cl_uint platforms = 0;
        clGetPlatformIDs(0, nullptr, &platforms); // the loader loads the driver
        void* library = dlopen(TSR_TEST_DRIVER_PATH, RTLD_NOW);
        if (!library) std::abort();
        Driver d;
        d.reset = reinterpret_cast<TsrDriverReset>(dlsym(library, "tsrDriverReset"));
        d.setDevices = reinterpret_cast<TsrDriverSetDevices>(dlsym(library, "tsrDriverSetDevices"));
        d.setBuiltinForms =
            reinterpret_cast<TsrDriverSetBuiltinForms>(dlsym(library, "tsrDriverSetBuiltinForms"));
        d.setFailures = reinterpret_cast<TsrDriverSetFailures>(dlsym(library, "tsrDriverSetFailures"));
        d.counts = reinterpret_cast<TsrDriverGetCounts>(dlsym(library, "tsrDriverGetCounts"));
        d.programLog = reinterpret_cast<TsrDriverProgramLog>(dlsym(library, "tsrDriverProgramLog"));
        return d;
    }();
    return driver;
}

TsrDriverDevice Gpu(cl_uint vendor, bool discrete) {
    return TsrDriverDevice{
        CL_DEVICE_TYPE_GPU, vendor, static_cast<cl_bool>(discrete ? CL_FALSE : CL_TRUE), 64, 0, 0, 0};
}

TsrDriverDevice Cpu() {
    return TsrDriverDevice{CL_DEVICE_TYPE_CPU, 0x8086, CL_TRUE, 64, 0, 0, 0};
}

std::vector<cl_device_id> DevicesOf(int platform, cl_device_type type = CL_DEVICE_TYPE_ALL) {
    cl_platform_id platforms[TSR_DRIVER_PLATFORMS];
    clGetPlatformIDs(TSR_DRIVER_PLATFORMS, platforms, nullptr);
    cl_uint count = 0;
    clGetDeviceIDs(platforms[platform], type, 0, nullptr, &count);
    std::vector<cl_device_id> devices(count);
    if (count) clGetDeviceIDs(platforms[platform], type, count, devices.data(), nullptr);
    return devices;
}

// Every test checks that what the engine made or retained was released again.
class TestDriver : public ::testing::Test {
protected:
    void SetUp() override {
        TheDriver().reset();
        m_start = TheDriver().counts();
    }
    void TearDown() override {
        const TsrDriverCounts end = TheDriver().counts();
        EXPECT_EQ(m_start.liveObjects, end.liveObjects) << "OpenCL objects leaked";
        EXPECT_EQ(m_start.deviceRetains, end.deviceRetains) << "device retains not released";
    }
    TsrDriverCounts m_start{};
};

using DeviceSelection = TestDriver;

TEST_F(DeviceSelection, IndexZeroTakesTheLastPlatformWithEnoughDevices) {
    const TsrDriverDevice one[] = {Gpu(0x10DE, true)};
    const TsrDriverDevice two[] = {Gpu(0x1002, true), Gpu(0x1002, true)};
    TheDriver().setDevices(0, 1, one);
    TheDriver().setDevices(1, 2, two);
    OpenCLState state(CL_DEVICE_TYPE_GPU, 0);
    EXPECT_EQ(DevicesOf(1)[0], state.m_device);
    ASSERT_NE(nullptr, state.m_context);
    ASSERT_NE(nullptr, state.m_queue);
}

TEST_F(DeviceSelection, NegativeIndexPrefersADiscreteGpu) {
    const TsrDriverDevice integrated[] = {Gpu(0x8086, false)};
    const TsrDriverDevice discrete[] = {Gpu(0x10DE, true)};
    TheDriver().setDevices(0, 1, integrated);
    TheDriver().setDevices(1, 1, discrete);
    EXPECT_EQ(DevicesOf(1)[0], OpenCLState(CL_DEVICE_TYPE_GPU, -1).m_device);
    EXPECT_EQ(DevicesOf(1)[0], OpenCLState(CL_DEVICE_TYPE_GPU, 5).m_device); // too large: same walk

    TheDriver().setDevices(1, 1, integrated);
    EXPECT_EQ(DevicesOf(0)[0], OpenCLState(CL_DEVICE_TYPE_GPU, -1).m_device); // first seen

    const TsrDriverDevice cpus[] = {Cpu(), Cpu()};
    TheDriver().setDevices(2, 2, cpus);
    EXPECT_EQ(DevicesOf(2)[0], OpenCLState(CL_DEVICE_TYPE_CPU, -1).m_device);

    TheDriver().reset();
    OpenCLState none(CL_DEVICE_TYPE_GPU, 0);
    EXPECT_EQ(nullptr, none.m_device);
    EXPECT_EQ(nullptr, none.m_context);
    EXPECT_FALSE(IsDiscreteDevice(nullptr));
}

TEST_F(DeviceSelection, AdoptedContextPrefersItsDiscreteDevice) {
    const TsrDriverDevice devices[] = {Gpu(0x8086, false), Gpu(0x10DE, true)};
    TheDriver().setDevices(0, 2, devices);
    const std::vector<cl_device_id> ids = DevicesOf(0);
    cl_context context = clCreateContext(nullptr, 2, ids.data(), nullptr, nullptr, nullptr);
    {
        OpenCLState state(context, nullptr);
        EXPECT_EQ(ids[1], state.m_device);
        ASSERT_NE(nullptr, state.m_queue);
        cl_device_id queueDevice = nullptr;
        clGetCommandQueueInfo(state.m_queue, CL_QUEUE_DEVICE, sizeof queueDevice, &queueDevice, nullptr);
        EXPECT_EQ(ids[1], queueDevice);
    }
    {
        // A device list that cannot be read leaves device and queue null, and a processor on such
        // a state reports a failing status.
        TheDriver().setFailures(1, 0);
        OpenCLState state(context, nullptr);
        EXPECT_EQ(nullptr, state.m_device);
        EXPECT_EQ(nullptr, state.m_queue);
        PrivateOpenCLProcessor processor(context, nullptr, 0);
        EXPECT_EQ(-5, processor.Status());
    }
    clReleaseContext(context);
}

struct Forms {
    std::string nvidiaA, nvidiaB, amdA, amdB, amdC, cpu, spir64, spir32, source;
};

ProgramForm Script(const std::string& text) {
    return ProgramForm{reinterpret_cast<const unsigned char*>(text.c_str()), text.size(), false};
}

ProgramCatalog MakeCatalog(const Forms& f) {
    ProgramCatalog catalog;
    catalog.vendorForms[kVendorNvidia] = {Script(f.nvidiaA), Script(f.nvidiaB)};
    catalog.vendorForms[kVendorAmd] = {Script(f.amdA), Script(f.amdB), Script(f.amdC)};
    catalog.cpu = Script(f.cpu);
    catalog.spir64 = Script(f.spir64);
    catalog.spir32 = Script(f.spir32);
    catalog.source = Script(f.source);
    catalog.source.isSource = true;
    return catalog;
}

using ProgramSelection = TestDriver;

TEST_F(ProgramSelection, FormsTriedInOrderWithTheirStatus) {
    const Forms good = {"form nvA", "form nvB",    "form amdA",   "form amdB",     "form amdC",
                        "form cpu", "form spir64", "form spir32", "form rawsource"};
    struct Case {
        const char* what;
        TsrDriverDevice device;
        Forms forms;
        const char* log; // the curve program ("source") is built first
        int status;
    };
    Forms nvidiaAFails = good;
    nvidiaAFails.nvidiaA = "form nvA build=-11";
    Forms amdAllFail = good;
    amdAllFail.amdA = "form amdA build=-11";
    amdAllFail.amdB = "form amdB create=-42";
    amdAllFail.amdC = "form amdC kernels=RTSRD";
    Forms everythingFails = amdAllFail;
    everythingFails.spir64 = "form spir64 build=-11";
    everythingFails.source = "form rawsource build=-42";
    Forms spirOnlySource = good;
    spirOnlySource.spir64 = "form spir64 build=-11";
    Forms noTestChart = good;
    noTestChart.spir64 = "form spir64 kernels=RTSRD,RPS_0000,RPS_0001,RPS_0002";
    noTestChart.source = "form rawsource build=-3";
    Forms badBinary = good;
    badBinary.spir64 = "form spir64 create=-42";
    badBinary.source = "form rawsource create=-6";
    Forms cpuFails = good;
    cpuFails.cpu = "form cpu build=-43";
    TsrDriverDevice thirtyTwo = Gpu(0x8086, false);
    thirtyTwo.addressBits = 32;
    TsrDriverDevice noAddress = thirtyTwo;
    noAddress.failAddressQuery = 1;
    TsrDriverDevice noVendor = Gpu(0x10DE, true);
    noVendor.failVendorQuery = 1;
    TsrDriverDevice noType = Cpu();
    noType.failTypeQuery = 1;

    const Case cases[] = {
        {"NVIDIA, A builds", Gpu(0x10DE, true), good, "source nvA", 0},
        {"NVIDIA, A fails to build", Gpu(0x10DE, true), nvidiaAFails, "source nvA nvB", 0},
        {"AMD, all three fail", Gpu(0x1002, true), amdAllFail, "source amdA amdB amdC spir64", 0},
        {"AMD, nothing builds", Gpu(0x1002, true), everythingFails, "source amdA amdB amdC spir64 rawsource",
         -128},
        {"Intel GPU", Gpu(0x8086, false), good, "source spir64", 0},
        {"32-bit device", thirtyTwo, good, "source spir32", 0},
        {"address width unknown", noAddress, good, "source spir64", 0},
        {"vendor unknown", noVendor, good, "source spir64", 0},
        {"CPU", Cpu(), good, "source cpu", 0},
        {"CPU form fails", Cpu(), cpuFails, "source cpu spir64", 0},
        {"device type unknown", noType, good, "source spir64", 0},
        {"SPIR fails, source builds", Gpu(0x8086, false), spirOnlySource, "source spir64 rawsource", 0},
        {"SPIR lacks TSRD", Gpu(0x8086, false), noTestChart, "source spir64 rawsource", -143},
        {"SPIR not a binary", Gpu(0x8086, false), badBinary, "source spir64 rawsource", -104},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TheDriver().reset();
        TheDriver().setDevices(0, 1, &c.device);
        const cl_device_id device = DevicesOf(0)[0];
        cl_context context = clCreateContext(nullptr, 1, &device, nullptr, nullptr, nullptr);
        cl_command_queue queue = clCreateCommandQueue(context, device, 0, nullptr);
        const ProgramCatalog catalog = MakeCatalog(c.forms);
        {
            PrivateOpenCLProcessor processor(context, queue, 0, &catalog);
            EXPECT_EQ(c.status, processor.Status());
            EXPECT_STREQ(c.log, TheDriver().programLog());
            EXPECT_NE(nullptr, processor.ImageProcessingProgram());
        }
        clReleaseCommandQueue(queue);
        clReleaseContext(context);
    }
}

void CaptureTrace(const wchar_t* message, void* context) {
    static_cast<std::wstring*>(context)->append(message);
}

// The embedded forms: SPIR bitcode, then the OpenCL C text.
TEST_F(ProgramSelection, EmbeddedFormsAndDebayererStatus) {
    const TsrDriverDevice gpu[] = {Gpu(0x10DE, true)};
    TheDriver().setDevices(0, 1, gpu);
    const cl_device_id device = DevicesOf(0)[0];
    cl_context context = clCreateContext(nullptr, 1, &device, nullptr, nullptr, nullptr);
    cl_command_queue queue = clCreateCommandQueue(context, device, 0, nullptr);

    const struct {
        cl_int bitcode, source;
        const char* log;
        HRESULT status;
        const wchar_t* trace;
    } cases[] = {
        {CL_SUCCESS, CL_SUCCESS, "source bitcode", S_OK, L""},
        {CL_BUILD_PROGRAM_FAILURE, CL_SUCCESS, "source bitcode source", S_OK, L""},
        {CL_BUILD_PROGRAM_FAILURE, CL_BUILD_PROGRAM_FAILURE, "source bitcode source", E_FAIL,
         L"fail to create opencl processor, status=0xffffff80\n"},
    };
    for (const auto& c : cases) {
        TheDriver().reset();
        TheDriver().setDevices(0, 1, gpu);
        TheDriver().setBuiltinForms(c.bitcode, c.source);
        std::wstring traced;
        TraceSink previous = SetTraceSink(CaptureTrace, &traced);
        {
            HRESULT status = S_OK;
            Debayerer debayerer(queue, &status);
            EXPECT_EQ(c.status, status);
            EXPECT_EQ(c.status == S_OK, debayerer.Processor() != nullptr);
            EXPECT_EQ(c.status == S_OK ? kStatusOk : kStatusBuildProgramFailure, debayerer.ProcessorStatus());
        }
        SetTraceSink(previous, nullptr);
        EXPECT_STREQ(c.log, TheDriver().programLog());
        EXPECT_EQ(std::wstring(c.trace), traced);
    }
    clReleaseCommandQueue(queue);
    clReleaseContext(context);

    // The engine's own GPU, when there is one.
    TheDriver().reset();
    TheDriver().setDevices(1, 1, gpu);
    HRESULT status = E_FAIL;
    Debayerer own(&status);
    EXPECT_EQ(S_OK, status);
}

using ObjectAccounting = TestDriver;

// A stream of frames creates its upload and intermediate images once, and tearing everything down
// releases every object the engine made or retained.
TEST_F(ObjectAccounting, SteadyStreamAndTeardown) {
    for (const int twoChannel : {0, 1}) {
        SCOPED_TRACE(twoChannel ? "two-channel images" : "four-channel stand-in");
        TheDriver().reset();
        const TsrDriverDevice gpu[] = {Gpu(0x1002, true)};
        TheDriver().setDevices(0, 1, gpu);
        TheDriver().setFailures(0, twoChannel);
        const cl_device_id device = DevicesOf(0)[0];
        cl_context context = clCreateContext(nullptr, 1, &device, nullptr, nullptr, nullptr);
        cl_command_queue queue = clCreateCommandQueue(context, device, 0, nullptr);
        {
            HRESULT status = E_FAIL;
            Debayerer debayerer(queue, &status);
            ASSERT_EQ(S_OK, status);
            ASSERT_EQ(S_OK, debayerer.SetCommandQueue(queue));
            const int width = 64, height = 32;
            TsrFrameInfoRecord record = {};
            record.rowPitch = width * 2;
            record.layoutCode = TSR_LAYOUT_BP16;
            record.width = width;
            record.height = height;
            record.blackLevel = 256;
            record.whiteLevel = 4095;
            record.gain0 = record.gain1 = record.auxFloat = 1.0f;
            std::vector<std::uint16_t> pixels(static_cast<size_t>(width) * height, 1000);
            std::vector<std::uint16_t> rgba(static_cast<size_t>(width) * height * 4);
            std::shared_ptr<CLImage> output;
            ASSERT_EQ(S_OK, debayerer.CreateImageFromMemory(
                                {rgba.data(), rgba.size() * 2}, {width, height, width * 8, false, true},
                                {CL_RGBA, CL_HALF_FLOAT}, CL_MEM_WRITE_ONLY, output));
            long imagesAfterFirstFrame = 0;
            for (int frame = 0; frame < 6; ++frame) {
                std::lock_guard<std::mutex> hold(debayerer.Mutex());
                cl_mem out = output->Acquire();
                ASSERT_EQ(0, ProcessMemory(debayerer.Processor(), pixels.data(),
                                           static_cast<unsigned>(pixels.size() * 2), &record, 116, nullptr, 2,
                                           debayerer.HostQueue(), out));
                output->Release();
                if (frame == 0) imagesAfterFirstFrame = TheDriver().counts().imagesCreated;
            }
            EXPECT_EQ(imagesAfterFirstFrame, TheDriver().counts().imagesCreated);
            // One output image, one upload image, three intermediate images.
            EXPECT_EQ(5, imagesAfterFirstFrame);
            EXPECT_EQ(6 * 4, TheDriver().counts().kernelsEnqueued);

            const auto& processor =
                static_cast<const PrivateOpenCLProcessor&>(*debayerer.Processor()->processor);
            cl_image_format green = {};
            clGetImageInfo(processor.RawProcessing()->IntermediateImage(0), CL_IMAGE_FORMAT, sizeof green,
                           &green, nullptr);
            EXPECT_EQ(twoChannel ? CL_RG : CL_RGBA, green.image_channel_order);
            EXPECT_EQ(static_cast<cl_channel_type>(CL_HALF_FLOAT), green.image_channel_data_type);
        }
        clReleaseCommandQueue(queue);
        clReleaseContext(context);
        EXPECT_EQ(m_start.liveObjects, TheDriver().counts().liveObjects);
    }
}

} // namespace
} // namespace tsr::test
