#include "dsp/voice_chain.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zalo {

void VoiceChain::reset() {
    sampleRate = kChainSampleRateHz;
    params = ProcessingParams{};
    dcPrevIn = dcPrevOut = 0.0f;
    hpPrevIn = hpPrevOut = 0.0f;
    gateGain = 1.0f;
    toneLow = 0.0f;
    bandPrevIn = bandPrevOut = 0.0f;
    robotPhase = 0.0f;
    deEssLow = 0.0f;
    std::memset(pitchDelay, 0, sizeof pitchDelay);
    pitchWritePos = 0;
    pitchPhase = 0.0f;
    std::memset(echoLine, 0, sizeof echoLine);
    echoWritePos = 0;
    std::memset(frameIn, 0, sizeof frameIn);
    std::memset(frameOut, 0, sizeof frameOut);
    std::memset(spectrum, 0, sizeof spectrum);
    std::fill(noiseEstimate, noiseEstimate + kSpectrumBins, 1e-7f);
    std::fill(binGain, binGain + kSpectrumBins, 1.0f);
    frameInPos = 0;
    frameOutPos = kFrameSize;
    noiseReady = false;
    blockInputPeak = blockOutputPeak = 0.0f;
    cachedPitchSemitones_ = 0.0f;
    cachedPitchRatio_ = 1.0f;
    updateCoefficients();
}

float VoiceChain::coefficient(float frequencyHz) const {
    return std::exp(-kTwoPi * frequencyHz / sampleRate);
}

void VoiceChain::updateCoefficients() {
    coef_.rateHz = sampleRate;
    coef_.highPass80 = coefficient(80.0f);
    coef_.deEss4800 = coefficient(4800.0f);
    coef_.tone1800 = coefficient(1800.0f);
    coef_.radioLow300 = coefficient(300.0f);
    coef_.radioHigh3400 = coefficient(3400.0f);
    coef_.megaphoneLow550 = coefficient(550.0f);
    coef_.megaphoneHigh4300 = coefficient(4300.0f);
    coef_.phoneLow360 = coefficient(360.0f);
    coef_.phoneHigh2900 = coefficient(2900.0f);
    coef_.norm112 = std::tanh(1.12f);
    coef_.norm110 = std::tanh(1.1f);
    coef_.norm114 = std::tanh(1.14f);
    coef_.norm175 = std::tanh(1.75f);
    coef_.norm225 = std::tanh(2.25f);
    coef_.norm138 = std::tanh(1.38f);
    coef_.norm145 = std::tanh(1.45f);
}

void VoiceChain::process(float* buffer, std::size_t count) {
    if (buffer == nullptr || count == 0) return;
    blockInputPeak = 0.0f;
    blockOutputPeak = 0.0f;

    const ProcessingParams& p = params;
    // Per-block constants. Filter coefficients are a(f) = exp(-2*pi*f / rate).
    const float gain = std::pow(10.0f, p.inputGainDb / 20.0f);
    if (coef_.rateHz != sampleRate) updateCoefficients();
    const float aHighPass = coef_.highPass80;
    const float aDeEss = coef_.deEss4800;
    const float limiterNorm = coef_.norm145;
    const float gateClosed = 1.0f - 0.65f * p.noiseStrength;

    for (std::size_t i = 0; i < count; ++i) {
        // 1. Guard and gain. The bound keeps every later stage finite even for
        //    absurd (but finite) input such as 1e20, whose square would be inf.
        float x = buffer[i];
        if (!std::isfinite(x)) {
            x = 0.0f;
        } else {
            x *= gain;
            if (x != x) x = 0.0f;  // 0 * inf from an infinite gain
            x = std::max(std::min(x, kInputLimit), -kInputLimit);
        }
        blockInputPeak = std::max(blockInputPeak, std::fabs(x));

        // 2. DC blocker: y[n] = x[n] - x[n-1] + 0.995 * y[n-1].
        float y = x - dcPrevIn + 0.995f * dcPrevOut;
        dcPrevIn = x;
        dcPrevOut = y;

        // 3. One-pole high-pass at 80 Hz.
        if (p.highPass) {
            const float z = aHighPass * (hpPrevOut + y - hpPrevIn);
            hpPrevIn = y;
            hpPrevOut = z;
            y = z;
        }

        // 4. Spectral noise reduction (256 samples of delay).
        y = noiseReduceSample(y);

        // 5. Soft gate: closes slowly (0.015/sample) towards 1 - 0.65*strength
        //    below -52 dBFS, opens fast (0.18/sample).
        const float target = (p.gate && std::fabs(y) < 0.0025f) ? gateClosed : 1.0f;
        const float c = target > gateGain ? 0.18f : 0.015f;
        gateGain += (target - gateGain) * c;
        y *= gateGain;

        // 6. Voice effect.
        y = applyVoiceEffect(y);

        // 7. De-esser: subtract up to 62 % of the content above 4.8 kHz once it
        //    exceeds 0.035.
        if (p.deEsser) {
            deEssLow += (1.0f - aDeEss) * (y - deEssLow);
            const float h = y - deEssLow;
            const float k = std::min(std::max((std::fabs(h) - 0.035f) * 7.0f, 0.0f), 0.62f);
            y -= k * h;
        }

        // 8. Instantaneous compressor above 0.28: |y| -> 0.28 * (|y|/0.28)^0.32.
        if (p.compressor) {
            const float a = std::fabs(y);
            if (a > 0.28f) {
                const float c2 = 0.28f * std::pow(a / 0.28f, 0.32f);
                y = y < 0.0f ? -c2 : c2;
            }
        }

        // 9. Limiter: unity-at-full-scale tanh, then a hard ceiling of 0.985.
        if (p.limiter) {
            y = std::tanh(1.45f * y) / limiterNorm;
            y = std::max(std::min(y, 0.985f), -0.985f);
        }

        // 10. Output guard.
        if (!std::isfinite(y)) y = 0.0f;
        buffer[i] = y;
        blockOutputPeak = std::max(blockOutputPeak, std::fabs(y));
    }
}

}  // namespace zalo
