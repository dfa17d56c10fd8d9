// Rate control: the one qScale for a frame whose encoded size comes nearest a target.
#pragma once

#include <cstddef>
#include <functional>

namespace tsr {

// `encodedBytes(q)` measures the frame at qScale q (1..255); sizes fall as q rises. Bisects for
// the smallest q whose size is within the target, then takes whichever of it and q - 1 lies
// nearer. Measures about ten times.
int ChooseQScale(double targetBytes, const std::function<size_t(int)>& encodedBytes);

} // namespace tsr
