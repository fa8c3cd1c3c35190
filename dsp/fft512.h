// The clean-voice stage's 512-point real transform.
#pragma once

#include <cstddef>

namespace zalo {

constexpr std::size_t kFft512Size = 512;
constexpr std::size_t kFft512Bins = kFft512Size / 2 + 1;  // 257, 93.75 Hz apart at 48 kHz

// Bins 0..256 of the 512-point DFT of `input` (512 real samples),
// X[k] = sum x[n] e^(-2 pi i k n / 512), into re[0..256] and im[0..256].
void realFft512(const float* input, float* re, float* im);

// Inverse of a Hermitian spectrum given by bins 0..256 (the imaginary parts of
// bins 0 and 256 are ignored), scaled by 1/512, into 512 real samples.
// realInverseFft512(realFft512(x)) == x up to rounding.
void realInverseFft512(const float* re, const float* im, float* output);

}  // namespace zalo
