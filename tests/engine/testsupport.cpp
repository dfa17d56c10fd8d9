#include "testsupport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/curves.h"
#include "engine/embeddedprograms.h"

namespace tsr::test {

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "test set-up failed: %s\n", what);
        std::abort();
    }
}

SharedOpenCL CreateShared() {
    SharedOpenCL shared;
    cl_uint count = 0;
    Require(clGetPlatformIDs(0, nullptr, &count) == CL_SUCCESS && count > 0, "no OpenCL platform");
    std::vector<cl_platform_id> platforms(count);
    clGetPlatformIDs(count, platforms.data(), nullptr);
    for (cl_platform_id platform : platforms) {
        cl_device_id device = nullptr;
        cl_uint devices = 0;
        if (clGetDeviceIDs(platform, CL_DEVICE_TYPE_ALL, 1, &device, &devices) == CL_SUCCESS && devices > 0) {
            shared.platform = platform;
            shared.device = device;
            break;
        }
    }
    Require(shared.device != nullptr, "no OpenCL device");
    shared.context = clCreateContext(nullptr, 1, &shared.device, nullptr, nullptr, nullptr);
    Require(shared.context != nullptr, "context");
    shared.queue = clCreateCommandQueue(shared.context, shared.device, 0, nullptr);
    Require(shared.queue != nullptr, "queue");
    return shared;
}

cl_program BuildProgram(const unsigned char* data, size_t length, bool source) {
    const SharedOpenCL& cl = TestOpenCL();
    cl_int error = CL_SUCCESS;
    cl_program program;
    if (source) {
        const char* text = reinterpret_cast<const char*>(data);
        program = clCreateProgramWithSource(cl.context, 1, &text, &length, &error);
    } else {
        program = clCreateProgramWithBinary(cl.context, 1, &cl.device, &length, &data, nullptr, &error);
    }
    Require(program && error == CL_SUCCESS, "program creation");
    Require(clBuildProgram(program, 1, &cl.device, nullptr, nullptr, nullptr) == CL_SUCCESS, "program build");
    return program;
}

} // namespace

const SharedOpenCL& TestOpenCL() {
    static const SharedOpenCL shared = CreateShared();
    return shared;
}

cl_program RawProgram() {
    static const cl_program program = BuildProgram(kRawProcessingSpir64, kRawProcessingSpir64Length, false);
    return program;
}

cl_program CurveProgram() {
    static const cl_program program =
        BuildProgram(kImageProcessingSource, kImageProcessingSourceLength, true);
    return program;
}

std::uint32_t Bits(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float HalfToFloat(std::uint16_t half) {
    const std::uint32_t sign = (half >> 15) & 1u;
    const std::uint32_t exponent = (half >> 10) & 0x1Fu;
    const std::uint32_t mantissa = half & 0x3FFu;
    float value;
    if (exponent == 0)
        value = std::ldexp(static_cast<float>(mantissa), -24);
    else if (exponent == 31)
        value = mantissa ? NAN : INFINITY;
    else
        value = std::ldexp(static_cast<float>(mantissa | 0x400u), static_cast<int>(exponent) - 25);
    return sign ? -value : value;
}

std::uint16_t FloatToHalf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const std::uint16_t sign = static_cast<std::uint16_t>((bits >> 16) & 0x8000u);
    const float magnitude = std::fabs(value);
    if (std::isnan(value)) return static_cast<std::uint16_t>(sign | 0x7E00u);
    if (magnitude >= 65520.0f) return static_cast<std::uint16_t>(sign | 0x7C00u);
    if (magnitude < std::ldexp(1.0f, -14)) {
        const float scaled = std::nearbyint(magnitude * std::ldexp(1.0f, 24));
        return static_cast<std::uint16_t>(sign | static_cast<std::uint16_t>(scaled));
    }
    int exponent = 0;
    const float fraction = std::frexp(magnitude, &exponent); // magnitude = fraction * 2^exponent, [0.5, 1)
    float mantissa = std::nearbyint(fraction * 2048.0f);     // 11 significant bits
    if (mantissa >= 2048.0f) {
        mantissa /= 2.0f;
        ++exponent;
    }
    const std::uint32_t biased = static_cast<std::uint32_t>(exponent - 1 + 15);
    if (biased >= 31) return static_cast<std::uint16_t>(sign | 0x7C00u);
    return static_cast<std::uint16_t>(sign | (biased << 10) |
                                      (static_cast<std::uint32_t>(mantissa) & 0x3FFu));
}

