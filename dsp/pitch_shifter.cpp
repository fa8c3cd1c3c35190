// Two read heads sweep a short delay line at a speed set by the shift; a
// raised-cosine crossfade hides the jump each head makes when it wraps. Each
// head's delay runs between 48 and 1584 samples (1..33 ms at 48 kHz).
#include <cmath>

#include "dsp/voice_chain.h"

namespace zalo {
namespace {
constexpr float kCrossfadeFloor = 0.05f;
constexpr std::uint64_t kPitchMask = kPitchLineLength - 1;
static_assert((kPitchLineLength & kPitchMask) == 0, "line length must be a power of two");
}  // namespace

float VoiceChain::pitchShift(float x, float semitones) {
    // Below 0.05 semitone the shifter is bypassed: no delay, no write, no
    // phase movement.
    if (std::fabs(semitones) < kPitchBypassSemitones) return x;

    pitchDelay[pitchWritePos] = x;
    pitchWritePos = (pitchWritePos + 1) & kPitchMask;

    if (semitones != cachedPitchSemitones_) {
        cachedPitchSemitones_ = semitones;
        cachedPitchRatio_ = std::pow(2.0f, semitones / 12.0f);
    }
    const float ratio = cachedPitchRatio_;

    // A shift up (ratio > 1) makes the phase fall, shrinking each head's
    // delay by (ratio - 1) samples per sample.
    pitchPhase = pitchPhase + (1.0f - ratio) / kPitchSweepSamples;
    pitchPhase -= std::floor(pitchPhase);
    if (pitchPhase >= 1.0f) pitchPhase = 0.0f;  // -tiny - floor(-tiny) rounds to 1

    float p2 = pitchPhase + 0.5f;
    if (p2 >= 1.0f) p2 -= 1.0f;
    const float b = readDelay(p2 * kPitchSweepSamples + kPitchMinDelaySamples);
    // The heads are half a cycle apart, so w1 + w2 = 1 up to rounding.
    const float w1 = 0.5f - 0.5f * std::cos(kTwoPi * pitchPhase);
    const float w2 = 0.5f - 0.5f * std::cos(kTwoPi * p2);
    const float a = readDelay(pitchPhase * kPitchSweepSamples + kPitchMinDelaySamples);
    float wSum = w1 + w2;
    if (wSum < kCrossfadeFloor) wSum = kCrossfadeFloor;
    return (a * w1 + b * w2) / wSum;
}

float VoiceChain::readDelay(float delay) const {
    // Clamp to 1..8190 samples, upper bound first; written so that NaN reads
    // the far end rather than indexing with garbage.
    float d = delay;
    if (!(d < 8190.0f)) d = 8190.0f;
    if (!(d > 1.0f)) d = 1.0f;
    // The newest sample sits one step behind the write position.
    float pos = static_cast<float>(pitchWritePos) - d;
    const float length = static_cast<float>(kPitchLineLength);
    while (pos < 0.0f) pos += length;
    while (pos >= length) pos -= length;
    const std::uint64_t i = static_cast<std::uint64_t>(pos) & kPitchMask;
    const float f = pos - static_cast<float>(i);
    return (1.0f - f) * pitchDelay[i] + f * pitchDelay[(i + 1) & kPitchMask];
}

}  // namespace zalo
