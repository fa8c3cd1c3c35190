// The character of the voice: fixed recipes built from five per-sample
// blocks (pitch shift, tilt tone filter, ring modulator, feedback echo, band
// limiter), most followed by a soft saturation.
#include <algorithm>
#include <cmath>

#include "dsp/voice_chain.h"

namespace zalo {
namespace {
constexpr float kToneSplitHz = 1800.0f;
constexpr float kEchoFeedback = 0.28f;  // each repeat is 0.28 of the one before
constexpr std::uint64_t kEchoMask = kEchoLineLength - 1;
static_assert((kEchoLineLength & kEchoMask) == 0, "echo line must be a power of two");

float clampTo(float v, float lo, float hi) { return std::max(std::min(v, hi), lo); }
}  // namespace

float normalisedTanh(float x, float k) { return std::tanh(k * x) / std::tanh(k); }

float VoiceChain::applyVoiceEffect(float y) {
    if (coef_.rateHz != sampleRate) updateCoefficients();
    switch (params.voiceType) {
        case 1:  // "Voz limpa / streamer"
            return std::tanh(1.12f * toneFilterA(y, 0.42f, coef_.tone1800)) / coef_.norm112;
        case 3:  // "Mulher jovem"
            y = pitchShift(y, 4.2f);
            return std::tanh(1.1f * toneFilterA(y, 0.38f, coef_.tone1800)) / coef_.norm110;
        case 4:  // "Homem grave"
            y = pitchShift(y, -3.2f);
            return std::tanh(1.14f * toneFilterA(y, -0.36f, coef_.tone1800)) / coef_.norm114;
        case 5:  // "Robô arcade": deliberately not normalised
            return std::tanh(1.45f * ringModulate(y, 72.0f, 0.84f));
        case 7:  // "Rádio / comunicador"
            y = bandLimitA(y, coef_.radioLow300, coef_.radioHigh3400);
            return std::tanh(1.75f * y) / coef_.norm175;
        case 8: {  // "Megafone"
            y = bandLimitA(y, coef_.megaphoneLow550, coef_.megaphoneHigh4300);
            y = std::tanh(2.25f * y) / coef_.norm225 * 0.92f;
            return clampTo(y, -1.0f, 1.0f);
        }
        case 9:  // "Telefone clássico"
            y = bandLimitA(y, coef_.phoneLow360, coef_.phoneHigh2900);
            return std::tanh(1.38f * y) / coef_.norm138;
        case 10:  // "Alien leve"
            y = pitchShift(y, 6.7f);
            y = ringModulate(y, 31.0f, 0.34f);
            return echoDelay(y, 88.0f, 0.18f);
        case 12:  // "Brilhante pop"
            return toneFilterA(y, 0.68f, coef_.tone1800);
        case 13: {  // the parametric recipe
            y = pitchShift(y, params.pitchSemitones);
            y = toneFilterA(y, params.tone, coef_.tone1800);
            if (params.robot > 0.001f) y = ringModulate(y, 62.0f, params.robot);
            if (params.echo > 0.001f) y = echoDelay(y, 125.0f, params.echo);
            return y;
        }
        default:  // 0 ("Original") and the unassigned types: unchanged
            return y;
    }
}

float VoiceChain::toneFilter(float x, float t) { return toneFilterA(x, t, coefficient(kToneSplitHz)); }

float VoiceChain::toneFilterA(float x, float t, float a) {
    t = clampTo(t, -1.0f, 1.0f);
    toneLow += (1.0f - a) * (x - toneLow);  // one-pole low-pass at 1.8 kHz
    const float k = 0.55f * t;
    float y;
    if (t >= 0.0f) {
        y = x + k * (x - toneLow);  // brighter: add the part above the split
    } else {
        y = (1.0f + 0.35f * t) * x - k * toneLow;  // darker: lift the lows, dip the whole
    }
    return clampTo(y, -1.2f, 1.2f);
}

float VoiceChain::ringModulate(float x, float frequencyHz, float amount) {
    const float m = clampTo(amount, 0.0f, 1.0f);
    const float s = std::sin(robotPhase);
    robotPhase += kTwoPi * frequencyHz / sampleRate;
    if (robotPhase >= kTwoPi) robotPhase -= kTwoPi;
    return s * x * m + (1.0f - m) * x;
}

float VoiceChain::echoDelay(float x, float delayMs, float amount) {
    const float m = clampTo(amount, 0.0f, 0.75f);
    float delaySamples = std::trunc(delayMs * sampleRate / 1000.0f);
    if (!(delaySamples < 16383.0f)) delaySamples = 16383.0f;
    if (!(delaySamples > 1.0f)) delaySamples = 1.0f;
    const std::uint64_t d = static_cast<std::uint64_t>(delaySamples);
    const float tap = echoLine[(echoWritePos + kEchoLineLength - d) & kEchoMask];
    // The stored value includes the echo itself, so repeats decay by 0.28.
    echoLine[echoWritePos] = clampTo(x + kEchoFeedback * tap, -1.0f, 1.0f);
    echoWritePos = (echoWritePos + 1) & kEchoMask;
    return (1.0f - m) * x + m * tap;
}

float VoiceChain::bandLimit(float x, float highPassHz, float lowPassHz) {
    return bandLimitA(x, coefficient(highPassHz), coefficient(lowPassHz));
}

float VoiceChain::bandLimitA(float x, float aHighPass, float aLowPass) {
    const float h = aHighPass * (bandPrevOut + x - bandPrevIn);
    bandPrevIn = x;
    bandPrevOut = h;
    toneLow += (1.0f - aLowPass) * (h - toneLow);  // shares the tone filter's memory
    return toneLow;
}

}  // namespace zalo
