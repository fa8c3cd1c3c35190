// Name filters for audio devices. Portable on purpose: the Win32 files only
// enumerate devices and hand the names here, so the rules are tested natively.
#pragma once

#include <string>

namespace zalo {

// `name` with towlower applied to every UTF-16 unit, in the C runtime's
// current locale. The keys below are ASCII, so whatever happens to letters
// such as É never makes them match.
std::wstring lowerCaseName(const std::wstring& name);

// True when a waveform-audio output device name is the playback side of the
// virtual cable: its lower-cased name contains "cable input" or
// "vb-audio point". Works on names cut to 31 characters by waveOut
// ("CABLE Input (VB-Audio Virtual C"). Only render-device names may be passed
// in: a capture name such as "Monitor of CABLE Input ..." also contains the
// key, and capture devices are filtered by their own rule.
bool isCableOutputName(const std::wstring& name);

// Capture-endpoint rules. Both take a name already passed through
// lowerCaseName and test plain substrings, with no accent folding: an
// accented spelling of a key does not match.
//
// The recording side of the virtual cable (or of our own driver), which
// carries our own output back: "zalo audio microphone",
// "zalo audio virtual microphone", "cable output", "vb-audio virtual cable".
bool isVirtualCableName(const std::wstring& lower);
// Sources that record what the machine plays: "stereo mix",
// "mixagem estereo", "what u hear", "wave out mix", "loopback".
bool isLoopbackName(const std::wstring& lower);

}  // namespace zalo
