#include "dsp/clean_voice.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/fast_math.h"

namespace zalo {
namespace {

constexpr float kPowerEpsilon = 1e-20f;  // keeps P > 0 on digital silence
constexpr float kMaxPosteriorSnr = 1e4f;
constexpr float kMinPrioriSnr = 0.0031622777f;  // 10^-2.5, -25 dB
constexpr float kDecisionWeight = 0.96f;        // of the last frame's speech estimate
constexpr float kMinV = 1e-10f, kMaxV = 50.0f;  // keep E1(v) and e^-v finite and nonzero

// Noise tracker (minima-controlled recursive averaging).
constexpr float kAlphaS = 0.9f;   // power smoothing per frame
constexpr float kAlphaD = 0.9f;   // noise averaging per frame while speech is absent
constexpr float kBmin = 1.5f;     // bias of the minimum of smoothed noise power
constexpr float kGamma0 = 4.6f;   // P / (Bmin Smin) above this: speech, first pass
constexpr float kGamma1 = 3.0f;   // ... above this: speech, second pass
constexpr float kZeta0 = 1.67f;   // S / (Bmin Smin) at or above this: speech
constexpr float kBeta = 1.47f;    // bias of the averaged noise estimate

constexpr float kLog2E = 1.44269504088896341f;
constexpr float kLn2 = 0.693147180559945309f;
inline float fastExp(float x) { return fastExp2(x * kLog2E); }
inline float fastLn(float x) { return fastLog2(x) * kLn2; }

// Analysis and synthesis window w[n] = sqrt(0.5 - 0.5 cos(2 pi n / 512)).
// w[n]^2 + w[n+256]^2 = 1, so windowing twice and overlapping by half a frame
// adds back to the input when the gains are 1.
struct SqrtHannWindow {
    float w[kCleanFrameSize];
    SqrtHannWindow() : w{} {
        for (std::size_t n = 0; n < kCleanFrameSize; ++n)
            w[n] = static_cast<float>(
                std::sqrt(0.5 - 0.5 * std::cos(6.283185307179586 * n / kCleanFrameSize)));
    }
};
const SqrtHannWindow kWindow;  // read-only after static initialisation

// sm3(x)_k = x_(k-1)/4 + x_k/2 + x_(k+1)/4, with two-tap halves at both edges.
void smooth3(const float* x, float* out) {
    out[0] = 0.5f * x[0] + 0.5f * x[1];
    for (std::size_t k = 1; k + 1 < kCleanBins; ++k)
        out[k] = 0.25f * x[k - 1] + 0.5f * x[k] + 0.25f * x[k + 1];
    out[kCleanBins - 1] = 0.5f * x[kCleanBins - 1] + 0.5f * x[kCleanBins - 2];
}

}  // namespace

float cleanVoiceFloor(float strengthPercent) {
    return std::pow(10.0f, -0.23f * strengthPercent / 20.0f);
}

void MinimumTracker::start(const float* s) {
    std::memcpy(minimum, s, sizeof minimum);
    std::memcpy(window, s, sizeof window);
    for (auto& row : store) std::memcpy(row, s, sizeof row);
    next = 0;
}

void MinimumTracker::update(const float* s, std::uint64_t frame) {
    for (std::size_t k = 0; k < kCleanBins; ++k) {
        minimum[k] = std::min(minimum[k], s[k]);
        window[k] = std::min(window[k], s[k]);
    }
    if (frame % kCleanMinWindowFrames != 0) return;
    // A sub-window ends: it replaces the oldest stored minimum, and the
    // minimum forgets everything older than the store.
    std::memcpy(store[next], window, sizeof window);
    next = (next + 1) % kCleanMinStoreSize;
    std::memcpy(minimum, store[0], sizeof minimum);
    for (std::size_t u = 1; u < kCleanMinStoreSize; ++u)
        for (std::size_t k = 0; k < kCleanBins; ++k) minimum[k] = std::min(minimum[k], store[u][k]);
    std::memcpy(window, s, sizeof window);
}

void CleanVoiceStage::reset() {
    std::memset(input, 0, sizeof input);
    std::memset(output, 0, sizeof output);
    std::memset(overlap, 0, sizeof overlap);
    pos = 0;
    frame = 0;
    std::memset(speechPower, 0, sizeof speechPower);
    // The rest is seeded from the first frame; zeros keep the state defined.
    std::memset(noise, 0, sizeof noise);
    std::memset(noiseTilde, 0, sizeof noiseTilde);
    std::memset(smoothed, 0, sizeof smoothed);
    std::memset(smoothedTilde, 0, sizeof smoothedTilde);
    minSmoothed.start(smoothed);
    minSmoothedTilde.start(smoothed);
}

void CleanVoiceStage::process(float* y, std::size_t n, float gainFloor) {
    for (std::size_t done = 0; done < n;) {
        const std::size_t run = runLength(n - done);
        float* in = inputSlot();
        const float* out = outputSlot();
        for (std::size_t i = 0; i < run; ++i) {
            in[i] = y[done + i];
            y[done + i] = out[i];
        }
        finishRun(run, gainFloor);
        done += run;
    }
}

void CleanVoiceStage::processFrame(float gainFloor) {
    alignas(16) float frameBuf[kCleanFrameSize];
    for (std::size_t n = 0; n < kCleanFrameSize; ++n) frameBuf[n] = kWindow.w[n] * input[n];
    alignas(16) float re[kCleanBins];
    alignas(16) float im[kCleanBins];
    realFft512(frameBuf, re, im);

    float power[kCleanBins], xi[kCleanBins], expMinusV[kCleanBins];
    for (std::size_t k = 0; k < kCleanBins; ++k) power[k] = re[k] * re[k] + im[k] * im[k] + kPowerEpsilon;
    if (frame == 0) std::memcpy(noise, power, sizeof noise);  // and speechPower = 0 from reset

    // Per bin, with lambda the noise estimate and A^2 the last frame's speech:
    //   gamma = min(P / lambda, 1e4)                       a-posteriori SNR
    //   xi = max(0.96 A^2 / lambda + 0.04 max(gamma - 1, 0), 10^-2.5)   a-priori SNR
    //   v = min(max(xi gamma / (1 + xi), 1e-10), 50)
    //   G = min(xi / (1 + xi) exp(E1(v) / 2), 1)          log-spectral amplitude gain
    // A^2 takes G^2 P; the bin itself is scaled by max(G, floor).
    for (std::size_t k = 0; k < kCleanBins; ++k) {
        const float p = power[k], lambda = noise[k];
        const float gamma = std::min(p / lambda, kMaxPosteriorSnr);
        const float x = std::max(kDecisionWeight * speechPower[k] / lambda +
                                     (1.0f - kDecisionWeight) * std::max(gamma - 1.0f, 0.0f),
                                 kMinPrioriSnr);
        const float v = std::min(std::max(x * gamma / (1.0f + x), kMinV), kMaxV);
        const float ev = fastExp(-v);
        // Exponential integral E1(v): power series fit for v <= 1, rational
        // fit of e^v v E1(v) above (both within 5e-5 of E1).
        const float series =
            -fastLn(v) - 0.57721566f +
            v * (0.99999193f + v * (-0.24991055f + v * (0.05519968f + v * (-0.00976004f + 0.00107857f * v))));
        const float rational =
            ev / v * (v * v + 2.334733f * v + 0.250621f) / (v * v + 3.330657f * v + 1.681534f);
        const float e1 = v <= 1.0f ? series : rational;
        const float gain = std::min(x / (1.0f + x) * fastExp(0.5f * e1), 1.0f);
        speechPower[k] = gain * gain * p;
        const float g = std::max(gain, gainFloor);
        re[k] *= g;
        im[k] *= g;
        xi[k] = x;
        expMinusV[k] = ev;
    }

    realInverseFft512(re, im, frameBuf);
    // Overlap-add: this hop is the first half of this frame, windowed again,
    // plus the second half of the last frame.
    for (std::size_t n = 0; n < kCleanHopSize; ++n) {
        output[n] = kWindow.w[n] * frameBuf[n] + overlap[n];
        overlap[n] = kWindow.w[n + kCleanHopSize] * frameBuf[n + kCleanHopSize];
    }
    std::memcpy(input, input + kCleanHopSize, kCleanHopSize * sizeof input[0]);

    trackNoise(power, xi, expMinusV);
    ++frame;
    pos = 0;
}

// Updates the noise estimate for the next frame from this frame's power P
// and the gain step's xi and e^-v.
void CleanVoiceStage::trackNoise(const float* power, const float* xi, const float* expMinusV) {
    const std::uint64_t l = frame;
    float sf[kCleanBins];
    smooth3(power, sf);
    if (l == 0) {
        std::memcpy(smoothed, sf, sizeof smoothed);
        std::memcpy(smoothedTilde, sf, sizeof smoothedTilde);
        std::memcpy(noiseTilde, power, sizeof noiseTilde);
        minSmoothed.start(smoothed);
        minSmoothedTilde.start(smoothed);
    } else {
        for (std::size_t k = 0; k < kCleanBins; ++k) smoothed[k] = kAlphaS * smoothed[k] + (1.0f - kAlphaS) * sf[k];
    }
    minSmoothed.update(smoothed, l);

    if (l < kCleanStartupFrames) {
        // Start-up: the plain average of the frames so far.
        const float lf = static_cast<float>(l);
        for (std::size_t k = 0; k < kCleanBins; ++k) {
            noiseTilde[k] = (lf * noiseTilde[k] + power[k]) / (lf + 1.0f);
            noise[k] = noiseTilde[k];
        }
        std::memcpy(smoothedTilde, smoothed, sizeof smoothedTilde);
        minSmoothedTilde.update(smoothedTilde, l);
        return;
    }

    // First pass: bins whose power and smoothed power both sit near the
    // minimum are taken as noise; S~ averages only those (over three bins),
    // and keeps its old value where none of the three qualifies.
    const float* const minS = minSmoothed.minimum;
    float noisePower[kCleanBins], noiseFlag[kCleanBins];
    for (std::size_t k = 0; k < kCleanBins; ++k) {
        const bool quiet = power[k] < kGamma0 * kBmin * minS[k] && smoothed[k] < kZeta0 * kBmin * minS[k];
        noiseFlag[k] = quiet ? 1.0f : 0.0f;
        noisePower[k] = quiet ? power[k] : 0.0f;
    }
    float num[kCleanBins], den[kCleanBins];
    smooth3(noisePower, num);
    smooth3(noiseFlag, den);
    for (std::size_t k = 0; k < kCleanBins; ++k) {
        const float target = den[k] > 0.0f ? num[k] / den[k] : smoothedTilde[k];
        smoothedTilde[k] = kAlphaS * smoothedTilde[k] + (1.0f - kAlphaS) * target;
    }
    minSmoothedTilde.update(smoothedTilde, l);

    // Second pass: q, the prior chance that speech is absent, from P and S
    // against the noise-only minimum; p, the chance that speech is present
    // now; the noise average moves at 1 - alpha~ = (1 - alphaD)(1 - p).
    const float* const minSt = minSmoothedTilde.minimum;
    for (std::size_t k = 0; k < kCleanBins; ++k) {
        const float base = kBmin * minSt[k];
        const float gt = power[k] / base, zt = smoothed[k] / base;
        float q = gt <= 1.0f ? 1.0f : (gt < kGamma1 ? (kGamma1 - gt) / (kGamma1 - 1.0f) : 0.0f);
        q = zt < kZeta0 ? q : 0.0f;
        // q = 1 means certain absence: p = 0, whatever the odds (+inf there).
        const float odds = q * (1.0f + xi[k]) * expMinusV[k] / (1.0f - q);
        const float presence = q >= 1.0f ? 0.0f : 1.0f / (1.0f + odds);
        const float alpha = kAlphaD + (1.0f - kAlphaD) * presence;
        noiseTilde[k] = alpha * noiseTilde[k] + (1.0f - alpha) * power[k];
        noise[k] = kBeta * noiseTilde[k];
    }
}

}  // namespace zalo
