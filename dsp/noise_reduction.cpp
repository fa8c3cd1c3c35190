// Spectral noise reduction: a Wiener-style gain per bin over non-overlapping,
// unwindowed 256-sample frames, with a noise estimate that follows quiet
// frames and barely moves during speech.
#include <algorithm>
#include <cmath>
#include <utility>

#include "dsp/voice_chain.h"

namespace zalo {
namespace {

constexpr float kPowerEpsilon = 1e-12f;
constexpr float kQuietFrameRms = 0.035f;       // below: a frame of noise only
constexpr float kSeedRate = 0.12f;             // first frame after reset
constexpr float kQuietTrackRate = 0.025f;      // per quiet frame
constexpr float kLoudTrackRate = 0.0003f;      // per loud frame
constexpr float kGainKeep = 0.72f;             // binGain = 0.72*old + 0.28*new
constexpr float kGainTake = 0.28f;
constexpr float kVoiceBandLowHz = 180.0f;
constexpr float kVoiceBandHighHz = 4200.0f;
constexpr float kVoiceBandMinGain = 0.55f;

unsigned reverse8(unsigned i) {
    unsigned r = 0;
    for (int b = 0; b < 8; ++b) r |= ((i >> b) & 1u) << (7 - b);
    return r;
}

}  // namespace

void fft256(Complex* x, bool inverse) {
    for (unsigned i = 1; i < kFrameSize; ++i) {
        const unsigned r = reverse8(i);
        if (i < r) std::swap(x[i], x[r]);
    }
    for (unsigned len = 2; len <= kFrameSize; len <<= 1) {
        const float theta = (inverse ? kTwoPi : -kTwoPi) / static_cast<float>(len);
        const Complex wl{std::cos(theta), std::sin(theta)};
        const unsigned half = len / 2;
        for (unsigned b = 0; b < kFrameSize; b += len) {
            Complex w{1.0f, 0.0f};
            for (unsigned j = 0; j < half; ++j) {
                const Complex u = x[b + j];
                const Complex& t = x[b + j + half];
                const Complex v{t.re * w.re - t.im * w.im, t.re * w.im + t.im * w.re};
                x[b + j] = Complex{u.re + v.re, u.im + v.im};
                x[b + j + half] = Complex{u.re - v.re, u.im - v.im};
                w = Complex{w.re * wl.re - w.im * wl.im, w.re * wl.im + w.im * wl.re};
            }
        }
    }
    if (inverse) {
        const float scale = 1.0f / static_cast<float>(kFrameSize);
        for (unsigned i = 0; i < kFrameSize; ++i) {
            x[i].re *= scale;
            x[i].im *= scale;
        }
    }
}

float VoiceChain::noiseReduceSample(float y) {
    frameIn[frameInPos] = y;
    frameInPos += 1;
    // Until the first frame completes frameOutPos stays at 256 and the input
    // passes straight through; afterwards the output is the processed frame
    // before, i.e. the stage lags by exactly 256 samples.
    if (frameOutPos < kFrameSize) {
        y = frameOut[frameOutPos];
        frameOutPos += 1;
    }
    if (frameInPos == kFrameSize) {
        processFrame();
        frameInPos = 0;
    }
    return y;
}

void VoiceChain::processFrame() {
    float energy = 0.0f;
    for (std::size_t k = 0; k < kFrameSize; ++k) {
        spectrum[k] = Complex{frameIn[k], 0.0f};
        energy += frameIn[k] * frameIn[k];
    }
    fft256(spectrum, false);

    float alpha = kSeedRate;
    if (noiseReady) {
        const float rms = std::sqrt(energy / static_cast<float>(kFrameSize) + kPowerEpsilon);
        alpha = rms < kQuietFrameRms ? kQuietTrackRate : kLoudTrackRate;
    }

    // Depth follows the strength s: exponent 0.55..2.35, floor 0.45..0.05.
    const float s = params.noiseStrength;
    const float exponent = 0.55f + 1.8f * s;
    const float floorGain = 0.45f * (1.0f - s) + 0.05f * s;
    const float binHz = sampleRate / static_cast<float>(kFrameSize);

    for (std::size_t k = 0; k < kSpectrumBins; ++k) {
        Complex& bin = spectrum[k];
        const float power = bin.re * bin.re + bin.im * bin.im + kPowerEpsilon;
        noiseEstimate[k] = (1.0f - alpha) * noiseEstimate[k] + alpha * power;
        const float snr = std::max((power - noiseEstimate[k]) / (noiseEstimate[k] + kPowerEpsilon), 0.0f);
        // Wiener weight snr/(snr+1), sharpened by the exponent above a floor.
        const float w = std::min(std::max(snr / (snr + 1.0f), 0.0f), 1.0f);
        float gain = floorGain + (1.0f - floorGain) * std::pow(w, exponent);
        const float f = static_cast<float>(k) * binHz;
        if (f > kVoiceBandLowHz && f < kVoiceBandHighHz && snr > 2.0f) {
            gain = std::max(gain, kVoiceBandMinGain);
        }
        binGain[k] = kGainKeep * binGain[k] + kGainTake * gain;
        bin.re *= binGain[k];
        bin.im *= binGain[k];
        // Keep the spectrum Hermitian so the inverse is real; bins 0 and 128
        // are their own mirror.
        if (k >= 1 && k <= kFrameSize / 2 - 1) {
            spectrum[kFrameSize - k] = Complex{bin.re, -bin.im};
        }
    }
    noiseReady = true;

    fft256(spectrum, true);
    for (std::size_t k = 0; k < kFrameSize; ++k) frameOut[k] = spectrum[k].re;
    frameOutPos = 0;
}

}  // namespace zalo
