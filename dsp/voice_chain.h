// The per-sample voice chain: level guard, DC blocker, 80 Hz high-pass,
// spectral noise reduction (or, with params.cleanVoice, the clean-voice
// stage in its place), soft gate, voice effect, de-esser, compressor,
// limiter. All state lives in fixed arrays here; nothing allocates. The chain
// runs at 48000 Hz mono only, on the capture thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dsp/clean_voice.h"
#include "dsp/fft256.h"
#include "dsp/processing_params.h"

namespace zalo {

constexpr float kChainSampleRateHz = 48000.0f;

// Spectral noise reduction: non-overlapping, unwindowed 256-sample frames
// (kFrameSize, in fft256.h).
constexpr std::size_t kSpectrumBins = kFrameSize / 2 + 1;  // 129, 187.5 Hz apart

// Pitch shifter: two crossfaded read heads sweeping a short delay line.
constexpr std::size_t kPitchLineLength = 8192;
constexpr float kPitchSweepSamples = 1536.0f;
constexpr float kPitchMinDelaySamples = 48.0f;
constexpr float kPitchBypassSemitones = 0.05f;

constexpr std::size_t kEchoLineLength = 16384;

// Input samples are held to +-kInputLimit after the gain. Real audio stays
// within +-1; this bound is 60 dB above full scale, far outside anything a
// microphone delivers, and low enough that no stage (squared spectra, filter
// memories, echo feedback) can overflow to infinity and leave NaN in its
// recursive state.
constexpr float kInputLimit = 1000.0f;

// tanh(k*x)/tanh(k): unity gain at full scale, gentle saturation above.
float normalisedTanh(float x, float k);

struct VoiceChain {
    float sampleRate;
    ProcessingParams params;  // the clamped copy the stages read

    float dcPrevIn, dcPrevOut;
    float hpPrevIn, hpPrevOut;
    float gateGain;
    float toneLow;            // shared by toneFilter and bandLimit
    float bandPrevIn, bandPrevOut;
    float robotPhase;         // radians, [0, 2*pi)
    float deEssLow;

    float pitchDelay[kPitchLineLength];
    std::uint64_t pitchWritePos;  // 0..8191
    float pitchPhase;             // [0, 1)

    float echoLine[kEchoLineLength];
    std::uint64_t echoWritePos;   // 0..16383

    float frameIn[kFrameSize];
    float frameOut[kFrameSize];
    // (The frame's spectrum is scratch inside processFrame, not state.)
    float noiseEstimate[kSpectrumBins];  // noise power per bin
    float binGain[kSpectrumBins];
    float frameEnergy;  // sum of frameIn[k]^2 so far, added in order k = 0, 1, ...
    std::uint64_t frameInPos;
    std::uint64_t frameOutPos;  // 256 until the first frame completes
    bool noiseReady;

    // The clean-voice stage and which of the two noise stages ran last. The
    // one switched in starts from its reset state; the other keeps its state
    // untouched until it is switched in again (and then reset).
    CleanVoiceStage cleanStage;
    bool cleanActive;

    float blockInputPeak, blockOutputPeak;

    VoiceChain() { reset(); }

    // Every field to its start value. Runs once, when the engine is built:
    // presets, filter toggles and device changes keep the state.
    void reset();

    // Runs the chain in place over `count` samples at 48000 Hz using `params`
    // and sets the two block peaks. Each stage runs over the whole block in
    // turn; since every stage keeps its own state and sees each sample once,
    // in order, this is the same as running the ten steps sample by sample.
    void process(float* buffer, std::size_t count);

    // One-sample forms of the stages, for callers that need a single step.
    // They run the same code as process() with a block of one.
    void processFrame();  // consumes frameIn and frameEnergy, fills frameOut
    float pitchShift(float x, float semitones);
    float readDelay(float delay) const;
    float applyVoiceEffect(float y);

private:
    void resetNoiseReduction();
    // Spectral stage bookkeeping for block code: the length of the next run
    // that ends at or before a frame boundary, and the step after a run has
    // been copied into frameIn (and, once primed, out of frameOut).
    std::size_t noiseRunLength(std::size_t remaining) const;
    void finishNoiseRun(std::size_t run);
    // The voice stage over a block. Recipes that begin with the tone filter
    // (recipeStartsWithTone) may have had it run already, folded into the
    // front loop of process(); leadingToneDone then skips it here.
    void applyVoiceEffectBlock(float* y, std::size_t n, bool leadingToneDone);
    bool recipeStartsWithTone(float& amount) const;
    void pitchShiftBlock(float* y, std::size_t n, float semitones);

    // Filter coefficients a(f) = exp(-2*pi*f / sampleRate) and saturation
    // norms tanh(k) of the fixed recipes. They depend only on the rate, so
    // they are computed when the rate changes (in practice once), not per
    // sample; the values are the ones the per-sample formulas would give.
    struct Coefficients {
        float rateHz;
        float highPass80, deEss4800, tone1800;
        float radioLow300, radioHigh3400;
        float megaphoneLow550, megaphoneHigh4300;
        float phoneLow360, phoneHigh2900;
        float norm112, norm110, norm114, norm175, norm225, norm138, norm145;
    };
    Coefficients coef_;
    void updateCoefficients();
    float coefficient(float frequencyHz) const;
};

}  // namespace zalo
