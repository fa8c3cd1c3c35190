// The radix-2 stages shared by the spectral stage's 256-point transform and
// the clean-voice stage's 512-point one (defined in fft256.cpp).
#pragma once

namespace zalo {

// In-place decimation-in-time stages len = 2, 4, ..., size over `size` complex
// points held as separate real and imaginary arrays, input in bit-reversed
// order, output in natural order, unscaled. `size` is a power of two, 16..256.
// Butterfly j of stage len uses the twiddle (twRe, twIm)[len/2 + j], so the
// tables are read at 1..size-1; e^(-2 pi i j / len) gives the forward
// transform, e^(+2 pi i j / len) the inverse. Every butterfly computes
//   u = X[lo]; v = X[hi] * w; X[lo] = u + v; X[hi] = u - v
// in that order, whichever of the scalar or SSE paths runs. All four arrays
// are 16-byte aligned: four neighbouring butterflies run as one SSE operation.
void radix2Stages(float* re, float* im, unsigned size, const float* twRe, const float* twIm);

}  // namespace zalo
