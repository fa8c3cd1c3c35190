#include "dsp/voice_chain.h"

#include "dsp/fast_math.h"
#include "dsp/tone_filter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace zalo {

namespace {

constexpr float kFloatMax = std::numeric_limits<float>::max();

struct FrontState {
    float gain, aHighPass;
    float dcIn, dcOut, hpIn, hpOut;
    float gateThreshold, gateClosed, gateGain;
    float inPeak;
    float frameEnergy;
    float toneAmount, toneCoefficient, toneLow;
};

// Steps 1 to 5 for one run of samples inside a spectral frame: guard and
// gain, DC blocker, optional high-pass, spectral stage (the sample goes into
// frameIn; the one that leaves is the pending processed frame's, or the same
// sample before the first frame has completed; the clean-voice stage uses the
// same two pointers into its own buffers), soft gate; and, for voice recipes
// that begin with it, the tone filter of step 6.
template <bool kHighPass, bool kPrimed, bool kTone>
void frontRun(FrontState& s, float* y, std::size_t n, float* frameIn, const float* frameOut) {
    float dcIn = s.dcIn, dcOut = s.dcOut, hpIn = s.hpIn, hpOut = s.hpOut;
    float g = s.gateGain, inPeak = s.inPeak, energy = s.frameEnergy, toneLow = s.toneLow;
    const float toneAmount = s.toneAmount, toneCoefficient = s.toneCoefficient;
    const float gain = s.gain, aHighPass = s.aHighPass;
    // An index lookup instead of a branch: the comparison flips irregularly
    // around the threshold.
    const float targets[2] = {1.0f, s.gateClosed};
    const float threshold = s.gateThreshold;
    for (std::size_t i = 0; i < n; ++i) {
        // 1. Non-finite samples become 0; the gained sample is held to
        //    +-kInputLimit so that no later stage can overflow (1e20 squared
        //    in the spectral stage would be inf, then inf - inf = NaN in the
        //    noise estimate for good).
        const float raw = y[i];
        const float gained = raw * gain;
        float x = std::fabs(raw) <= kFloatMax ? gained : 0.0f;  // false for NaN, inf
        x = x == x ? x : 0.0f;                                  // 0 * inf gain
        x = std::max(std::min(x, kInputLimit), -kInputLimit);
        inPeak = std::max(inPeak, std::fabs(x));

        // 2. DC blocker: y[n] = x[n] - x[n-1] + 0.995 y[n-1].
        float v = x - dcIn + 0.995f * dcOut;
        dcIn = x;
        dcOut = v;

        // 3. One-pole high-pass at 80 Hz.
        if (kHighPass) {
            hpOut = aHighPass * (hpOut + v - hpIn);
            hpIn = v;
            v = hpOut;
        }

        // 4. Spectral stage (256 samples of delay once primed). The frame's
        //    energy is summed here, in the same order the frame would sum it,
        //    where it overlaps with the other recursions.
        frameIn[i] = v;
        energy += v * v;
        if (kPrimed) v = frameOut[i];

        // 5. Soft gate: below 0.0025 (-52 dBFS) the gain heads for
        //    1 - 0.65 * strength at 0.015 per sample, otherwise back to 1 at
        //    0.18 per sample.
        // Both candidate updates are computed from g at once and the right
        // one picked by index, which keeps the comparison off the
        // recursion's path (a plain ?: here compiles to a mispredicted jump).
        const float target = targets[std::fabs(v) < threshold];
        const float step = target - g;
        const float candidates[2] = {g + step * 0.015f, g + step * 0.18f};  // closing, opening
        g = candidates[target > g];
        v *= g;

        // 6, first step of the recipe, where it is the tone filter.
        if (kTone) v = toneStep(v, toneAmount, toneCoefficient, toneLow);
        y[i] = v;
    }
    s.dcIn = dcIn;
    s.dcOut = dcOut;
    s.hpIn = hpIn;
    s.hpOut = hpOut;
    s.gateGain = g;
    s.inPeak = inPeak;
    s.frameEnergy = energy;
    s.toneLow = toneLow;
}

template <bool kHighPass, bool kPrimed>
void frontRunTone(bool tone, FrontState& s, float* y, std::size_t n, float* frameIn, const float* frameOut) {
    if (tone) frontRun<kHighPass, kPrimed, true>(s, y, n, frameIn, frameOut);
    else frontRun<kHighPass, kPrimed, false>(s, y, n, frameIn, frameOut);
}

}  // namespace

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
    resetNoiseReduction();
    cleanStage.reset();
    cleanActive = false;
    blockInputPeak = blockOutputPeak = 0.0f;
    updateCoefficients();
}

void VoiceChain::resetNoiseReduction() {
    std::memset(frameIn, 0, sizeof frameIn);
    std::memset(frameOut, 0, sizeof frameOut);
    std::fill(noiseEstimate, noiseEstimate + kSpectrumBins, 1e-7f);
    std::fill(binGain, binGain + kSpectrumBins, 1.0f);
    frameEnergy = 0.0f;
    frameInPos = 0;
    frameOutPos = kFrameSize;
    noiseReady = false;
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
    coef_.norm112 = fastTanh(1.12f);
    coef_.norm110 = fastTanh(1.1f);
    coef_.norm114 = fastTanh(1.14f);
    coef_.norm175 = fastTanh(1.75f);
    coef_.norm225 = fastTanh(2.25f);
    coef_.norm138 = fastTanh(1.38f);
    coef_.norm145 = fastTanh(1.45f);
}

