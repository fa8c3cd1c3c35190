// Spectral noise reduction: a Wiener-style gain per bin over non-overlapping,
// unwindowed 256-sample frames, with a noise estimate that follows quiet
// frames and barely moves during speech.
#include <algorithm>
#include <cmath>

#include "dsp/fast_math.h"
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

}  // namespace

// Sample by sample the stage is: frameIn[frameInPos++] = y; while a processed
// frame is pending (frameOutPos < 256) y = frameOut[frameOutPos++]; when
// frameIn is full, processFrame() and frameInPos = 0. Until the first frame
// completes frameOutPos stays at 256 and samples pass straight through;
// afterwards the output is the processed frame before, a lag of exactly 256.
// Block code runs those steps as whole runs that end at frame boundaries.
std::size_t VoiceChain::noiseRunLength(std::size_t remaining) const {
    std::size_t run = std::min<std::size_t>(remaining, kFrameSize - frameInPos);
    if (frameOutPos < kFrameSize) run = std::min<std::size_t>(run, kFrameSize - frameOutPos);
    return run;
}

void VoiceChain::finishNoiseRun(std::size_t run) {
    frameInPos += run;
    if (frameOutPos < kFrameSize) frameOutPos += run;
    if (frameInPos == kFrameSize) {
        processFrame();
        frameInPos = 0;
    }
}

void VoiceChain::processFrame() {
    // Bins 0..128 of the frame's spectrum; the rest is their mirror image.
    alignas(16) float re[kSpectrumBins + 3];
    alignas(16) float im[kSpectrumBins + 3];
    realFft256(frameIn, re, im);
    // Sum of squares of the frame, accumulated in order as it was filled.
    const float energy = frameEnergy;
    frameEnergy = 0.0f;

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

    // Bins 0..128 (187.5 Hz apart at 48 kHz) are independent of each other.
    float* const estimate = noiseEstimate;
    float* const smoothed = binGain;
    for (int k = 0; k < static_cast<int>(kSpectrumBins); ++k) {  // int: converts to float in vector lanes
        const float power = re[k] * re[k] + im[k] * im[k] + kPowerEpsilon;
        const float noise = (1.0f - alpha) * estimate[k] + alpha * power;
        estimate[k] = noise;
        const float snr = std::max((power - noise) / (noise + kPowerEpsilon), 0.0f);
        // Wiener weight snr/(snr+1), sharpened by the exponent above a floor.
        const float w = std::min(std::max(snr / (snr + 1.0f), 0.0f), 1.0f);
        float gain = floorGain + (1.0f - floorGain) * fastPow(w, exponent);
        // Voice-band protection: a clearly present bin between 180 and
        // 4200 Hz keeps at least 0.55. (Plain selects rather than && so that
        // the loop vectorises.)
        const float f = static_cast<float>(k) * binHz;
        float minGain = snr > 2.0f ? kVoiceBandMinGain : 0.0f;
        minGain = f > kVoiceBandLowHz ? minGain : 0.0f;
        minGain = f < kVoiceBandHighHz ? minGain : 0.0f;
        gain = std::max(gain, minGain);
        const float g = kGainKeep * smoothed[k] + kGainTake * gain;
        smoothed[k] = g;
        re[k] *= g;
        im[k] *= g;
    }
    noiseReady = true;

    // Bins 129..255 are the complex conjugates of bins 127..1, so that the
    // inverse is real.
    realInverseFft256(re, im, frameOut);
    frameOutPos = 0;
}

}  // namespace zalo
