// Push-to-talk on the cable: the 10 ms ramp at each edge (click-free, the
// same whatever the block sizes, reversible mid-ramp), and its place in the
// block processor: the cable is gated, the monitor, the voice test and the
// chain are not.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "audio/audio_engine.h"
#include "audio/push_to_talk_gate.h"

namespace zalo {
namespace {

// Gains of `count` samples of 1.0 through `gate`, in blocks of `block`.
std::vector<float> gains(PushToTalkGate& gate, std::size_t count, std::size_t block, bool open) {
    std::vector<float> x(count, 1.0f);
    for (std::size_t at = 0; at < count; at += block) gate.apply(x.data() + at, std::min(block, count - at), open);
    return x;
}

TEST(PushToTalkGate, RampsTenMillisecondsWithoutStepsWhateverTheBlocks) {
    for (std::size_t block : {1u, 7u, 480u, 1000u}) {
        PushToTalkGate gate;
        gate.reset(false);
        EXPECT_FALSE(gate.passesUnchanged(true)) << block;
        const std::vector<float> up = gains(gate, 1000, block, true);
        // Full level exactly at the 480th sample (10 ms at 48 kHz), in
        // steps of 1/480: no jump a listener would hear as a click.
        EXPECT_FLOAT_EQ(up[0], 1.0f / 480) << block;
        EXPECT_LT(up[478], 1.0f) << block;
        EXPECT_EQ(up[479], 1.0f) << block;
        EXPECT_EQ(up[999], 1.0f) << block;
        for (std::size_t i = 1; i < up.size(); ++i) ASSERT_LE(up[i] - up[i - 1], 1.0f / 480 + 1e-6f) << block;
        EXPECT_TRUE(gate.passesUnchanged(true));
        EXPECT_FALSE(gate.passesUnchanged(false));

        const std::vector<float> down = gains(gate, 1000, block, false);
        EXPECT_GT(down[478], 0.0f) << block;
        EXPECT_EQ(down[479], 0.0f) << block;
        EXPECT_EQ(down[999], 0.0f) << block;
    }
    // A release halfway up turns back from where the gain is.
    PushToTalkGate gate;
    gate.reset(false);
    gains(gate, 240, 240, true);
    const std::vector<float> back = gains(gate, 480, 480, false);
    EXPECT_FLOAT_EQ(back[0], 239.0f / 480);
    EXPECT_EQ(back[239], 0.0f);
}

TEST(PushToTalkGate, GatesOnlyTheCableAndTheChainKeepsRunning) {
    auto engine = std::make_unique<AudioEngine>();
    ProcessingParams bypass;
    bypass.enabled = false;  // the block passes as it is, so each output can be compared with it
    engine->setParams(bypass);
    engine->cable.running = engine->monitor.running = true;
    engine->recPos = 0;
    engine->cableGateOpen = false;
    const std::vector<float> block(480, 0.5f);
    for (int i = 0; i < 3; ++i) engine->processBlock(block.data(), block.size(), 48000);
    // Key up: the first 10 ms fade out from the open state the engine starts
    // in; then the cable is silent while the monitor and the voice test hear
    // everything.
    EXPECT_NEAR(engine->cable.ring[0], 0.5f * 479 / 480, 1e-6f);
    EXPECT_EQ(engine->cable.ring[479], 0.0f);
    EXPECT_EQ(engine->cable.ring[1439], 0.0f);
    EXPECT_EQ(engine->cable.writePos.load(), 1440u);  // silence is still written: the cable keeps its clock
    EXPECT_EQ(engine->monitor.ring[1439], 0.5f);
    EXPECT_EQ(engine->recFiltered[1439], 0.5f);
    EXPECT_EQ(engine->outputPeak.load(), 0.5f);

    // Key down, with the chain on: the chain ran all along, and the cable
    // gets its output ramped in from silence.
    engine->setParams(ProcessingParams{});
    engine->cableGateOpen = true;
    for (int i = 0; i < 2; ++i) engine->processBlock(block.data(), block.size(), 48000);
    const float* cable = engine->cable.ring + 1440;
    const float* chain = engine->lastBlock();  // the second of the two blocks
    EXPECT_NEAR(cable[0], engine->monitor.ring[1440] / 480, 1e-6f);
    EXPECT_NEAR(cable[240], engine->monitor.ring[1440 + 240] * 241 / 480, 1e-6f);
    for (std::size_t i = 0; i < 480; ++i) ASSERT_EQ(cable[480 + i], chain[i]) << i;
    EXPECT_GT(engine->outputPeak.load(), 0.0f);
}

}  // namespace
}  // namespace zalo
