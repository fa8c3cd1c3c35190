#include "dsp/processing_params.h"

#include <algorithm>
#include <cmath>

#include "dsp/voice_presets.h"

namespace zalo {
namespace {

// Upper bound first, then lower, as the chain has always clamped; a
// non-finite value (which would slip through both comparisons as NaN, or pin
// a bound as infinity) becomes the neutral 0 instead.
float clampFinite(float v, float lo, float hi) {
    if (!std::isfinite(v)) return std::max(std::min(0.0f, hi), lo);
    return std::max(std::min(v, hi), lo);
}

int clampInt(int v, int lo, int hi) { return std::max(std::min(v, hi), lo); }

// clang-format off
const NoisePresetDef kNoisePresets[kNoisePresetCount] = {
    // label, strength, high-pass + compressor + limiter, gate, de-esser
    {L"DESLIGADO",                       0, false, false, false},
    {L"SUAVE",                          25, true,  false, false},
    {L"PADRÃO",                         50, true,  true,  false},
    {L"FORTE",                          78, true,  true,  true},
    {L"VOZ LIMPA",                      60, true,  true,  true},
    {L"BROADCAST ULTRA (estilo NVIDIA)", 92, true,  true,  true},
    {L"NOITE SILENCIOSA",               88, true,  true,  true},
    {L"CALL / DISCORD",                 68, true,  true,  false},
    {L"STREAM",                         58, true,  true,  true},
    {L"ESTÚDIO",                        74, true,  true,  true},
    {L"CUSTOM",                          0, false, false, false},  // never applied
};
// clang-format on

}  // namespace

ProcessingParams clampForChain(const ProcessingParams& p) {
    ProcessingParams c = p;
    c.noiseStrength = clampFinite(p.noiseStrength, 0.0f, 1.0f);
    c.pitchSemitones = clampFinite(p.pitchSemitones, -8.0f, 8.0f);
    c.tone = clampFinite(p.tone, -1.0f, 1.0f);
    c.robot = clampFinite(p.robot, 0.0f, 1.0f);
    c.echo = clampFinite(p.echo, 0.0f, 0.6f);
    // The input gain has no range of its own; the chain bounds the gained
    // samples instead. Only a non-finite gain is neutralised here.
    if (!std::isfinite(c.inputGainDb)) c.inputGainDb = 0.0f;
    return c;
}

ProcessingParams makeProcessingParams(const ControlState& s) {
    ProcessingParams p;
    p.enabled = s.filterOn;
    p.noiseStrength = static_cast<float>(clampInt(s.strength, kStrengthMin, kStrengthMax)) / 100.0f;
    p.highPass = s.highPass;
    p.compressor = s.compressor;
    p.limiter = s.limiter;
    p.gate = s.gate;
    p.deEsser = s.deEsser;
    p.cleanVoice = s.cleanVoice;
    p.inputGainDb = 0.0f;

    const VoicePresetDef& row = voicePresetRow(s.voicePreset);
    p.voiceType = row.type;
    if (row.configurable) {
        p.pitchSemitones = static_cast<float>(clampInt(s.pitch, kPitchSliderMin, kPitchSliderMax));
        p.tone = static_cast<float>(clampInt(s.tone, kToneSliderMin, kToneSliderMax)) / 100.0f;
        p.robot = static_cast<float>(clampInt(s.robot, kRobotSliderMin, kRobotSliderMax)) / 100.0f;
        p.echo = static_cast<float>(clampInt(s.echo, kEchoSliderMin, kEchoSliderMax)) / 100.0f;
    } else {
        p.pitchSemitones = static_cast<float>(row.pitch);
        p.tone = static_cast<float>(row.tone) / 100.0f;
        p.robot = static_cast<float>(row.robot) / 100.0f;
        p.echo = static_cast<float>(row.echo) / 100.0f;
    }
    return p;
}

void syncSlidersToPreset(ControlState& s) {
    const VoicePresetDef& row = voicePresetRow(s.voicePreset);
    if (row.type != 13 || row.configurable) return;
    s.pitch = row.pitch;
    s.tone = row.tone;
    s.robot = row.robot;
    s.echo = row.echo;
}

const NoisePresetDef* noisePresetTable() { return kNoisePresets; }

bool applyNoisePreset(ControlState& s, int index) {
    if (index < 0 || index >= kNoisePresetCount || index == kNoisePresetCustom) return false;
    const NoisePresetDef& row = kNoisePresets[index];
    s.strength = row.strength;
    s.highPass = row.cleanUp;
    s.compressor = row.cleanUp;
    s.limiter = row.cleanUp;
    s.gate = row.gate;
    s.deEsser = row.deEsser;
    return true;
}

}  // namespace zalo
