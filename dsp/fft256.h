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

// The same transform on split arrays (16-byte aligned) that already hold the
// input in bit-reversed order; the result is in natural order and the inverse
// is not scaled. For callers that fill the input themselves.
void fft256BitReversed(float* re, float* im, bool inverse);

// 8-bit bit reversal: the slot of input k in fft256BitReversed's arrays.
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
