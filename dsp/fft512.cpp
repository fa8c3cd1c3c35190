// The clean-voice stage's 512-point real transform: a 256-point complex
// transform over the even/odd sample pairs (the radix-2 stages of fft256.cpp,
// fft_core.h), then the split into the real signal's spectrum (the same
// scheme as realFft256). This file keeps its own twiddles, computed once in
// double precision rather than by fft256's recurrence, so that a forward and
// inverse pair returns its input to within a few float roundings: the stage
// relies on that for exact reconstruction when it leaves the signal alone.
#include "dsp/fft512.h"

#include <cmath>

#include "dsp/fft256.h"
#include "dsp/fft_core.h"

namespace zalo {
namespace {

constexpr unsigned kN = static_cast<unsigned>(kFft512Size);  // real points
constexpr unsigned kHalf = kN / 2;                             // complex points

// e^(-+2 pi i j / len) for every stage len = 2..512 at [len/2 + j], j < len/2:
// entries 1..255 drive radix2Stages, 256..511 (W^k) the split.
struct Twiddles512 {
    alignas(16) float re[kN];
    alignas(16) float im[kN];
    explicit Twiddles512(bool inverse) : re{}, im{} {
        const double sign = inverse ? 1.0 : -1.0;
        for (unsigned len = 2; len <= kN; len <<= 1)
            for (unsigned j = 0; j < len / 2; ++j) {
                const double angle = sign * 6.283185307179586 * j / len;
                re[len / 2 + j] = static_cast<float>(std::cos(angle));
                im[len / 2 + j] = static_cast<float>(std::sin(angle));
            }
    }
};

// Read-only after static initialisation.
const Twiddles512 kForward(false);
const Twiddles512 kInverse(true);

}  // namespace

// z[n] = x[2n] + i x[2n+1] (256 points), Z = DFT256(z); then
//   E[k] = (Z[k] + conj Z[256-k]) / 2,  O[k] = (Z[k] - conj Z[256-k]) / 2i,
//   X[k] = E[k] + W^k O[k],  W = e^(-2 pi i / 512),  k = 0..256.
void realFft512(const float* input, float* re, float* im) {
    alignas(16) float zr[kHalf];
    alignas(16) float zi[kHalf];
    for (unsigned n = 0; n < kHalf; ++n) {
        const unsigned slot = kBitReversal256.index[n];
        zr[slot] = input[2 * n];
        zi[slot] = input[2 * n + 1];
    }
    radix2Stages(zr, zi, kHalf, kForward.re, kForward.im);
    for (unsigned k = 0; k < kHalf; ++k) {
        const unsigned j = (kHalf - k) & (kHalf - 1);
        const float ar = zr[k], ai = zi[k], br = zr[j], bi = -zi[j];
        const float er = 0.5f * (ar + br), ei = 0.5f * (ai + bi);
        const float orr = 0.5f * (ai - bi), oi = -0.5f * (ar - br);
        const float wr = kForward.re[kHalf + k], wi = kForward.im[kHalf + k];
        re[k] = er + (orr * wr - oi * wi);
        im[k] = ei + (orr * wi + oi * wr);
    }
    // k = 256: W^256 = -1, E[256] = E[0] and O[256] = O[0], both real.
    re[kHalf] = zr[0] - zi[0];
    im[kHalf] = 0.0f;
}

// With Y[k+256] = conj Y[256-k]:
//   Z[k] = (Y[k] + conj Y[256-k]) + i (Y[k] - conj Y[256-k]) w^k,
//   w = e^(2 pi i / 512); z = inverse256(Z) / 512; x[2n] = Re z, x[2n+1] = Im z.
void realInverseFft512(const float* re, const float* im, float* output) {
    alignas(16) float zr[kHalf];
    alignas(16) float zi[kHalf];
    for (unsigned k = 0; k < kHalf; ++k) {
        const unsigned j = kHalf - k;
        const float ar = re[k], ai = (k == 0) ? 0.0f : im[k];
        const float br = re[j], bi = (j == kHalf) ? 0.0f : -im[j];
        const float er = ar + br, ei = ai + bi;
        const float dr = ar - br, di = ai - bi;
        const float wr = kInverse.re[kHalf + k], wi = kInverse.im[kHalf + k];
        const float orr = dr * wr - di * wi, oi = dr * wi + di * wr;
        const unsigned slot = kBitReversal256.index[k];
        zr[slot] = er - oi;
        zi[slot] = ei + orr;
    }
    radix2Stages(zr, zi, kHalf, kInverse.re, kInverse.im);
    const float scale = 1.0f / static_cast<float>(kN);
    for (unsigned n = 0; n < kHalf; ++n) {
        output[2 * n] = zr[n] * scale;
        output[2 * n + 1] = zi[n] * scale;
    }
}

}  // namespace zalo
