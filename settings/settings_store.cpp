#include "settings/settings_store.h"

#include <algorithm>

namespace zalo {

namespace {

constexpr std::int32_t kMaxNoiseStrengthPercent = 100;
constexpr std::int32_t kMaxNoisePreset = 10;  // "CUSTOM"

}  // namespace

std::int32_t clampNoiseStrength(std::int32_t stored) {
    return std::clamp<std::int32_t>(stored, 0, kMaxNoiseStrengthPercent);
}

std::int32_t clampNoisePreset(std::int32_t stored) {
    return std::clamp<std::int32_t>(stored, 0, kMaxNoisePreset);
}

int voicePresetIndex(std::int32_t stored, int presetCount) {
    if (presetCount <= 0) return 0;
    return static_cast<int>(std::clamp<std::int32_t>(stored, 0, presetCount - 1));
}

}  // namespace zalo
