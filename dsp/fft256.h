// The spectral stage's 256-point complex transform.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zalo {

constexpr std::size_t kFrameSize = 256;
// 2*pi as the single-precision value every angle and coefficient uses.
constexpr float kTwoPi = 6.2831855f;

struct Complex {
    float re;
    float im;
};

// In-place iterative radix-2 decimation-in-time transform of exactly 256
// points; the inverse scales by 1/256.
void fft256(Complex* spectrum, bool inverse);

// Transform of a real frame: bins 0..128 of fft256 of `input` (256 real
// samples) into re[0..128] and im[0..128], up to rounding.
void realFft256(const float* input, float* re, float* im);

// Inverse of a Hermitian spectrum given by bins 0..128: the real part of
// fft256's inverse (1/256 scaling included), up to rounding, into 256 samples.
void realInverseFft256(const float* re, const float* im, float* output);

// 8-bit bit reversal of 0..255; shifted right by one, the 7-bit reversal of
// 0..127.
struct BitReversal256 {
    std::uint8_t index[kFrameSize];
    constexpr BitReversal256() : index{} {
        for (unsigned i = 0; i < kFrameSize; ++i) {
            unsigned r = 0;
            for (unsigned b = 0; b < 8; ++b) r |= ((i >> b) & 1u) << (7 - b);
            index[i] = static_cast<std::uint8_t>(r);
        }
    }
};
inline constexpr BitReversal256 kBitReversal256{};

}  // namespace zalo
