// The spectral stage's 256-point transform, and the radix-2 stages it shares
// with the clean-voice stage's 512-point one (fft_core.h): iterative radix-2
// decimation in time, with twiddles from the recurrence w <- w * (cos t, sin t),
// t = -+2*pi/len, restarted at (1, 0) in every block.
//
// Every butterfly computes, in this order,
//   u = X[b+j]; v = X[b+j+len/2] * w; X[b+j] = u + v; X[b+j+len/2] = u - v,
// exactly as the textbook loop does (a unit test compares the bits). What
// differs is only the organisation:
//  - the recurrence gives the same sequence w_j in every block of a stage, so
//    it is run once, when the program starts, and kept per stage;
//  - the values are held as separate real and imaginary arrays, so that four
//    neighbouring butterflies of a stage run as one SSE operation.
#include <cmath>
#include <cstdint>

#include "dsp/fft256.h"
#include "dsp/fft_core.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <xmmintrin.h>
#define ZALO_FFT_SSE 1
#endif

namespace zalo {
namespace {

// Twiddles of every stage, stored at [half + j] for j < half (half = len/2),
// so stage len uses entries half..len-1.
struct Twiddles {
    alignas(16) float re[kFrameSize];
    alignas(16) float im[kFrameSize];

    explicit Twiddles(bool inverse) : re{}, im{} {
        for (unsigned len = 2; len <= kFrameSize; len <<= 1) {
            const unsigned half = len / 2;
            const float theta = (inverse ? kTwoPi : -kTwoPi) / static_cast<float>(len);
            const float wlRe = std::cos(theta);
            const float wlIm = std::sin(theta);
            float wRe = 1.0f, wIm = 0.0f;
            for (unsigned j = 0; j < half; ++j) {
                re[half + j] = wRe;
                im[half + j] = wIm;
                const float nextRe = wRe * wlRe - wIm * wlIm;
                const float nextIm = wRe * wlIm + wIm * wlRe;
                wRe = nextRe;
                wIm = nextIm;
            }
        }
    }
};

// Read-only after static initialisation.
const Twiddles kForwardTwiddles(false);
const Twiddles kInverseTwiddles(true);

inline void butterfly(float* re, float* im, unsigned lo, unsigned hi, float wRe, float wIm) {
    const float vr = re[hi] * wRe - im[hi] * wIm;
    const float vi = re[hi] * wIm + im[hi] * wRe;
    const float ur = re[lo], ui = im[lo];
    re[lo] = ur + vr;
    im[lo] = ui + vi;
    re[hi] = ur - vr;
    im[hi] = ui - vi;
}

#ifdef ZALO_FFT_SSE
// Stages len = 2 and 4 on groups of four neighbouring elements. After a 4x4
// transpose, vector p holds element p of four consecutive groups, so the
// butterflies of both stages become plain vertical operations.
void firstTwoStages(float* re, float* im, unsigned size, const float* twRe, const float* twIm) {
    const __m128 w2r = _mm_set1_ps(twRe[1]), w2i = _mm_set1_ps(twIm[1]);
    const __m128 w40r = _mm_set1_ps(twRe[2]), w40i = _mm_set1_ps(twIm[2]);
    const __m128 w41r = _mm_set1_ps(twRe[3]), w41i = _mm_set1_ps(twIm[3]);
    for (unsigned b = 0; b < size; b += 16) {
        __m128 r0 = _mm_load_ps(re + b), r1 = _mm_load_ps(re + b + 4);
        __m128 r2 = _mm_load_ps(re + b + 8), r3 = _mm_load_ps(re + b + 12);
        __m128 i0 = _mm_load_ps(im + b), i1 = _mm_load_ps(im + b + 4);
        __m128 i2 = _mm_load_ps(im + b + 8), i3 = _mm_load_ps(im + b + 12);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _MM_TRANSPOSE4_PS(i0, i1, i2, i3);
        // u = X[lo], v = X[hi] * w; X[lo] = u + v; X[hi] = u - v.
        auto butterfly4 = [](__m128& lr, __m128& li, __m128& hr, __m128& hi, __m128 wr, __m128 wi) {
            const __m128 vr = _mm_sub_ps(_mm_mul_ps(hr, wr), _mm_mul_ps(hi, wi));
            const __m128 vi = _mm_add_ps(_mm_mul_ps(hr, wi), _mm_mul_ps(hi, wr));
            hr = _mm_sub_ps(lr, vr);
            hi = _mm_sub_ps(li, vi);
            lr = _mm_add_ps(lr, vr);
            li = _mm_add_ps(li, vi);
        };
        butterfly4(r0, i0, r1, i1, w2r, w2i);
        butterfly4(r2, i2, r3, i3, w2r, w2i);
        butterfly4(r0, i0, r2, i2, w40r, w40i);
        butterfly4(r1, i1, r3, i3, w41r, w41i);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _MM_TRANSPOSE4_PS(i0, i1, i2, i3);
        _mm_store_ps(re + b, r0);
        _mm_store_ps(re + b + 4, r1);
        _mm_store_ps(re + b + 8, r2);
        _mm_store_ps(re + b + 12, r3);
        _mm_store_ps(im + b, i0);
        _mm_store_ps(im + b + 4, i1);
        _mm_store_ps(im + b + 8, i2);
        _mm_store_ps(im + b + 12, i3);
    }
}
#else
void firstTwoStages(float* re, float* im, unsigned size, const float* twRe, const float* twIm) {
    for (unsigned b = 0; b < size; b += 2) butterfly(re, im, b, b + 1, twRe[1], twIm[1]);
    for (unsigned b = 0; b < size; b += 4) {
        butterfly(re, im, b, b + 2, twRe[2], twIm[2]);
        butterfly(re, im, b + 1, b + 3, twRe[3], twIm[3]);
    }
}
#endif

}  // namespace

void radix2Stages(float* re, float* im, unsigned size, const float* twRe, const float* twIm) {
    firstTwoStages(re, im, size, twRe, twIm);
    for (unsigned len = 8; len <= size; len <<= 1) {
        const unsigned half = len / 2;
        const float* wRe = twRe + half;
        const float* wIm = twIm + half;
        for (unsigned b = 0; b < size; b += len) {
            float* lr = re + b;
            float* li = im + b;
            float* hr = re + b + half;
            float* hi = im + b + half;
#ifdef ZALO_FFT_SSE
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
            for (unsigned j = 0; j < half; ++j) butterfly(lr, li, j, j + half, wRe[j], wIm[j]);
#endif
        }
    }
}

// A real frame of 256 samples is transformed as 128 complex points
// z[n] = x[2n] + i x[2n+1], and the two interleaved spectra are separated:
//   E[k] = (Z[k] + conj Z[128-k]) / 2,  O[k] = (Z[k] - conj Z[128-k]) / 2i,
//   X[k] = E[k] + W^k O[k],  W = e^(-2 pi i / 256),  k = 0..128.
// Half the butterflies of the full complex transform, same result up to
// rounding.
void realFft256(const float* input, float* re, float* im) {
    alignas(16) float zr[kFrameSize / 2];
    alignas(16) float zi[kFrameSize / 2];
    for (unsigned n = 0; n < kFrameSize / 2; ++n) {
        const unsigned slot = kBitReversal256.index[n] >> 1;  // 7-bit reversal
        zr[slot] = input[2 * n];
        zi[slot] = input[2 * n + 1];
    }
    radix2Stages(zr, zi, kFrameSize / 2, kForwardTwiddles.re, kForwardTwiddles.im);
    const Twiddles& w = kForwardTwiddles;  // stage 256: W^k at [128 + k]
    for (unsigned k = 0; k < kFrameSize / 2; ++k) {
        const unsigned j = (kFrameSize / 2 - k) & (kFrameSize / 2 - 1);
        const float ar = zr[k], ai = zi[k], br = zr[j], bi = -zi[j];
        const float er = 0.5f * (ar + br), ei = 0.5f * (ai + bi);
        const float orr = 0.5f * (ai - bi), oi = -0.5f * (ar - br);
        const float wr = w.re[kFrameSize / 2 + k], wi = w.im[kFrameSize / 2 + k];
        re[k] = er + (orr * wr - oi * wi);
        im[k] = ei + (orr * wi + oi * wr);
    }
    // k = 128: W^128 = -1, E[128] = E[0] and O[128] = O[0], both real.
    re[kFrameSize / 2] = zr[0] - zi[0];
    im[kFrameSize / 2] = 0.0f;
}

// The inverse for a Hermitian spectrum given by bins 0..128 (the imaginary
// parts of bins 0 and 128 only ever reach the imaginary part of the full
// inverse, so they are ignored): with Y[k+128] = conj Y[128-k],
//   Z[k] = (Y[k] + conj Y[128-k]) + i (Y[k] - conj Y[128-k]) w^k,
//   w = e^(2 pi i / 256); z = inverse128(Z) / 256; x[2n] = Re z, x[2n+1] = Im z.
void realInverseFft256(const float* re, const float* im, float* output) {
    alignas(16) float zr[kFrameSize / 2];
    alignas(16) float zi[kFrameSize / 2];
    const Twiddles& w = kInverseTwiddles;  // stage 256: w^k at [128 + k]
    for (unsigned k = 0; k < kFrameSize / 2; ++k) {
        const unsigned j = kFrameSize / 2 - k;
        const float ar = re[k], ai = (k == 0) ? 0.0f : im[k];
        const float br = re[j], bi = (j == kFrameSize / 2) ? 0.0f : -im[j];
        const float er = ar + br, ei = ai + bi;
        const float dr = ar - br, di = ai - bi;
        const float wr = w.re[kFrameSize / 2 + k], wi = w.im[kFrameSize / 2 + k];
        const float orr = dr * wr - di * wi, oi = dr * wi + di * wr;
        const unsigned slot = kBitReversal256.index[k] >> 1;
        zr[slot] = er - oi;
        zi[slot] = ei + orr;
    }
    radix2Stages(zr, zi, kFrameSize / 2, kInverseTwiddles.re, kInverseTwiddles.im);
    const float scale = 1.0f / static_cast<float>(kFrameSize);
    for (unsigned n = 0; n < kFrameSize / 2; ++n) {
        output[2 * n] = zr[n] * scale;
        output[2 * n + 1] = zi[n] * scale;
    }
}

void fft256(Complex* x, bool inverse) {
    alignas(16) float re[kFrameSize];
    alignas(16) float im[kFrameSize];
    for (unsigned i = 0; i < kFrameSize; ++i) {
        const unsigned r = kBitReversal256.index[i];
        re[r] = x[i].re;
        im[r] = x[i].im;
    }
    const Twiddles& tw = inverse ? kInverseTwiddles : kForwardTwiddles;
    radix2Stages(re, im, kFrameSize, tw.re, tw.im);
    if (inverse) {
        const float scale = 1.0f / static_cast<float>(kFrameSize);
        for (unsigned i = 0; i < kFrameSize; ++i) x[i] = Complex{re[i] * scale, im[i] * scale};
    } else {
        for (unsigned i = 0; i < kFrameSize; ++i) x[i] = Complex{re[i], im[i]};
    }
}

}  // namespace zalo
