// Choice of the 8x8 inverse transform variant for a decoder.
#pragma once

namespace tsr {

// True when the AVX variant is to be used: the processor reports AVX, the system saves the
// 256-bit register state, and the environment variable IcpForceSSE2 does not hold a nonzero
// number. Forcing prints "***** forcing SSE2M ****" on standard error.
bool ChooseAvxTransform();

// The processor and system can run AVX code.
bool ProcessorHasAvx();

} // namespace tsr
