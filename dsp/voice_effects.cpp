// The character of the voice: fixed recipes built from five per-sample
// blocks (pitch shift, tilt tone filter, ring modulator, feedback echo, band
// limiter), most followed by a soft saturation. Each recipe runs block-wise,
// with the blocks' state held in locals for the length of a loop.
#include <algorithm>
#include <cmath>

#include "dsp/fast_math.h"
#include "dsp/pitch_shifter.h"
#include "dsp/tone_filter.h"
#include "dsp/voice_chain.h"

namespace zalo {
namespace {

constexpr float kEchoFeedback = 0.28f;  // each repeat is 0.28 of the one before
constexpr std::uint64_t kEchoMask = kEchoLineLength - 1;
static_assert((kEchoLineLength & kEchoMask) == 0, "echo line must be a power of two");
constexpr float kInvTwoPi = 0.159154943091895336f;

float clampTo(float v, float lo, float hi) { return std::max(std::min(v, hi), lo); }

// Delay in whole samples, trunc(ms * rate / 1000) held to 1..16383.
inline std::uint64_t echoDelaySamples(float delayMs, float rate) {
    float d = std::trunc(delayMs * rate / 1000.0f);
    if (!(d < 16383.0f)) d = 16383.0f;
    if (!(d > 1.0f)) d = 1.0f;
    return static_cast<std::uint64_t>(d);
}

// Feedback echo; the stored value includes the echo, so repeats decay by 0.28.
inline float echoStep(float x, std::uint64_t d, float amount, float* line, std::uint64_t& writePos) {
    const float m = clampTo(amount, 0.0f, 0.75f);
    const float tap = line[(writePos + kEchoLineLength - d) & kEchoMask];
    line[writePos] = clampTo(x + kEchoFeedback * tap, -1.0f, 1.0f);
    writePos = (writePos + 1) & kEchoMask;
    return (1.0f - m) * x + m * tap;
}

// One-pole high-pass then one-pole low-pass; the low-pass memory is the
// tone filter's, so switching between the two kinds carries it over.
inline float bandStep(float x, float aHighPass, float aLowPass, float& prevIn, float& prevOut, float& low) {
    const float h = aHighPass * (prevOut + x - prevIn);
    prevIn = x;
    prevOut = h;
    low += (1.0f - aLowPass) * (h - low);
    return low;
}

void toneBlock(VoiceChain& c, float* y, std::size_t n, float t, float a) {
    float low = c.toneLow;
    for (std::size_t i = 0; i < n; ++i) y[i] = toneStep(y[i], t, a, low);
    c.toneLow = low;
}

// tanh(k*y)/tanh(k): unity gain at full scale; norm = tanh(k).
void saturateBlock(float* y, std::size_t n, float k, float norm) {
    for (std::size_t i = 0; i < n; ++i) y[i] = fastTanh(k * y[i]) / norm;
}

// Optional tone filter, ring modulator and echo, in that order: the tail of
// the parametric and alien recipes, and the robot's ring modulator alone.
// The tone filter and the echo each have a short recursion; run in one loop
// they overlap instead of taking turns. The ring modulator (sine taken before
// the phase moves, phase in radians kept in [0, 2 pi)) mixes its sine with
// the dry signal; the sines depend only on the phase, so they are computed
// first for a chunk (phase recursion, then the sines in vector lanes).
struct TailSettings {
    bool tone, ring, echo;
    float toneAmount, toneCoefficient;
    float ringHz, ringAmount;
    float echoMs, echoAmount;
};

template <bool kTone, bool kRing, bool kEcho>
void tailBlock(VoiceChain& c, float* y, std::size_t n, const TailSettings& t) {
    constexpr std::size_t kChunk = 256;
    float sines[kChunk];
    float low = c.toneLow;
    float phase = c.robotPhase;
    std::uint64_t writePos = c.echoWritePos;
    const float phaseStep = kTwoPi * t.ringHz / c.sampleRate;
    const float m = clampTo(t.ringAmount, 0.0f, 1.0f);
    const std::uint64_t delay = echoDelaySamples(t.echoMs, c.sampleRate);
    for (std::size_t done = 0; done < n; done += kChunk) {
        const std::size_t count = std::min(kChunk, n - done);
        float* chunk = y + done;
        if (kRing) {
            // sin(phase) is taken before the phase moves; the phase stays in
            // [0, 2 pi).
            for (std::size_t i = 0; i < count; ++i) {
                sines[i] = phase;
                phase += phaseStep;
                phase = phase >= kTwoPi ? phase - kTwoPi : phase;
            }
            for (std::size_t i = 0; i < count; ++i) sines[i] = fastCosTurns(sines[i] * kInvTwoPi - 0.25f);
        }
        for (std::size_t i = 0; i < count; ++i) {
            float v = chunk[i];
            if (kTone) v = toneStep(v, t.toneAmount, t.toneCoefficient, low);
            if (kRing) v = sines[i] * v * m + (1.0f - m) * v;
            if (kEcho) v = echoStep(v, delay, t.echoAmount, c.echoLine, writePos);
            chunk[i] = v;
        }
    }
    c.toneLow = low;
    c.robotPhase = phase;
    c.echoWritePos = writePos;
}

template <bool kTone>
void tailWithTone(VoiceChain& c, float* y, std::size_t n, const TailSettings& t) {
    if (t.ring) {
        if (t.echo) tailBlock<kTone, true, true>(c, y, n, t);
        else tailBlock<kTone, true, false>(c, y, n, t);
    } else if (t.echo) {
        tailBlock<kTone, false, true>(c, y, n, t);
    } else if (kTone) {
        tailBlock<kTone, false, false>(c, y, n, t);
    }
}

void tail(VoiceChain& c, float* y, std::size_t n, const TailSettings& t) {
    if (t.tone) tailWithTone<true>(c, y, n, t);
    else tailWithTone<false>(c, y, n, t);
}

void bandBlock(VoiceChain& c, float* y, std::size_t n, float aHighPass, float aLowPass) {
    float prevIn = c.bandPrevIn, prevOut = c.bandPrevOut, low = c.toneLow;
    for (std::size_t i = 0; i < n; ++i) y[i] = bandStep(y[i], aHighPass, aLowPass, prevIn, prevOut, low);
    c.bandPrevIn = prevIn;
    c.bandPrevOut = prevOut;
    c.toneLow = low;
}

}  // namespace

float normalisedTanh(float x, float k) { return fastTanh(k * x) / fastTanh(k); }

bool VoiceChain::recipeStartsWithTone(float& amount) const {
    switch (params.voiceType) {
        case 1: amount = 0.42f; return true;
        case 12: amount = 0.68f; return true;
        default: return false;
    }
}

void VoiceChain::applyVoiceEffectBlock(float* y, std::size_t n, bool leadingToneDone) {
    if (coef_.rateHz != sampleRate) updateCoefficients();
    const Coefficients& c = coef_;
    switch (params.voiceType) {
        case 1:  // "Voz limpa / streamer"
            if (!leadingToneDone) toneBlock(*this, y, n, 0.42f, c.tone1800);
            saturateBlock(y, n, 1.12f, c.norm112);
            return;
        case 3:  // "Mulher jovem"
            pitchShiftBlock(y, n, 4.2f);
            toneBlock(*this, y, n, 0.38f, c.tone1800);
            saturateBlock(y, n, 1.1f, c.norm110);
            return;
        case 4:  // "Homem grave"
            pitchShiftBlock(y, n, -3.2f);
            toneBlock(*this, y, n, -0.36f, c.tone1800);
            saturateBlock(y, n, 1.14f, c.norm114);
            return;
        case 5:  // "Robô arcade": tanh(1.45 y), deliberately not normalised
            tail(*this, y, n, TailSettings{false, true, false, 0.0f, 0.0f, 72.0f, 0.84f, 0.0f, 0.0f});
            saturateBlock(y, n, 1.45f, 1.0f);
            return;
        case 7:  // "Rádio / comunicador"
            bandBlock(*this, y, n, c.radioLow300, c.radioHigh3400);
            saturateBlock(y, n, 1.75f, c.norm175);
            return;
        case 8:  // "Megafone": saturated, scaled by 0.92, never beyond +-1
            bandBlock(*this, y, n, c.megaphoneLow550, c.megaphoneHigh4300);
            for (std::size_t i = 0; i < n; ++i)
                y[i] = clampTo(fastTanh(2.25f * y[i]) / c.norm225 * 0.92f, -1.0f, 1.0f);
            return;
        case 9:  // "Telefone clássico"
            bandBlock(*this, y, n, c.phoneLow360, c.phoneHigh2900);
            saturateBlock(y, n, 1.38f, c.norm138);
            return;
        case 10:  // "Alien leve"
            pitchShiftBlock(y, n, 6.7f);
            tail(*this, y, n, TailSettings{false, true, true, 0.0f, 0.0f, 31.0f, 0.34f, 88.0f, 0.18f});
            return;
        case 12:  // "Brilhante pop"
            if (!leadingToneDone) toneBlock(*this, y, n, 0.68f, c.tone1800);
            return;
        case 13:  // the parametric recipe; robot and echo only above 0.001
            pitchShiftBlock(y, n, params.pitchSemitones);
            tail(*this, y, n, TailSettings{true, params.robot > 0.001f, params.echo > 0.001f, params.tone,
                                           c.tone1800, 62.0f, params.robot, 125.0f, params.echo});
            return;
        default:  // 0 ("Original") and the unassigned types: unchanged
            return;
    }
}

float VoiceChain::applyVoiceEffect(float y) {
    applyVoiceEffectBlock(&y, 1, false);
    return y;
}

}  // namespace zalo
