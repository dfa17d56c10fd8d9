// Shared helpers of the engine tests: one PoCL context per test binary, images, half floats,
// frame info records.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "engine/clapi.h"
#include "tsr/framerecords.h"

namespace tsr::test {

struct SharedOpenCL {
    cl_platform_id platform = nullptr;
    cl_device_id device = nullptr;
    cl_context context = nullptr;
    cl_command_queue queue = nullptr;
};

// The first CPU device's context and queue, created once and kept for the process.
const SharedOpenCL& TestOpenCL();

// The raw-processing program built from the embedded 64-bit SPIR form, created once.
cl_program RawProgram();
cl_program CurveProgram();

// The bit pattern of a float.
std::uint32_t Bits(float value);

float HalfToFloat(std::uint16_t half);
std::uint16_t FloatToHalf(float value); // round to nearest even

// 2D image of `format` on the shared context, filled from `pixels` (tightly packed) when given.
cl_mem MakeImage(cl_channel_order order, cl_channel_type type, size_t width, size_t height,
                 const void* pixels = nullptr, cl_mem_flags flags = CL_MEM_READ_WRITE);

// Reads an RGBA image (half or float) into floats, four per pixel.
std::vector<float> ReadRgba(cl_mem image);

// A frame info record for a Bayer (bp16) or four-sample (bp64) frame of the given size.
TsrFrameInfoRecord MakeRecord(int width, int height, bool bayer, int pattern = 0);

// Random Bayer samples in [black - 64, white + 64], clamped to 16 bits.
std::vector<std::uint16_t> RandomBayer(std::mt19937& random, int width, int height, int black, int white);

// A smooth, photo-like scene (gradients, a bright disc, edges) in linear RGB [0, 1], four floats a
// pixel (alpha 1).
std::vector<float> PhotoLikeScene(int width, int height);

// Bayer samples from linear RGB: each photosite keeps its colour channel, divided by its gain,
// scaled to [black, white].
std::vector<std::uint16_t> MosaicScene(const std::vector<float>& rgb, int width, int height, int pattern,
                                       int black, int white, float gainRed, float gainBlue);

} // namespace tsr::test
