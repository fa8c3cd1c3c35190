// "Iniciar com Windows": the value ZaloAudio under
// HKCU\Software\Microsoft\Windows\CurrentVersion\Run, holding the running
// executable's quoted path. Windows only.
#pragma once

namespace zalo {

// Writes (enable) or deletes the Run value. Writes nothing when the
// program's own path cannot be read. The caller shows the real state
// afterwards with isStartWithWindowsEnabled().
void setStartWithWindows(bool enable);
// Any value of that name, of any type, counts as enabled.
bool isStartWithWindowsEnabled();

}  // namespace zalo
