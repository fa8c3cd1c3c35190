// The clean-voice stage's 512-point real transform: a 256-point complex
// radix-2 decimation-in-time transform over the even/odd sample pairs, then
// the split into the real signal's spectrum (the same scheme as realFft256).
// Twiddles are computed once, in double precision, so that a forward and
// inverse pair returns its input to within a few float roundings: the stage
// relies on that for exact reconstruction when it leaves the signal alone.
#include "dsp/fft512.h"

#include <cmath>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <xmmintrin.h>
#define ZALO_FFT512_SSE 1
#endif

namespace zalo {
namespace {

constexpr unsigned kN = static_cast<unsigned>(kFft512Size);  // real points
constexpr unsigned kHalf = kN / 2;                             // complex points

// e^(-+2 pi i j / len) for every stage len = 2..512 at [len/2 + j], j < len/2.
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

struct BitReversal8 {
    std::uint8_t index[kHalf];
    BitReversal8() : index{} {
        for (unsigned i = 0; i < kHalf; ++i) {
            unsigned r = 0;
            for (unsigned b = 0; b < 8; ++b) r |= ((i >> b) & 1u) << (7 - b);
            index[i] = static_cast<std::uint8_t>(r);
        }
    }
};

// Read-only after static initialisation.
const Twiddles512 kForward(false);
const Twiddles512 kInverse(true);
const BitReversal8 kReversal;

// 256-point transform of bit-reversed input, in place.
void transform256(float* re, float* im, const Twiddles512& tw) {
    // len = 2 and 4: the twiddles are 1, and -+i at j = 1 of len 4.
    for (unsigned b = 0; b < kHalf; b += 4) {
        const float ar = re[b] + re[b + 1], ai = im[b] + im[b + 1];
        const float br = re[b] - re[b + 1], bi = im[b] - im[b + 1];
        const float cr = re[b + 2] + re[b + 3], ci = im[b + 2] + im[b + 3];
        const float dr = re[b + 2] - re[b + 3], di = im[b + 2] - im[b + 3];
        // d * w, w = (tw.re[3], tw.im[3]) = (0, -+1).
        const float er = dr * tw.re[3] - di * tw.im[3], ei = dr * tw.im[3] + di * tw.re[3];
        re[b] = ar + cr;
        im[b] = ai + ci;
        re[b + 2] = ar - cr;
        im[b + 2] = ai - ci;
        re[b + 1] = br + er;
        im[b + 1] = bi + ei;
        re[b + 3] = br - er;
        im[b + 3] = bi - ei;
    }
    for (unsigned len = 8; len <= kHalf; len <<= 1) {
        const unsigned half = len / 2;
        const float* wRe = tw.re + half;
        const float* wIm = tw.im + half;
        for (unsigned b = 0; b < kHalf; b += len) {
            float* lr = re + b;
            float* li = im + b;
            float* hr = re + b + half;
            float* hi = im + b + half;
#ifdef ZALO_FFT512_SSE
            for (unsigned j = 0; j < half; j += 4) {
                const __m128 xr = _mm_load_ps(hr + j), xi = _mm_load_ps(hi + j);
                const __m128 cr = _mm_load_ps(wRe + j), ci = _mm_load_ps(wIm + j);
                const __m128 vr = _mm_sub_ps(_mm_mul_ps(xr, cr), _mm_mul_ps(xi, ci));
                const __m128 vi = _mm_add_ps(_mm_mul_ps(xr, ci), _mm_mul_ps(xi, cr));
                const __m128 ur = _mm_load_ps(lr + j), ui = _mm_load_ps(li + j);
                _mm_store_ps(lr + j, _mm_add_ps(ur, vr));
                _mm_store_ps(li + j, _mm_add_ps(ui, vi));
                _mm_store_ps(hr + j, _mm_sub_ps(ur, vr));
                _mm_store_ps(hi + j, _mm_sub_ps(ui, vi));
            }
#else
            for (unsigned j = 0; j < half; ++j) {
                const float vr = hr[j] * wRe[j] - hi[j] * wIm[j];
                const float vi = hr[j] * wIm[j] + hi[j] * wRe[j];
                const float ur = lr[j], ui = li[j];
                lr[j] = ur + vr;
                li[j] = ui + vi;
                hr[j] = ur - vr;
                hi[j] = ui - vi;
            }
#endif
        }
    }
}

}  // namespace

// z[n] = x[2n] + i x[2n+1] (256 points), Z = DFT256(z); then
//   E[k] = (Z[k] + conj Z[256-k]) / 2,  O[k] = (Z[k] - conj Z[256-k]) / 2i,
//   X[k] = E[k] + W^k O[k],  W = e^(-2 pi i / 512),  k = 0..256.
void realFft512(const float* input, float* re, float* im) {
    alignas(16) float zr[kHalf];
    alignas(16) float zi[kHalf];
    for (unsigned n = 0; n < kHalf; ++n) {
        const unsigned slot = kReversal.index[n];
        zr[slot] = input[2 * n];
        zi[slot] = input[2 * n + 1];
    }
    transform256(zr, zi, kForward);
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
        const unsigned slot = kReversal.index[k];
        zr[slot] = er - oi;
        zi[slot] = ei + orr;
    }
    transform256(zr, zi, kInverse);
    const float scale = 1.0f / static_cast<float>(kN);
    for (unsigned n = 0; n < kHalf; ++n) {
        output[2 * n] = zr[n] * scale;
        output[2 * n + 1] = zi[n] * scale;
    }
}

}  // namespace zalo
