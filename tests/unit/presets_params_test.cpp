// The preset tables and the one mapping from controls to the settings block.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "dsp/processing_params.h"
#include "dsp/voice_presets.h"

namespace zalo {
namespace {

TEST(VoicePresetTable, ShapeAndInvariants) {
    const auto& table = voicePresetTable();
    ASSERT_EQ(table.count, 33u);
    int configurable = 0;
    for (std::size_t i = 0; i < table.count; ++i) {
        const auto& row = table[i];
        SCOPED_TRACE(i);
        ASSERT_NE(row.label, nullptr);
        ASSERT_NE(row.description, nullptr);
        // A pictograph (possibly with a variation selector) then a blank.
        const std::wstring label = row.label;
        EXPECT_NE(label.find(L' '), std::wstring::npos);
        EXPECT_LE(label.find(L' '), 4u);
        EXPECT_GT(static_cast<unsigned>(label[0]), 0x2000u);
        configurable += row.configurable;
        if (row.type != 13) {
            EXPECT_EQ(row.pitch | row.tone | row.robot | row.echo, 0);
        }
        EXPECT_GE(row.pitch, -8);  EXPECT_LE(row.pitch, 8);
        EXPECT_GE(row.tone, -100); EXPECT_LE(row.tone, 100);
        EXPECT_GE(row.robot, 0);   EXPECT_LE(row.robot, 100);
        EXPECT_GE(row.echo, 0);    EXPECT_LE(row.echo, 60);
    }
    EXPECT_EQ(configurable, 1);
    EXPECT_TRUE(table[32].configurable);

    EXPECT_EQ(std::wstring(table[0].label), L"⏺ Original / sem efeito");
    EXPECT_EQ(std::wstring(table[1].label), L"🎙️ Voz limpa / streamer");
    EXPECT_EQ(std::wstring(table[32].label), L"⚙️ Configurável");
    const int types[] = {0, 1, 3, 4, 5, 7, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,
                         13, 13, 13, 13, 13, 13, 10, 9, 8, 12, 13, 13, 13, 13, 13, 13};
    for (std::size_t i = 0; i < table.count; ++i) EXPECT_EQ(table[i].type, types[i]) << i;

    EXPECT_EQ(&voicePresetRow(-1), &table[0]);
    EXPECT_EQ(&voicePresetRow(33), &table[0]);
    EXPECT_EQ(&voicePresetRow(32), &table[32]);
}

TEST(MakeProcessingParams, StartUpControlsGiveTheEngineDefaultsWithVoiceOne) {
    const ProcessingParams p = makeProcessingParams(ControlState{});
    EXPECT_TRUE(p.enabled);
    EXPECT_FLOAT_EQ(p.noiseStrength, 0.65f);
    EXPECT_TRUE(p.highPass && p.compressor && p.limiter && p.gate);
    EXPECT_FALSE(p.deEsser);
    EXPECT_EQ(p.inputGainDb, 0.0f);
    EXPECT_EQ(p.voiceType, 1);
}

TEST(MakeProcessingParams, VoiceFieldsComeFromTheRowUnlessConfigurable) {
    ControlState s;
    s.pitch = 5; s.tone = -70; s.robot = 40; s.echo = 33;

    s.voicePreset = 20;  // "Mago": -3, -42, 0, 22; the sliders are ignored
    ProcessingParams p = makeProcessingParams(s);
    EXPECT_EQ(p.voiceType, 13);
    EXPECT_EQ(p.pitchSemitones, -3.0f);
    EXPECT_FLOAT_EQ(p.tone, -0.42f);
    EXPECT_EQ(p.robot, 0.0f);
    EXPECT_FLOAT_EQ(p.echo, 0.22f);

    s.voicePreset = 32;  // configurable: the sliders, unscaled pitch
    p = makeProcessingParams(s);
    EXPECT_EQ(p.pitchSemitones, 5.0f);
    EXPECT_FLOAT_EQ(p.tone, -0.70f);
    EXPECT_FLOAT_EQ(p.robot, 0.40f);
    EXPECT_FLOAT_EQ(p.echo, 0.33f);

    s.voicePreset = -1;  // no selection: "Original"
    p = makeProcessingParams(s);
    EXPECT_EQ(p.voiceType, 0);
    EXPECT_EQ(p.pitchSemitones, 0.0f);

    s.voicePreset = 4;   // type 5: sliders ignored
    EXPECT_EQ(makeProcessingParams(s).robot, 0.0f);

    s.voicePreset = 32;  // slider positions beyond their range are held to it
    s.pitch = 20; s.echo = 100; s.strength = 250;
    p = makeProcessingParams(s);
    EXPECT_EQ(p.pitchSemitones, 8.0f);
    EXPECT_FLOAT_EQ(p.echo, 0.60f);
    EXPECT_EQ(p.noiseStrength, 1.0f);
}

TEST(SyncSliders, OnlyFixedParametricPresetsMoveTheSliders) {
    ControlState s;
    s.pitch = 2; s.tone = 3; s.robot = 4; s.echo = 5;
    s.voicePreset = 4;  // type 5
    syncSlidersToPreset(s);
    EXPECT_EQ(s.pitch, 2);
    s.voicePreset = 22;  // "Monstro"
    syncSlidersToPreset(s);
    EXPECT_EQ(s.pitch, -7); EXPECT_EQ(s.tone, -48); EXPECT_EQ(s.robot, 18); EXPECT_EQ(s.echo, 4);
    // Choosing "Configurável" afterwards starts from the monster's values.
    s.voicePreset = 32;
    syncSlidersToPreset(s);
    EXPECT_EQ(s.pitch, -7);
    EXPECT_EQ(makeProcessingParams(s).pitchSemitones, -7.0f);
}

TEST(NoisePresets, TableAndApplication) {
    const NoisePresetDef* table = noisePresetTable();
    EXPECT_EQ(std::wstring(table[2].label), L"PADRÃO");
    EXPECT_EQ(std::wstring(table[5].label), L"BROADCAST ULTRA (estilo NVIDIA)");
    EXPECT_EQ(std::wstring(table[10].label), L"CUSTOM");
    const int strengths[] = {0, 25, 50, 78, 60, 92, 88, 68, 58, 74};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(table[i].strength, strengths[i]);

    ControlState s;
    ASSERT_TRUE(applyNoisePreset(s, 3));  // "FORTE"
    EXPECT_EQ(s.strength, 78);
    EXPECT_TRUE(s.highPass && s.compressor && s.limiter && s.gate && s.deEsser);
    ASSERT_TRUE(applyNoisePreset(s, 1));  // "SUAVE": clean-up only
    EXPECT_TRUE(s.highPass && s.compressor && s.limiter);
    EXPECT_FALSE(s.gate || s.deEsser);
    ASSERT_TRUE(applyNoisePreset(s, 0));  // "DESLIGADO": all off, strength 0
    EXPECT_FALSE(s.highPass || s.compressor || s.limiter || s.gate || s.deEsser);
    EXPECT_EQ(makeProcessingParams(s).noiseStrength, 0.0f);

    s.strength = 41;
    s.gate = true;
    const ControlState before = s;
    EXPECT_FALSE(applyNoisePreset(s, kNoisePresetCustom));
    EXPECT_FALSE(applyNoisePreset(s, 11));
    EXPECT_FALSE(applyNoisePreset(s, -1));
    EXPECT_EQ(s.strength, before.strength);
    EXPECT_EQ(s.gate, before.gate);
}

TEST(ClampForChain, RangesAndNonFiniteValues) {
    ProcessingParams p;
    p.noiseStrength = 3.0f; p.pitchSemitones = -12.0f; p.tone = 1.5f; p.robot = -0.5f; p.echo = 0.9f;
    ProcessingParams c = clampForChain(p);
    EXPECT_EQ(c.noiseStrength, 1.0f);
    EXPECT_EQ(c.pitchSemitones, -8.0f);
    EXPECT_EQ(c.tone, 1.0f);
    EXPECT_EQ(c.robot, 0.0f);
    EXPECT_EQ(c.echo, 0.6f);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    p.noiseStrength = nan; p.pitchSemitones = inf; p.tone = -inf; p.robot = nan; p.echo = nan;
    p.inputGainDb = nan;
    c = clampForChain(p);
    for (float v : {c.noiseStrength, c.pitchSemitones, c.tone, c.robot, c.echo, c.inputGainDb})
        EXPECT_EQ(v, 0.0f);
}

}  // namespace
}  // namespace zalo
