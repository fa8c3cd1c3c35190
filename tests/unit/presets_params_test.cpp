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
    const struct {
        const wchar_t* label;
        int strength;
        bool cleanUp, gate, deEsser;  // cleanUp: high-pass, compressor and limiter
    } design[] = {
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

TEST(ProcessingParams, EngineDefaultsAndSliderRanges) {
    const ProcessingParams d;
    EXPECT_EQ(std::make_tuple(d.enabled, d.noiseStrength, d.highPass, d.compressor, d.limiter, d.gate, d.deEsser,
                              d.inputGainDb, d.voiceType),
              std::make_tuple(true, 0.65f, true, true, true, true, false, 0.0f, 0));
    // Positions beyond a slider's range are held to it.
    ControlState s;
    s.voicePreset = 32;
    for (int sign : {1, -1}) {
        s.pitch = 20 * sign;
        s.tone = 300 * sign;
        s.robot = 200 * sign;
        s.echo = 100 * sign;
        s.strength = 250 * sign;
        const ProcessingParams p = makeProcessingParams(s);
        EXPECT_EQ(std::make_tuple(p.pitchSemitones, p.tone, p.robot, p.echo, p.noiseStrength),
                  sign > 0 ? std::make_tuple(8.0f, 1.0f, 1.0f, 0.6f, 1.0f)
                           : std::make_tuple(-8.0f, -1.0f, 0.0f, 0.0f, 0.0f));
    }
}

TEST(ClampForChain, HoldsAmountsToTheirRangesAndNonFiniteToZero) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const struct {
        float ProcessingParams::*field;
        float lo, hi;
    } ranges[] = {
        {&ProcessingParams::noiseStrength, 0.0f, 1.0f}, {&ProcessingParams::pitchSemitones, -8.0f, 8.0f},
        {&ProcessingParams::tone, -1.0f, 1.0f},         {&ProcessingParams::robot, 0.0f, 1.0f},
        {&ProcessingParams::echo, 0.0f, 0.6f},
    };
    for (const auto& r : ranges) {
        const std::pair<float, float> cases[] = {
            {r.hi + 1, r.hi}, {r.lo - 1, r.lo}, {r.hi / 2, r.hi / 2}, {nan, 0.0f}, {inf, 0.0f}, {-inf, 0.0f}};
        for (const auto& [in, want] : cases) {
            ProcessingParams p;
            p.*r.field = in;
            EXPECT_EQ(clampForChain(p).*r.field, want) << in << " in " << r.lo << ".." << r.hi;
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
