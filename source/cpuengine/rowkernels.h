// Entry points of the strip kernels, dispatched to the best SIMD target of the processor.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cpuframe.h"

namespace tsr::cpu {

// Output rows y0 .. y1-1 of the frame, using and keeping the worker's scratch rows.
void ProcessStrip(const FrameJob& job, Scratch& scratch, int y0, int y1);

// Name of the SIMD target the dispatch chose (for example "AVX2").
const char* ChosenTargetName();

// The output stage's conversion to half floats (round to nearest even), for tests.
void FloatsToHalves(const float* in, std::uint16_t* out, std::size_t count);

} // namespace tsr::cpu
