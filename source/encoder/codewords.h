// Encoding of one codeword of the adaptive code family: descriptor D = S << 8 | K << 4 | R.
// Values below (S + 1) << R take a unary prefix and R plain bits; larger values an
// exponential escape. No codeword may be longer than 32 bits.
#pragma once

#include <cstdint>

#include "bitwriter.h"

namespace tsr {

constexpr int kMaxCodewordBits = 32;

// Length in bits of the codeword for `value` with `descriptor` (may exceed 32).
int CodewordLength(uint32_t value, uint16_t descriptor);

// Largest value whose codeword with `descriptor` fits in 32 bits.
uint32_t MaxCodewordValue(uint16_t descriptor);

// Writes the codeword; `value` must not exceed maxCodewordValue(descriptor).
void WriteCodeword(BitWriter& out, uint32_t value, uint16_t descriptor);

} // namespace tsr