cl_mem MakeImage(cl_channel_order order, cl_channel_type type, size_t width, size_t height,
                 const void* pixels, cl_mem_flags flags) {
    const cl_image_format format = {order, type};
    cl_image_desc descriptor = {};
    descriptor.image_type = CL_MEM_OBJECT_IMAGE2D;
    descriptor.image_width = width;
    descriptor.image_height = height;
    cl_int error = CL_SUCCESS;
    cl_mem image = clCreateImage(TestOpenCL().context, flags, &format, &descriptor, nullptr, &error);
    Require(image && error == CL_SUCCESS, "image creation");
    if (pixels) {
        const size_t origin[3] = {0, 0, 0};
        const size_t region[3] = {width, height, 1};
        Require(clEnqueueWriteImage(TestOpenCL().queue, image, CL_TRUE, origin, region, 0, 0, pixels, 0,
                                    nullptr, nullptr) == CL_SUCCESS,
                "image write");
    }
    return image;
}

std::vector<float> ReadRgba(cl_mem image) {
    cl_image_format format = {};
    size_t width = 0, height = 0;
    clGetImageInfo(image, CL_IMAGE_FORMAT, sizeof format, &format, nullptr);
    clGetImageInfo(image, CL_IMAGE_WIDTH, sizeof width, &width, nullptr);
    clGetImageInfo(image, CL_IMAGE_HEIGHT, sizeof height, &height, nullptr);
    Require(format.image_channel_order == CL_RGBA, "RGBA image expected");
    const size_t origin[3] = {0, 0, 0};
    const size_t region[3] = {width, height, 1};
    std::vector<float> result(width * height * 4);
    clFinish(TestOpenCL().queue);
    if (format.image_channel_data_type == CL_FLOAT) {
        Require(clEnqueueReadImage(TestOpenCL().queue, image, CL_TRUE, origin, region, 0, 0, result.data(), 0,
                                   nullptr, nullptr) == CL_SUCCESS,
                "image read");
    } else {
        std::vector<std::uint16_t> halves(result.size());
        Require(clEnqueueReadImage(TestOpenCL().queue, image, CL_TRUE, origin, region, 0, 0, halves.data(), 0,
                                   nullptr, nullptr) == CL_SUCCESS,
                "image read");
        std::transform(halves.begin(), halves.end(), result.begin(), HalfToFloat);
    }
    return result;
}

TsrFrameInfoRecord MakeRecord(int width, int height, bool bayer, int pattern) {
    TsrFrameInfoRecord record;
    std::memset(&record, 0, sizeof record);
    record.layoutCode = bayer ? TSR_LAYOUT_BP16 : TSR_LAYOUT_BP64;
    record.rowPitch = width * (bayer ? 2 : 8);
    record.width = width;
    record.height = height;
    record.bayerPattern = static_cast<std::uint8_t>(pattern);
    record.blackLevel = TSR_BLACK_LEVEL;
    record.whiteLevel = 4095;
    record.gain0 = 1.9f;
    record.gain1 = 1.4f;
    const float xyz[9] = {0.41f, 0.36f, 0.18f, 0.21f, 0.72f, 0.07f, 0.02f, 0.12f, 0.95f};
    std::memcpy(record.colorMatrix, xyz, sizeof xyz);
    record.auxFloat = 0.9f;
    record.maxDcStep = 12;
    return record;
}

std::vector<std::uint16_t> RandomBayer(std::mt19937& random, int width, int height, int black, int white) {
    std::uniform_int_distribution<int> sample(std::max(0, black - 64), std::min(65535, white + 64));
    std::vector<std::uint16_t> result(static_cast<size_t>(width) * height);
    for (auto& s : result) s = static_cast<std::uint16_t>(sample(random));
    return result;
}

std::vector<float> PhotoLikeScene(int width, int height) {
    std::vector<float> rgb(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float u = (x + 0.5f) / width, v = (y + 0.5f) / height;
            float r = 0.15f + 0.6f * u * u, g = 0.2f + 0.5f * v, b = 0.1f + 0.4f * (1.0f - u) * v;
            const float dx = u - 0.6f, dy = v - 0.4f;
            if (dx * dx + dy * dy < 0.02f) {
                r = 0.95f;
                g = 0.9f;
                b = 0.7f;
            }
            if ((x / 7 + y / 5) % 9 == 0) {
                r *= 0.3f;
                g *= 0.35f;
                b *= 0.4f;
            }
            float* p = &rgb[(static_cast<size_t>(y) * width + x) * 4];
            p[0] = r;
            p[1] = g;
            p[2] = b;
            p[3] = 1.0f;
        }
    }
    return rgb;
}

std::vector<std::uint16_t> MosaicScene(const std::vector<float>& rgb, int width, int height, int pattern,
                                       int black, int white, float gainRed, float gainBlue) {
    std::vector<std::uint16_t> bayer(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int phase = 2 * (y & 1) + (x & 1);
            const float* p = &rgb[(static_cast<size_t>(y) * width + x) * 4];
            float value;
            if (phase == pattern)
                value = p[0] / gainRed;
            else if (phase == 3 - pattern)
                value = p[2] / gainBlue;
            else
                value = p[1];
            const float sample = black + value * (white - black);
            bayer[static_cast<size_t>(y) * width + x] =
                static_cast<std::uint16_t>(std::clamp(std::lround(sample), 0L, 65535L));
        }
    }
    return bayer;
}

} // namespace tsr::test
