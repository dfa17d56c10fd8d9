// Forward 8x8 transform, the inverse of the decoder's reconstruction
//   x(m, n) = sum over u, v of C(u) C(v) F(u, v) cos((2m + 1)u pi / 16) cos((2n + 1)v pi / 16)
// with C(0) = 1 and C(k) = sqrt 2, that is
//   F(u, v) = C(u) C(v) / 64 * sum over m, n of x(m, n) cos((2m + 1)u pi / 16) cos((2n + 1)v pi / 16).
#pragma once

namespace tsr {

// `block` holds 64 samples in raster order (row m, column n) and receives F in raster order
// (index 8u + v, u the vertical frequency).
void ForwardTransform8x8(float block[64]);

} // namespace tsr
