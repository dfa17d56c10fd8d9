// The process-wide tuning value from the environment variable "tsr772cup".
#pragma once

#include <cstdint>

namespace tsr {

constexpr std::int32_t kTuningFrameTimer = 20202;

// Decimal value of the text (leading integer, atoi rules); 0 for null or empty text.
std::int32_t ParseTuningValue(const char* text);

// Reads the variable the first time it is asked for and returns the same value for the rest of
// the process.
std::int32_t ProcessTuningValue();

} // namespace tsr
