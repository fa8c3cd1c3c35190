// The engine's settings block and the one mapping from the main window's
// control state to it. The main window and zalo-render both go through
// makeProcessingParams(), so an offline render always hears what the live
// program would with the same controls.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zalo {

// Replaced whole by the user interface, copied whole by every block.
struct ProcessingParams {
    bool enabled = true;          // filter on: the chain runs
    float noiseStrength = 0.65f;  // 0..1
    bool highPass = true;         // 80 Hz high-pass
    bool compressor = true;
    bool limiter = true;
    bool gate = true;             // soft gate
    bool deEsser = false;
    float inputGainDb = 0.0f;
    std::int32_t voiceType = 0;
    float pitchSemitones = 0.0f;  // -8..8, type 13 only
    float tone = 0.0f;            // -1..1, type 13 only
    float robot = 0.0f;           // 0..1, type 13 only
    float echo = 0.0f;            // 0..0.6, type 13 only
    // "Limpeza HD": the clean-voice noise reducer replaces the spectral
    // noise-reduction stage while on. Off keeps the chain exactly as before.
    bool cleanVoice = false;
};

// The clamps the chain applies to its copy of the settings (upper bound first,
// then lower). A non-finite amount would poison the chain's recursive state
// for good, so NaN and infinities become the neutral value 0 instead.
ProcessingParams clampForChain(const ProcessingParams& p);

// Slider ranges of the main window, in slider positions.
constexpr int kStrengthMin = 0, kStrengthMax = 100;
constexpr int kPitchSliderMin = -8, kPitchSliderMax = 8;
constexpr int kToneSliderMin = -100, kToneSliderMax = 100;
constexpr int kRobotSliderMin = 0, kRobotSliderMax = 100;
constexpr int kEchoSliderMin = 0, kEchoSliderMax = 60;

// Everything on the main window that feeds the settings block.
struct ControlState {
    bool filterOn = true;
    int strength = 65;            // noise-strength slider, 0..100
    bool highPass = true;
    bool compressor = true;
    bool limiter = true;
    bool gate = true;             // "Gate suave"
    bool deEsser = false;
    int voicePreset = 1;          // preset combo selection; -1 = none
    int pitch = 0;                // "Pitch" slider, -8..8
    int tone = 0;                 // "Tom" slider, -100..100
    int robot = 0;                // "Robô" slider, 0..100
    int echo = 0;                 // "Eco" slider, 0..60
    bool cleanVoice = false;      // "Limpeza HD"; the noise presets leave it alone
};

// Builds the complete settings block from the controls: filter state,
// strength / 100, the five switches, the clean-voice flag, input gain 0, and
// the voice fields from the selected preset row (row 0 when the selection is
// out of range), taking pitch/tone/robot/echo from the sliders only for the
// configurable row.
ProcessingParams makeProcessingParams(const ControlState& controls);

// After a preset is selected: a non-configurable type-13 row moves the four
// voice sliders to its own values; any other row leaves them where they are.
void syncSlidersToPreset(ControlState& controls);

// One row of the "REDUÇÃO DE RUÍDO" preset combo.
struct NoisePresetDef {
    const wchar_t* label;
    int strength;        // slider position 0..100
    bool cleanUp;        // "High-pass", "Compressor" and "Limiter"
    bool gate;           // "Gate suave"
    bool deEsser;        // "De-esser"
};

constexpr int kNoisePresetCount = 11;
constexpr int kNoisePresetCustom = 10;   // "CUSTOM": changes nothing
constexpr int kNoisePresetDefault = 2;   // "PADRÃO", stored default

const NoisePresetDef* noisePresetTable();

// Choosing noise preset `index` in the combo: sets the strength slider and the
// five switches as the table says. "CUSTOM" and out-of-range indices change
// nothing. Returns whether anything was applied.
bool applyNoisePreset(ControlState& controls, int index);

}  // namespace zalo
