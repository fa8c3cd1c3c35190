// Waveform-audio output device enumeration (Win32, winmm). The header stays
// free of <windows.h>; device indices are plain unsigned values that
// waveOutOpen accepts as UINT.
#pragma once

#include <string>
#include <vector>

namespace zalo {

// Finds the virtual cable's playback device: the lowest waveOut device index
// whose name passes isCableOutputName. Devices whose capabilities cannot be
// read are skipped. Returns false (and leaves `index` alone) when no device
// matches, including when there are no output devices at all.
bool findCableDevice(unsigned& index);

// The names of all waveOut devices, in index order, for diagnostics. A device
// whose capabilities cannot be read appears as an empty name so that the
// position in the vector stays equal to the device index.
std::vector<std::wstring> waveOutDeviceNames();

}  // namespace zalo
