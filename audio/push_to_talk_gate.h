// Push-to-talk on the cable: while the key is up the cable receives silence.
// The gate only scales what the chain has already produced, so the chain
// (and its noise estimate) keeps running while the user is silent and the
// first syllable after a press comes out as clean as any other. The monitor
// and the voice test take the block before the gate.
#pragma once

#include <cstddef>

namespace zalo {

// Each edge is a linear ramp of 10 ms at the chain's 48 kHz: a step from
// silence to full level at once would be heard as a click.
constexpr std::size_t kPushToTalkRampSamples = 480;

class PushToTalkGate {
public:
    // True when `open` would leave a block untouched: the gate is fully open
    // and not ramping, so the caller can hand the block on as it is.
    bool passesUnchanged(bool open) const { return open && rampPos == kPushToTalkRampSamples; }

    // Scales `samples` in place. Per sample, the gain first moves one step
    // (1/480) toward 1 (open) or 0 (closed), then multiplies:
    //   gain[i] = rampPos[i] / 480,  rampPos moving by at most 1 per sample.
    // A ramp therefore spans exactly 480 samples whatever the block sizes,
    // and an edge that reverses mid-ramp turns back from the current gain.
    void apply(float* samples, std::size_t count, bool open);

    // The gain of the last sample processed, 0..1.
    float gain() const { return static_cast<float>(rampPos) / static_cast<float>(kPushToTalkRampSamples); }

    // Starts fully open (the state of a program without push-to-talk) or
    // fully closed.
    void reset(bool open) { rampPos = open ? kPushToTalkRampSamples : 0; }

private:
    std::size_t rampPos = kPushToTalkRampSamples;  // 0 (silent) .. 480 (full level)
};

}  // namespace zalo
