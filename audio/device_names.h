// Name filters for audio devices. Portable on purpose: the Win32 files only
// enumerate devices and hand the names here, so the rules are tested natively.
#pragma once

#include <string>

namespace zalo {

// True when a waveform-audio output device name is the playback side of the
// virtual cable: its lower-cased name contains "cable input" or
// "vb-audio point". Works on names cut to 31 characters by waveOut
// ("CABLE Input (VB-Audio Virtual C"). Only render-device names may be passed
// in: a capture name such as "Monitor of CABLE Input ..." also contains the
// key, and capture devices are filtered by their own rule.
bool isCableOutputName(const std::wstring& name);

}  // namespace zalo
