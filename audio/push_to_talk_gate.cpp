#include "audio/push_to_talk_gate.h"

namespace zalo {

void PushToTalkGate::apply(float* samples, std::size_t count, bool open) {
    constexpr float kStep = 1.0f / static_cast<float>(kPushToTalkRampSamples);
    for (std::size_t i = 0; i < count; ++i) {
        if (open) {
            if (rampPos < kPushToTalkRampSamples) ++rampPos;
        } else if (rampPos > 0) {
            --rampPos;
        }
        // Exact at both ends: 480 * (1/480) rounds to 1.0f, 0 gives 0.
        samples[i] *= static_cast<float>(rampPos) * kStep;
    }
}

}  // namespace zalo
