// The tilt tone filter's one-sample step, shared by the voice recipes and by
// the chain's front loop, which folds in the recipes that start with it.
#pragma once

#include <algorithm>

namespace zalo {

// Tilt around 1.8 kHz: t > 0 adds the part above the split (brighter),
// t < 0 lifts the lows and dips the whole (darker); t is held to -1..1 and
// the result to -1.2..1.2. `low` is the one-pole low-pass memory and
// a = exp(-2 pi 1800 / rate) its coefficient.
inline float toneStep(float x, float t, float a, float& low) {
    t = std::max(std::min(t, 1.0f), -1.0f);
    low += (1.0f - a) * (x - low);
    const float k = 0.55f * t;
    const float y = t >= 0.0f ? x + k * (x - low) : (1.0f + 0.35f * t) * x - k * low;
    return std::max(std::min(y, 1.2f), -1.2f);
}

}  // namespace zalo
