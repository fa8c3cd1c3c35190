// The 33 character voices. A preset's position in the table is its identity
// everywhere: combo index, stored VoicePreset value and gallery tile.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zalo {

struct VoicePresetDef {
    const wchar_t* label;        // combo text: pictograph, blank, name
    const wchar_t* description;  // one line shown under the combo
    std::int32_t type;           // voice-effect type run by the chain
    std::int32_t pitch;          // whole semitones (type 13 only)
    std::int32_t tone;           // hundredths, -100..100 (type 13 only)
    std::int32_t robot;          // hundredths, 0..100 (type 13 only)
    std::int32_t echo;           // hundredths, 0..60 (type 13 only)
    bool configurable;           // amounts come from the four voice sliders
};

struct VoicePresetTable {
    const VoicePresetDef* rows;
    std::size_t count;
    const VoicePresetDef* begin() const { return rows; }
    const VoicePresetDef* end() const { return rows + count; }
    const VoicePresetDef& operator[](std::size_t i) const { return rows[i]; }
};

// Read-only for the whole process; strings are static literals.
const VoicePresetTable& voicePresetTable();

// The row every caller uses for a combo selection: row 0 when the index is
// negative or past the end.
const VoicePresetDef& voicePresetRow(int index);

constexpr int kVoicePresetDefault = 1;  // "Voz limpa / streamer"

}  // namespace zalo
