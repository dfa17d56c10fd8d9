// The GPU engine's host-side checks on untrusted records and buffers, before any OpenCL call: the
// host range check of system-memory images (every byte it accepts is then touched as a transfer
// would), and the parameter blocks derived from a frame info record and a colour override.
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/climage.h"
#include "engine/parameters.h"

namespace {

const cl_image_format kFormats[] = {
    {CL_R, CL_UNSIGNED_INT16}, {CL_RGBA, CL_UNSIGNED_INT16}, {CL_RGBA, CL_HALF_FLOAT},
    {CL_RGBA, CL_FLOAT},       {CL_RGBA, CL_UNORM_INT16},    {CL_RG, CL_UNSIGNED_INT8},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kHead = 16;
    if (size < kHead + sizeof(TsrFrameInfoRecord)) return 0;
    // Host range: width, height, pitch (u16 each, so transfers stay small) and a length.
    tsr::FrameGeometry geometry{};
    geometry.width = uint32_t(data[0] | data[1] << 8);
    geometry.height = uint32_t(data[2] | data[3] << 8) & 0x3FF;
    geometry.rowPitch = uint32_t(data[4] | data[5] << 8) << (data[6] & 7);
    const uint64_t length = uint64_t(data[7] | data[8] << 8) << (data[9] & 3); // below 256 KB
    const cl_image_format& format = kFormats[data[10] % (sizeof kFormats / sizeof kFormats[0])];
    std::vector<uint8_t> host(length);
    const tsr::HostRange range{host.data(), length};
    if (tsr::HostRangeCoversFrame(range, geometry, format)) {
        const uint64_t rowBytes = uint64_t(geometry.width) * tsr::BytesPerPixel(format);
        const uint64_t pitch = geometry.rowPitch ? geometry.rowPitch : rowBytes;
        volatile uint8_t sink = 0;
        for (uint64_t y = 0; y < geometry.height; ++y) {
            sink = sink + host[y * pitch];
            sink = sink + host[y * pitch + rowBytes - 1];
        }
    }

    TsrFrameInfoRecord record;
    std::memcpy(&record, data + kHead, sizeof record);
    const size_t rest = size - kHead - sizeof record;
    float colorOverride[tsr::kColorOverrideFloats];
    const bool withOverride = rest >= sizeof colorOverride;
    if (withOverride) std::memcpy(colorOverride, data + kHead + sizeof record, sizeof colorOverride);
    const unsigned curve = data[11];
    const tsr::RawProcessingParameters parameters =
        tsr::RawProcessingSetup(record, withOverride ? colorOverride : nullptr, curve);
    const tsr::FrameQuantities quantities = tsr::DeriveFrameQuantities(parameters);
    tsr::MakeDemosaicGreenBlock(parameters, quantities);
    tsr::MakeDemosaicColourBlock(parameters, quantities);
    tsr::MakeConversionBlock(parameters, quantities);
    tsr::MakeFourSampleBlock(parameters, quantities);
    tsr::MakeTestChartBlock(parameters, record.width, record.height, int32_t(data[12] | data[13] << 8));
    return 0;
}