void VoiceChain::process(float* buffer, std::size_t count) {
    if (buffer == nullptr || count == 0) {
        return;
    }
    if (coef_.rateHz != sampleRate) updateCoefficients();
    float* const y = buffer;
    const std::size_t n = count;

    // Steps 1 to 5 have short recursive chains of their own (DC blocker,
    // high-pass, gate, and the tone filter where the voice starts with it);
    // one loop runs them together so that those chains overlap. It covers
    // one run up to the next spectral frame boundary.
    FrontState front;
    front.gain = std::pow(10.0f, params.inputGainDb / 20.0f);
    front.aHighPass = coef_.highPass80;
    front.dcIn = dcPrevIn;
    front.dcOut = dcPrevOut;
    front.hpIn = hpPrevIn;
    front.hpOut = hpPrevOut;
    // The gate aims below 1 only while it is on: a threshold of -1 is never met.
    front.gateThreshold = params.gate ? 0.0025f : -1.0f;
    front.gateClosed = 1.0f - 0.65f * params.noiseStrength;
    front.gateGain = gateGain;
    front.inPeak = 0.0f;
    // The tone filter's recursion runs alongside the others when the voice
    // recipe starts with it.
    front.toneAmount = 0.0f;
    const bool toneInFront = recipeStartsWithTone(front.toneAmount);
    front.toneCoefficient = coef_.tone1800;
    front.toneLow = toneLow;
    // Step 4 is one of two noise stages. A switch restarts the one coming in,
    // so that it never resumes from audio it heard long ago.
    const bool clean = params.cleanVoice;
    if (clean != cleanActive) {
        if (clean) cleanStage.reset();
        else resetNoiseReduction();
        cleanActive = clean;
    }
    const float cleanFloor = clean ? cleanVoiceFloor(params.noiseStrength * 100.0f) : 1.0f;
    for (std::size_t done = 0; done < n;) {
        std::size_t run;
        float* in;
        const float* out;
        if (clean) {
            // Always primed: its output starts as the zeros of its reset state.
            run = cleanStage.runLength(n - done);
            in = cleanStage.inputSlot();
            out = cleanStage.outputSlot();
            front.frameEnergy = 0.0f;  // unused by this stage
        } else {
            run = noiseRunLength(n - done);
            in = frameIn + frameInPos;
            out = frameOutPos < kFrameSize ? frameOut + frameOutPos : nullptr;
            front.frameEnergy = frameEnergy;
        }
        if (params.highPass) {
            if (out) frontRunTone<true, true>(toneInFront, front, y + done, run, in, out);
            else frontRunTone<true, false>(toneInFront, front, y + done, run, in, out);
        } else {
            if (out) frontRunTone<false, true>(toneInFront, front, y + done, run, in, out);
            else frontRunTone<false, false>(toneInFront, front, y + done, run, in, out);
        }
        if (clean) {
            cleanStage.finishRun(run, cleanFloor);
        } else {
            frameEnergy = front.frameEnergy;
            finishNoiseRun(run);
        }
        done += run;
    }
    toneLow = front.toneLow;
    dcPrevIn = front.dcIn;
    dcPrevOut = front.dcOut;
    hpPrevIn = front.hpIn;
    hpPrevOut = front.hpOut;
    gateGain = front.gateGain;
    blockInputPeak = front.inPeak;

    // 6. Voice effect.
    applyVoiceEffectBlock(y, n, toneInFront);

    // 7. De-esser: subtract up to 62 % of the content above 4.8 kHz once it
    //    exceeds 0.035. 8. Instantaneous compressor above 0.28:
    //    |y| -> 0.28 (|y| / 0.28)^0.32. Only samples above 0.28 change; a
    //    branch-free pass collects them (the comparison is too irregular in
    //    speech to branch on), then each is compressed. The collection rides
    //    in the de-esser's loop, whose recursion leaves room for it.
    const bool deEsserOn = params.deEsser, compressorOn = params.compressor;
    if (deEsserOn || compressorOn) {
        constexpr std::size_t kChunk = 256;
        std::uint32_t loud[kChunk];
        const float a = coef_.deEss4800;
        float low = deEssLow;
        for (std::size_t done = 0; done < n; done += kChunk) {
            float* chunk = y + done;
            const std::size_t m = std::min(kChunk, n - done);
            std::size_t count = 0;
            for (std::size_t i = 0; i < m; ++i) {
                float v = chunk[i];
                if (deEsserOn) {
                    low += (1.0f - a) * (v - low);
                    const float h = v - low;
                    const float k = std::min(std::max((std::fabs(h) - 0.035f) * 7.0f, 0.0f), 0.62f);
                    v -= k * h;
                    chunk[i] = v;
                }
                loud[count] = static_cast<std::uint32_t>(i);
                count += std::fabs(v) > 0.28f ? 1 : 0;
            }
            if (!compressorOn) continue;
            for (std::size_t j = 0; j < count; ++j) {
                float& v = chunk[loud[j]];
                const float compressed = 0.28f * std::pow(std::fabs(v) / 0.28f, 0.32f);
                v = v < 0.0f ? -compressed : compressed;
            }
        }
        deEssLow = low;
    }

    // 9. Limiter: tanh(1.45 y) / tanh(1.45), then a hard ceiling of 0.985,
    // 10. output guard, and the block's output peak. No state: straight-line
    // loops that run in vector lanes.
    if (params.limiter) {
        const float norm = coef_.norm145;
        for (std::size_t i = 0; i < n; ++i) {
            const float v = fastTanh(1.45f * y[i]) / norm;
            y[i] = std::max(std::min(v, 0.985f), -0.985f);
        }
    }
    float outPeak = 0.0f;
    for (std::size_t i = 0; i < n; ++i) {
        const float v = std::fabs(y[i]) <= kFloatMax ? y[i] : 0.0f;
        y[i] = v;
        outPeak = std::max(outPeak, std::fabs(v));
    }
    blockOutputPeak = outPeak;
}

}  // namespace zalo
