// The settings block: engine defaults, the noise presets of the design's
// table, slider ranges and the chain's clamps.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>
#include <utility>

#include "dsp/processing_params.h"

namespace zalo {
namespace {

TEST(NoisePresets, EveryRowSetsTheDesignsSliderAndSwitches) {
    // cleanUp: high-pass, compressor and limiter.
    const struct { const wchar_t* label; int strength; bool cleanUp, gate, deEsser; } design[] = {
        {L"DESLIGADO", 0, false, false, false},
        {L"SUAVE", 25, true, false, false},
        {L"PADRÃO", 50, true, true, false},
        {L"FORTE", 78, true, true, true},
        {L"VOZ LIMPA", 60, true, true, true},
        {L"BROADCAST ULTRA (estilo NVIDIA)", 92, true, true, true},
        {L"NOITE SILENCIOSA", 88, true, true, true},
        {L"CALL / DISCORD", 68, true, true, false},
        {L"STREAM", 58, true, true, true},
        {L"ESTÚDIO", 74, true, true, true},
    };
    const NoisePresetDef* table = noisePresetTable();
    for (int i = 0; i < 10; ++i) {
        const auto& want = design[i];
        EXPECT_EQ(std::wstring(table[i].label), want.label);
        ControlState s;
        ASSERT_TRUE(applyNoisePreset(s, i));
        EXPECT_EQ(std::make_tuple(s.strength, s.highPass, s.compressor, s.limiter, s.gate, s.deEsser),
                  std::make_tuple(want.strength, want.cleanUp, want.cleanUp, want.cleanUp, want.gate, want.deEsser))
            << want.label;
    }
    // "CUSTOM" and indices outside the combo change nothing.
    EXPECT_EQ(std::wstring(table[kNoisePresetCustom].label), L"CUSTOM");
    ControlState s;
    s.strength = 41;
    s.gate = false;
    for (int i : {kNoisePresetCustom, 11, -1}) EXPECT_FALSE(applyNoisePreset(s, i)) << i;
    EXPECT_EQ(std::make_tuple(s.strength, s.gate, s.highPass), std::make_tuple(41, false, true));
}

// The engine's defaults; then each amount, from its slider (positions
// beyond the range are held to it) and in the chain's own clamps (non-finite
// becomes 0).
TEST(ProcessingParams, DefaultsAndEachAmountsRange) {
    const ProcessingParams d;
    EXPECT_EQ(std::make_tuple(d.enabled, d.noiseStrength, d.highPass, d.compressor, d.limiter, d.gate, d.deEsser,
                              d.inputGainDb, d.voiceType),
              std::make_tuple(true, 0.65f, true, true, true, true, false, 0.0f, 0));
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const struct { int ControlState::*slider; int beyond; float ProcessingParams::*field; float lo, hi; } amounts[] = {
        {&ControlState::strength, 250, &ProcessingParams::noiseStrength, 0.0f, 1.0f},
        {&ControlState::pitch, 20, &ProcessingParams::pitchSemitones, -8.0f, 8.0f},
        {&ControlState::tone, 300, &ProcessingParams::tone, -1.0f, 1.0f},
        {&ControlState::robot, 200, &ProcessingParams::robot, 0.0f, 1.0f},
        {&ControlState::echo, 100, &ProcessingParams::echo, 0.0f, 0.6f},
    };
    for (const auto& a : amounts) {
        ControlState s;
        s.voicePreset = 32;  // the configurable row takes every slider
        for (int sign : {1, -1}) {
            s.*a.slider = sign * a.beyond;
            EXPECT_EQ(makeProcessingParams(s).*a.field, sign > 0 ? a.hi : a.lo) << sign * a.beyond;
        }
        const std::pair<float, float> cases[] = {
            {a.hi + 1, a.hi}, {a.lo - 1, a.lo}, {a.hi / 2, a.hi / 2}, {nan, 0.0f}, {inf, 0.0f}, {-inf, 0.0f}};
        for (const auto& [in, want] : cases) {
            ProcessingParams p;
            p.*a.field = in;
            EXPECT_EQ(clampForChain(p).*a.field, want) << in << " in " << a.lo << ".." << a.hi;
        }
    }
    // The input gain has no range; only a non-finite gain is neutralised.
    ProcessingParams p;
    p.inputGainDb = 30.0f;
    EXPECT_EQ(clampForChain(p).inputGainDb, 30.0f);
    p.inputGainDb = nan;
    EXPECT_EQ(clampForChain(p).inputGainDb, 0.0f);
}

}  // namespace
}  // namespace zalo
