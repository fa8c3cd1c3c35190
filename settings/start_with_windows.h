// "Iniciar com Windows": the value ZaloAudio under
// HKCU\Software\Microsoft\Windows\CurrentVersion\Run, holding the running
// executable's quoted path.
#pragma once

#include <cstddef>
#include <string>

namespace zalo {

// Windows only.
// Writes (enable) or deletes the Run value. Writes nothing when the
// program's own path cannot be read. The caller shows the real state
// afterwards with isStartWithWindowsEnabled().
void setStartWithWindows(bool enable);
// Any value of that name, of any type, counts as enabled.
bool isStartWithWindowsEnabled();

// Portable: the Run value's text, the path between double quotes, from a
// module-name buffer of capacityChars characters into which copiedChars
// were written (the module-name call's result). Empty when the path is
// unusable: nothing copied, or a cut path that filled the whole buffer.
std::wstring quotedModulePath(const wchar_t* buffer, std::size_t copiedChars,
                              std::size_t capacityChars);

}  // namespace zalo
