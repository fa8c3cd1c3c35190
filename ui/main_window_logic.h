// Decisions of the main window that need no window: which status text to
// show, when the live indicator lights, how a peak becomes a meter position,
// the value labels and the active-voice caption. The Win32 files only
// translate messages into these, so the rules are tested natively.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include "audio/capture_health.h"
#include "dsp/voice_presets.h"
#include "ui/strings.h"

namespace zalo {

// Input peak above which the voice counts as being processed: about
// -38.4 dBFS. Strictly greater, so exactly 0.012 is not live.
constexpr float kLivePeakThreshold = 0.012f;

// Voice test: the active-voice caption keeps this many UTF-16 units of the
// preset's name before an ellipsis.
constexpr std::size_t kActiveVoiceNameMax = 22;

// Whether the microphone counts as working: the capture thread runs and
// either delivers or is opening afresh. A retry after a loss keeps the fault
// until its first packet, so the status line does not flicker to "ATIVO"
// once a second while a device stays away.
inline bool isCapturing(bool running, bool delivering, CaptureFault fault) {
    return running && (delivering || fault == CaptureFault::None);
}

// The status line: capture first (nothing else matters without it), with
// what the user can do about a failure, then whether the virtual cable's
// playback device is open.
inline const wchar_t* statusText(bool capturing, CaptureFault fault, bool cableConnected) {
    if (!capturing) {
        switch (fault) {
            case CaptureFault::AccessDenied: return text::kStatusMicrophoneBlocked;
            case CaptureFault::InUse: return text::kStatusMicrophoneInUse;
            default: return text::kStatusNoMicrophone;
        }
    }
    return cableConnected ? text::kStatusActive : text::kStatusNoDriver;
}

inline bool isLive(bool capturing, bool filterOn, float inputPeak) {
    return capturing && filterOn && inputPeak > kLivePeakThreshold;
}

// Linear in amplitude: peak x 100 truncated toward zero, clamped to 0..100.
// A non-finite peak (it never should be) shows an empty bar.
inline int meterPosition(float peak) {
    if (!std::isfinite(peak)) return 0;
    const float scaled = peak * 100.0f;
    if (scaled <= 0.0f) return 0;
    if (scaled >= 100.0f) return 100;
    return static_cast<int>(scaled);
}

// "-8 st", "8 st", "-100%", "60%": hyphen-minus for negatives, no plus sign.
inline std::wstring semitoneLabel(int position) { return std::to_wstring(position) + text::kSemitoneSuffix; }
inline std::wstring percentLabel(int position) { return std::to_wstring(position) + text::kPercentSuffix; }

// A preset label without its leading pictograph: everything up to and
// including the first blank goes. A label with no blank, or whose only blank
// is its last character, is kept whole.
inline std::wstring shortPresetName(const wchar_t* label) {
    if (label == nullptr) return std::wstring();
    const std::wstring whole(label);
    const std::size_t blank = whole.find(L' ');
    if (blank == std::wstring::npos || blank + 1 == whole.size()) return whole;
    return whole.substr(blank + 1);
}

// "🎭  VOZ ATIVA: <name>  •  ABRIR", the name cut to 22 UTF-16 units plus
// "…". The cut never splits a surrogate pair: a high surrogate at the cut is
// dropped with its partner rather than left alone.
inline std::wstring activeVoiceCaption(const VoicePresetDef& row) {
    std::wstring name = shortPresetName(row.label);
    if (name.size() > kActiveVoiceNameMax) {
        std::size_t keep = kActiveVoiceNameMax;
        const wchar_t last = name[keep - 1];
        if (last >= 0xD800 && last <= 0xDBFF) --keep;
        name = name.substr(0, keep) + text::kEllipsis;
    }
    return text::kActiveVoicePrefix + name + text::kActiveVoiceSuffix;
}

}  // namespace zalo
