// One-sample steps of the pitch shifter on explicit state, shared by the
// single-sample member functions and the block loop of the voice stage.
//
// Two read heads sweep a short delay line at a speed set by the shift; a
// raised-cosine crossfade hides the jump each head makes when it wraps. Each
// head's delay runs between 48 and 1584 samples (1..33 ms at 48 kHz).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "dsp/fast_math.h"
#include "dsp/voice_chain.h"

namespace zalo {

constexpr std::uint64_t kPitchMask = kPitchLineLength - 1;
static_assert((kPitchLineLength & kPitchMask) == 0, "line length must be a power of two");
constexpr float kPitchCrossfadeFloor = 0.05f;

// Where the line is read `delay` samples back from `writePos`: the slot of
// the older neighbour and the interpolation fraction towards the newer one.
// The delay is held to 1..8190 (upper bound first; NaN reads the far end).
struct PitchTap {
    std::int32_t index;
    float fraction;
};

inline PitchTap pitchTap(std::int32_t writePos, float delay) {
    float d = delay < 8190.0f ? delay : 8190.0f;
    d = d > 1.0f ? d : 1.0f;
    // The newest sample sits one step behind the write position. With the
    // position in 0..8191 and d in 1..8190, pos lies in (-8192, 8191), so one
    // conditional wrap brings it into [0, 8192).
    float pos = static_cast<float>(writePos) - d;
    constexpr float kLength = static_cast<float>(kPitchLineLength);
    pos = pos < 0.0f ? pos + kLength : pos;
    pos = pos >= kLength ? pos - kLength : pos;
    const std::int32_t i = static_cast<std::int32_t>(pos) & static_cast<std::int32_t>(kPitchMask);
    return PitchTap{i, pos - static_cast<float>(i)};
}

// Linear interpolation between the tap's two neighbours.
inline float readTap(const float* line, PitchTap t) {
    return (1.0f - t.fraction) * line[t.index] + t.fraction * line[(t.index + 1) & static_cast<std::int32_t>(kPitchMask)];
}

// The line's value `delay` samples back, linearly interpolated.
inline float readPitchLine(const float* line, std::int32_t writePos, float delay) {
    return readTap(line, pitchTap(writePos, delay));
}

// Moves the sweep phase (kept in [0, 1)) by one sample. A shift up
// (ratio > 1) makes it fall, shrinking each head's delay by (ratio - 1)
// samples per sample. The step is below one in magnitude, so the fractional
// part ph - floor(ph) is one conditional +-1; a tiny negative phase plus one
// may round to 1, which counts as 0.
inline float advancePitchPhase(float phase, float step) {
    float ph = phase + step;
    ph = ph < 0.0f ? ph + 1.0f : ph;
    ph = ph >= 1.0f ? ph - 1.0f : ph;
    return ph >= 1.0f ? 0.0f : ph;
}

// The two heads for sweep phase `ph`, once the newest input is in the line
// and `writePos` has moved past it: half a cycle apart, crossfaded by raised
// cosines (w1 + w2 = 1 up to rounding; the floor only guards the division).
struct PitchHeads {
    PitchTap a, b;
    float w1, w2, wSum;
};

inline PitchHeads pitchHeads(std::int32_t writePos, float ph) {
    float p2 = ph + 0.5f;
    p2 = p2 >= 1.0f ? p2 - 1.0f : p2;
    // The second head is half a turn away: cos(2 pi p2) = -cos(2 pi ph).
    const float c = 0.5f * fastCosTurns(ph);
    PitchHeads h;
    h.b = pitchTap(writePos, p2 * kPitchSweepSamples + kPitchMinDelaySamples);
    h.a = pitchTap(writePos, ph * kPitchSweepSamples + kPitchMinDelaySamples);
    h.w1 = 0.5f - c;
    h.w2 = 0.5f + c;
    h.wSum = std::max(h.w1 + h.w2, kPitchCrossfadeFloor);
    return h;
}

inline float mixHeads(const float* line, const PitchHeads& h) {
    const float b = readTap(line, h.b);
    const float a = readTap(line, h.a);
    return (a * h.w1 + b * h.w2) / h.wSum;
}

inline float pitchPhaseStep(float ratio) { return (1.0f - ratio) / kPitchSweepSamples; }

// One shifted sample for a pitch ratio 2^(semitones/12) (not bypassed).
inline float pitchShiftStep(float x, float ratio, float* line, std::uint64_t& writePos,
                            float& phase) {
    line[writePos] = x;
    writePos = (writePos + 1) & kPitchMask;
    phase = advancePitchPhase(phase, pitchPhaseStep(ratio));
    return mixHeads(line, pitchHeads(static_cast<std::int32_t>(writePos), phase));
}

inline bool pitchBypassed(float semitones) { return std::fabs(semitones) < kPitchBypassSemitones; }

inline float pitchRatio(float semitones) { return std::pow(2.0f, semitones / 12.0f); }

}  // namespace zalo
